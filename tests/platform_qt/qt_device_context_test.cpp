// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_device_context.h"

#include "StretchDraw.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

using namespace platform;
using platform::qt::TQtDeviceContext;

namespace {

TDib MakePicture(int32_t w, int32_t h, int bits = 24) {
  TDib dib;
  newdib(&dib, w, h, bits, nullptr, 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      setpixel(dib, x, y, bits == 24 ? RGB(uint8_t(x * 13), uint8_t(y * 17), uint8_t(x ^ y)) : uint32_t((x + y) & 1));
  if (bits == 1) {
    dib.Info->bmiColors[1] = {10, 200, 30, 0};
  }
  return dib;
}

// Draws the same thing on a memory context and on a painter over an image; returns whether
// every pixel agrees.
void ExpectSameAsMemory(int32_t w, int32_t h, const std::function<void(HDC)>& draw) {
  TMemoryDeviceContext memory(w, h, RGB(255, 255, 255));
  draw(&memory);
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    TQtDeviceContext dc(painter);
    draw(&dc);
  }
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const QRgb q = image.pixel(x, y);
      ASSERT_EQ(RGB(uint8_t(qRed(q)), uint8_t(qGreen(q)), uint8_t(qBlue(q))), memory.GetPixel(x, y))
          << "at " << x << "," << y;
    }
}

TEST(QtDeviceContext, PicturesAndShapesLookAsOnTheMemoryContext) {
  TDib pic = MakePicture(23, 17);
  TDib one = MakePicture(9, 7, 1);
  auto previous = SetScreenDepthProvider([] { return 32; });
  ExpectSameAsMemory(80, 60, [&](HDC dc) {
    StretchDrawDib(dc, 0, 0, 69, 51, pic, 0, 0, 23, 17, true, SRCCOPY, true, nullptr);
    StretchDrawDib(dc, 40, 3, 11, 8, pic, 0, 0, 23, 17, true, SRCCOPY, true, nullptr);
    StretchDrawDib(dc, 60, 40, 18, 14, one, 0, 0, 9, 7, true, SRCCOPY, true, nullptr);
    SelectObject(dc, GetStockObject(DC_PEN));
    SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCPenColor(dc, RGB(0, 0, 128));
    SetDCBrushColor(dc, RGB(0, 0, 128));
    Rectangle(dc, 2, 52, 30, 58);
    SetROP2(dc, R2_NOT);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, 10, 5, 50, 45);
  });
  SetScreenDepthProvider(previous);
  deldib(pic);
  deldib(one);
}

TEST(QtDeviceContext, ReportsItsKindAndTheClipBox) {
  QImage image(50, 40, QImage::Format_RGB32);
  QPainter painter(&image);
  TQtDeviceContext display(painter);
  EXPECT_EQ(GetDeviceCaps(&display, TECHNOLOGY), DT_RASDISPLAY);
  EXPECT_EQ(GetDeviceCaps(&display, BITSPIXEL), 32);
  EXPECT_NE(GetDeviceCaps(&display, RASTERCAPS) & RC_DIBTODEV, 0);
  TQtDeviceContext printer(painter, QRect(), TQtDeviceContext::Kind::Printer);
  EXPECT_EQ(GetDeviceCaps(&printer, TECHNOLOGY), DT_RASPRINTER);

  RECT box{};
  EXPECT_EQ(GetClipBox(&display, &box), SIMPLEREGION);
  EXPECT_EQ(box.right, 50);
  EXPECT_EQ(box.bottom, 40);
  TQtDeviceContext part(painter, QRect(5, 6, 10, 12));
  GetClipBox(&part, &box);
  EXPECT_EQ(box.left, 5);
  EXPECT_EQ(box.top, 6);
  EXPECT_EQ(box.right, 15);
  EXPECT_EQ(box.bottom, 18);
  painter.setClipRect(QRect(0, 0, 8, 8));
  GetClipBox(&part, &box);
  EXPECT_EQ(box.right, 8);
  EXPECT_EQ(box.bottom, 8);
}

// A widget that draws a picture through the device context in its paint event.
class TPictureWidget : public QWidget {
public:
  TDib pic{};
  RECT lastClip{};
  int rowsSent = 0;
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    TQtDeviceContext dc(painter, event->rect());
    GetClipBox(&dc, &lastClip);
    StretchDrawDib(&dc, 0, 0, width(), height(), pic, 0, 0, DibWidth(pic), DibHeight(pic), true,
                   SRCCOPY, true, nullptr);
  }
};

// Also run with QT_SCALE_FACTOR set: every device pixel then shows its picture pixel, none blurred.
TEST(QtDeviceContext, AWidgetShowsThePictureAndRepaintsOnlyWhatIsAsked) {
  auto previous = SetScreenDepthProvider([] { return 32; });
  TPictureWidget widget;
  widget.pic = MakePicture(10, 8);
  widget.resize(40, 32);
  const QImage shot = widget.grab().toImage();
  const qreal ratio = shot.devicePixelRatio();
  EXPECT_EQ(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
  ASSERT_EQ(shot.width(), qRound(40 * ratio));
  for (int32_t y = 0; y < shot.height(); ++y)
    for (int32_t x = 0; x < shot.width(); ++x) {
      const QRgb q = shot.pixel(x, y);
      const int32_t logicalX = int32_t(x / ratio), logicalY = int32_t(y / ratio);
      ASSERT_EQ(RGB(uint8_t(qRed(q)), uint8_t(qGreen(q)), uint8_t(qBlue(q))),
                getpixel(widget.pic, logicalX / 4, 7 - logicalY / 4))
          << x << "," << y;
    }
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  QApplication::processEvents();
  widget.repaint(QRect(4, 8, 12, 6));
  EXPECT_EQ(widget.lastClip.left, 4);
  EXPECT_EQ(widget.lastClip.top, 8);
  EXPECT_EQ(widget.lastClip.right, 16);
  EXPECT_EQ(widget.lastClip.bottom, 14);
  deldib(widget.pic);
  SetScreenDepthProvider(previous);
}

} // namespace
