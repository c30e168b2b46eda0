#include "Mask.h"

namespace warp {

void FillIdentity(TMaskEntry* mask, int32_t width, int32_t height) {
  TMaskEntry* e = mask;
  for (int32_t r = 0; r < height; ++r)
    for (int32_t j = 0; j < width; ++j, ++e) *e = TMaskEntry{j, r};
}

void RenderArea(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area) {
  if (area.Empty()) return;
  const int32_t width = DibWidth(source);
  const uint8_t* src = source.Bits;
  const int64_t srcLine = source.BytesPerLine;
  for (int32_t r = area.Bottom; r <= area.Top; ++r) {
    const TMaskEntry* e = mask + int64_t(r) * width + area.Left;
    uint8_t* dst = result.Bits + int64_t(r) * result.BytesPerLine + int64_t(area.Left) * 3;
    for (int32_t j = area.Left; j <= area.Right; ++j, ++e, dst += 3) {
      const uint8_t* p = src + int64_t(e->X) * 3 + int64_t(e->Y) * srcLine;
      dst[0] = p[0];
      dst[1] = p[1];
      dst[2] = p[2];
    }
  }
}

} // namespace warp
