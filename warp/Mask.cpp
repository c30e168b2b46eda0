// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mask.h"

namespace warp {

void FillIdentity(TMaskEntry* mask, int32_t width, int32_t height) { FillIdentityRows(mask, width, 0, height); }

void FillIdentityRows(TMaskEntry* mask, int32_t width, int32_t first, int32_t end) {
  TMaskEntry* e = mask + int64_t(first) * width;
  for (int32_t r = first; r < end; ++r)
    for (int32_t j = 0; j < width; ++j, ++e) *e = TMaskEntry{j, r};
}

namespace {

// Columns left..right of row r.
void RenderSpan(const TDib& source, const TMaskEntry* mask, const TDib& result, int32_t r, int32_t left, int32_t right) {
  const int32_t width = DibWidth(source);
  const uint8_t* src = source.Bits;
  const int64_t srcLine = source.BytesPerLine;
  const TMaskEntry* e = mask + int64_t(r) * width + left;
  uint8_t* dst = result.Bits + int64_t(r) * result.BytesPerLine + int64_t(left) * 3;
  for (int32_t j = left; j <= right; ++j, ++e, dst += 3) {
    const uint8_t* p = src + int64_t(e->X) * 3 + int64_t(e->Y) * srcLine;
    dst[0] = p[0];
    dst[1] = p[1];
    dst[2] = p[2];
  }
}

} // namespace

void RenderArea(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area) {
  if (area.Empty()) return;
  for (int32_t r = area.Bottom; r <= area.Top; ++r) RenderSpan(source, mask, result, r, area.Left, area.Right);
}

void RenderDisc(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area, int32_t x,
                int32_t y, int32_t c, const int32_t* isqrt) {
  if (area.Empty()) return;
  for (int32_t r = area.Bottom; r <= area.Top; ++r) {
    const int32_t b = r - y;
    if (b < -c || b > c) continue;
    const int32_t half = isqrt[c * c - b * b];
    const int32_t left = x - half > area.Left ? x - half : area.Left;
    const int32_t right = x + half < area.Right ? x + half : area.Right;
    if (left <= right) RenderSpan(source, mask, result, r, left, right);
  }
}

} // namespace warp
