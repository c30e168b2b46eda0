// SPDX-License-Identifier: GPL-3.0-or-later
// The row paths skip what lies outside the device's clip box; what they draw inside it must be
// exactly what an unclipped drawing puts there.
#include "StretchDraw.h"
#include "picture_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace platform;

namespace {

struct TZoom {
  int32_t num, den;
};

void DrawZoomed(HDC dc, const TDib& dib, TZoom z, int32_t x, int32_t y) {
  const int32_t w = DibWidth(dib), h = DibHeight(dib);
  StretchDrawDib(dc, x, y, w * z.num / z.den, h * z.num / z.den, dib, 0, 0, w, h, true, SRCCOPY,
                 true, nullptr);
}

TEST(ClipBoxTest, RowPathsDrawTheSamePixelsWithAndWithoutAClipBox) {
  TScreenAndMessages env(32);
  std::mt19937 rng(7);
  TOwnedDib pic24(Make24(37, 23, [&](int32_t, int32_t) {
    return RGB(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
  }));
  std::vector<COLORREF> colours;
  for (int i = 0; i < 256; ++i) colours.push_back(RGB(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)));
  TOwnedDib pic8(MakePalette(29, 31, 8, colours, [&](int32_t, int32_t) { return uint32_t(rng() % 256); }));

  const TZoom zooms[] = {{1, 1}, {3, 1}, {10, 1}, {1, 3}, {7, 5}, {2, 3}};
  const RECT clips[] = {{0, 0, 400, 350}, {5, 7, 60, 41}, {-20, -10, 13, 9},
                        {133, 90, 400, 350}, {50, 50, 51, 51}, {70, 0, 70, 300}};
  for (TDib* pic : {&*pic24, &*pic8}) {
    for (const TZoom z : zooms) {
      for (const int32_t origin : {0, 11}) {
        TMemoryDeviceContext whole(400, 350, RGB(9, 9, 9));
        DrawZoomed(&whole, *pic, z, origin, origin - 3);
        for (const RECT& clip : clips) {
          TMemoryDeviceContext part(400, 350, RGB(9, 9, 9));
          part.SetClipBox(clip);
          DrawZoomed(&part, *pic, z, origin, origin - 3);
          for (int32_t y = 0; y < 350; ++y)
            for (int32_t x = 0; x < 400; ++x) {
              const bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
              ASSERT_EQ(part.GetPixel(x, y), inside ? whole.GetPixel(x, y) : RGB(9, 9, 9))
                  << "zoom " << z.num << "/" << z.den << " clip " << clip.left << "," << clip.top
                  << " at " << x << "," << y;
            }
          // Only the rows that meet the clip box are sent.
          const int32_t destTop = origin - 3;
          const int32_t destBottom = destTop + DibHeight(*pic) * z.num / z.den;
          const int32_t rows = std::max(0, std::min({clip.bottom, destBottom, 350}) -
                                               std::max({clip.top, destTop, 0}));
          const int32_t destRight = origin + DibWidth(*pic) * z.num / z.den;
          const bool columns = std::min({clip.right, 400, destRight}) > std::max(clip.left, origin);
          EXPECT_EQ(part.Counts().setDIBitsToDevice, columns ? rows : 0);
        }
      }
    }
  }
}

TEST(ClipBoxTest, ABigZoomSendsOnlyTheVisibleRowsAtTheirVisibleWidth) {
  TScreenAndMessages env(32);
  TOwnedDib pic(Make24(400, 300));
  TMemoryDeviceContext dc(100, 70, RGB(0, 0, 0));
  // The view at zoom 10 is 4000 x 3000; this device shows 100 x 70 of it, starting 1234 pixels
  // to the right and 567 down.
  StretchDrawDib(&dc, -1234, -567, 4000, 3000, *pic, 0, 0, 400, 300, true, SRCCOPY, true, nullptr);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice, 70);
  for (int32_t y = 0; y < 70; y += 7)
    for (int32_t x = 0; x < 100; x += 9)
      ASSERT_EQ(dc.GetPixel(x, y), TestColour((x + 1234) / 10, (y + 567) / 10));
}

} // namespace
