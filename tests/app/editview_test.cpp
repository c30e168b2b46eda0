// SPDX-License-Identifier: GPL-3.0-or-later
// The editing view driven by mouse events: strokes, the repeat timer, the brush outline, zoom.
#include "window_fixture.h"

#include <QCheckBox>
#include <QImage>
#include <QRadioButton>
#include <QScreen>
#include <QMouseEvent>
#include <QTimer>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

class EditViewTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    make();
    showPage(1);
    view = form->PaintBox1;
  }
  std::vector<warp::TMaskEntry> mask() const {
    const size_t n = size_t(form->PictureWidth()) * size_t(form->PictureHeight());
    return std::vector<warp::TMaskEntry>(form->FMask, form->FMask + n);
  }
  static bool same(const std::vector<warp::TMaskEntry>& a, const std::vector<warp::TMaskEntry>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(warp::TMaskEntry)) == 0;
  }
  void press(Qt::MouseButton b, QPoint p) { QTest::mousePress(view, b, Qt::NoModifier, p); }
  void release(Qt::MouseButton b, QPoint p) { QTest::mouseRelease(view, b, Qt::NoModifier, p); }
  void move(QPoint p, Qt::MouseButtons held = Qt::NoButton) {
    QMouseEvent e(QEvent::MouseMove, QPointF(p), view->mapToGlobal(QPointF(p)), Qt::NoButton, held, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
  }
  QImage shot() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  comp::TPaintBox* view = nullptr;
};

} // namespace

TEST_F(EditViewTest, PressStepsAtOnceTicksRepeatAndAnyReleaseEnds) {
  const auto identity = mask();
  press(Qt::LeftButton, {160, 100});
  EXPECT_TRUE(form->FStrokeActive);
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_EQ(QWidget::mouseGrabber(), view);
  const auto afterPress = mask();
  EXPECT_FALSE(same(afterPress, identity)) << "the press applies one step";
  EXPECT_FALSE(form->FOutlineShown) << "the outline stays hidden after the press step";

  form->Timer1Timer(form->Timer1);
  EXPECT_FALSE(same(mask(), afterPress)) << "a tick applies another step at the same place";
  EXPECT_TRUE(form->FOutlineShown);
  EXPECT_EQ(form->FLastX, 160);
  EXPECT_EQ(form->FLastY, 100);

  const auto beforeSecond = mask();
  press(Qt::RightButton, {20, 20}); // ignored while the stroke runs
  EXPECT_TRUE(same(mask(), beforeSecond));
  EXPECT_EQ(form->FLastX, 160);

  release(Qt::RightButton, {30, 40}); // the first release of any button ends it, without a step
  EXPECT_FALSE(form->FStrokeActive);
  EXPECT_FALSE(form->Timer1->isActive());
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  EXPECT_EQ(form->FLastX, 30);
  EXPECT_EQ(form->FLastY, 40);
  EXPECT_TRUE(same(mask(), beforeSecond));
  release(Qt::LeftButton, {30, 40});
  EXPECT_TRUE(same(mask(), beforeSecond));
}

TEST_F(EditViewTest, MiddleButtonStartsAStrokeAndMovesStepDuringIt) {
  press(Qt::MiddleButton, {100, 100});
  ASSERT_TRUE(form->FStrokeActive);
  const auto afterPress = mask();
  move({120, 100}, Qt::MiddleButton);
  EXPECT_FALSE(same(mask(), afterPress));
  EXPECT_EQ(form->FLastX, 120);
  release(Qt::MiddleButton, {120, 100});
  EXPECT_FALSE(form->FStrokeActive);
}

TEST_F(EditViewTest, MovesWithoutAButtonOnlyMoveTheInvertedOutline) {
  const auto identity = mask();
  move({100, 100});
  EXPECT_TRUE(same(mask(), identity));
  EXPECT_TRUE(form->FOutlineShown);
  EXPECT_EQ(form->FOutlineRect, (warp::TRect{50, 50, 150, 150}));
  QImage img = shot();
  // The ellipse inscribed in (50, 50)-(150, 150): its leftmost and top points are inverted
  // (white becomes black), its centre is untouched.
  EXPECT_EQ(img.pixel(50, 99) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(img.pixel(99, 50) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(img.pixel(100, 100) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(img.pixel(48, 99) & 0xFFFFFF, 0xFFFFFFu);

  move({200, 120});
  img = shot();
  EXPECT_EQ(img.pixel(50, 99) & 0xFFFFFF, 0xFFFFFFu) << "the old outline is erased";
  EXPECT_EQ(img.pixel(150, 119) & 0xFFFFFF, 0x000000u);
  EXPECT_TRUE(same(mask(), identity));
  EXPECT_FALSE(form->FStrokeActive);
}

TEST_F(EditViewTest, OutlineIsDrawnBeforeTheMoveReturns) {
  PaintCounter counter(view);
  move({100, 100});
  EXPECT_GE(counter.count, 1) << "drawn synchronously, not left for the event loop";
  const int afterFirst = counter.count;
  move({101, 100});
  EXPECT_GT(counter.count, afterFirst);
}

TEST_F(EditViewTest, PageChangeForgetsTheOutlineWithoutDrawing) {
  move({100, 100});
  ASSERT_TRUE(form->FOutlineShown);
  showPage(2);
  EXPECT_FALSE(form->FOutlineShown);
  showPage(1);
  move({150, 150});
  EXPECT_TRUE(form->FOutlineShown);
  const QImage img = shot();
  EXPECT_EQ(img.pixel(50, 99) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(EditViewTest, ZoomFieldSetsTheRatioAndTheViewSizeWithoutTouchingThePicture) {
  const auto identity = mask();
  const uint8_t* result = form->FResultDib.Bits;
  form->ZoomEd->SetText("0.5");
  EXPECT_EQ(form->FZoomNum, 10);
  EXPECT_EQ(form->FZoomDen, 20);
  EXPECT_EQ(view->size(), QSize(160, 100));
  EXPECT_TRUE(same(mask(), identity));
  EXPECT_EQ(form->FResultDib.Bits, result);
  // Read from the text in extended precision: 10 / 0.1 is exactly 100 there.
  form->ZoomEd->SetText("0.1");
  EXPECT_EQ(form->FZoomDen, 100);
  EXPECT_EQ(view->size(), QSize(32, 20));
  form->ZoomEd->SetText("0.05");
  EXPECT_EQ(form->FZoomDen, 200);
  form->ZoomEd->SetText("1");
  EXPECT_EQ(form->FZoomNum, 10);
  EXPECT_EQ(form->FZoomDen, 10);
  EXPECT_EQ(view->size(), QSize(320, 200));
  form->ZoomEd->SetText("1.5");
  EXPECT_EQ(form->FZoomNum, 15);
  EXPECT_EQ(view->size(), QSize(480, 300));
}

TEST_F(EditViewTest, AtZoomTwoTheOutlineAndThePictureScale) {
  form->ZoomEd->SetText("2");
  QApplication::processEvents();
  EXPECT_EQ(view->size(), QSize(640, 400));
  move({100, 100});
  EXPECT_EQ(form->FOutlineRect, (warp::TRect{0, 0, 200, 200}));
  EXPECT_EQ(form->PictureX(41), 20);
  EXPECT_EQ(form->PictureY(0), 199);
}

TEST_F(EditViewTest, ToolBarSettingsReachTheEngine) {
  form->SchmierenBtn->click();
  form->ycheck->click();
  form->NormalizeCheck->setChecked(false);
  form->StarkED->SetText("0.7");
  form->RadiusED->SetText("33");
  const warp::TToolBarState bar = form->ReadToolBar();
  EXPECT_EQ(warp::TEditorCore::ToolCode(bar), 3);
  EXPECT_TRUE(bar.YChecked);
  EXPECT_FALSE(bar.XYChecked);
  EXPECT_FALSE(bar.NormalizeChecked);
  EXPECT_EQ(bar.Strength, 0.7L);
  EXPECT_EQ(bar.Radius, 33);
  EXPECT_EQ(bar.Zoom, 1);
}

TEST_F(EditViewTest, BigBrushStrokesInTheWindowMatchTheWholePictureWayAndShowTheResult) {
  // A patterned picture, so that every moved entry shows; a brush big enough to share its rows
  // with the second thread.
  replacePicture(320, 200);
  for (int32_t r = 0; r < 200; ++r)
    for (int32_t i = 0; i < 320 * 3; ++i)
      form->FSourceDib.Bits[int64_t(r) * form->FSourceDib.BytesPerLine + i] = uint8_t(i * 5 + r * 11);
  form->renderdi();
  form->RadiusED->SetText("150");
  const auto stroke = [&](bool fast) {
    form->FFastPath = fast;
    form->InitMask();
    form->renderdi();
    for (const char* tool : {"grow", "shrink", "smear", "drag", "eraser"}) {
      form->WachsenBtn->SetDown(std::strcmp(tool, "grow") == 0);
      form->SchrumpfenBtn->SetDown(std::strcmp(tool, "shrink") == 0);
      form->SchmierenBtn->SetDown(std::strcmp(tool, "smear") == 0);
      form->ZerrenBtn->SetDown(std::strcmp(tool, "drag") == 0);
      form->RadiererBtn->SetDown(std::strcmp(tool, "eraser") == 0);
      press(Qt::LeftButton, {150, 90});
      for (int k = 1; k <= 6; ++k) move({150 + 7 * k, 90 - 5 * k}, Qt::LeftButton);
      release(Qt::LeftButton, {192, 60});
    }
    const size_t bytes = form->FResultDib.Info->bmiHeader.biSizeImage;
    return std::make_pair(mask(), std::vector<uint8_t>(form->FResultDib.Bits, form->FResultDib.Bits + bytes));
  };
  const auto whole = stroke(false);
  const auto fast = stroke(true);
  EXPECT_TRUE(same(whole.first, fast.first));
  EXPECT_TRUE(whole.second == fast.second);
  EXPECT_FALSE(same(fast.first, std::vector<warp::TMaskEntry>(whole.first.size()))) << "the strokes moved entries";

  // What the view shows after the rectangle repaints is the result, pixel for pixel (zoom 1),
  // but for the brush outline around the last pointer position.
  QApplication::processEvents();
  const QImage image = shot();
  const auto& dib = form->FResultDib;
  for (int32_t y = 0; y < 200; y += 3)
    for (int32_t x = 0; x < 320; x += 3) {
      const double fromCentre = std::hypot(x - 192, y - 60);
      if (fromCentre > 146 && fromCentre < 154) continue;
      const uint8_t* p = dib.Bits + int64_t(199 - y) * dib.BytesPerLine + x * 3;
      ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]) << x << "," << y;
    }
}

TEST_F(EditViewTest, OutlineComesWithEachStepInOneUpdateAndLeavesWithThePointer) {
  const auto onScreen = [this](QPoint p) {
    QTest::qWait(30);
    const QPoint at = view->mapTo(form.get(), p);
    return form->screen()->grabWindow(form->winId(), at.x(), at.y(), 1, 1).toImage().pixel(0, 0) & 0xFFFFFF;
  };
  PaintCounter paints(view);
  press(Qt::LeftButton, {100, 100});
  for (int k = 1; k <= 3; ++k) {
    paints.count = 0;
    move({100 + 10 * k, 100}, Qt::LeftButton);
    EXPECT_EQ(paints.count, 1) << "erasing, the step's repaint and the outline are one update";
  }
  release(Qt::LeftButton, {130, 100});
  ASSERT_TRUE(form->FOutlineShown);
  const QPoint leftmost(form->FOutlineRect.Left, (form->FOutlineRect.Top + form->FOutlineRect.Bottom) / 2);
  EXPECT_EQ(onScreen(leftmost), 0x000000u) << "the outline inverts the white picture";

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(view, &leave);
  EXPECT_FALSE(form->FOutlineShown);
  EXPECT_EQ(onScreen(leftmost), 0xFFFFFFu);

  QEnterEvent enter(QPointF(60, 70), view->mapToGlobal(QPointF(60, 70)), view->mapToGlobal(QPointF(60, 70)));
  QApplication::sendEvent(view, &enter);
  EXPECT_TRUE(form->FOutlineShown);
  EXPECT_EQ(form->FOutlineRect.Left + form->FOutlineRect.Right, 120);
  EXPECT_EQ(form->FOutlineRect.Top + form->FOutlineRect.Bottom, 140);
}
