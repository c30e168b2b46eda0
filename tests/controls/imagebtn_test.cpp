// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageBtnUnit.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

QPixmap Solid(QColor colour, int w = 101, int h = 30) {
  QPixmap p(w, h);
  p.fill(colour);
  return p;
}

bool SameImage(const QPixmap& a, const QPixmap& b) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
  return a.toImage() == b.toImage();
}

void Send(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint pos,
          Qt::MouseButtons held) {
  QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}
void Press(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
  Send(w, QEvent::MouseButtonPress, b, p, b);
}
void DoubleClick(QWidget* w, QPoint p) {
  Send(w, QEvent::MouseButtonDblClick, Qt::LeftButton, p, Qt::LeftButton);
}
void Move(QWidget* w, QPoint p, Qt::MouseButton held = Qt::LeftButton) {
  Send(w, QEvent::MouseMove, Qt::NoButton, p, held);
}
void Release(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
  Send(w, QEvent::MouseButtonRelease, b, p, Qt::NoButton);
}

class ImageBtnTest : public ::testing::Test {
protected:
  void SetUp() override {
    btn.SetPicture(normal);
    btn.SetPicture2(pressed);
    btn.OnClick = [this](QObject*) {
      log.push_back(SameImage(btn.Picture(), normal) ? "click(normal)" : "click(pressed)");
    };
    btn.OnDblClick = [this](QObject*) { log.push_back("dblclick"); };
    btn.OnMouseUp = [this](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
      log.push_back("up");
    };
  }
  bool ShowsNormal() const { return SameImage(btn.Picture(), normal); }
  bool ShowsPressed() const { return SameImage(btn.Picture(), pressed); }

  QPixmap normal = Solid(QColor(40, 140, 170));
  QPixmap pressed = Solid(QColor(20, 90, 110));
  TImageBtn btn;
  std::vector<std::string> log;
};

TEST_F(ImageBtnTest, StartsAutoSizedToItsPicture) {
  EXPECT_TRUE(btn.AutoSize());
  EXPECT_EQ(btn.size(), QSize(101, 30));
  EXPECT_TRUE(ShowsNormal());
  // Passing over it without a button held changes nothing, but it is reported.
  std::vector<QPoint> moves;
  btn.OnMouseMove = [&](QObject*, Qt::KeyboardModifiers, int X, int Y) { moves.emplace_back(X, Y); };
  Move(&btn, {10, 10}, Qt::NoButton);
  EXPECT_TRUE(ShowsNormal());
  EXPECT_EQ(moves, (std::vector<QPoint>{{10, 10}}));
}

TEST_F(ImageBtnTest, PressShowsPressedPictureAndClickSeesNormalOneBeforeMouseUp) {
  Press(&btn, {20, 10});
  EXPECT_TRUE(ShowsPressed());
  EXPECT_TRUE(btn.Pressed());
  Release(&btn, {20, 10});
  EXPECT_TRUE(ShowsNormal());
  EXPECT_FALSE(btn.Pressed());
  EXPECT_EQ(log, (std::vector<std::string>{"click(normal)", "up"}));
}

TEST_F(ImageBtnTest, DraggingOutAndBackSwapsAndReleaseOutsideDoesNotClick) {
  Press(&btn, {20, 10});
  Move(&btn, {101, 10}); // just right of the control
  EXPECT_TRUE(ShowsNormal());
  Move(&btn, {100, 29}); // last pixel inside
  EXPECT_TRUE(ShowsPressed());
  Move(&btn, {50, -1});
  EXPECT_TRUE(ShowsNormal());
  Release(&btn, {50, -1});
  EXPECT_TRUE(ShowsNormal());
  EXPECT_FALSE(btn.Pressed());
  EXPECT_EQ(log, (std::vector<std::string>{"up"}));
}

TEST_F(ImageBtnTest, RightButtonSwapsAndRestoresWithoutClick) {
  Press(&btn, {5, 5}, Qt::RightButton);
  EXPECT_TRUE(ShowsPressed());
  Release(&btn, {5, 5}, Qt::RightButton);
  EXPECT_TRUE(ShowsNormal());
  EXPECT_EQ(log, (std::vector<std::string>{"up"}));
}

TEST_F(ImageBtnTest, DoubleClickShowsPressedPictureOnSecondPressAndClicksOnce) {
  Press(&btn, {5, 5});
  Release(&btn, {5, 5});
  DoubleClick(&btn, {5, 5});
  EXPECT_TRUE(ShowsPressed());
  Release(&btn, {5, 5});
  EXPECT_TRUE(ShowsNormal());
  EXPECT_EQ(log, (std::vector<std::string>{"click(normal)", "up", "dblclick", "up"}));
}

TEST_F(ImageBtnTest, EmptyPressedPictureShowsNothingUntilRelease) {
  btn.SetPicture2(QPixmap());
  Press(&btn, {5, 5});
  EXPECT_TRUE(btn.Picture().isNull());
  EXPECT_EQ(btn.size(), QSize(101, 30)); // an empty picture does not resize
  Release(&btn, {5, 5});
  EXPECT_TRUE(ShowsNormal());
}

TEST_F(ImageBtnTest, PictureSetWhileSwappedIsReplacedByParkedNormalPictureOnRelease) {
  Press(&btn, {5, 5});
  btn.SetPicture(Solid(Qt::red));
  Release(&btn, {5, 5});
  EXPECT_TRUE(ShowsNormal());
}

TEST_F(ImageBtnTest, PressedPictureIsACopyOfTheCallersPicture) {
  QPixmap mine = Solid(Qt::green);
  btn.SetPicture2(mine);
  {
    QPainter p(&mine);
    p.fillRect(mine.rect(), Qt::black);
  }
  Press(&btn, {5, 5});
  EXPECT_EQ(btn.Picture().toImage().pixelColor(0, 0), QColor(Qt::green));
  Release(&btn, {5, 5});
}

} // namespace
