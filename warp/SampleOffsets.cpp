// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleOffsets.h"

#include <cmath>
#include <cstring>

namespace warp {

void TSampleOffsets::Prepare(int32_t tool, double strength, int32_t radius, const std::vector<double>& weight,
                             bool usable) {
  uint64_t bits;
  std::memcpy(&bits, &strength, sizeof bits);
  if (tool == FTool && bits == FStrengthBits && radius == FRadius && usable == FUsable) return;
  FTool = tool;
  FStrengthBits = bits;
  FRadius = radius;
  FUsable = usable;
  FTable.resize(size_t(radius + 1) * size_t(radius + 1));
  constexpr Extended kMaxOffset = 32767.0L;
  constexpr Extended kNearHalf = 1.0L / 1099511627776.0L; // 2^-40
  int16_t* row = FTable.data();
  for (int32_t u = 0; u <= radius; ++u) {
    int16_t* centre = row + u;
    const Extended w = Extended(weight[size_t(u)]);
    for (int32_t a = -u; a <= u; ++a) {
      const Extended t = Extended(a) * w;
      // Also true for a NaN or infinite product, which is then computed in full.
      const bool inFull = !usable || !(std::fabs(t) < kMaxOffset) || std::fabs((t - std::floor(t)) - 0.5L) <= kNearHalf;
      centre[a] = inFull ? kInFull : int16_t(Round(t));
    }
    row += 2 * u + 1;
  }
}

} // namespace warp
