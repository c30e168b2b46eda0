// SPDX-License-Identifier: GPL-3.0-or-later
#include "palette_util.h"

namespace velbrik {

const VPaletteEntry* HalftonePalette() {
  static const struct Table {
    VPaletteEntry e[256];
    Table() : e{} {
      int i = 0;
      for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
          for (int b = 0; b < 6; ++b, ++i) e[i] = {uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51), 0};
      // Greys between the cube's levels, evenly from 6 to 249.
      for (int k = 0; k < 40; ++k, ++i) {
        const uint8_t v = uint8_t(6 + k * 243 / 39);
        e[i] = {v, v, v, 0};
      }
    }
  } table;
  return table.e;
}

void ExpandPaletteRow(const TDib& dib, const uint8_t* src, uint8_t* dst) {
  const int bits = dib.Info->bmiHeader.biBitCount;
  const int32_t width = dib.Info->bmiHeader.biWidth;
  const unsigned mask = (1u << bits) - 1u;
  for (int32_t x = 0; x < width; ++x) {
    const int64_t bit = int64_t(x) * bits;
    const unsigned index = (src[bit >> 3] >> (8 - bits - (bit & 7))) & mask;
    const VRgbQuad& q = dib.Info->bmiColors[index];
    dst[3 * x] = q.rgbBlue;
    dst[3 * x + 1] = q.rgbGreen;
    dst[3 * x + 2] = q.rgbRed;
  }
}

} // namespace velbrik
