// SPDX-License-Identifier: GPL-3.0-or-later
// The views at the screen's scale (also run with QT_SCALE_FACTOR=2): the whole picture shows,
// each quadrant where it belongs.
#include "window_fixture.h"

#include <QImage>
#include <QScreen>

#include <random>

namespace {

const QRgb kQuadrant[4] = {qRgb(200, 0, 0), qRgb(0, 160, 0), qRgb(0, 0, 220), qRgb(230, 200, 0)};

class HighDpiTest : public WindowTest {
protected:
  // A picture whose four quadrants have four colours (index: top left, top right, bottom left,
  // bottom right).
  void quadrantPicture(int32_t w, int32_t h) {
    replacePicture(w, h);
    for (int32_t y = 0; y < h; ++y) // bottom-up rows
      for (int32_t x = 0; x < w; ++x) {
        const QRgb c = kQuadrant[(y < h / 2 ? 2 : 0) + (x < w / 2 ? 0 : 1)];
        setpixel(form->FSourceDib, x, y, platform::RGB(qRed(c), qGreen(c), qBlue(c)));
      }
    form->renderdi();
  }
  // What the screen shows of the view: the quadrants in a `w` x `h` area, at device resolution.
  void expectQuadrants(QWidget* view, int w, int h) {
    QTest::qWait(400);
    const QPoint at = view->mapTo(form.get(), QPoint(0, 0));
    const QImage shot =
        form->screen()->grabWindow(form->winId(), at.x(), at.y(), w, h).toImage().convertToFormat(QImage::Format_RGB32);
    const qreal ratio = shot.devicePixelRatio();
    EXPECT_EQ(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
    for (int q = 0; q < 4; ++q) {
      const int x = qRound(((q % 2) * 2 + 1) * w / 4 * ratio), y = qRound(((q / 2) * 2 + 1) * h / 4 * ratio);
      ASSERT_LT(x, shot.width());
      ASSERT_LT(y, shot.height());
      EXPECT_EQ(shot.pixel(x, y), kQuadrant[q]) << "quadrant " << q;
    }
  }
};

} // namespace

TEST_F(HighDpiTest, EditingAndResultViewsShowTheWholePicture) {
  make();
  quadrantPicture(120, 80);
  showPage(1);
  form->ResizeView(120, 80);
  form->PaintView();
  expectQuadrants(form->PaintBox1, 120, 80);
  showPage(2);
  expectQuadrants(form->ErgPaintBox, 120, 80);
}

// The brush outline where the pointer is, also in device pixels: the inverted pixels on the
// pointer's row and column lie symmetrically around it.
TEST_F(HighDpiTest, BrushOutlineIsCentredOnThePointer) {
  make();
  quadrantPicture(200, 160);
  showPage(1);
  form->ResizeView(200, 160);
  form->PaintView();
  QWidget* view = form->PaintBox1;
  const auto grab = [&] { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); };
  const QImage before = grab();
  const QPoint pointer(90, 70);
  QMouseEvent e(QEvent::MouseMove, QPointF(pointer), view->mapToGlobal(QPointF(pointer)), Qt::NoButton, Qt::NoButton,
                Qt::NoModifier);
  QApplication::sendEvent(view, &e);
  ASSERT_TRUE(form->FOutlineShown);
  const QImage after = grab();
  ASSERT_EQ(after.size(), before.size());
  const qreal ratio = after.devicePixelRatio();
  const int cx = qRound(pointer.x() * ratio), cy = qRound(pointer.y() * ratio);
  // The first and last changed device pixel along a line through the pointer.
  const auto changedSpan = [&](bool alongRow) {
    int first = -1, last = -1;
    const int n = alongRow ? after.width() : after.height();
    for (int i = 0; i < n; ++i) {
      const int x = alongRow ? i : cx, y = alongRow ? cy : i;
      if (after.pixel(x, y) != before.pixel(x, y)) {
        if (first < 0) first = i;
        last = i;
      }
    }
    return std::pair{first, last};
  };
  const auto [left, right] = changedSpan(true);
  const auto [top, bottom] = changedSpan(false);
  ASSERT_GE(left, 0);
  ASSERT_GE(top, 0);
  const int radius = qRound(50 * ratio);
  EXPECT_NEAR(right - left, 2 * radius, 2 * ratio) << "the outline's width in device pixels";
  EXPECT_NEAR((left + right + 1) / 2.0, cx, ratio) << "left " << left << ", right " << right;
  EXPECT_NEAR((top + bottom + 1) / 2.0, cy, ratio) << "top " << top << ", bottom " << bottom;
}

// At scale 2 a detailed photo shows at device resolution, not as 2 x 2 copies of each pixel.
TEST_F(HighDpiTest, DetailedPictureIsDrawnAtDeviceResolution) {
  make();
  if (form->devicePixelRatioF() != 2) GTEST_SKIP() << "only at scale 2";
  replacePicture(4000, 3000);
  std::mt19937 noise(7);
  for (uint32_t i = 0; i < form->FSourceDib.Info->bmiHeader.biSizeImage; ++i) form->FSourceDib.Bits[i] = uint8_t(noise());
  form->renderdi();
  const auto uniformShare = [&](QWidget* view, int w, int h) { // of the aligned 2 x 2 blocks
    const QImage s = view->grab(QRect(0, 0, w, h)).toImage().convertToFormat(QImage::Format_RGB32);
    int uniform = 0;
    for (int y = 0; y < 2 * h; y += 2)
      for (int x = 0; x < 2 * w; x += 2)
        uniform += s.pixel(x, y) == s.pixel(x + 1, y) && s.pixel(x, y) == s.pixel(x, y + 1) && s.pixel(x, y) == s.pixel(x + 1, y + 1);
    return double(uniform) / (w * h);
  };
  EXPECT_LE(uniformShare(form->DibPrevPaint, 100, 60), 0.2) << "preview";
  showPage(1);
  form->ZoomToFit();
  EXPECT_LE(uniformShare(form->PaintBox1, form->PaintBox1->width(), form->PaintBox1->height()), 0.2);
}
