// SPDX-License-Identifier: GPL-3.0-or-later
// The device-context state and the free drawing calls, which forward to the context.
#include "platform/gdi.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <new>
#include <utility>

namespace platform {
namespace {

std::atomic<long> liveContexts{0};

// The system's 20 static colours, the palette every device context starts with.
std::vector<PALETTEENTRY> defaultPaletteEntries() {
  static const uint8_t c[20][3] = {
      {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
  std::vector<PALETTEENTRY> e;
  for (const auto& rgb : c) e.push_back({rgb[0], rgb[1], rgb[2], 0});
  return e;
}

struct TStockObjects {
  TPen blackPen{TGdiObject::StockTag{}, PS_SOLID, 0x000000};
  TPen whitePen{TGdiObject::StockTag{}, PS_SOLID, 0xFFFFFF};
  TPen nullPen{TGdiObject::StockTag{}, PS_NULL, 0};
  TPen dcPen{TGdiObject::StockTag{}, PS_SOLID, 0};
  TBrush whiteBrush{TGdiObject::StockTag{}, BS_SOLID, 0xFFFFFF};
  TBrush blackBrush{TGdiObject::StockTag{}, BS_SOLID, 0x000000};
  TBrush nullBrush{TGdiObject::StockTag{}, BS_NULL, 0};
  TBrush dcBrush{TGdiObject::StockTag{}, BS_SOLID, 0};
  TPalette defaultPalette{TGdiObject::StockTag{}, defaultPaletteEntries()};
  TBitmap defaultBitmap{TGdiObject::StockTag{}, 1, 1, 1};
};

TStockObjects& stock() {
  static TStockObjects s;
  return s;
}

std::mutex screenMutex;
ScreenDepthProvider& screenProvider() {
  static ScreenDepthProvider p;
  return p;
}

RECT normalised(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  return {left, top, right, bottom};
}

} // namespace

TBitmap::TBitmap(int32_t width, int32_t height, int bitsPixel)
    : width_(width), height_(height), bitsPixel_(bitsPixel),
      pixels_(size_t(width) * size_t(height), 0xFF000000u) {}

TBitmap::TBitmap(StockTag tag, int32_t width, int32_t height, int bitsPixel)
    : TGdiObject(tag), width_(width), height_(height), bitsPixel_(bitsPixel),
      pixels_(size_t(width) * size_t(height), 0xFF000000u) {}

bool IsDefaultBitmap(HBITMAP bitmap) { return bitmap == &stock().defaultBitmap; }

TDeviceContext::TDeviceContext()
    : palette_(&stock().defaultPalette), pen_(&stock().blackPen), brush_(&stock().whiteBrush),
      bitmap_(&stock().defaultBitmap) {
  ++liveContexts;
}

TDeviceContext::~TDeviceContext() { --liveContexts; }

long LiveDeviceContextCount() { return liveContexts.load(); }

int TDeviceContext::SetStretchBltMode(int mode) {
  if (mode < BLACKONWHITE || mode > HALFTONE) return 0;
  return std::exchange(stretchMode_, mode);
}

HPALETTE TDeviceContext::SelectPalette(HPALETTE palette, BOOL) {
  if (palette == nullptr) return nullptr;
  return std::exchange(palette_, palette);
}

UINT TDeviceContext::RealizePalette() {
  return palette_ == nullptr ? 0 : UINT(palette_->entries().size());
}

int TDeviceContext::StretchDIBits(int32_t xDest, int32_t yDest, int32_t destWidth,
                                  int32_t destHeight, int32_t xSrc, int32_t ySrc,
                                  int32_t srcWidth, int32_t srcHeight, const void* bits,
                                  const BITMAPINFO* info, UINT usage, DWORD rop) {
  TDibView dib;
  if (!dib.Open(info, bits, usage, 0, info == nullptr ? 0 : std::abs(info->bmiHeader.biHeight)))
    return GDI_ERROR;
  if (!KnownRop(rop)) return GDI_ERROR;
  if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return 0;
  // The source rectangle turned from bottom-based rows into rows from the top.
  const int64_t top = int64_t(dib.height()) - ySrc - srcHeight;
  const RECT dest{xDest, yDest, int32_t(int64_t(xDest) + destWidth),
                  int32_t(int64_t(yDest) + destHeight)};
  const RECT src{xSrc, int32_t(top), int32_t(int64_t(xSrc) + srcWidth),
                 int32_t(top + srcHeight)};
  if (!DrawDib(dib, dest, src, rop)) return GDI_ERROR;
  return srcHeight;
}

int TDeviceContext::SetDIBitsToDevice(int32_t xDest, int32_t yDest, int32_t width, int32_t height,
                                      int32_t xSrc, int32_t ySrc, UINT startScan, UINT lines,
                                      const void* bits, const BITMAPINFO* info, UINT usage) {
  TDibView dib;
  if (startScan > UINT(INT32_MAX) || lines > UINT(INT32_MAX)) return 0;
  if (!dib.Open(info, bits, usage, int32_t(startScan), int32_t(lines))) return 0;
  if (width <= 0 || height <= 0) return 0;
  const int64_t top = int64_t(dib.height()) - ySrc - height;
  const RECT dest{xDest, yDest, int32_t(int64_t(xDest) + width), int32_t(int64_t(yDest) + height)};
  const RECT src{xSrc, int32_t(top), int32_t(int64_t(xSrc) + width), int32_t(top + height)};
  if (!DrawDib(dib, dest, src, SRCCOPY)) return 0;
  return int(lines);
}

HBITMAP TDeviceContext::CreateCompatibleBitmap(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || int64_t(width) * height > kMaxBitmapPixels) return nullptr;
  try {
    return new TBitmap(width, height, GetDeviceCaps(BITSPIXEL));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

TDeviceContext* TDeviceContext::CreateCompatibleDC() {
  TMemoryDcOptions options;
  options.technology = GetDeviceCaps(TECHNOLOGY);
  options.bitsPerPixel = GetDeviceCaps(BITSPIXEL);
  return TMemoryDeviceContext::CreateCompatible(options);
}

int TDeviceContext::SetDIBits(HBITMAP bitmap, UINT startScan, UINT lines, const void* bits,
                              const BITMAPINFO* info, UINT usage) {
  if (bitmap == nullptr || IsDefaultBitmap(bitmap)) return 0;
  if (startScan > UINT(INT32_MAX) || lines > UINT(INT32_MAX)) return 0;
  TDibView dib;
  if (!dib.Open(info, bits, usage, int32_t(startScan), int32_t(lines))) return 0;
  // The DIB's bottom row lands on the bitmap's bottom row.
  const int32_t w = std::min(dib.width(), bitmap->width());
  int copied = 0;
  for (int32_t r = 0; r < dib.height() && r < bitmap->height(); ++r) {
    const int32_t fromTop = dib.height() - 1 - r;
    if (!dib.HasRow(fromTop)) continue;
    const uint8_t* row = dib.Row(fromTop);
    uint32_t* out = bitmap->pixels() + size_t(bitmap->height() - 1 - r) * size_t(bitmap->width());
    for (int32_t x = 0; x < w; ++x) out[x] = 0xFF000000u | dib.Pixel(row, x);
    ++copied;
  }
  return copied;
}

HGDIOBJ TDeviceContext::SelectObject(HGDIOBJ object) {
  if (auto* pen = dynamic_cast<HPEN>(object)) return std::exchange(pen_, pen);
  if (auto* brush = dynamic_cast<HBRUSH>(object)) return std::exchange(brush_, brush);
  if (auto* bitmap = dynamic_cast<HBITMAP>(object)) return std::exchange(bitmap_, bitmap);
  return nullptr;
}

BOOL TDeviceContext::StretchBlt(int32_t xDest, int32_t yDest, int32_t destWidth,
                                int32_t destHeight, TDeviceContext* source, int32_t xSrc,
                                int32_t ySrc, int32_t srcWidth, int32_t srcHeight, DWORD rop) {
  if (source == nullptr || source->Surface() == nullptr || !KnownRop(rop)) return 0;
  if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return 0;
  const RECT dest{xDest, yDest, int32_t(int64_t(xDest) + destWidth),
                  int32_t(int64_t(yDest) + destHeight)};
  const RECT src{xSrc, ySrc, int32_t(int64_t(xSrc) + srcWidth), int32_t(int64_t(ySrc) + srcHeight)};
  return DrawSurface(*source->Surface(), dest, src, rop) ? 1 : 0;
}

int TDeviceContext::SetROP2(int mode) {
  if (mode < R2_BLACK || mode > R2_WHITE) return 0;
  return std::exchange(rop2_, mode);
}

COLORREF TDeviceContext::SetDCPenColor(COLORREF color) {
  return std::exchange(dcPenColor_, color & 0xFFFFFF);
}

COLORREF TDeviceContext::SetDCBrushColor(COLORREF color) {
  return std::exchange(dcBrushColor_, color & 0xFFFFFF);
}

TPenState TDeviceContext::PenState() const {
  if (pen_->style() == PS_NULL) return {false, 0};
  return {true, pen_ == &stock().dcPen ? dcPenColor_ : pen_->color()};
}

TBrushState TDeviceContext::BrushState() const {
  if (brush_->style() == BS_NULL) return {false, 0};
  return {true, brush_ == &stock().dcBrush ? dcBrushColor_ : brush_->color()};
}

BOOL TDeviceContext::Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  DrawRectangle(normalised(left, top, right, bottom), PenState(), BrushState(), rop2_);
  return 1;
}

BOOL TDeviceContext::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  DrawEllipse(normalised(left, top, right, bottom), PenState(), BrushState(), rop2_);
  return 1;
}

// ---- free functions ----

int GetDeviceCaps(HDC dc, int index) { return dc ? dc->GetDeviceCaps(index) : 0; }
int SetStretchBltMode(HDC dc, int mode) { return dc ? dc->SetStretchBltMode(mode) : 0; }
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
  return dc ? dc->SelectPalette(palette, forceBackground) : nullptr;
}
UINT RealizePalette(HDC dc) { return dc ? dc->RealizePalette() : UINT(GDI_ERROR); }

int StretchDIBits(HDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                  int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits,
                  const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (dc == nullptr) return 0;
  return dc->StretchDIBits(xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight,
                           bits, info, usage, rop);
}

int SetDIBitsToDevice(HDC dc, int32_t xDest, int32_t yDest, DWORD width, DWORD height,
                      int32_t xSrc, int32_t ySrc, UINT startScan, UINT lines, const void* bits,
                      const BITMAPINFO* info, UINT usage) {
  if (dc == nullptr || width > DWORD(INT32_MAX) || height > DWORD(INT32_MAX)) return 0;
  return dc->SetDIBitsToDevice(xDest, yDest, int32_t(width), int32_t(height), xSrc, ySrc,
                               startScan, lines, bits, info, usage);
}

HBITMAP CreateCompatibleBitmap(HDC dc, int32_t width, int32_t height) {
  return dc ? dc->CreateCompatibleBitmap(width, height) : nullptr;
}

HDC CreateCompatibleDC(HDC dc) {
  if (dc != nullptr) return dc->CreateCompatibleDC();
  TMemoryDcOptions options;
  options.bitsPerPixel = ScreenDepth();
  return TMemoryDeviceContext::CreateCompatible(options);
}

int SetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, const void* bits,
              const BITMAPINFO* info, UINT usage) {
  return dc ? dc->SetDIBits(bitmap, startScan, lines, bits, info, usage) : 0;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  return dc && object ? dc->SelectObject(object) : nullptr;
}

BOOL StretchBlt(HDC dest, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                HDC source, int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                DWORD rop) {
  if (dest == nullptr) return 0;
  return dest->StretchBlt(xDest, yDest, destWidth, destHeight, source, xSrc, ySrc, srcWidth,
                          srcHeight, rop);
}

BOOL DeleteDC(HDC dc) {
  if (dc == nullptr) return 0;
  delete dc;
  return 1;
}

int GetObject(HGDIOBJ object, int size, void* out) {
  if (auto* bitmap = dynamic_cast<HBITMAP>(object)) {
    if (out == nullptr) return int(sizeof(BITMAP));
    if (size < int(sizeof(BITMAP))) return 0;
    BITMAP b{};
    b.bmWidth = bitmap->width();
    b.bmHeight = bitmap->height();
    b.bmWidthBytes = int32_t(((int64_t(bitmap->width()) * bitmap->bitsPixel() + 15) / 16) * 2);
    b.bmPlanes = 1;
    b.bmBitsPixel = uint16_t(bitmap->bitsPixel());
    *static_cast<BITMAP*>(out) = b;
    return int(sizeof(BITMAP));
  }
  if (auto* palette = dynamic_cast<HPALETTE>(object)) {
    if (out == nullptr) return int(sizeof(uint16_t));
    if (size < int(sizeof(uint16_t))) return 0;
    *static_cast<uint16_t*>(out) = uint16_t(palette->entries().size());
    return int(sizeof(uint16_t));
  }
  return 0;
}

HDC GetDC(HWND window) {
  if (window != nullptr) return nullptr;
  TMemoryDcOptions options;
  options.bitsPerPixel = ScreenDepth();
  if (options.bitsPerPixel <= 8) options.rasterCaps |= RC_PALETTE;
  return new TMemoryDeviceContext(1, 1, 0xFFFFFF, options);
}

int ReleaseDC(HWND window, HDC dc) {
  if (window != nullptr || dc == nullptr) return 0;
  delete dc;
  return 1;
}

int GetClipBox(HDC dc, RECT* rect) { return dc && rect ? dc->GetClipBox(rect) : RGN_ERROR; }
int SetROP2(HDC dc, int mode) { return dc ? dc->SetROP2(mode) : 0; }
COLORREF SetDCPenColor(HDC dc, COLORREF color) {
  return dc ? dc->SetDCPenColor(color) : COLORREF(0xFFFFFFFF);
}
COLORREF SetDCBrushColor(HDC dc, COLORREF color) {
  return dc ? dc->SetDCBrushColor(color) : COLORREF(0xFFFFFFFF);
}
BOOL Rectangle(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return dc ? dc->Rectangle(left, top, right, bottom) : 0;
}
BOOL Ellipse(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return dc ? dc->Ellipse(left, top, right, bottom) : 0;
}

HGDIOBJ GetStockObject(int index) {
  TStockObjects& s = stock();
  switch (index) {
  case WHITE_BRUSH: return &s.whiteBrush;
  case BLACK_BRUSH: return &s.blackBrush;
  case NULL_BRUSH: return &s.nullBrush;
  case WHITE_PEN: return &s.whitePen;
  case BLACK_PEN: return &s.blackPen;
  case NULL_PEN: return &s.nullPen;
  case DEFAULT_PALETTE: return &s.defaultPalette;
  case DC_BRUSH: return &s.dcBrush;
  case DC_PEN: return &s.dcPen;
  default: return nullptr;
  }
}

HPEN CreatePen(int style, int, COLORREF color) {
  return new TPen(style == PS_NULL ? PS_NULL : PS_SOLID, color & 0xFFFFFF);
}

HBRUSH CreateSolidBrush(COLORREF color) { return new TBrush(BS_SOLID, color & 0xFFFFFF); }

ScreenDepthProvider SetScreenDepthProvider(ScreenDepthProvider provider) {
  std::lock_guard lock(screenMutex);
  return std::exchange(screenProvider(), std::move(provider));
}

int ScreenDepth() {
  ScreenDepthProvider p;
  {
    std::lock_guard lock(screenMutex);
    p = screenProvider();
  }
  return p ? p() : 24;
}

} // namespace platform
