// SPDX-License-Identifier: GPL-3.0-or-later
// Scaling a 24-bit picture down with an area filter: every target pixel is the mean of the
// source area it covers, partly covered source pixels weighted by the part they contribute.
#pragma once

#include "Velbrik.h"

#include <cstdint>
#include <vector>

namespace imaging {

// The picture scaled to width x height (each at most the picture's own, at least 1) as red,
// green, blue bytes with rows top-down, the order of most file formats. At the picture's own size
// the pixels are copied unchanged.
void AreaScaleToRgb(const TDib& picture, int32_t width, int32_t height, std::vector<uint8_t>& rgb);

// The size of a picture of w x h whose longer side is at most `longerSide` (0: no limit), the
// proportions kept and no side below 1.
void FitLongerSide(int32_t w, int32_t h, int32_t longerSide, int32_t& width, int32_t& height);

} // namespace imaging
