// SPDX-License-Identifier: GPL-3.0-or-later
// The source-coordinate mask and rendering of the result picture through it.
//
// The mask holds one entry per result pixel, in the memory order of a 24-bit DIB: the entry of
// row r, column j is at r * width + j, rows counted bottom-up. Each entry names the source pixel
// the result pixel shows; its Y uses the same bottom-up numbering. Every entry stays inside the
// picture (0 <= X < width, 0 <= Y < height): the renderer relies on that and checks nothing.
#pragma once

#include "Velbrik.h"

#include <cstdint>

namespace warp {

struct TMaskEntry {
  int32_t X; // source column, 0 = leftmost
  int32_t Y; // source row, 0 = bottom row
  friend bool operator==(const TMaskEntry&, const TMaskEntry&) = default;
};
static_assert(sizeof(TMaskEntry) == 8, "the mask is a plain block of two 32-bit integers per pixel");

// A rectangle of picture pixels, inclusive on all sides, rows counted bottom-up:
// columns Left..Right, rows Bottom..Top. Empty when Left > Right or Bottom > Top.
struct TPictureRect {
  int32_t Left = 0, Bottom = 0, Right = -1, Top = -1;
  bool Empty() const { return Left > Right || Bottom > Top; }
  friend bool operator==(const TPictureRect&, const TPictureRect&) = default;
};

// Writes the identity (X = j, Y = r) into all width * height entries.
void FillIdentity(TMaskEntry* mask, int32_t width, int32_t height);
// The same for rows first..end-1 only.
void FillIdentityRows(TMaskEntry* mask, int32_t width, int32_t first, int32_t end);

// Copies, for every pixel of `area` (which lies inside the picture), the 3 bytes of the source
// pixel its mask entry names into `result`. Source and result are 24-bit pictures of the mask's
// size; row padding of the result is never written.
void RenderArea(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area);

// The same for the pixels of `area` inside the circle of radius c around (x, y): row r takes the
// columns with |j - x| <= isqrt[c^2 - (r - y)^2], isqrt[k] = trunc(sqrt(k)) for k = 0..c^2.
void RenderDisc(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area, int32_t x,
                int32_t y, int32_t c, const int32_t* isqrt);

// The whole picture as an area.
inline TPictureRect WholePicture(int32_t width, int32_t height) {
  return TPictureRect{0, 0, width - 1, height - 1};
}

} // namespace warp
