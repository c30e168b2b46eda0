// SPDX-License-Identifier: GPL-3.0-or-later
// The progress indicator in panel 1 of the status bar.
#include "window_fixture.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr QRgb kBlue = 0x000080;

class ProgressTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    make();
    QApplication::processEvents();
    panel = form->StatusBar1->PanelRect(1);
  }
  QImage bar() { return form->StatusBar1->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // Columns of panel 1 (on its middle row) that are dark blue.
  int blueColumns() {
    const QImage img = bar();
    int n = 0;
    for (int x = panel.left(); x <= panel.right(); ++x)
      if ((img.pixel(x, panel.center().y()) & 0xFFFFFF) == kBlue) ++n;
    return n;
  }
  QRect panel;
};

} // namespace

TEST_F(ProgressTest, PanelOneReachesFromPanelZeroToTheEndOfTheBar) {
  EXPECT_EQ(form->StatusBar1->height(), 19);
  EXPECT_TRUE(form->StatusBar1->SizeGrip());
  const int barWidth = form->StatusBar1->width();
  EXPECT_EQ(panel.left(), 252);
  EXPECT_EQ(panel.right(), barWidth - 2) << "only the panel's frame lies beyond it";
  EXPECT_EQ(form->FProgressRect.Left, panel.left());
  EXPECT_EQ(form->FProgressRect.Right, panel.left() + panel.width());
  // A full bar is blue under the size grip too, in the panel's top row above the grip's dots.
  form->SetProStatus(100);
  EXPECT_EQ(bar().pixel(barWidth - 2, panel.top()) & 0xFFFFFF, kBlue);
}

TEST_F(ProgressTest, SplitIsTruncatedIntegerArithmetic) {
  QImage img(520, 20, QImage::Format_RGB32);
  img.fill(Qt::white);
  form->FProgress = 33;
  {
    QPainter p(&img);
    form->StatusBar1DrawPanel(form->StatusBar1, 1, p, QRect(QPoint(252, 2), QPoint(501, 17)));
  }
  EXPECT_EQ(form->FProgressRect, (warp::TRect{252, 2, 502, 18}));
  EXPECT_EQ(img.pixel(252, 5) & 0xFFFFFF, kBlue);
  EXPECT_EQ(img.pixel(333, 5) & 0xFFFFFF, kBlue);
  EXPECT_EQ(img.pixel(334, 5) & 0xFFFFFF, comp::ButtonFace().rgb() & 0xFFFFFF);
  EXPECT_EQ(img.pixel(501, 17) & 0xFFFFFF, comp::ButtonFace().rgb() & 0xFFFFFF);
  EXPECT_EQ(img.pixel(502, 5) & 0xFFFFFF, 0xFFFFFFu) << "nothing outside the panel";
  EXPECT_EQ(img.pixel(300, 18) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(ProgressTest, FillsNoneHalfAllAndEmptiesAgain) {
  const int width = panel.width();
  form->SetProStatus(0);
  EXPECT_EQ(blueColumns(), 0);
  form->SetProStatus(50);
  EXPECT_EQ(blueColumns(), width * 50 / 100);
  form->SetProStatus(100);
  EXPECT_EQ(blueColumns(), width);
  form->SetProStatus(0);
  EXPECT_EQ(form->FProgress, 0);
  EXPECT_EQ(blueColumns(), 0);
}

TEST_F(ProgressTest, DrawsBeforeReturningAndTheSameValueAgain) {
  PaintCounter counter(form->StatusBar1);
  form->SetProStatus(40);
  EXPECT_EQ(counter.count, 1) << "an increase is drawn at once, without the event loop";
  form->SetProStatus(40);
  EXPECT_EQ(counter.count, 2) << "the same value again draws the filled part again";
  form->SetProStatus(10);
  EXPECT_EQ(counter.count, 3) << "a decrease repaints the bar at once";
}

TEST_F(ProgressTest, WmUserCarriesThePercentageInWParam) {
  platform::SendMessage(form.get(), platform::WM_USER, 75, 123456);
  EXPECT_EQ(form->FProgress, 75);
  EXPECT_EQ(blueColumns(), panel.width() * 75 / 100);
  EXPECT_EQ(form->WindowProc(platform::WM_USER + 1, 5, 0), 0);
  EXPECT_EQ(form->FProgress, 75);
}
