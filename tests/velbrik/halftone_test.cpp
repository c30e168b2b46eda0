// SPDX-License-Identifier: GPL-3.0-or-later
// Halftoned copies on the fixed 256-colour palette.
#include "decoder.h"
#include "file_support.h"
#include "palette_util.h"

#include "platform/palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using velbrik::HalftonePalette;

struct Rgb {
  int r, g, b;
};
Rgb paletteColour(int index) {
  const VPaletteEntry& e = HalftonePalette()[index];
  return {e.peRed, e.peGreen, e.peBlue};
}

TEST(Halftone, CopyIsAnEightBitImageOnTheFixedPalette) {
  const long gdiBefore = platform::LiveGdiObjectCount();
  TDib src = vtest::Make24(37, 11, [](int x, int y) { return uint32_t(x * 6 << 16 | y * 20 << 8 | 99); });
  TDib ht;
  DIBHalftoneDIB(&ht, src);
  ASSERT_NE(ht.Bits, nullptr);
  ASSERT_NE(ht.Memory, nullptr);
  EXPECT_EQ(ht.Info->bmiHeader.biBitCount, 8);
  EXPECT_EQ(ht.Info->bmiHeader.biWidth, 37);
  EXPECT_EQ(ht.Info->bmiHeader.biHeight, 11);
  EXPECT_EQ(ht.BytesPerLine, 40);
  EXPECT_EQ(ht.LogPal.palVersion, 0x300);
  EXPECT_EQ(ht.LogPal.palNumEntries, 256);
  EXPECT_EQ(ht.UsePalette, 1);
  ASSERT_NE(ht.Palette, nullptr);
  for (int i = 0; i < 256; ++i) {
    const Rgb c = paletteColour(i);
    EXPECT_EQ(ht.Info->bmiColors[i].rgbRed, c.r);
    EXPECT_EQ(ht.Info->bmiColors[i].rgbBlue, c.b);
    EXPECT_EQ(ht.LogPal.palPalEntry[i].peGreen, c.g);
  }
  platform::PALETTEENTRY e{};
  platform::GetPaletteEntries(static_cast<platform::HPALETTE>(ht.Palette), 215, 1, &e);
  EXPECT_EQ(e.peRed, 255);
  // The source is untouched and the copy independent of it.
  EXPECT_EQ(src.Info->bmiHeader.biBitCount, 24);
  deldib(ht);
  deldib(src);
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

TEST(Halftone, PaletteColoursStayExactAndGreysStayGrey) {
  // Colours that are in the palette come out unchanged; a grey ramp maps only to greys and
  // each 8 x 8 block averages close to its input.
  TDib src = vtest::Make24(64, 8, [](int x, int) {
    if (x < 6) return uint32_t(x * 51) << 16 | 0x3366u; // cube colours (r, 51, 102)
    const uint32_t v = uint32_t((x / 8) * 36); // 8-pixel wide grey bands 0, 36, ..., 252
    return v << 16 | v << 8 | v;
  });
  TDib ht;
  DIBHalftoneDIB(&ht, src);
  ASSERT_NE(ht.Bits, nullptr);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 6; ++x) {
      const Rgb c = paletteColour(ht.Bits[y * ht.BytesPerLine + x]);
      EXPECT_EQ(c.r, x * 51);
      EXPECT_EQ(c.g, 51);
      EXPECT_EQ(c.b, 102);
    }
  for (int band = 1; band < 8; ++band) {
    double sum = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = band * 8; x < band * 8 + 8; ++x) {
        const Rgb c = paletteColour(ht.Bits[y * ht.BytesPerLine + x]);
        EXPECT_EQ(c.r, c.g);
        EXPECT_EQ(c.g, c.b);
        sum += c.r;
      }
    EXPECT_NEAR(sum / 64, band * 36, 3.0) << band;
  }
  deldib(ht);
  deldib(src);
}

TEST(Halftone, ColoursBetweenCubeLevelsAreMixedInProportion) {
  // Red 0x99 = 153 lies on a level; green 127 lies half-way between 102 and 153: an 8 x 8 block
  // must show about half of each, never anything else.
  TDib src = vtest::Make24(8, 8, [](int, int) { return 0x997F00u; });
  TDib ht;
  DIBHalftoneDIB(&ht, src);
  ASSERT_NE(ht.Bits, nullptr);
  int upper = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const Rgb c = paletteColour(ht.Bits[y * ht.BytesPerLine + x]);
      EXPECT_EQ(c.r, 153);
      EXPECT_EQ(c.b, 0);
      ASSERT_TRUE(c.g == 102 || c.g == 153) << c.g;
      upper += c.g == 153;
    }
  EXPECT_NEAR(upper, 32, 2);
  deldib(ht);
  deldib(src);
}

TEST(Halftone, ScaledCopyTakesNearestPixelsOfAnyDepth) {
  // A 2 x 2 palette picture: bottom row black, white; top row red, blue (pure palette colours).
  for (int bits : {1, 4, 8, 24}) {
    SCOPED_TRACE(bits);
    TDib src;
    newdib(&src, 2, 2, bits, nullptr, 0);
    ASSERT_NE(src.Bits, nullptr);
    const uint32_t colours[4] = {0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF}; // 0xRRGGBB
    for (int i = 0; i < 4; ++i) {
      const int x = i % 2, y = i / 2;
      if (bits == 24) {
        const uint32_t c = colours[i];
        setpixel(src, x, y, platform::RGB(uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)));
      } else {
        const int index = bits == 1 ? (i == 1 || i == 3) : i;
        const uint32_t c = bits == 1 ? (index ? 0xFFFFFFu : 0u) : colours[i];
        velbrik::SetDibColour(src, index, uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
        setpixel(src, x, y, uint32_t(index));
      }
    }
    TDib ht;
    DIBHalftoneDIBXY(&ht, src, 6, 4);
    ASSERT_NE(ht.Bits, nullptr);
    EXPECT_EQ(ht.Info->bmiHeader.biWidth, 6);
    EXPECT_EQ(ht.Info->bmiHeader.biHeight, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        int i = (y / 2) * 2 + x / 3;
        if (bits == 1 && i >= 2) i -= 2; // two colours only: black, white
        const uint32_t want = colours[i];
        const Rgb c = paletteColour(ht.Bits[y * ht.BytesPerLine + x]);
        EXPECT_EQ(uint32_t(c.r << 16 | c.g << 8 | c.b), want) << x << "," << y;
      }
    deldib(ht);
    deldib(src);
  }
}

TEST(Halftone, FailuresLeaveAnEmptyRecord) {
  TDib src = vtest::Make24(4, 4, [](int, int) { return 0u; });
  TDib ht;
  for (auto [w, h] : {std::pair{0, 4}, std::pair{4, -2}, std::pair{20000, 20000}}) {
    std::memset(&ht, 0x77, sizeof ht);
    DIBHalftoneDIBXY(&ht, src, w, h);
    EXPECT_EQ(ht.Memory, nullptr);
    EXPECT_EQ(ht.Bits, nullptr);
  }
  TDib none;
  std::memset(&none, 0, sizeof none);
  std::memset(&ht, 0x77, sizeof ht);
  DIBHalftoneDIB(&ht, none);
  EXPECT_EQ(ht.Bits, nullptr);
  EXPECT_EQ(ht.Memory, nullptr);
  deldib(src);
}

} // namespace
