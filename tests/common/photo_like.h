// SPDX-License-Identifier: GPL-3.0-or-later
// A photo-like 24-bit test picture from a fixed seed: a textured, noisy disc (a face) with a hard
// edge on a softly shaded, smooth background. As in a photo, neighbouring pixels are exactly
// equal mainly on the smooth background, and a palette of 256 colours cannot hold it without
// error.
#pragma once

#include "Velbrik.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace testpics {

// Value noise: a lattice of pseudo-random values every `cell` pixels, interpolated smoothly.
inline double LatticeNoise(int32_t x, int32_t y, int32_t cell, uint32_t seed) {
  const auto value = [seed](int32_t i, int32_t j) {
    uint32_t h = uint32_t(i) * 0x9E3779B1u ^ uint32_t(j) * 0x85EBCA77u ^ seed;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return double(h & 0xFFFF) / 65535.0;
  };
  const int32_t i = x / cell, j = y / cell;
  const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double a = value(i, j) + (value(i + 1, j) - value(i, j)) * sx;
  const double b = value(i, j + 1) + (value(i + 1, j + 1) - value(i, j + 1)) * sx;
  return a + (b - a) * sy;
}

// Fills a newly made record with the picture; false when it could not be created.
inline bool MakePhotoLike(TDib& dib, int32_t w, int32_t h) {
  newdib(&dib, w, h, 24, nullptr, 0);
  if (dib.Bits == nullptr) return false;
  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j) {
      const double shade = 0.5 + 0.35 * std::sin(j * 0.011 + 0.4) * std::cos(r * 0.013);
      const double dx = j - w * 0.55, dy = r - h * 0.45;
      const bool inside = dx * dx + dy * dy < (w * 0.3) * (w * 0.3);
      const bool dark = !inside && j + r < w * 3 / 4; // a dark garment, partly clipped to black
      const double texture = inside ? 0.55 * LatticeNoise(j, r, 24, 1) + 0.3 * LatticeNoise(j, r, 6, 2) +
                                          0.15 * LatticeNoise(j, r, 2, 3)
                                    : 0.5 * LatticeNoise(j, r, 64, 5);
      uint8_t* p = dib.Bits + int64_t(r) * dib.BytesPerLine + int64_t(j) * 3;
      const double base[3] = {inside ? 0.45 : 0.7, inside ? 0.55 : 0.6, inside ? 0.85 : 0.4};
      for (int c = 0; c < 3; ++c) {
        // Sensor noise of its own in every channel.
        const double noise = (LatticeNoise(j, r, 1, uint32_t(4 + c)) - 0.5) * (inside ? 16 : 6);
        const double v = dark ? 6 * texture + noise - 2 : 255 * (base[c] * shade + 0.35 * texture * (0.6 + 0.2 * c)) + noise;
        p[c] = uint8_t(std::clamp(std::lround(v), 0L, 255L));
      }
    }
  return true;
}

} // namespace testpics
