// SPDX-License-Identifier: GPL-3.0-or-later
#include "Protection.h"

#include "Tools.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace warp {

int32_t MaxBrushRadius(int32_t width, int32_t height) {
  const int32_t longer = std::max(width, height);
  return std::clamp(longer / 10, 300, kMaxRadius);
}

uint8_t ProtectionProfile(int32_t u, int32_t c) {
  if (c <= 0 || 2 * u <= c) return kFullProtection;
  if (u >= c) return 0;
  // t runs from 1 (half the radius) to 0 (the rim); smoothstep keeps the slope 0 at both ends.
  const double t = double(c - u) / (double(c) / 2.0);
  return uint8_t(std::lround(double(kFullProtection) * t * t * (3.0 - 2.0 * t)));
}

void PaintProtection(uint8_t* protection, int32_t width, int32_t height, int32_t x, int32_t y, int32_t c,
                     bool protect, double pressure, const int32_t* isqrt) {
  const double p = std::clamp(pressure, 0.0, 1.0);
  std::vector<uint8_t> level(size_t(c) + 1);
  for (int32_t u = 0; u <= c; ++u) level[size_t(u)] = uint8_t(std::lround(ProtectionProfile(u, c) * p));
  const int32_t bottom = std::max(0, y - c), top = std::min(height - 1, y + c);
  for (int32_t i = bottom; i <= top; ++i) {
    const int32_t dy2 = (i - y) * (i - y);
    const int32_t half = isqrt[c * c - dy2];
    const int32_t j0 = std::max(0, x - half), j1 = std::min(width - 1, x + half);
    uint8_t* row = protection + int64_t(i) * width;
    int32_t u = isqrt[(j0 - x) * (j0 - x) + dy2];
    for (int32_t j = j0; j <= j1; ++j) {
      // The distance changes by at most a pixel from one column to the next.
      const int32_t d2 = (j - x) * (j - x) + dy2;
      while (u * u > d2) --u;
      while ((u + 1) * (u + 1) <= d2) ++u;
      const uint8_t v = level[size_t(u)];
      row[j] = protect ? std::max(row[j], v) : std::min(row[j], uint8_t(kFullProtection - v));
    }
  }
}

void TKeptEntries::Gather(const TMaskEntry* mask, const uint8_t* protection, int32_t width, int32_t height, int32_t x,
                          int32_t y, int32_t c, const int32_t* isqrt) {
  FKept.clear();
  const int32_t bottom = std::max(0, y - c), top = std::min(height - 1, y + c);
  for (int32_t i = bottom; i <= top; ++i) {
    const int32_t half = isqrt[c * c - (i - y) * (i - y)];
    const int32_t j0 = std::max(0, x - half), j1 = std::min(width - 1, x + half);
    const int64_t base = int64_t(i) * width;
    const uint8_t* row = protection + base;
    int32_t j = j0;
    while (j <= j1) {
      // Free stretches are passed eight weights at a time.
      if (j + 8 <= j1 + 1) {
        uint64_t word;
        std::memcpy(&word, row + j, sizeof word);
        if (word == 0) {
          j += 8;
          continue;
        }
      }
      if (row[j] != 0) FKept.push_back(TKept{base + j, mask[base + j], row[j]});
      ++j;
    }
  }
}

void TKeptEntries::Restore(TMaskEntry* mask) const {
  for (const TKept& k : FKept) {
    TMaskEntry& e = mask[k.index];
    e.X = KeepBlend(k.old.X, e.X, k.weight);
    e.Y = KeepBlend(k.old.Y, e.Y, k.weight);
  }
}

} // namespace warp
