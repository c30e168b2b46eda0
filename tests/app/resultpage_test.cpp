// SPDX-License-Identifier: GPL-3.0-or-later
// The result page: the result drawn 1:1, panning by dragging, the wheel.
#include "window_fixture.h"

#include <QImage>
#include <QScrollBar>

namespace {

class ResultPageTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    make();
  }
  void open(int32_t w, int32_t h) {
    replacePicture(w, h);
    showPage(2);
    QApplication::processEvents();
  }
  void down(int x, int y) { form->ErgPaintBoxMouseDown(form->ErgPaintBox, Qt::LeftButton, {}, x, y); }
  void drag(int x, int y) { form->ErgPaintBoxMouseMove(form->ErgPaintBox, {}, x, y); }
  void up(int x, int y) { form->ErgPaintBoxMouseUp(form->ErgPaintBox, Qt::LeftButton, {}, x, y); }
  int h() const { return form->ErgScrollBox->HorzPosition(); }
  int v() const { return form->ErgScrollBox->VertPosition(); }
  int maxH() const { return form->ErgScrollBox->horizontalScrollBar()->maximum(); }
  int maxV() const { return form->ErgScrollBox->verticalScrollBar()->maximum(); }
};

} // namespace

TEST_F(ResultPageTest, ShowsTheWhiteStartResultOneToOne) {
  showPage(2);
  EXPECT_EQ(form->ErgPaintBox->size(), QSize(320, 200));
  const QImage img = form->ErgPaintBox->grab().toImage();
  EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(img.pixel(319, 199) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(ResultPageTest, SizesTheViewToANewResultAndDrawsItUnscaled) {
  replacePicture(500, 300);
  // Bottom-up row 0 is the view's last line: mark the pixel at column 7 of it blue.
  uint8_t* px = form->FResultDib.Bits + 7 * 3;
  px[0] = 255;
  px[1] = 0;
  px[2] = 0;
  showPage(2);
  QApplication::processEvents();
  ASSERT_EQ(form->ErgPaintBox->size(), QSize(500, 300));
  const QImage img = form->ErgPaintBox->grab().toImage();
  EXPECT_EQ(img.pixel(7, 299) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(img.pixel(8, 299) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(img.pixel(7, 298) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(ResultPageTest, DraggingPansAndStopsAtTheEdges) {
  open(1500, 1200);
  ASSERT_GT(maxH(), 500);
  ASSERT_GT(maxV(), 500);
  down(100, 100);
  drag(40, 100); // pointer to the left: the view shows more of the right side
  EXPECT_EQ(h(), 60);
  EXPECT_EQ(v(), 0);
  drag(40, 70);
  EXPECT_EQ(h(), 120) << "the press point is kept";
  EXPECT_EQ(v(), 30);
  drag(-5000, 70); // far beyond the edge: stops there, the other axis keeps its move
  EXPECT_EQ(h(), maxH());
  EXPECT_EQ(v(), 60);
  drag(5000, 5000);
  EXPECT_EQ(h(), 0);
  EXPECT_EQ(v(), 0);
  up(0, 0);
  drag(0, 0);
  EXPECT_EQ(h(), 0) << "no panning after the release";
}

TEST_F(ResultPageTest, PressAndReleaseWithoutMovingChangesNothing) {
  open(1500, 1200);
  form->ErgScrollBox->SetHorzPosition(33);
  QTest::mousePress(form->ErgPaintBox, Qt::RightButton, {}, QPoint(200, 200));
  EXPECT_TRUE(form->FResultDragging);
  QTest::mouseRelease(form->ErgPaintBox, Qt::RightButton, {}, QPoint(200, 200));
  EXPECT_FALSE(form->FResultDragging);
  EXPECT_EQ(h(), 33);
  EXPECT_EQ(v(), 0);
}

TEST_F(ResultPageTest, APictureThatFitsDoesNotMove) {
  open(100, 80);
  down(50, 50);
  drag(0, 0);
  drag(99, 79);
  EXPECT_EQ(h(), 0);
  EXPECT_EQ(v(), 0);
  wheelOver(form->ErgPaintBox, -120);
  EXPECT_EQ(v(), 0);
}

TEST_F(ResultPageTest, WheelMovesTwentyPixelsANotchAndStopsAtTheLimits) {
  open(400, 1000);
  wheelOver(form->ErgPaintBox, 120);
  EXPECT_EQ(v(), 0);
  wheelOver(form->ErgPaintBox, -120);
  wheelOver(form->ErgPaintBox, -120);
  EXPECT_EQ(v(), 40);
  for (int i = 0; i < 100; ++i) wheelOver(form->ErgPaintBox, -120);
  EXPECT_EQ(v(), maxV());
  EXPECT_EQ(h(), 0);
}
