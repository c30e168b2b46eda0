// SPDX-License-Identifier: GPL-3.0-or-later
// The smooth rendering of the mask: the same mask as the exact renderer (Mask.h) reads, turned
// into a sub-pixel position per result pixel and sampled from the source bilinearly.
//
// The position of result pixel (j, r) is (j, r) plus the mask's displacement (X - j, Y - r)
// averaged over the 15 x 15 pixels around it with tent weights 8 - |k| per axis (total weight
// 4096, a power of two, so the average is exact in integers). A grow that repeats a source
// pixel over several result pixels thereby gives positions that move on by a fraction of a
// pixel from one result pixel to the next, instead of blocks of one colour. Positions are kept
// in 1/128 pixel, rounded down; outside the picture the displacement of the nearest edge pixel
// counts.
//
// Where the displacement is the same whole number of pixels over the 15 x 15 neighbourhood (the
// identity, a pure shift) the position is whole and the result pixel is an exact copy of the
// source pixel, as the exact renderer gives it.
#pragma once

#include "Mask.h"
#include "Velbrik.h"

#include <cstdint>

namespace warp {

// How far a result pixel's neighbourhood reaches: a mask change in a square changes the smooth
// result in that square widened by this many pixels on every side.
constexpr int32_t kSmoothMargin = 7;

// The displacement scale in 1/65536: the full mask, and nothing of it (the source itself).
constexpr int32_t kFullDisplacement = 65536;

// Renders `area` (inside the picture) of `result` from `source` through `mask`, the
// displacement multiplied by scale / 65536 (0..65536; the animation's in-between frames).
// Source and result are 24-bit pictures of the mask's size; row padding is never written.
void RenderAreaSmooth(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area,
                      int32_t scale = kFullDisplacement);

// The same for the pixels of `area` whose neighbourhood reaches into the circle of radius c
// around (x, y) (rows and spans as for RenderDisc in Mask.h, widened by kSmoothMargin): what a
// step that changed only the circle's entries changes. isqrt[k] = trunc(sqrt(k)), k = 0..c^2.
void RenderDiscSmooth(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area,
                      int32_t x, int32_t y, int32_t c, const int32_t* isqrt);

// `area` widened by kSmoothMargin, cut to the picture.
TPictureRect SmoothReach(const TPictureRect& area, int32_t width, int32_t height);

} // namespace warp
