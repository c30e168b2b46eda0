// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace platform;

namespace {

// A packed bottom-up DIB built in a byte block: header, colour table, rows.
struct TTestDib {
  std::vector<uint8_t> block;
  int32_t stride = 0;
  TTestDib(int32_t w, int32_t h, int bits, const std::vector<COLORREF>& colours = {}) {
    stride = ((w * bits + 31) / 32) * 4;
    const size_t table = bits <= 8 ? (size_t(1) << bits) : 0;
    block.assign(sizeof(BITMAPINFOHEADER) + table * 4 + size_t(stride) * size_t(h), 0);
    BITMAPINFOHEADER& hd = *reinterpret_cast<BITMAPINFOHEADER*>(block.data());
    hd.biSize = sizeof(BITMAPINFOHEADER);
    hd.biWidth = w;
    hd.biHeight = h;
    hd.biPlanes = 1;
    hd.biBitCount = uint16_t(bits);
    for (size_t i = 0; i < colours.size() && i < table; ++i) {
      RGBQUAD& q = info()->bmiColors[i];
      q.rgbRed = GetRValue(colours[i]);
      q.rgbGreen = GetGValue(colours[i]);
      q.rgbBlue = GetBValue(colours[i]);
    }
    bitsOffset = sizeof(BITMAPINFOHEADER) + table * 4;
  }
  size_t bitsOffset = 0;
  BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(block.data()); }
  uint8_t* bits() { return block.data() + bitsOffset; }
  uint8_t* row(int32_t fromBottom) { return bits() + size_t(fromBottom) * size_t(stride); }
};

TEST(GdiDibs, BottomUpRowsLandTopDownAndScaleByWholePixels) {
  TTestDib dib(3, 2, 24);
  // Bottom row blue, green, red; top row white, black, grey (bytes are blue, green, red).
  const uint8_t bottom[9] = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  const uint8_t top[9] = {255, 255, 255, 0, 0, 0, 128, 128, 128};
  std::memcpy(dib.row(0), bottom, 9);
  std::memcpy(dib.row(1), top, 9);
  TMemoryDeviceContext dc(6, 4, RGB(7, 7, 7));
  EXPECT_EQ(StretchDIBits(&dc, 0, 0, 6, 4, 0, 0, 3, 2, dib.bits(), dib.info(), DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(dc.GetPixel(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(5, 1), RGB(128, 128, 128));
  EXPECT_EQ(dc.GetPixel(1, 3), RGB(0, 0, 255));
  EXPECT_EQ(dc.GetPixel(4, 2), RGB(255, 0, 0));
  // A source band from the bottom: ySrc counts from the bottom row.
  TMemoryDeviceContext band(3, 1, RGB(7, 7, 7));
  StretchDIBits(&band, 0, 0, 3, 1, 0, 1, 3, 1, dib.bits(), dib.info(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(band.GetPixel(1, 0), RGB(0, 0, 0));
  // One scan line handed to SetDIBitsToDevice is the DIB's bottom row.
  TMemoryDeviceContext one(3, 1, RGB(7, 7, 7));
  EXPECT_EQ(SetDIBitsToDevice(&one, 0, 0, 3, 1, 0, 0, 0, 1, dib.bits(), dib.info(), DIB_RGB_COLORS), 1);
  EXPECT_EQ(one.GetPixel(2, 0), RGB(255, 0, 0));
}

TEST(GdiDibs, OneToOneDrawingLandsEveryPixelAtEveryOffsetAndClip) {
  // Source rectangles reaching beyond the DIB, destinations beyond the device, clip boxes.
  TTestDib dib(7, 5, 24);
  for (int32_t r = 0; r < 5; ++r)
    for (int32_t i = 0; i < 21; ++i) dib.row(r)[i] = uint8_t(r * 40 + i * 11);
  for (const RECT clip : {RECT{0, 0, 12, 9}, RECT{3, 1, 8, 7}, RECT{5, 5, 6, 6}})
    for (int32_t x = -9; x <= 11; x += 4)
      for (int32_t y = -6; y <= 8; y += 3)
        for (int32_t srcX : {-2, 0, 3})
          for (int32_t srcY : {0, 2}) {
            TMemoryDeviceContext dc(12, 9, RGB(7, 7, 7));
            dc.SetClipBox(clip);
            SetDIBitsToDevice(&dc, x, y, 7, 4, srcX, srcY, 0, 5, dib.bits(), dib.info(), DIB_RGB_COLORS);
            for (int32_t py = 0; py < 9; ++py)
              for (int32_t px = 0; px < 12; ++px) {
                // Device row py shows the source row counted from the top: 5 - srcY - 4 + (py - y).
                const int32_t column = srcX + (px - x), fromTop = 5 - srcY - 4 + (py - y);
                COLORREF expected = RGB(7, 7, 7);
                const bool inside = px >= clip.left && px < clip.right && py >= clip.top && py < clip.bottom &&
                                    px >= x && px < x + 7 && py >= y && py < y + 4;
                if (inside && column >= 0 && column < 7 && fromTop >= 0 && fromTop < 5) {
                  const uint8_t* p = dib.row(4 - fromTop) + column * 3;
                  expected = RGB(p[2], p[1], p[0]);
                }
                ASSERT_EQ(dc.GetPixel(px, py), expected)
                    << "at " << px << "," << py << " draw " << x << "," << y << " src " << srcX << "," << srcY;
              }
          }
}

TEST(GdiDibs, PaletteDepthsReadTheirColourTable) {
  const std::vector<COLORREF> c{RGB(10, 0, 0), RGB(0, 20, 0), RGB(0, 0, 30), RGB(40, 40, 40)};
  TTestDib one(9, 1, 1, c), four(3, 1, 4, c), eight(2, 1, 8, c);
  one.row(0)[0] = 0x80;  // pixel 0 set
  one.row(0)[1] = 0x80;  // pixel 8 set
  four.row(0)[0] = 0x23; // pixels 2, 3
  four.row(0)[1] = 0x10; // pixel 1 (high nibble of the last used byte)
  eight.row(0)[0] = 3;
  eight.row(0)[1] = 2;
  TMemoryDeviceContext dc(9, 3);
  SetDIBitsToDevice(&dc, 0, 0, 9, 1, 0, 0, 0, 1, one.bits(), one.info(), DIB_RGB_COLORS);
  SetDIBitsToDevice(&dc, 0, 1, 3, 1, 0, 0, 0, 1, four.bits(), four.info(), DIB_RGB_COLORS);
  SetDIBitsToDevice(&dc, 0, 2, 2, 1, 0, 0, 0, 1, eight.bits(), eight.info(), DIB_RGB_COLORS);
  EXPECT_EQ(dc.GetPixel(0, 0), c[1]);
  EXPECT_EQ(dc.GetPixel(1, 0), c[0]);
  EXPECT_EQ(dc.GetPixel(8, 0), c[1]);
  EXPECT_EQ(dc.GetPixel(0, 1), c[2]);
  EXPECT_EQ(dc.GetPixel(1, 1), c[3]);
  EXPECT_EQ(dc.GetPixel(2, 1), c[1]);
  EXPECT_EQ(dc.GetPixel(0, 2), c[3]);
  EXPECT_EQ(dc.GetPixel(1, 2), c[2]);
}

TEST(GdiDibs, ImpossibleHeadersAreRefused) {
  TTestDib dib(2, 2, 24);
  TMemoryDeviceContext dc(2, 2);
  dib.info()->bmiHeader.biBitCount = 16;
  EXPECT_EQ(StretchDIBits(&dc, 0, 0, 2, 2, 0, 0, 2, 2, dib.bits(), dib.info(), DIB_RGB_COLORS, SRCCOPY), GDI_ERROR);
  dib.info()->bmiHeader.biBitCount = 24;
  dib.info()->bmiHeader.biWidth = -2;
  EXPECT_EQ(SetDIBitsToDevice(&dc, 0, 0, 2, 2, 0, 0, 0, 2, dib.bits(), dib.info(), DIB_RGB_COLORS), 0);
  EXPECT_EQ(StretchDIBits(&dc, 0, 0, 2, 2, 0, 0, 2, 2, nullptr, nullptr, DIB_RGB_COLORS, SRCCOPY), GDI_ERROR);
  EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 2, 2, 0, 0, 2, 2, dib.bits(), dib.info(), DIB_RGB_COLORS, SRCCOPY), 0);
}

TEST(GdiShapes, SolidRectanglesCoverLeftToRightMinusOne) {
  TMemoryDeviceContext dc(10, 4, RGB(255, 255, 255));
  SelectObject(&dc, GetStockObject(DC_PEN));
  SelectObject(&dc, GetStockObject(DC_BRUSH));
  SetDCPenColor(&dc, RGB(0, 0, 128));
  SetDCBrushColor(&dc, RGB(0, 0, 128));
  Rectangle(&dc, 2, 1, 6, 3);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 1 && y < 3;
      ASSERT_EQ(dc.GetPixel(x, y), inside ? RGB(0, 0, 128) : RGB(255, 255, 255)) << x << "," << y;
    }
  // A pen and a brush of different colours: the outline is the pen's.
  SetDCBrushColor(&dc, RGB(9, 9, 9));
  Rectangle(&dc, 0, 0, 5, 4);
  EXPECT_EQ(dc.GetPixel(0, 0), RGB(0, 0, 128));
  EXPECT_EQ(dc.GetPixel(2, 2), RGB(9, 9, 9));
  EXPECT_EQ(dc.GetPixel(4, 3), RGB(0, 0, 128));
}

TEST(GdiShapes, AnInvertedEllipseOutlineIsClosedSymmetricAndUndoesItself) {
  TMemoryDeviceContext dc(40, 30, RGB(255, 255, 255));
  SetROP2(&dc, R2_NOT);
  SelectObject(&dc, GetStockObject(NULL_BRUSH));
  Ellipse(&dc, 5, 3, 36, 26);
  int black = 0;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const bool on = dc.GetPixel(x, y) == RGB(0, 0, 0);
      black += on;
      if (x < 5 || x >= 36 || y < 3 || y >= 26) {
        ASSERT_FALSE(on) << x << "," << y;
        continue;
      }
      // Mirror images across the box's middle lines are alike.
      ASSERT_EQ(on, dc.GetPixel(40 - x, y) == RGB(0, 0, 0)) << x << "," << y;
      ASSERT_EQ(on, dc.GetPixel(x, 28 - y) == RGB(0, 0, 0)) << x << "," << y;
    }
  EXPECT_GT(black, 60);
  // Every row of the box meets the outline on both sides, every column at top and bottom.
  for (int32_t y = 3; y < 26; ++y) {
    bool left = false, right = false;
    for (int32_t x = 5; x <= 20; ++x) left |= dc.GetPixel(x, y) == RGB(0, 0, 0);
    for (int32_t x = 20; x < 36; ++x) right |= dc.GetPixel(x, y) == RGB(0, 0, 0);
    EXPECT_TRUE(left && right) << "row " << y;
  }
  EXPECT_EQ(dc.GetPixel(5, 14), RGB(0, 0, 0));
  EXPECT_EQ(dc.GetPixel(20, 3), RGB(0, 0, 0));
  EXPECT_EQ(dc.GetPixel(20, 14), RGB(255, 255, 255));
  Ellipse(&dc, 5, 3, 36, 26);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) ASSERT_EQ(dc.GetPixel(x, y), RGB(255, 255, 255));
}

TEST(GdiClipping, NothingIsDrawnOutsideTheClipBox) {
  TMemoryDeviceContext dc(8, 8, RGB(255, 255, 255));
  dc.SetClipBox({2, 2, 5, 6});
  RECT box{};
  EXPECT_EQ(GetClipBox(&dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.bottom, 6);
  SelectObject(&dc, GetStockObject(BLACK_BRUSH));
  Rectangle(&dc, 0, 0, 8, 8);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x)
      ASSERT_EQ(dc.GetPixel(x, y) == RGB(0, 0, 0), x >= 2 && x < 5 && y >= 2 && y < 6);
  dc.SetClipBox({20, 20, 30, 30});
  EXPECT_EQ(GetClipBox(&dc, &box), NULLREGION);
}

TEST(GdiObjects, BitmapsContextsAndStockObjectsAreCountedAndReleased) {
  const long objects = LiveGdiObjectCount(), contexts = LiveDeviceContextCount();
  TMemoryDcOptions options;
  options.bitsPerPixel = 16;
  TMemoryDeviceContext screen(4, 4, RGB(0, 0, 0), options);
  HBITMAP bitmap = CreateCompatibleBitmap(&screen, 3, 2);
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  EXPECT_EQ(GetObject(bitmap, sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmBitsPixel, 16);
  EXPECT_EQ(info.bmWidth, 3);
  EXPECT_EQ(CreateCompatibleBitmap(&screen, 0, 2), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(&screen, 1 << 20, 1 << 20), nullptr);

  // Draw into the bitmap through a compatible context, then copy it out with StretchBlt.
  HDC memory = CreateCompatibleDC(&screen);
  TTestDib dib(3, 2, 24);
  dib.row(1)[2] = 200; // top-left pixel red
  EXPECT_EQ(SetDIBits(&screen, bitmap, 0, 2, dib.bits(), dib.info(), DIB_RGB_COLORS), 2);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  ASSERT_NE(previous, nullptr);
  EXPECT_EQ(StretchBlt(&screen, 0, 0, 4, 4, memory, 0, 0, 2, 2, SRCCOPY), 1);
  EXPECT_EQ(screen.GetPixel(1, 1), RGB(200, 0, 0));
  EXPECT_EQ(screen.GetPixel(2, 2), RGB(0, 0, 0));
  SelectObject(memory, previous);
  EXPECT_EQ(StretchBlt(&screen, 0, 0, 4, 4, nullptr, 0, 0, 2, 2, SRCCOPY), 0);

  EXPECT_EQ(DeleteDC(memory), 1);
  EXPECT_EQ(DeleteObject(bitmap), 1);
  EXPECT_EQ(DeleteObject(GetStockObject(NULL_BRUSH)), 1); // kept alive
  EXPECT_NE(dynamic_cast<HBRUSH>(GetStockObject(NULL_BRUSH)), nullptr);
  EXPECT_EQ(LiveGdiObjectCount(), objects);
  EXPECT_EQ(LiveDeviceContextCount(), contexts + 1); // the screen above
}

TEST(GdiDesktop, TheDesktopReportsTheInstalledScreenDepth) {
  auto previous = SetScreenDepthProvider([] { return 8; });
  HDC desktop = GetDC(nullptr);
  ASSERT_NE(desktop, nullptr);
  EXPECT_EQ(GetDeviceCaps(desktop, BITSPIXEL), 8);
  EXPECT_NE(GetDeviceCaps(desktop, RASTERCAPS) & RC_PALETTE, 0);
  EXPECT_EQ(ReleaseDC(nullptr, desktop), 1);
  SetScreenDepthProvider(previous);
  EXPECT_EQ(ScreenDepth(), 24);
}

TEST(GdiPalettes, SelectingReturnsTheReplacedPaletteAndNullChangesNothing) {
  TMemoryDeviceContext dc(1, 1);
  HPALETTE initial = dc.CurrentPalette();
  ASSERT_NE(initial, nullptr);
  PALETTEENTRY e{1, 2, 3, 0};
  LOGPALETTE log{0x300, 1, {e}};
  HPALETTE p = CreatePalette(&log);
  EXPECT_EQ(SelectPalette(&dc, p, FALSE), initial);
  EXPECT_EQ(RealizePalette(&dc), 1u);
  EXPECT_EQ(SelectPalette(&dc, nullptr, FALSE), nullptr);
  EXPECT_EQ(dc.CurrentPalette(), p);
  EXPECT_EQ(SelectPalette(&dc, initial, FALSE), p);
  DeleteObject(p);
}

} // namespace
