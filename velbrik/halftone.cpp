// SPDX-License-Identifier: GPL-3.0-or-later
// Halftoned copies for palette screens: any 1-, 4-, 8- or 24-bit image becomes an 8-bit image
// on the fixed 256-colour palette (6 x 6 x 6 cube and 40 greys), dithered with an ordered 8 x 8
// Bayer matrix. Pure greys are dithered between the palette's 46 grey levels, other colours
// channel by channel between the cube's six levels.
#include "decoder.h"
#include "palette_util.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace velbrik {
namespace {

// Thresholds 0..63 of the 8 x 8 ordered dither.
constexpr uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// For every grey value 0..255: the palette's grey level at or below it, the one above it, and
// their palette indices.
struct GreyRamp {
  std::array<uint8_t, 256> low{}, high{}, lowIndex{}, highIndex{};

  GreyRamp() {
    const VPaletteEntry* pal = HalftonePalette();
    std::array<int, 256> indexOfLevel;
    indexOfLevel.fill(-1);
    for (int i = 0; i < 256; ++i)
      if (pal[i].peRed == pal[i].peGreen && pal[i].peRed == pal[i].peBlue &&
          indexOfLevel[pal[i].peRed] < 0)
        indexOfLevel[pal[i].peRed] = i;
    int below = 0; // level 0 (black) is in the cube
    for (int v = 0; v < 256; ++v) {
      if (indexOfLevel[v] >= 0) below = v;
      int above = v;
      while (indexOfLevel[above] < 0) ++above; // level 255 (white) ends every search
      low[v] = uint8_t(below);
      high[v] = uint8_t(above);
      lowIndex[v] = uint8_t(indexOfLevel[below]);
      highIndex[v] = uint8_t(indexOfLevel[above]);
    }
  }
};

const GreyRamp& greyRamp() {
  static const GreyRamp ramp;
  return ramp;
}

// Cube level 0..5 of one channel: the lower neighbour level, or the upper one when the value's
// distance past the lower level exceeds the threshold (t + 0.5) / 64 of a step.
int cubeLevel(int v, int t) {
  const int scaled = v * 5;
  const int base = scaled / 255;
  const int frac = scaled % 255;
  return base + (frac * 128 > (2 * t + 1) * 255 ? 1 : 0);
}

uint8_t ditherPixel(uint8_t r, uint8_t g, uint8_t b, int t) {
  if (r == g && g == b) {
    const GreyRamp& ramp = greyRamp();
    const int lo = ramp.low[r], hi = ramp.high[r];
    if (hi == lo) return ramp.lowIndex[r];
    return (r - lo) * 128 > (2 * t + 1) * (hi - lo) ? ramp.highIndex[r] : ramp.lowIndex[r];
  }
  return uint8_t(cubeLevel(r, t) * 36 + cubeLevel(g, t) * 6 + cubeLevel(b, t));
}

// Colour of source pixel (x, row from the bottom) as red, green, blue.
struct Rgb {
  uint8_t r, g, b;
};
Rgb sourceColour(const TDib& src, int bits, int64_t x, int32_t row) {
  const uint8_t* line = DibRow(src, row);
  if (bits == 24) {
    const uint8_t* p = line + 3 * x;
    return {p[2], p[1], p[0]};
  }
  unsigned index = 0;
  switch (bits) {
  case 1: index = (line[x >> 3] >> (7 - (x & 7))) & 1u; break;
  case 4: index = (x & 1) ? line[x >> 1] & 0x0Fu : line[x >> 1] >> 4u; break;
  default: index = line[x]; break;
  }
  const VRgbQuad& q = src.Info->bmiColors[index];
  return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

bool halftone(TDib& dest, const TDib& src, int32_t width, int32_t height) {
  std::memset(&dest, 0, sizeof dest);
  if (src.Info == nullptr || src.Bits == nullptr) return false;
  const VBitmapInfoHeader& sh = src.Info->bmiHeader;
  const int bits = sh.biBitCount;
  std::string error;
  if (!CheckDimensions(sh.biWidth, sh.biHeight, bits, error)) return false;
  if (!CreateDib(dest, width, height, 8, error)) return false;

  const VPaletteEntry* pal = HalftonePalette();
  for (int i = 0; i < 256; ++i) SetDibColour(dest, i, pal[i].peRed, pal[i].peGreen, pal[i].peBlue);
  FinishPalette(dest);
  dest.UsePalette = 1;

  const int64_t sw = sh.biWidth, shh = sh.biHeight;
  // Nearest neighbour through pixel centres: destination x takes source (2x + 1) * sw / (2w).
  std::vector<int64_t> columns(static_cast<size_t>(width));
  for (int32_t x = 0; x < width; ++x) columns[size_t(x)] = (2 * int64_t(x) + 1) * sw / (2 * int64_t(width));
  for (int32_t y = 0; y < height; ++y) {
    const int32_t sy = int32_t((2 * int64_t(y) + 1) * shh / (2 * int64_t(height)));
    uint8_t* out = DibRow(dest, y);
    // The dither pattern is anchored at the top-left corner of the picture.
    const uint8_t* thresholds = kBayer[(height - 1 - y) & 7];
    for (int32_t x = 0; x < width; ++x) {
      const Rgb c = sourceColour(src, bits, columns[size_t(x)], sy);
      out[x] = ditherPixel(c.r, c.g, c.b, thresholds[x & 7]);
    }
  }
  return true;
}

} // namespace
} // namespace velbrik

extern "C" {

void DIBHalftoneDIB(TDib* dest, TDib source) {
  if (dest == nullptr) return;
  if (source.Info == nullptr) {
    std::memset(dest, 0, sizeof *dest);
    return;
  }
  velbrik::halftone(*dest, source, source.Info->bmiHeader.biWidth, source.Info->bmiHeader.biHeight);
}

void DIBHalftoneDIBXY(TDib* dest, TDib source, int32_t width, int32_t height) {
  if (dest == nullptr) return;
  velbrik::halftone(*dest, source, width, height);
}

} // extern "C"
