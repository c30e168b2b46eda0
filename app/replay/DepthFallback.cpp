#include "Depth.h"

#if !__has_include("DepthPromotion.h")
void DepthUpTo(TDib& dib, int32_t Target, const std::function<void(int32_t)>& SetProStatus) {
  if (dib.Bits == nullptr || dib.Info == nullptr || Target != 24) return;
  const int32_t bits = DibBitCount(dib);
  if (bits == 24 || bits > 8) return;
  const int32_t w = DibWidth(dib), h = DibHeight(dib);
  TDib out{};
  newdib(&out, w, h, 24, nullptr, 0);
  if (out.Bits == nullptr) return;
  const int32_t colours = TwoPower(bits);
  for (int32_t r = 0; r < h; ++r) {
    uint8_t* p = out.Bits + int64_t(r) * out.BytesPerLine;
    for (int32_t j = 0; j < w; ++j, p += 3) {
      const uint32_t index = getpixel(dib, j, r);
      if (index >= uint32_t(colours)) continue;
      const VRgbQuad& q = dib.Info->bmiColors[index];
      p[0] = q.rgbBlue;
      p[1] = q.rgbGreen;
      p[2] = q.rgbRed;
    }
    if (SetProStatus) SetProStatus(int32_t(int64_t(r + 1) * 100 / h));
  }
  if (SetProStatus) SetProStatus(0);
  deldib(dib);
  dib = out;
}
#endif
