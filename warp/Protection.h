// SPDX-License-Identifier: GPL-3.0-or-later
// Protection of picture areas against the tools, and the brush range that grows with the picture.
//
// The protection holds one weight per picture pixel, in the mask's order (row r, column j at
// r * width + j, rows bottom-up): 0 = free, 255 = fully protected. A tool step leaves a protected
// entry as it was and moves a partly protected one only part of the way: the entry after the step
// is the old one plus the step's change times (255 - weight) / 255, rounded. Weight 0 gives the
// step's result itself, so an empty protection or one of zeros changes no step.
#pragma once

#include "Mask.h"

#include <cstdint>
#include <vector>

namespace warp {

constexpr uint8_t kFullProtection = 255;

// Largest radius the brush offers for a picture: 300 up to a longer side of 3000 pixels, a tenth of
// the longer side beyond that, never more than the steps accept (kMaxRadius).
int32_t MaxBrushRadius(int32_t width, int32_t height);

// The protection brush's weight at whole-pixel distance u (0..c) from its centre: full in the
// inner half of the circle, falling smoothly to 0 at the rim.
uint8_t ProtectionProfile(int32_t u, int32_t c);

// One step of the protection brush around (x, y) with radius c (1..kMaxRadius), the centre inside
// the picture: `protect` raises every weight in the circle to at least the profile times
// `pressure` (0..1), releasing lowers it to at most 255 minus that. isqrt[k] = trunc(sqrt(k)) for
// k = 0..c^2. `protection` holds width x height weights.
void PaintProtection(uint8_t* protection, int32_t width, int32_t height, int32_t x, int32_t y, int32_t c,
                     bool protect, double pressure, const int32_t* isqrt);

// The old entry moved by the share (255 - weight) / 255 of the way to the new one, rounded to the
// nearest coordinate (halves away from the old one).
inline int32_t KeepBlend(int32_t old, int32_t now, int32_t weight) {
  const int64_t change = (int64_t(now) - old) * (kFullProtection - weight);
  const int64_t half = change >= 0 ? kFullProtection / 2 : -(kFullProtection / 2);
  return int32_t(old + (change + half) / kFullProtection);
}

// The protected entries of one step: gathered before the step, put back (blended) after it.
class TKeptEntries {
public:
  // Remembers every entry of the circle of radius c around (x, y) (clipped to the picture) whose
  // weight is above 0. isqrt as for PaintProtection.
  void Gather(const TMaskEntry* mask, const uint8_t* protection, int32_t width, int32_t height, int32_t x, int32_t y,
              int32_t c, const int32_t* isqrt);
  // Blends each remembered entry's new value with its old one by its weight.
  void Restore(TMaskEntry* mask) const;
  bool Empty() const { return FKept.empty(); }

private:
  struct TKept {
    int64_t index;
    TMaskEntry old;
    int32_t weight;
  };
  std::vector<TKept> FKept;
};

} // namespace warp
