// SPDX-License-Identifier: GPL-3.0-or-later
// Blank images, release, and pixel access.
#include "decoder.h"
#include "file_support.h"
#include "palette_util.h"

#include "platform/palette.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace velbrik;

bool allZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

TEST(NewDib, FillsHeaderRowsAndPaletteForEveryDepth) {
  struct Case { int bits, width, stride, entries; };
  for (const Case c : {Case{1, 13, 4, 2}, Case{4, 9, 8, 16}, Case{8, 5, 8, 256}, Case{24, 7, 24, 0}}) {
    SCOPED_TRACE(c.bits);
    TDib d;
    std::memset(&d, 0xAB, sizeof d);
    newdib(&d, c.width, 3, c.bits, nullptr, 0);
    ASSERT_NE(d.Bits, nullptr);
    ASSERT_NE(d.Memory, nullptr);
    const VBitmapInfoHeader& h = d.Info->bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, c.width);
    EXPECT_EQ(h.biHeight, 3);
    EXPECT_EQ(h.biBitCount, c.bits);
    EXPECT_EQ(d.BytesPerLine, c.stride);
    EXPECT_EQ(h.biSizeImage, uint32_t(c.stride * 3));
    EXPECT_TRUE(allZero(d.Bits, size_t(c.stride) * 3));
    // The colour table sits right behind the header, the rows right behind the table.
    EXPECT_EQ(d.Bits, reinterpret_cast<uint8_t*>(d.Info) + 40 + 4 * c.entries);
    EXPECT_EQ(d.LogPal.palVersion, 0x300);
    if (c.entries > 0) {
      EXPECT_EQ(d.LogPal.palNumEntries, c.entries);
      EXPECT_EQ(d.UsePalette, 1);
    } else {
      EXPECT_EQ(d.LogPal.palNumEntries, 256);
    }
    EXPECT_NE(d.Palette, nullptr);
    deldib(d);
  }
}

TEST(NewDib, TakesTheGivenColoursIntoTableAndLogPal) {
  TDib src;
  newdib(&src, 2, 2, 8, nullptr, 0);
  SetDibColour(src, 0, 10, 20, 30);
  SetDibColour(src, 1, 200, 100, 50);
  SetDibColour(src, 2, 1, 2, 3);
  TDib d;
  newdib(&d, 4, 4, 4, src.Info, 2);
  ASSERT_NE(d.Bits, nullptr);
  EXPECT_EQ(d.Info->bmiColors[1].rgbRed, 200);
  EXPECT_EQ(d.Info->bmiColors[1].rgbGreen, 100);
  EXPECT_EQ(d.Info->bmiColors[1].rgbBlue, 50);
  EXPECT_EQ(d.LogPal.palPalEntry[0].peRed, 10);
  EXPECT_EQ(d.LogPal.palPalEntry[0].peBlue, 30);
  // Only the given count is taken: entry 2 stays black.
  EXPECT_EQ(d.Info->bmiColors[2].rgbRed, 0);
  EXPECT_EQ(d.LogPal.palPalEntry[2].peRed, 0);
  deldib(d);
  deldib(src);
}

TEST(NewDib, RefusedSizesAndDepthsLeaveAFailedRecord) {
  struct Case { int w, h, bits; };
  for (const Case c : {Case{0, 5, 24}, Case{5, -1, 24}, Case{10, 10, 16}, Case{10, 10, 32},
                       Case{kMaxSide + 1, 1, 8}, Case{20000, 20000, 24}}) {
    TDib d;
    std::memset(&d, 0xCD, sizeof d);
    newdib(&d, c.w, c.h, c.bits, nullptr, 0);
    EXPECT_EQ(d.Memory, nullptr) << c.w << "x" << c.h << "x" << c.bits;
    EXPECT_EQ(d.Bits, nullptr);
    EXPECT_EQ(d.Palette, nullptr);
    deldib(d); // releasing a failed record is harmless
  }
}

TEST(DelDib, ReleasingACopyOnceFreesEverything) {
  const long before = platform::LiveGdiObjectCount();
  TDib original;
  newdib(&original, 30, 20, 8, nullptr, 0);
  ASSERT_NE(original.Bits, nullptr);
  EXPECT_EQ(platform::LiveGdiObjectCount(), before + 1);
  TDib copy;
  std::memcpy(&copy, &original, sizeof copy);
  deldib(copy);
  EXPECT_EQ(platform::LiveGdiObjectCount(), before);
  // Releasing the original as well is a caller's mistake; it must not free anything twice.
  deldib(original);
  TDib garbage;
  std::memset(&garbage, 0x3C, sizeof garbage);
  deldib(garbage);
  EXPECT_EQ(platform::LiveGdiObjectCount(), before);
}

TEST(FailDib, ReleasesTheImageAndKeepsTheTextInsideTheRecord) {
  const long before = platform::LiveGdiObjectCount();
  TDib d;
  newdib(&d, 4, 4, 8, nullptr, 0);
  FailDib(d, std::string(5000, 'x'));
  EXPECT_EQ(platform::LiveGdiObjectCount(), before);
  EXPECT_EQ(d.Bits, nullptr);
  EXPECT_EQ(d.Memory, nullptr);
  const char* text = DibErrorText(&d);
  const size_t n = std::strlen(text);
  EXPECT_GT(n, 1000u);
  EXPECT_LT(reinterpret_cast<const uint8_t*>(text) + n, reinterpret_cast<const uint8_t*>(&d) + sizeof d);

  // A cut never splits a multi-byte character.
  FailDib(d, std::string(1022, 'a') + "\xC3\xA4\xC3\xA4");
  EXPECT_EQ(std::strlen(DibErrorText(&d)), 1022u);
}

TEST(PixelAccess, OneBitImages) {
  TDib d;
  newdib(&d, 10, 2, 1, nullptr, 0);
  setpixel(d, 0, 0, 1);
  setpixel(d, 9, 1, 3); // only the low bit counts
  setpixel(d, 8, 1, 2);
  EXPECT_EQ(d.Bits[0], 0x80);
  EXPECT_EQ(d.Bits[d.BytesPerLine + 1], 0x40);
  EXPECT_NE(getpixel(d, 0, 0), 0u);
  EXPECT_EQ(getpixel(d, 1, 0), 0u);
  EXPECT_NE(getpixel(d, 9, 1), 0u);
  EXPECT_EQ(getpixel(d, 8, 1), 0u);
  setpixel(d, 0, 0, 0);
  EXPECT_EQ(getpixel(d, 0, 0), 0u);
  deldib(d);
}

TEST(PixelAccess, FourBitImagesKeepTheLowBits) {
  TDib d;
  newdib(&d, 3, 1, 4, nullptr, 0);
  setpixel(d, 0, 0, 255); // white entry 15
  setpixel(d, 1, 0, 0x12);
  setpixel(d, 2, 0, 7);
  EXPECT_EQ(d.Bits[0], 0xF2);
  EXPECT_EQ(d.Bits[1], 0x70);
  EXPECT_EQ(getpixel(d, 0, 0), 15u);
  EXPECT_EQ(getpixel(d, 1, 0), 2u);
  EXPECT_EQ(getpixel(d, 2, 0), 7u);
  deldib(d);
}

TEST(PixelAccess, EightAndTwentyFourBitImagesUseBottomUpRows) {
  TDib d8;
  newdib(&d8, 4, 3, 8, nullptr, 0);
  setpixel(d8, 3, 2, 0x1C5);
  EXPECT_EQ(d8.Bits[2 * d8.BytesPerLine + 3], 0xC5);
  EXPECT_EQ(getpixel(d8, 3, 2), 0xC5u);
  deldib(d8);

  TDib d;
  newdib(&d, 3, 2, 24, nullptr, 0);
  setpixel(d, 2, 1, platform::RGB(0x11, 0x22, 0x33));
  const uint8_t* p = d.Bits + d.BytesPerLine + 6;
  EXPECT_EQ(p[0], 0x33); // blue
  EXPECT_EQ(p[1], 0x22);
  EXPECT_EQ(p[2], 0x11); // red
  EXPECT_EQ(getpixel(d, 2, 1), platform::RGB(0x11, 0x22, 0x33));
  // Outside the picture nothing is written and 0 is read.
  setpixel(d, 3, 0, 0xFFFFFF);
  setpixel(d, 0, -1, 0xFFFFFF);
  EXPECT_EQ(getpixel(d, 3, 0), 0u);
  EXPECT_EQ(d.Bits[9], 0); // row padding
  deldib(d);
}

TEST(HalftonePaletteTable, CubeThenGreys) {
  const VPaletteEntry* p = HalftonePalette();
  EXPECT_EQ(p[0].peRed, 0);
  EXPECT_EQ(p[215].peRed, 255);
  EXPECT_EQ(p[215].peBlue, 255);
  EXPECT_EQ(p[1].peBlue, 51); // blue runs fastest
  for (int i = 216; i < 256; ++i) {
    EXPECT_EQ(p[i].peRed, p[i].peGreen);
    EXPECT_EQ(p[i].peRed, p[i].peBlue);
  }
}

} // namespace
