// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures stored turned or mirrored open upright: EXIF orientation of JPEG files and the
// orientation tag of TIFF files, through every way each decoder delivers its rows.
#include "codec_support.h"

#include <gtest/gtest.h>
#include <tiffio.h>

using namespace codec_test;

namespace {

// The stored pixel shown at (dx, dy) of the upright picture, for a picture stored w x h.
std::pair<int, int> storedPixelShownAt(int orientation, int dx, int dy, int w, int h) {
  switch (orientation) {
  case 2: return {w - 1 - dx, dy};
  case 3: return {w - 1 - dx, h - 1 - dy};
  case 4: return {dx, h - 1 - dy};
  case 5: return {dy, dx};
  case 6: return {dy, h - 1 - dx};
  case 7: return {w - 1 - dy, h - 1 - dx};
  case 8: return {w - 1 - dy, dx};
  default: return {dx, dy};
  }
}

// A colour per stored block of 8 x 8 pixels, far apart from its neighbours.
Rgb blockColour(int bx, int by) { return {uint8_t(40 + 60 * bx), uint8_t(30 + 70 * by), uint8_t(200 - 50 * bx)}; }

void expectUpright(const Dib& dib, int orientation, int w, int h, int tolerance) {
  const bool swap = orientation >= 5;
  ASSERT_EQ(dib.width(), swap ? h : w);
  ASSERT_EQ(dib.height(), swap ? w : h);
  for (int dy = 0; dy < dib.height(); ++dy)
    for (int dx = 0; dx < dib.width(); ++dx) {
      const auto [x, y] = storedPixelShownAt(orientation, dx, dy, w, h);
      if (tolerance > 0 && (x % 8 == 0 || x % 8 == 7 || y % 8 == 0 || y % 8 == 7)) continue; // block edges of a lossy file
      const Rgb want = blockColour(x / 8, y / 8), got = dib.at(dx, dy);
      ASSERT_LE(std::abs(want.r - got.r) + std::abs(want.g - got.g) + std::abs(want.b - got.b), tolerance)
          << "orientation " << orientation << " at " << dx << "," << dy;
    }
}

} // namespace

TEST(Upright, EveryOrientationOfJpegAndTiffOpensUpright) {
  const int w = 32, h = 24; // 4 x 3 blocks
  Bytes samples;
  std::vector<Bytes> rows;
  for (int y = 0; y < h; ++y) {
    Bytes row;
    for (int x = 0; x < w; ++x) {
      const Rgb c = blockColour(x / 8, y / 8);
      row.insert(row.end(), {c.r, c.g, c.b});
    }
    samples.insert(samples.end(), row.begin(), row.end());
    rows.push_back(row);
  }
  // 4-bit palette rows: index = block number, the colour map holding the block colours.
  std::vector<uint16_t> map(48, 0);
  std::vector<Bytes> indexRows;
  for (int y = 0; y < h; ++y) {
    Bytes row(size_t(w / 2), 0);
    for (int x = 0; x < w; ++x) row[size_t(x / 2)] |= uint8_t((x / 8 + 4 * (y / 8)) << (x % 2 ? 0 : 4));
    indexRows.push_back(row);
  }
  for (int by = 0; by < 3; ++by)
    for (int bx = 0; bx < 4; ++bx) {
      const Rgb c = blockColour(bx, by);
      const size_t i = size_t(bx + 4 * by);
      map[i] = uint16_t(c.r * 257);
      map[16 + i] = uint16_t(c.g * 257);
      map[32 + i] = uint16_t(c.b * 257);
    }

  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    JpegSpec jpeg;
    jpeg.width = w;
    jpeg.height = h;
    jpeg.orientation = orientation;
    Dib fromJpeg;
    Decode(velbrik::DecodeJpeg, MakeJpeg(jpeg, samples), fromJpeg);
    ASSERT_TRUE(fromJpeg.ok) << fromJpeg.error;
    expectUpright(fromJpeg, orientation, w, h, 12);

    TiffSpec strips;
    strips.width = w;
    strips.height = h;
    strips.orientation = orientation;
    strips.rowsPerStrip = 5;
    strips.compression = COMPRESSION_LZW;
    TiffSpec tiles = strips;
    tiles.tileSize = 16;
    TiffSpec palette = strips;
    palette.bitsPerSample = 4;
    palette.samplesPerPixel = 1;
    palette.photometric = PHOTOMETRIC_PALETTE;
    palette.colourMap = map;
    for (const auto& [name, file] : {std::pair{"strips", MakeTiff(strips, rows)}, {"tiles", MakeTiff(tiles, rows)},
                                     {"palette", MakeTiff(palette, indexRows)}}) {
      SCOPED_TRACE(name);
      Dib fromTiff;
      Decode(velbrik::DecodeTiff, file, fromTiff);
      ASSERT_TRUE(fromTiff.ok) << fromTiff.error;
      expectUpright(fromTiff, orientation, w, h, 0);
    }
  }
}

TEST(Upright, MissingOrUnreadableOrientationLeavesThePictureAsStored) {
  JpegSpec spec;
  spec.width = 16;
  spec.height = 8;
  Bytes file = MakeJpeg(spec, Bytes(16 * 8 * 3, 90));
  spec.orientation = 6;
  Bytes turned = MakeJpeg(spec, Bytes(16 * 8 * 3, 90));
  // The orientation value 6 in the EXIF entry becomes 9, which no orientation has.
  for (size_t i = 0; i + 1 < turned.size(); ++i)
    if (turned[i] == 0x12 && turned[i + 1] == 0x01) {
      turned[i + 8] = 9;
      break;
    }
  for (const Bytes& f : {file, turned}) {
    Dib dib;
    Decode(velbrik::DecodeJpeg, f, dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.width(), 16);
    EXPECT_EQ(dib.height(), 8);
  }
}
