// SPDX-License-Identifier: GPL-3.0-or-later
// Where grow and shrink sample: for an entry at offset a from the centre (column or row) and
// whole-pixel distance u, the sampling coordinate is round((a * w(u)) + centre), computed in
// extended precision, w(u) the tool's weight (a double).
//
// The product t = a * w(u) does not involve the centre. With |t| below 2^15 and the centre below
// 2^21, adding the centre and rounding gives exactly centre + round(t) unless the fraction of t
// lies within 2^-40 of one half: the sum (below 2^22) keeps its fraction to a multiple of 2^-42
// or finer, so its rounding cannot carry a fraction from farther away across one half; and an
// exact half rounds to the even neighbour, which depends on the centre's parity. So round(t) is
// kept per (u, a) in 16 bits, and the few entries near a half are marked to be computed in full.
#pragma once

#include "Arith.h"

#include <cstdint>
#include <vector>

namespace warp {

class TSampleOffsets {
public:
  // Marks an offset that must be computed in full.
  static constexpr int16_t kInFull = INT16_MIN;
  // Largest picture side (and so centre) the table may be used with.
  static constexpr int32_t kMaxSide = 1 << 21;

  // Builds the table for `weight` (w(u) for u = 0..radius) unless it was last built for the same
  // key: tool, strength and radius decide the weights; usable says whether the picture is small
  // enough for the table (no side above kMaxSide), else every entry is to be computed in full.
  void Prepare(int32_t tool, double strength, int32_t radius, const std::vector<double>& weight, bool usable);

  // The offset round(a * w(u)) for -u <= a <= u <= radius. Distance u takes 2u + 1 entries, so
  // its entries begin at u^2.
  WARP_INLINE int32_t Offset(int32_t a, int32_t u) const { return FTable[size_t(u * u + u + a)]; }

  WARP_INLINE static int32_t InFull(int32_t a, double w, int32_t centre) {
    return Round(Extended(a) * Extended(w) + Extended(centre));
  }

private:
  int32_t FTool = -1;
  uint64_t FStrengthBits = 0;
  int32_t FRadius = -1;
  bool FUsable = false;
  std::vector<int16_t> FTable;
};

} // namespace warp
