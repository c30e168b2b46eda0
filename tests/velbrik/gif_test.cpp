// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec_support.h"

#include "platform/palette.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace codec_test;

namespace {

const std::vector<Rgb> kGlobal = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                                  {9, 8, 7}, {50, 60, 70}, {1, 1, 1}, {99, 98, 97}};

Bytes pattern(int width, int height, int colours) {
  Bytes out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out.push_back(uint8_t((x + 3 * y) % colours));
  return out;
}

} // namespace

TEST(GifDecode, FullScreenFrameKeepsIndexesAndGlobalColours) {
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced);
    GifSpec spec;
    spec.screenWidth = spec.width = 7;
    spec.screenHeight = spec.height = 13; // every interlace pass has rows
    spec.global = kGlobal;
    spec.interlaced = interlaced;
    Dib dib;
    Decode(velbrik::DecodeGif, MakeGif(spec, pattern(7, 13, 8)), dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.bits(), 8);
    EXPECT_EQ(dib.record.UsePalette, 1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(dib.paletteColour(i), kGlobal[size_t(i)]);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(dib.index(x, y), uint32_t((x + 3 * y) % 8)) << x << "," << y;
  }
}

TEST(GifDecode, SmallerFrameSitsOnTheBackgroundOfTheScreen) {
  GifSpec spec;
  spec.screenWidth = 10;
  spec.screenHeight = 6;
  spec.left = 3;
  spec.top = 2;
  spec.width = 4;
  spec.height = 3;
  spec.global = kGlobal;
  spec.background = 5;
  spec.local = {{10, 20, 30}, {40, 50, 60}}; // the frame's own map wins
  Dib dib;
  Decode(velbrik::DecodeGif, MakeGif(spec, Bytes{1, 1, 1, 1, 0, 1, 0, 1, 1, 1, 1, 0}), dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.width(), 10);
  EXPECT_EQ(dib.height(), 6);
  EXPECT_EQ(dib.paletteColour(1), (Rgb{40, 50, 60}));
  EXPECT_EQ(dib.index(0, 0), 0u);  // the background index 5 lies outside the local map
  EXPECT_EQ(dib.index(3, 2), 1u);
  EXPECT_EQ(dib.index(3, 3), 0u);
  EXPECT_EQ(dib.index(4, 3), 1u);
  EXPECT_EQ(dib.index(6, 4), 0u);
  EXPECT_EQ(dib.index(7, 4), 0u);  // right of the frame
  EXPECT_EQ(dib.index(5, 5), 0u);  // below it

  spec.local.clear();
  Dib onGlobal;
  Decode(velbrik::DecodeGif, MakeGif(spec, Bytes(12, 2)), onGlobal);
  ASSERT_TRUE(onGlobal.ok) << onGlobal.error;
  EXPECT_EQ(onGlobal.index(0, 0), 5u);
  EXPECT_EQ(onGlobal.index(9, 5), 5u);
  EXPECT_EQ(onGlobal.index(3, 2), 2u);
  EXPECT_EQ(onGlobal.at(3, 2), (Rgb{0, 255, 0}));
}

TEST(GifDecode, TransparentColourShowsWhite) {
  GifSpec spec;
  spec.screenWidth = spec.width = 2;
  spec.global = kGlobal;
  spec.transparent = 3;
  Dib dib;
  Decode(velbrik::DecodeGif, MakeGif(spec, Bytes{3, 1}), dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.at(0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(dib.at(1, 0), (Rgb{255, 0, 0}));
}

TEST(GifDecode, IndexesBeyondTheColourMapShowTheFirstColour) {
  // Written with a 256-colour map, then the map cut to two entries: the image data still codes
  // 8-bit indexes, most of which now have no colour.
  GifSpec spec;
  spec.screenWidth = spec.width = 4;
  std::vector<Rgb> big(256, Rgb{7, 7, 7});
  big[1] = {200, 0, 0};
  spec.global = big;
  Bytes file = MakeGif(spec, Bytes{1, 200, 0, 255});
  ASSERT_EQ(file[10] & 0x87, 0x87);
  file[10] = uint8_t((file[10] & ~0x07) | 0x00); // map of 2 entries
  file.erase(file.begin() + 13 + 6, file.begin() + 13 + 768);
  Dib dib;
  Decode(velbrik::DecodeGif, file, dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.index(0, 0), 1u);
  EXPECT_EQ(dib.index(1, 0), 0u);
  EXPECT_EQ(dib.index(3, 0), 0u);
  EXPECT_EQ(dib.at(0, 0), (Rgb{200, 0, 0}));
}

TEST(GifDecode, BadFilesAreRefusedWithAGermanMessage) {
  const long gdiBefore = platform::LiveGdiObjectCount();
  GifSpec spec;
  spec.screenWidth = spec.width = 16;
  spec.screenHeight = spec.height = 16;
  spec.global = kGlobal;
  const Bytes good = MakeGif(spec, pattern(16, 16, 8));
  for (size_t keep = 0; keep + 1 < good.size(); ++keep) {
    Dib dib;
    Decode(velbrik::DecodeGif, Truncated(good, keep), dib);
    ASSERT_FALSE(dib.ok) << keep;
    EXPECT_EQ(dib.record.Bits, nullptr);
    EXPECT_GT(std::strlen(DibErrorText(&dib.record)), 10u);
  }
  Dib cut;
  Decode(velbrik::DecodeGif, Truncated(good, good.size() - 10), cut);
  EXPECT_EQ(cut.error, "Die GIF-Datei ist unvollständig.");

  GifSpec outside = spec;
  outside.screenWidth = 12; // frame 16 wide on a 12-wide screen
  Dib wide;
  Decode(velbrik::DecodeGif, MakeGif(outside, pattern(16, 16, 8)), wide);
  EXPECT_FALSE(wide.ok);
  EXPECT_NE(wide.error.find("Bildschirmbereich"), std::string::npos) << wide.error;

  Bytes noMap = good;
  noMap[10] &= 0x7F; // no global map, and the frame has none of its own
  noMap.erase(noMap.begin() + 13, noMap.begin() + 13 + 24);
  Dib colourless;
  Decode(velbrik::DecodeGif, noMap, colourless);
  EXPECT_FALSE(colourless.ok);
  EXPECT_EQ(colourless.error, "Die GIF-Datei hat keine Farbtabelle.");

  Dib notGif;
  Decode(velbrik::DecodeGif, Bytes{'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}, notGif);
  EXPECT_EQ(notGif.error, "Die Datei ist keine GIF-Datei.");
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

TEST(GifDecode, ScreensLargerThanTheLimitAreRefusedBeforeAllocating) {
  GifSpec spec;
  spec.screenWidth = 65535;
  spec.screenHeight = 65535;
  spec.global = kGlobal;
  Dib dib;
  Decode(velbrik::DecodeGif, MakeGif(spec, Bytes{1}), dib);
  EXPECT_FALSE(dib.ok);
  EXPECT_NE(dib.error.find("zu groß"), std::string::npos) << dib.error;

  // A 9000 x 9000 screen and frame, but image data for one row only.
  GifSpec starved;
  starved.screenWidth = starved.width = 9000;
  starved.global = kGlobal;
  Bytes file = MakeGif(starved, Bytes(9000, 1));
  ASSERT_EQ(file[13 + 24], 0x2C); // the frame's descriptor follows the 8-colour map
  for (size_t at : {size_t(8), size_t(13 + 24 + 7)}) {
    file[at] = 0x28; // 9000 = 0x2328, little-endian
    file[at + 1] = 0x23;
  }
  Dib tall;
  Decode(velbrik::DecodeGif, file, tall);
  EXPECT_FALSE(tall.ok);
  EXPECT_EQ(tall.record.Bits, nullptr);
}
