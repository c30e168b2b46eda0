// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture_support.h"

using namespace platform;

COLORREF TestColour(int32_t x, int32_t y) {
  return RGB(uint8_t(17 + 29 * x), uint8_t(5 + 41 * y), uint8_t(200 - 3 * (x + y)));
}

TDib Make24(int32_t w, int32_t h, const std::function<COLORREF(int32_t, int32_t)>& colour) {
  TDib dib;
  newdib(&dib, w, h, 24, nullptr, 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) setpixel(dib, x, h - 1 - y, colour(x, y));
  return dib;
}

TDib MakePalette(int32_t w, int32_t h, int32_t bits, const std::vector<COLORREF>& colours,
                 const std::function<uint32_t(int32_t, int32_t)>& index) {
  TDib dib;
  newdib(&dib, w, h, bits, nullptr, 0);
  for (size_t i = 0; i < colours.size(); ++i) {
    VRgbQuad& q = dib.Info->bmiColors[i];
    q.rgbRed = GetRValue(colours[i]);
    q.rgbGreen = GetGValue(colours[i]);
    q.rgbBlue = GetBValue(colours[i]);
    VPaletteEntry& e = dib.LogPal.palPalEntry[i];
    e.peRed = q.rgbRed;
    e.peGreen = q.rgbGreen;
    e.peBlue = q.rgbBlue;
  }
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) setpixel(dib, x, h - 1 - y, index(x, y));
  return dib;
}

COLORREF Pixel24(const TDib& dib, int32_t x, int32_t y) {
  return getpixel(dib, x, DibHeight(dib) - 1 - y);
}

TScreenAndMessages::TScreenAndMessages(int screenDepth) : depth_(screenDepth) {
  previousBox_ = SetMessageBoxHandler([this](const TMessageBoxRequest& r) {
    texts.push_back(r.text);
    captions.push_back(r.caption);
    flags.push_back(r.flags);
    return IDOK;
  });
  previousDepth_ = SetScreenDepthProvider([this] { return depth_; });
}

TScreenAndMessages::~TScreenAndMessages() {
  SetMessageBoxHandler(previousBox_);
  SetScreenDepthProvider(previousDepth_);
}
