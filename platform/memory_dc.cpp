// SPDX-License-Identifier: GPL-3.0-or-later
// The memory device context: pixels in a buffer of its own or in the bitmap selected into it.
// It counts the calls made on it and can play other devices (a printer, a palette screen, a
// device that refuses some calls), so that drawing code can be checked pixel by pixel.
#include "platform/gdi.h"

#include <algorithm>

namespace platform {

TMemoryDeviceContext::TMemoryDeviceContext(int32_t width, int32_t height, COLORREF fill,
                                           TMemoryDcOptions options)
    : options_(options) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  ownWidth_ = width;
  ownHeight_ = height;
  own_.assign(size_t(width) * size_t(height), 0);
  surface_ = {own_.data(), width, height, width};
  Fill(fill);
}

TMemoryDeviceContext::~TMemoryDeviceContext() = default;

TMemoryDeviceContext* TMemoryDeviceContext::CreateCompatible(TMemoryDcOptions options) {
  return new TMemoryDeviceContext(1, 1, 0xFFFFFF, options);
}

COLORREF TMemoryDeviceContext::GetPixel(int32_t x, int32_t y) const {
  const uint32_t v = RawPixel(x, y);
  return RGB(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
}

uint32_t TMemoryDeviceContext::RawPixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= surface_.width || y >= surface_.height) return 0;
  return surface_.pixels[size_t(y) * size_t(surface_.stride) + size_t(x)] & 0xFFFFFF;
}

void TMemoryDeviceContext::Fill(COLORREF color) {
  const uint32_t v = 0xFF000000u | (uint32_t(GetRValue(color)) << 16) |
                     (uint32_t(GetGValue(color)) << 8) | GetBValue(color);
  for (int32_t y = 0; y < surface_.height; ++y)
    std::fill_n(surface_.pixels + size_t(y) * size_t(surface_.stride), surface_.width, v);
}

void TMemoryDeviceContext::SetClipBox(const RECT& box) {
  hasClip_ = true;
  clip_ = box;
}

void TMemoryDeviceContext::ClearClipBox() { hasClip_ = false; }

RECT TMemoryDeviceContext::EffectiveClip() const {
  RECT r{0, 0, surface_.width, surface_.height};
  if (hasClip_) {
    r = {std::max(r.left, clip_.left), std::max(r.top, clip_.top), std::min(r.right, clip_.right),
         std::min(r.bottom, clip_.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) r = {0, 0, 0, 0};
  }
  return r;
}

void TMemoryDeviceContext::UpdateSurface() {
  HBITMAP b = SelectedBitmap();
  if (b == nullptr || IsDefaultBitmap(b))
    surface_ = {own_.data(), ownWidth_, ownHeight_, ownWidth_};
  else
    surface_ = {b->pixels(), b->width(), b->height(), b->width()};
}

int TMemoryDeviceContext::GetDeviceCaps(int index) {
  ++counts_.getDeviceCaps;
  const int bpp = options_.bitsPerPixel;
  switch (index) {
  case TECHNOLOGY: return options_.technology;
  case BITSPIXEL: return bpp;
  case PLANES: return 1;
  case RASTERCAPS: return options_.rasterCaps;
  case HORZRES: return surface_.width;
  case VERTRES: return surface_.height;
  case NUMCOLORS: return bpp <= 8 ? 1 << bpp : -1;
  case SIZEPALETTE: return bpp <= 8 ? 1 << bpp : 0;
  default: return 0;
  }
}

int TMemoryDeviceContext::SetStretchBltMode(int mode) {
  ++counts_.setStretchBltMode;
  return TDeviceContext::SetStretchBltMode(mode);
}

HPALETTE TMemoryDeviceContext::SelectPalette(HPALETTE palette, BOOL forceBackground) {
  ++counts_.selectPalette;
  return TDeviceContext::SelectPalette(palette, forceBackground);
}

UINT TMemoryDeviceContext::RealizePalette() {
  ++counts_.realizePalette;
  return TDeviceContext::RealizePalette();
}

int TMemoryDeviceContext::StretchDIBits(int32_t xDest, int32_t yDest, int32_t destWidth,
                                        int32_t destHeight, int32_t xSrc, int32_t ySrc,
                                        int32_t srcWidth, int32_t srcHeight, const void* bits,
                                        const BITMAPINFO* info, UINT usage, DWORD rop) {
  ++counts_.stretchDIBits;
  if (options_.refuseStretchDIBits) return GDI_ERROR;
  const int r = TDeviceContext::StretchDIBits(xDest, yDest, destWidth, destHeight, xSrc, ySrc,
                                              srcWidth, srcHeight, bits, info, usage, rop);
  if (r != GDI_ERROR && afterStretchDIBits) afterStretchDIBits(CurrentPalette());
  return r;
}

int TMemoryDeviceContext::SetDIBitsToDevice(int32_t xDest, int32_t yDest, int32_t width,
                                            int32_t height, int32_t xSrc, int32_t ySrc,
                                            UINT startScan, UINT lines, const void* bits,
                                            const BITMAPINFO* info, UINT usage) {
  ++counts_.setDIBitsToDevice;
  if (options_.refuseSetDIBitsToDevice) return 0;
  const int r = TDeviceContext::SetDIBitsToDevice(xDest, yDest, width, height, xSrc, ySrc,
                                                  startScan, lines, bits, info, usage);
  if (r != 0 && afterSetDIBitsToDevice) afterSetDIBitsToDevice(CurrentPalette());
  return r;
}

HBITMAP TMemoryDeviceContext::CreateCompatibleBitmap(int32_t width, int32_t height) {
  ++counts_.createCompatibleBitmap;
  if (options_.refuseCreateCompatibleBitmap) return nullptr;
  return TDeviceContext::CreateCompatibleBitmap(width, height);
}

TDeviceContext* TMemoryDeviceContext::CreateCompatibleDC() {
  ++counts_.createCompatibleDC;
  return TDeviceContext::CreateCompatibleDC();
}

int TMemoryDeviceContext::SetDIBits(HBITMAP bitmap, UINT startScan, UINT lines, const void* bits,
                                    const BITMAPINFO* info, UINT usage) {
  ++counts_.setDIBits;
  if (options_.refuseSetDIBits) return 0;
  return TDeviceContext::SetDIBits(bitmap, startScan, lines, bits, info, usage);
}

HGDIOBJ TMemoryDeviceContext::SelectObject(HGDIOBJ object) {
  ++counts_.selectObject;
  HGDIOBJ old = TDeviceContext::SelectObject(object);
  UpdateSurface();
  return old;
}

BOOL TMemoryDeviceContext::StretchBlt(int32_t xDest, int32_t yDest, int32_t destWidth,
                                      int32_t destHeight, TDeviceContext* source, int32_t xSrc,
                                      int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                                      DWORD rop) {
  ++counts_.stretchBlt;
  if (options_.refuseStretchBlt) return 0;
  return TDeviceContext::StretchBlt(xDest, yDest, destWidth, destHeight, source, xSrc, ySrc,
                                    srcWidth, srcHeight, rop);
}

int TMemoryDeviceContext::GetClipBox(RECT* rect) {
  ++counts_.getClipBox;
  *rect = EffectiveClip();
  return rect->right > rect->left ? SIMPLEREGION : NULLREGION;
}

BOOL TMemoryDeviceContext::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++counts_.rectangle;
  return TDeviceContext::Rectangle(left, top, right, bottom);
}

BOOL TMemoryDeviceContext::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  ++counts_.ellipse;
  return TDeviceContext::Ellipse(left, top, right, bottom);
}

bool TMemoryDeviceContext::DrawDib(const TDibView& dib, const RECT& dest, const RECT& src,
                                   DWORD rop) {
  RasterDib(surface_, EffectiveClip(), dib, dest, src, rop);
  return true;
}

bool TMemoryDeviceContext::DrawSurface(const TSurface& source, const RECT& dest, const RECT& src,
                                       DWORD rop) {
  RasterSurface(surface_, EffectiveClip(), source, dest, src, rop);
  return true;
}

void TMemoryDeviceContext::DrawRectangle(const RECT& box, TPenState pen, TBrushState brush,
                                         int rop2) {
  RasterRectangle(surface_, EffectiveClip(), box, pen, brush, rop2);
}

void TMemoryDeviceContext::DrawEllipse(const RECT& box, TPenState pen, TBrushState brush,
                                       int rop2) {
  RasterEllipse(surface_, EffectiveClip(), box, pen, brush, rop2);
}

} // namespace platform
