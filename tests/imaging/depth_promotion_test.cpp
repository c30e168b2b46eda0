// SPDX-License-Identifier: GPL-3.0-or-later
#include "DepthPromotion.h"
#include "Random.h"
#include "picture_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace platform;

namespace {

class DepthUpToTest : public ::testing::Test {
protected:
  std::vector<int32_t> progress;
  std::function<void(int32_t)> report = [this](int32_t v) { progress.push_back(v); };
  long gdiObjects = LiveGdiObjectCount();
  void TearDown() override { EXPECT_EQ(LiveGdiObjectCount(), gdiObjects) << "GDI objects leaked"; }
};

TEST_F(DepthUpToTest, OneBitPicturesBecomeBlackAndWhiteWhateverTheirPalette) {
  const std::vector<COLORREF> coloured{RGB(200, 30, 30), RGB(30, 200, 30)};
  auto index = [](int32_t x, int32_t y) { return uint32_t((x * 7 + y) % 3 == 0); };
  for (const int32_t target : {24, 8, 4}) {
    TOwnedDib pic(MakePalette(13, 5, 1, coloured, index));
    DepthUpTo(*pic, target, report);
    ASSERT_EQ(DibBitCount(*pic), target);
    ASSERT_EQ(DibWidth(*pic), 13);
    ASSERT_EQ(DibHeight(*pic), 5);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        const uint32_t v = getpixel(*pic, x, 4 - y);
        const bool white = index(x, y) != 0;
        if (target == 24) {
          EXPECT_EQ(v, white ? RGB(255, 255, 255) : RGB(0, 0, 0));
        } else {
          EXPECT_EQ(v, white ? uint32_t(target == 8 ? 255 : 15) : 0u);
        }
      }
    if (target != 24) {
      const int32_t last = target == 8 ? 255 : 15;
      const VPaletteEntry& black = pic->LogPal.palPalEntry[0];
      const VPaletteEntry& white = pic->LogPal.palPalEntry[last];
      EXPECT_EQ(black.peRed + black.peGreen + black.peBlue, 0);
      EXPECT_EQ(white.peRed + white.peGreen + white.peBlue, 3 * 255);
      EXPECT_EQ(pic->Info->bmiColors[last].rgbGreen, 255);
      // The unused entries are multiples of 4, in both copies of the colours.
      for (int32_t i = 1; i < last; ++i) {
        const VPaletteEntry& e = pic->LogPal.palPalEntry[i];
        EXPECT_EQ(e.peRed % 4 + e.peGreen % 4 + e.peBlue % 4, 0);
        EXPECT_EQ(pic->Info->bmiColors[i].rgbBlue, e.peBlue);
      }
      // The palette handle holds the finished colours.
      PALETTEENTRY entry{};
      ASSERT_EQ(GetPaletteEntries(static_cast<HPALETTE>(pic->Palette), UINT(last), 1, &entry), 1u);
      EXPECT_EQ(entry.peRed, 255);
    }
  }
}

TEST_F(DepthUpToTest, FourBitOddWidthTakesTheLastPixelFromTheHighNibble) {
  std::vector<COLORREF> colours;
  for (int i = 0; i < 16; ++i) colours.push_back(RGB(uint8_t(i * 16 + 1), uint8_t(i * 3), uint8_t(255 - i)));
  auto index = [](int32_t x, int32_t y) { return uint32_t(x + 2 * y) % 16; };
  TOwnedDib pic(MakePalette(5, 3, 4, colours, index));
  // Something in the unused low nibble of each row's last byte, which must not show.
  for (int32_t r = 0; r < 3; ++r) pic->Bits[r * pic->BytesPerLine + 2] |= 0x0F;
  const TDib before = *pic;
  DepthUpTo(*pic, 24, report);
  ASSERT_EQ(DibBitCount(*pic), 24);
  EXPECT_NE(pic->Bits, before.Bits);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(Pixel24(*pic, x, y), colours[index(x, y)]) << x << "," << y;

  TOwnedDib eight(MakePalette(5, 3, 4, colours, index));
  DepthUpTo(*eight, 8, report);
  ASSERT_EQ(DibBitCount(*eight), 8);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(getpixel(*eight, x, 2 - y), index(x, y));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(eight->LogPal.palPalEntry[i].peRed, GetRValue(colours[size_t(i)]));
}

TEST_F(DepthUpToTest, EightBitPicturesKeepEveryColourInBlueGreenRedOrder) {
  std::vector<COLORREF> colours;
  for (int i = 0; i < 256; ++i) colours.push_back(RGB(uint8_t(i), uint8_t(i * 5), uint8_t(i * 11)));
  TOwnedDib pic(MakePalette(16, 16, 8, colours, [](int32_t x, int32_t y) { return uint32_t(x + 16 * y); }));
  DepthUpTo(*pic, 24, report);
  ASSERT_EQ(DibBitCount(*pic), 24);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      const uint8_t* p = pic->Bits + (15 - y) * pic->BytesPerLine + 3 * x;
      const COLORREF c = colours[size_t(x + 16 * y)];
      ASSERT_EQ(p[0], GetBValue(c));
      ASSERT_EQ(p[1], GetGValue(c));
      ASSERT_EQ(p[2], GetRValue(c));
    }
}

TEST_F(DepthUpToTest, TwentyFourBitAndUnpairedDepthsStayAsTheyWere) {
  TOwnedDib pic(Make24(3, 3));
  const TDib before = *pic;
  DepthUpTo(*pic, 24, report);
  EXPECT_EQ(std::memcmp(&before, &*pic, sizeof before), 0);
  DepthUpTo(*pic, 8, report);
  EXPECT_EQ(std::memcmp(&before, &*pic, sizeof before), 0);
  EXPECT_EQ(progress, (std::vector<int32_t>{0, 0, 0, 0}));

  // 8 bits to 4 has no conversion: the new record is released, the old one kept.
  TOwnedDib eight(MakePalette(3, 3, 8, {RGB(1, 2, 3)}, [](int32_t, int32_t) { return 0u; }));
  const TDib eightBefore = *eight;
  DepthUpTo(*eight, 4, report);
  EXPECT_EQ(std::memcmp(&eightBefore, &*eight, sizeof eightBefore), 0);
}

TEST_F(DepthUpToTest, ProgressRunsOncePerRowToOneHundredThenBackToZero) {
  TOwnedDib pic(MakePalette(2, 5, 8, {RGB(1, 2, 3)}, [](int32_t, int32_t) { return 0u; }));
  DepthUpTo(*pic, 24, report);
  EXPECT_EQ(progress, (std::vector<int32_t>{0, 0, 25, 50, 75, 100, 0}));

  progress.clear();
  TOwnedDib row(MakePalette(4, 1, 4, {RGB(1, 2, 3)}, [](int32_t, int32_t) { return 0u; }));
  DepthUpTo(*row, 24, report);
  EXPECT_EQ(progress, (std::vector<int32_t>{0, 100, 0}));
}

TEST_F(DepthUpToTest, RandomFollowsTheClassicGenerator) {
  SetRandSeed(0);
  EXPECT_EQ(Random(256), 0); // seed 1
  EXPECT_EQ(RandSeed(), 1u);
  EXPECT_EQ(Random(256), 8); // seed 0x08088406: its high byte
  EXPECT_EQ(RandSeed(), 0x08088406u);
  EXPECT_EQ(Random(0), 0);
  SetRandSeed(0xFFFFFFFFu);
  for (int i = 0; i < 1000; ++i) {
    const int32_t v = Random(10);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 10);
  }
}

TEST_F(DepthUpToTest, SharedRowsGiveTheSamePixelsAndProgressInRowOrder) {
  // Bands of two rows, the upper half on another thread, the lower half here from the top down.
  const TRowBands rows = [](int32_t count, const std::function<void(int32_t, int32_t)>& band) {
    const int32_t middle = count / 2;
    std::thread other([&] {
      for (int32_t first = middle; first < count; first += 2) band(first, std::min(count, first + 2));
    });
    for (int32_t first = (middle - 1) / 2 * 2; first >= 0; first -= 2) band(first, std::min(middle, first + 2));
    other.join();
  };
  std::vector<COLORREF> colours;
  for (int i = 0; i < 256; ++i) colours.push_back(RGB(uint8_t(i), uint8_t(i * 5), uint8_t(i * 11)));
  for (int32_t bits : {1, 8}) {
    const auto pixel = [bits](int32_t x, int32_t y) { return uint32_t(x * 7 + y * 3) % (1u << bits); };
    const std::vector<COLORREF> table(colours.begin(), colours.begin() + (1 << bits));
    TOwnedDib plain(MakePalette(13, 9, bits, table, pixel)), shared(MakePalette(13, 9, bits, table, pixel));
    DepthUpTo(*plain, 24, report);
    const std::vector<int32_t> plainProgress = progress;
    progress.clear();
    DepthUpTo(*shared, 24, report, rows);
    ASSERT_EQ(DibBitCount(*shared), 24);
    EXPECT_EQ(std::memcmp(plain->Bits, shared->Bits, size_t(plain->BytesPerLine) * 9), 0) << bits << " bits";
    EXPECT_EQ(progress, plainProgress) << bits << " bits";
    progress.clear();
  }
}

} // namespace
