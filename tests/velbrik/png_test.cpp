// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec_support.h"
#include "file_support.h"

#include "platform/palette.h"
#include "platform/win.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>

using namespace codec_test;

namespace {

const std::vector<Rgb> kColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30},
                                   {200, 100, 50}, {1, 2, 3}, {90, 80, 70}, {250, 250, 250}};

// Packs one index per pixel into a PNG row of `depth` bits per sample.
Bytes packRow(const std::vector<int>& values, int depth) {
  Bytes row((values.size() * size_t(depth) + 7) / 8, 0);
  for (size_t x = 0; x < values.size(); ++x) {
    const size_t bit = x * size_t(depth);
    row[bit / 8] = uint8_t(row[bit / 8] | (values[x] << (8 - depth - int(bit % 8))));
  }
  return row;
}

Bytes decodePngRaw(const Bytes& file, Dib& dib) {
  Decode(velbrik::DecodePng, file, dib);
  return file;
}

} // namespace

TEST(PngDecode, PaletteDepthsKeepTheirIndexesAndColours) {
  // 2-bit palettes have no DIB depth and come out as 4 bits.
  for (auto [depth, dibBits] : {std::pair{1, 1}, {2, 4}, {4, 4}, {8, 8}}) {
    SCOPED_TRACE(depth);
    const int colours = std::min(1 << depth, int(kColours.size()));
    PngSpec spec;
    spec.width = 11; // not a whole number of bytes at any depth
    spec.height = 3;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.depth = depth;
    spec.palette.assign(kColours.begin(), kColours.begin() + colours);
    std::vector<Bytes> rows;
    for (int y = 0; y < spec.height; ++y) {
      std::vector<int> v;
      for (int x = 0; x < spec.width; ++x) v.push_back((x + 2 * y) % colours);
      rows.push_back(packRow(v, depth));
    }
    Dib dib;
    decodePngRaw(MakePng(spec, rows), dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.bits(), dibBits);
    EXPECT_EQ(dib.record.UsePalette, 1);
    for (int i = 0; i < colours; ++i) EXPECT_EQ(dib.paletteColour(i), kColours[size_t(i)]);
    for (int y = 0; y < spec.height; ++y)
      for (int x = 0; x < spec.width; ++x) EXPECT_EQ(dib.index(x, y), uint32_t((x + 2 * y) % colours));
  }
}

TEST(PngDecode, TransparentPaletteEntriesAreComposedOverWhite) {
  PngSpec spec;
  spec.width = 2;
  spec.colourType = PNG_COLOR_TYPE_PALETTE;
  spec.palette = {{0, 0, 0}, {200, 0, 100}};
  spec.paletteAlpha = {0}; // entry 0 fully transparent, entry 1 opaque
  Dib dib;
  decodePngRaw(MakePng(spec, {packRow({0, 1}, 8)}), dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.paletteColour(0), (Rgb{255, 255, 255}));
  EXPECT_EQ(dib.paletteColour(1), (Rgb{200, 0, 100}));
}

TEST(PngDecode, EveryOtherColourTypeBecomes24BitsOverWhite) {
  struct Case {
    const char* name;
    int colourType, depth;
    Bytes row;           // two pixels
    Rgb first, second;   // as shown
    int greyKey = -1;
  };
  const std::vector<Case> cases = {
      {"grey 1", PNG_COLOR_TYPE_GRAY, 1, {0x40}, {0, 0, 0}, {255, 255, 255}},
      {"grey 2", PNG_COLOR_TYPE_GRAY, 2, {0x60}, {85, 85, 85}, {170, 170, 170}},
      {"grey 4", PNG_COLOR_TYPE_GRAY, 4, {0x0F}, {0, 0, 0}, {255, 255, 255}},
      {"grey 8", PNG_COLOR_TYPE_GRAY, 8, {7, 250}, {7, 7, 7}, {250, 250, 250}},
      {"grey 16", PNG_COLOR_TYPE_GRAY, 16, {0x12, 0x34, 0xFF, 0xFF}, {0x12, 0x12, 0x12}, {255, 255, 255}},
      {"grey key", PNG_COLOR_TYPE_GRAY, 8, {9, 10}, {255, 255, 255}, {10, 10, 10}, 9},
      {"grey alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0, 0, 100, 255}, {255, 255, 255}, {100, 100, 100}},
      {"rgb 8", PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}, {1, 2, 3}, {4, 5, 6}},
      // 16-bit samples are rounded: 0x01FF is 1.99 levels, 0xFA00 249.02.
      {"rgb 16", PNG_COLOR_TYPE_RGB, 16, {1, 0xFF, 2, 0, 3, 0, 0xFA, 0, 0xFB, 0, 0xFC, 0}, {2, 2, 3}, {249, 250, 251}},
      // Half-transparent black over white is mid grey; opaque stays as it is.
      {"rgba 8", PNG_COLOR_TYPE_RGBA, 8, {0, 0, 0, 128, 10, 20, 30, 255}, {127, 127, 127}, {10, 20, 30}},
      {"rgba 16", PNG_COLOR_TYPE_RGBA, 16, {0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 8, 0, 7, 0, 255, 255},
       {255, 255, 255}, {9, 8, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PngSpec spec;
    spec.width = 2;
    spec.colourType = c.colourType;
    spec.depth = c.depth;
    spec.greyKey = c.greyKey;
    Dib dib;
    decodePngRaw(MakePng(spec, {c.row}), dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.bits(), 24);
    EXPECT_EQ(dib.at(0, 0), c.first);
    EXPECT_EQ(dib.at(1, 0), c.second);
  }
}

TEST(PngDecode, InterlacedPicturesMatchTheirPlainTwins) {
  // 13 x 11 leaves some Adam7 passes with partial or no columns.
  for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_PALETTE}) {
    PngSpec spec;
    spec.width = 13;
    spec.height = 11;
    spec.colourType = type;
    spec.palette = kColours;
    std::vector<Bytes> rows;
    for (int y = 0; y < spec.height; ++y) {
      Bytes row;
      for (int x = 0; x < spec.width; ++x) {
        if (type == PNG_COLOR_TYPE_PALETTE) row.push_back(uint8_t((x * 3 + y) % 8));
        else row.insert(row.end(), {uint8_t(x * 19), uint8_t(y * 23), uint8_t(x + y)});
      }
      rows.push_back(row);
    }
    Dib plain, interlaced;
    decodePngRaw(MakePng(spec, rows), plain);
    spec.interlaced = true;
    decodePngRaw(MakePng(spec, rows), interlaced);
    ASSERT_TRUE(plain.ok && interlaced.ok) << interlaced.error;
    for (int y = 0; y < spec.height; ++y)
      for (int x = 0; x < spec.width; ++x) ASSERT_EQ(plain.at(x, y), interlaced.at(x, y)) << x << "," << y;
  }
}

TEST(PngWrite, RoundTripsTrueColourAndPaletteImages) {
  for (int bits : {24, 8, 4, 1}) {
    SCOPED_TRACE(bits);
    Made made;
    MakeDib(made, 9, 5, bits);
    ASSERT_NE(made.record.Bits, nullptr);
    if (bits <= 8) {
      for (int i = 0; i < (1 << bits); ++i)
        velbrik::SetDibColour(made.record, i, uint8_t(i * 7), 3, uint8_t(255 - i));
      velbrik::FinishPalette(made.record);
    }
    const uint32_t mask = bits == 24 ? 0xFFFFFFu : (1u << bits) - 1;
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 9; ++x)
        setpixel(made.record, x, y, uint32_t(x * 0x010203 + y * 0x300000 + x * y) & mask);
    }

    bool ok = false;
    std::string error;
    Bytes file = WriteToMemory([&](std::FILE* f, std::string& e) { return velbrik::WritePng(made.record, f, e); },
                               ok, error);
    ASSERT_TRUE(ok) << error;
    Dib back;
    Decode(velbrik::DecodePng, file, back);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.bits(), bits);
    // Same rows in the same order: the file is top-down, the record bottom-up.
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 9; ++x) EXPECT_EQ(getpixel(back.record, x, y), getpixel(made.record, x, y));
    }
    if (bits <= 8) {
      EXPECT_EQ(back.paletteColour(1), (Rgb{7, 3, 254}));
    }
  }
}

TEST(PngWrite, RefusesAMissingImage) {
  TDib empty{};
  std::string error;
  EXPECT_FALSE(velbrik::WritePng(empty, stdout, error));
  EXPECT_FALSE(error.empty());
}

TEST(PngDecode, BrokenFilesAreRefusedWithAGermanMessage) {
  PngSpec spec;
  spec.width = 20;
  spec.height = 20;
  std::vector<Bytes> rows(20, Bytes(60, 0x5A));
  const Bytes good = MakePng(spec, rows);
  const long gdiBefore = platform::LiveGdiObjectCount();

  // Every cut of the file, from the signature to just before the end marker's last byte.
  for (size_t keep = 0; keep + 12 < good.size(); ++keep) {
    Dib dib;
    Decode(velbrik::DecodePng, Truncated(good, keep), dib);
    ASSERT_FALSE(dib.ok) << keep;
    EXPECT_EQ(dib.record.Bits, nullptr);
    EXPECT_EQ(dib.record.Memory, nullptr);
    EXPECT_GT(std::strlen(DibErrorText(&dib.record)), 10u);
  }
  Dib cut;
  Decode(velbrik::DecodePng, Truncated(good, good.size() - 30), cut);
  EXPECT_EQ(cut.error, "Die PNG-Datei ist unvollständig.");

  Bytes flipped = good;
  flipped[good.size() / 2] ^= 0xFF; // inside the image stream: CRC fails
  Dib corrupt;
  Decode(velbrik::DecodePng, flipped, corrupt);
  EXPECT_FALSE(corrupt.ok);
  EXPECT_EQ(corrupt.error, "Die PNG-Datei ist beschädigt.");
  EXPECT_STREQ(DibErrorText(&corrupt.record), corrupt.error.c_str());

  Dib notPng;
  Decode(velbrik::DecodePng, Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, notPng);
  EXPECT_EQ(notPng.error, "Die Datei ist keine PNG-Datei.");
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

TEST(PngDecode, HeadersPromisingHugePicturesAreRefusedAtOnce) {
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{100000, 100000}, {20000, 20000}, {2000000, 1}}) {
    Dib dib;
    Decode(velbrik::DecodePng, PngHeaderOnly(w, h, PNG_COLOR_TYPE_RGB, 8), dib);
    EXPECT_FALSE(dib.ok);
    EXPECT_NE(dib.error.find("zu groß"), std::string::npos) << dib.error;
  }
  // Within the limit but without any pixel data: refused as broken.
  Dib empty;
  Decode(velbrik::DecodePng, PngHeaderOnly(9000, 9000, PNG_COLOR_TYPE_RGBA, 16), empty);
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.record.Bits, nullptr);
}

namespace {
struct Recorder : platform::TMessageTarget {
  std::vector<int> seen;
  platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM w, platform::LPARAM) override {
    if (msg == platform::WM_USER) seen.push_back(int(w));
    return 0;
  }
};
} // namespace

TEST(PngDecode, ReportsProgressUpToAHundred) {
  PngSpec spec;
  spec.width = 4;
  spec.height = 50;
  spec.interlaced = true;
  std::vector<Bytes> rows(50, Bytes(12, 1));
  const Bytes file = MakePng(spec, rows);
  Recorder window;
  velbrik::Progress progress(&window);
  TDib out{};
  std::string error;
  ASSERT_TRUE(velbrik::DecodePng(file.data(), file.size(), out, progress, error));
  deldib(out);
  ASSERT_FALSE(window.seen.empty());
  EXPECT_TRUE(std::is_sorted(window.seen.begin(), window.seen.end()));
  EXPECT_EQ(window.seen.back(), 100);
}

TEST(PngDecode, AncillaryChunksAreSkippedWithoutBeingHeld) {
  // A picture whose text chunk claims 2 GB: skipped as it is read, so the file is refused as
  // cut off at once instead of after allocating and zeroing the claimed size.
  const Bytes picture = MakePng(PngSpec{}, {Bytes{1, 2, 3}});
  const size_t afterHeader = 8 + 25; // signature and IHDR
  for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "sCAL"}) {
    SCOPED_TRACE(type);
    Bytes file(picture.begin(), picture.begin() + afterHeader);
    const Bytes claim = {0x7F, 0xFF, 0xFF, 0xF0, uint8_t(type[0]), uint8_t(type[1]), uint8_t(type[2]),
                         uint8_t(type[3]), 'T', 'i', 't', 'l', 'e', 0, 'x'};
    file.insert(file.end(), claim.begin(), claim.end());
    const vtest::OpenCost cost = vtest::MeasureOpen([&](TDib* d) { OpenDibMemory(d, file.data(), file.size(), nullptr); });
    EXPECT_FALSE(cost.opened);
    EXPECT_EQ(cost.message, "Die PNG-Datei ist unvollständig.");
    EXPECT_LT(cost.cpuSeconds, 1.0);
    EXPECT_LT(cost.peakExtraMb, 64.0);
  }
  // A real text chunk of 3 MB before the image data does not stop the picture.
  const uint32_t n = 3u << 20;
  // Text and a CRC that does not matter for a skipped chunk.
  Bytes withText(afterHeader + 8 + n + 4 + (picture.size() - afterHeader), 'a');
  std::copy(picture.begin(), picture.begin() + afterHeader, withText.begin());
  const uint8_t head[8] = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 't', 'E', 'X', 't'};
  std::copy(head, head + 8, withText.begin() + afterHeader);
  std::copy(picture.begin() + afterHeader, picture.end(), withText.end() - (picture.size() - afterHeader));
  Dib dib;
  decodePngRaw(withText, dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.at(0, 0), (Rgb{1, 2, 3}));
}
