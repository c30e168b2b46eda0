// The views at the screen's scale (also run with QT_SCALE_FACTOR=2): the whole picture shows,
// each quadrant where it belongs.
#include "window_fixture.h"

#include <QImage>
#include <QScreen>

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
