// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec_support.h"
#include "file_support.h"

#include "platform/palette.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>

using namespace codec_test;

namespace {

// Rows of `depth`-bit indexes, (x + y) modulo `levels`, packed most significant bit first.
std::vector<Bytes> indexRows(int width, int height, int depth, int levels) {
  std::vector<Bytes> rows;
  for (int y = 0; y < height; ++y) {
    Bytes row((size_t(width) * size_t(depth) + 7) / 8, 0);
    for (int x = 0; x < width; ++x) {
      const size_t bit = size_t(x) * size_t(depth);
      row[bit / 8] = uint8_t(row[bit / 8] | (((x + y) % levels) << (8 - depth - int(bit % 8))));
    }
    rows.push_back(row);
  }
  return rows;
}

// RGB rows whose colour tells the row and column apart.
std::vector<Bytes> rgbRows(int width, int height, int samples = 3) {
  std::vector<Bytes> rows;
  for (int y = 0; y < height; ++y) {
    Bytes row;
    for (int x = 0; x < width; ++x) {
      row.insert(row.end(), {uint8_t(x * 5), uint8_t(y * 3), uint8_t(x + y)});
      if (samples == 4) row.push_back(255);
    }
    rows.push_back(row);
  }
  return rows;
}

Rgb rgbAt(int x, int y) { return {uint8_t(x * 5), uint8_t(y * 3), uint8_t(x + y)}; }

} // namespace

TEST(TiffDecode, PalettePagesStayPaletteImages) {
  for (auto [depth, dibBits] : {std::pair{1, 1}, {2, 4}, {4, 4}, {8, 8}}) {
    SCOPED_TRACE(depth);
    const int levels = 1 << depth;
    TiffSpec spec;
    spec.width = 13;
    spec.height = 9;
    spec.bitsPerSample = depth;
    spec.samplesPerPixel = 1;
    spec.photometric = PHOTOMETRIC_PALETTE;
    spec.compression = COMPRESSION_LZW;
    spec.rowsPerStrip = 4;
    for (int channel = 0; channel < 3; ++channel)
      for (int i = 0; i < levels; ++i) spec.colourMap.push_back(uint16_t((i * 37 + channel * 80) % 256 * 257));
    Dib dib;
    Decode(velbrik::DecodeTiff, MakeTiff(spec, indexRows(13, 9, depth, levels)), dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.bits(), dibBits);
    for (int i = 0; i < levels; ++i)
      EXPECT_EQ(dib.paletteColour(i), (Rgb{uint8_t(i * 37 % 256), uint8_t((i * 37 + 80) % 256),
                                           uint8_t((i * 37 + 160) % 256)}));
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(dib.index(x, y), uint32_t((x + y) % levels)) << x << "," << y;
  }
}

TEST(TiffDecode, GreyAndBilevelPagesGetGreyPalettes) {
  TiffSpec grey;
  grey.width = 4;
  grey.bitsPerSample = 8;
  grey.samplesPerPixel = 1;
  grey.photometric = PHOTOMETRIC_MINISBLACK;
  Dib g;
  Decode(velbrik::DecodeTiff, MakeTiff(grey, {Bytes{0, 10, 128, 255}}), g);
  ASSERT_TRUE(g.ok) << g.error;
  EXPECT_EQ(g.bits(), 8);
  EXPECT_EQ(g.at(1, 0), (Rgb{10, 10, 10}));
  EXPECT_EQ(g.at(3, 0), (Rgb{255, 255, 255}));

  TiffSpec fax = grey;
  fax.width = 8;
  fax.bitsPerSample = 1;
  fax.photometric = PHOTOMETRIC_MINISWHITE; // 1 is black
  fax.compression = COMPRESSION_CCITTFAX4;
  Dib f;
  Decode(velbrik::DecodeTiff, MakeTiff(fax, {Bytes{0x0F}}), f);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(f.bits(), 1);
  EXPECT_EQ(f.at(0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(f.at(7, 0), (Rgb{0, 0, 0}));
}

TEST(TiffDecode, OtherPagesBecome24BitsInTheRightOrientation) {
  struct Case {
    const char* name;
    TiffSpec spec;
  };
  TiffSpec plain;
  plain.width = 21;
  plain.height = 150; // several bands of rows
  plain.rowsPerStrip = 7;
  TiffSpec deflate = plain;
  deflate.compression = COMPRESSION_ADOBE_DEFLATE;
  deflate.rowsPerStrip = 150;
  TiffSpec tiled = plain;
  tiled.tileSize = 16;
  TiffSpec opaqueAlpha = plain;
  opaqueAlpha.samplesPerPixel = 4;
  opaqueAlpha.extraSamples = EXTRASAMPLE_UNASSALPHA;
  const std::vector<Case> cases = {
      {"strips", plain}, {"one deflated strip", deflate}, {"tiles", tiled}, {"with alpha", opaqueAlpha}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib;
    Decode(velbrik::DecodeTiff, MakeTiff(c.spec, rgbRows(21, 150, c.spec.samplesPerPixel)), dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.bits(), 24);
    for (int y : {0, 1, 69, 70, 71, 149})
      for (int x : {0, 7, 20}) ASSERT_EQ(dib.at(x, y), rgbAt(x, y)) << x << "," << y;
  }

  // The first file row is the picture's bottom row.
  TiffSpec bottomUp = plain;
  bottomUp.orientation = ORIENTATION_BOTLEFT;
  Dib flipped;
  Decode(velbrik::DecodeTiff, MakeTiff(bottomUp, rgbRows(21, 150)), flipped);
  ASSERT_TRUE(flipped.ok) << flipped.error;
  EXPECT_EQ(flipped.at(3, 149), rgbAt(3, 0));
  EXPECT_EQ(flipped.at(3, 0), rgbAt(3, 149));
  EXPECT_EQ(flipped.at(3, 80), rgbAt(3, 69));
}

TEST(TiffDecode, AlphaAndSixteenBitSamplesAreConverted) {
  TiffSpec alpha;
  alpha.width = 2;
  alpha.samplesPerPixel = 4;
  alpha.extraSamples = EXTRASAMPLE_UNASSALPHA;
  Dib a;
  Decode(velbrik::DecodeTiff, MakeTiff(alpha, {Bytes{0, 0, 0, 0, 100, 0, 0, 128}}), a);
  ASSERT_TRUE(a.ok) << a.error;
  EXPECT_EQ(a.at(0, 0), (Rgb{255, 255, 255}));
  EXPECT_NEAR(a.at(1, 0).r, 100 * 128 / 255 + 127, 2);
  EXPECT_NEAR(a.at(1, 0).g, 127, 2);

  TiffSpec deep;
  deep.width = 1;
  deep.bitsPerSample = 16;
  // Rounded to nearest: 0x01FF is 1.99 levels.
  const uint16_t samples[3] = {0xFFFF, 0x8000, 0x01FF};
  Bytes row(6);
  std::memcpy(row.data(), samples, 6); // libtiff writes in the machine's byte order
  Dib d;
  Decode(velbrik::DecodeTiff, MakeTiff(deep, {row}), d);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.at(0, 0).r, 255);
  EXPECT_EQ(d.at(0, 0).g, 128);
  EXPECT_EQ(d.at(0, 0).b, 2);
  TiffSpec deepGrey = deep;
  deepGrey.samplesPerPixel = 1;
  deepGrey.photometric = PHOTOMETRIC_MINISBLACK;
  Dib g;
  Decode(velbrik::DecodeTiff, MakeTiff(deepGrey, {Bytes(row.begin() + 4, row.end())}), g);
  ASSERT_TRUE(g.ok) << g.error;
  EXPECT_EQ(g.at(0, 0), (Rgb{2, 2, 2}));
}

TEST(TiffWrite, RoundTripsTrueColourAndPaletteImages) {
  for (int bits : {24, 8, 4, 1}) {
    SCOPED_TRACE(bits);
    Made made;
    MakeDib(made, 11, 7, bits);
    if (bits <= 8) {
      for (int i = 0; i < (1 << bits); ++i) velbrik::SetDibColour(made.record, i, uint8_t(i), uint8_t(2 * i), 40);
      velbrik::FinishPalette(made.record);
    }
    const uint32_t mask = bits == 24 ? 0xFFFFFFu : (1u << bits) - 1;
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 11; ++x) setpixel(made.record, x, y, uint32_t(x * 0x0A0B0C + y * 0x110000 + y) & mask);
    }
    bool ok = false;
    std::string error;
    const Bytes file = WriteToMemory(
        [&](std::FILE* f, std::string& e) { return velbrik::WriteTiff(made.record, f, e); }, ok, error);
    ASSERT_TRUE(ok) << error;
    Dib back;
    Decode(velbrik::DecodeTiff, file, back);
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.bits(), bits);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 11; ++x) ASSERT_EQ(getpixel(back.record, x, y), getpixel(made.record, x, y));
    }
    if (bits <= 8) {
      EXPECT_EQ(back.paletteColour(1), (Rgb{1, 2, 40}));
    }
  }
}

TEST(TiffDecode, BrokenFilesAreRefusedWithAGermanMessage) {
  const long gdiBefore = platform::LiveGdiObjectCount();
  TiffSpec spec;
  spec.width = 12;
  spec.height = 12;
  spec.compression = COMPRESSION_LZW;
  const Bytes good = MakeTiff(spec, rgbRows(12, 12));
  for (size_t keep = 0; keep < good.size(); keep += (keep < 64 ? 1 : 7)) {
    Dib dib;
    Decode(velbrik::DecodeTiff, Truncated(good, keep), dib);
    ASSERT_FALSE(dib.ok) << keep;
    EXPECT_EQ(dib.record.Bits, nullptr);
    EXPECT_GT(std::strlen(DibErrorText(&dib.record)), 10u);
  }
  Bytes badOffset = good;
  badOffset[4] = 0xF0; // first directory far beyond the end
  Dib corrupt;
  Decode(velbrik::DecodeTiff, badOffset, corrupt);
  EXPECT_FALSE(corrupt.ok);
  EXPECT_EQ(corrupt.error, "Die TIFF-Datei ist beschädigt.");

  Dib notTiff;
  Decode(velbrik::DecodeTiff, Bytes{'I', 'I', 0x2B, 0x01, 0, 0, 0, 0, 0, 0}, notTiff);
  EXPECT_FALSE(notTiff.ok);
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

TEST(TiffDecode, HeadersPromisingHugePicturesAreRefused) {
  // Directories that promise far more pixels than the strips hold.
  TiffSpec huge;
  huge.width = 60000;
  huge.height = 60000;
  huge.compression = COMPRESSION_ADOBE_DEFLATE;
  huge.rowsPerStrip = 1;
  Dib bomb;
  Decode(velbrik::DecodeTiff, MakeTiff(huge, std::vector<Bytes>(1, Bytes(180000, 0))), bomb);
  EXPECT_FALSE(bomb.ok);
  EXPECT_NE(bomb.error.find("zu groß"), std::string::npos) << bomb.error;

  TiffSpec starved = huge;
  starved.width = 9000;
  starved.height = 9000;
  Dib tall;
  Decode(velbrik::DecodeTiff, MakeTiff(starved, std::vector<Bytes>(1, Bytes(27000, 0))), tall);
  EXPECT_FALSE(tall.ok);
  EXPECT_EQ(tall.record.Bits, nullptr);
}

TEST(TiffDecode, OneStripPromisingAHugePictureCostsLittle) {
  // 100 megapixels in one LZW strip that holds a single row: refused after that row. Read row
  // by row (RGB) only a row is held; libtiff's own reader (YCbCr) allocates and zeroes the
  // decoded strip first.
  TiffSpec huge;
  huge.width = 20000;
  huge.height = 5000;
  huge.compression = COMPRESSION_LZW;
  huge.rowsPerStrip = 5000;
  for (int samples : {3, 4}) {
    SCOPED_TRACE(samples);
    huge.samplesPerPixel = samples;
    huge.extraSamples = samples == 4 ? EXTRASAMPLE_UNASSALPHA : -1;
    huge.photometric = samples == 4 ? PHOTOMETRIC_RGB : PHOTOMETRIC_YCBCR; // YCbCr takes libtiff's reader
    const Bytes file = MakeTiff(huge, std::vector<Bytes>(1, Bytes(size_t(20000 * samples), 9)));
    const vtest::OpenCost cost = vtest::MeasureOpen([&](TDib* d) { OpenDibMemory(d, file.data(), file.size(), nullptr); });
    EXPECT_FALSE(cost.opened);
    EXPECT_NE(cost.message.find("TIFF-Datei"), std::string::npos) << cost.message;
    EXPECT_LT(cost.cpuSeconds, samples == 4 ? 1.0 : 3.0);
    EXPECT_LT(cost.peakExtraMb, samples == 4 ? 64.0 : 300.0);
  }
}
