// SPDX-License-Identifier: GPL-3.0-or-later
#include "StretchDraw.h"

#include "platform/win.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace platform;

namespace {

const BITMAPINFO* infoOf(const TDib& dib) { return reinterpret_cast<const BITMAPINFO*>(dib.Info); }

// Scales a length by num / den in floating point, rounded as the clipping wants it.
int32_t scaled(int64_t length, int64_t num, int64_t den) {
  return RoundHalfEven(static_cast<long double>(length * num) / static_cast<long double>(den));
}

// The part of the destination rectangle inside the device's clip box, as offsets into the
// rectangle: columns i0 .. i1 - 1 and rows j0 .. j1 - 1. Without a clip box, all of it.
struct TVisible {
  int32_t i0, i1, j0, j1;
  bool empty() const { return i1 <= i0 || j1 <= j0; }
};

TVisible visiblePart(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight) {
  TVisible v{0, DestWidth, 0, DestHeight};
  RECT clip{};
  const int kind = GetClipBox(dc, &clip);
  if (kind == NULLREGION) return {0, 0, 0, 0};
  if (kind == RGN_ERROR) return v;
  v.i0 = int32_t(std::clamp<int64_t>(int64_t(clip.left) - X, 0, DestWidth));
  v.i1 = int32_t(std::clamp<int64_t>(int64_t(clip.right) - X, 0, DestWidth));
  v.j0 = int32_t(std::clamp<int64_t>(int64_t(clip.top) - Y, 0, DestHeight));
  v.j1 = int32_t(std::clamp<int64_t>(int64_t(clip.bottom) - Y, 0, DestHeight));
  return v;
}

// The row paths. bytesPerPixel is 3 (24 bits) or 1 (8 bits, indexes into the picture's colour
// table, which the scratch row shares).
void drawRows(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight, const TDib& dib,
              int32_t SrcX, int32_t RowTop, int32_t SrcWidth, int32_t SrcHeight,
              int32_t bytesPerPixel) {
  if (dc == nullptr || dib.Bits == nullptr || dib.Info == nullptr) return;
  if (DestWidth <= 0 || DestHeight <= 0) return;
  const TVisible vis = visiblePart(dc, X, Y, DestWidth, DestHeight);
  if (vis.empty()) return;
  const int32_t W = DibWidth(dib), H = DibHeight(dib);
  const int32_t span = vis.i1 - vis.i0;

  TDib row;
  if (bytesPerPixel == 3) newdib(&row, span, 1, 24, nullptr, 0);
  else newdib(&row, span, 1, 8, dib.Info, 256);
  if (row.Bits == nullptr) {
    deldib(row);
    return;
  }

  // Byte offset into a source row of each visible destination column, relative to i0.
  std::vector<int32_t> column(static_cast<size_t>(span));
  const int64_t rowBytes = int64_t(W) * bytesPerPixel;
  int32_t firstValid = span, lastValid = 0;
  for (int32_t k = 0; k < span; ++k) {
    const int64_t i = vis.i0 + k;
    const int64_t c = (int64_t(SrcX) + int64_t(SrcWidth) * i / DestWidth) * bytesPerPixel;
    column[size_t(k)] = int32_t(std::clamp<int64_t>(c, -1, rowBytes));
    if (c >= 0 && c < rowBytes) {
      firstValid = std::min(firstValid, k);
      lastValid = k;
    }
  }
  // At 1:1 the valid run is one contiguous block of the source row.
  const bool contiguous = firstValid <= lastValid &&
                          column[size_t(lastValid)] - column[size_t(firstValid)] ==
                              (lastValid - firstValid) * bytesPerPixel;

  const int64_t maxOffset = int64_t(H - 1) * dib.BytesPerLine;
  int64_t previous = -1;
  for (int32_t j = vis.j0; j < vis.j1; ++j) {
    const int64_t fromTop = int64_t(RowTop) + int64_t(SrcHeight) * j / DestHeight;
    // The top-based row turned into the bottom-up memory row.
    const int64_t offset = (int64_t(H) - 1 - fromTop) * dib.BytesPerLine;
    if (offset < 0 || offset > maxOffset) {
      std::memset(row.Bits, 0, size_t(row.BytesPerLine));
      previous = -1; // the scratch row no longer holds a picture row
    } else if (offset != previous && firstValid <= lastValid) {
      const uint8_t* src = dib.Bits + offset;
      uint8_t* dst = row.Bits;
      if (contiguous) {
        std::memcpy(dst + size_t(firstValid) * size_t(bytesPerPixel), src + column[size_t(firstValid)],
                    size_t(lastValid - firstValid + 1) * size_t(bytesPerPixel));
      } else if (bytesPerPixel == 3) {
        for (int32_t k = firstValid; k <= lastValid; ++k) {
          const uint8_t* p = src + column[size_t(k)];
          uint8_t* q = dst + size_t(k) * 3;
          q[0] = p[0];
          q[1] = p[1];
          q[2] = p[2];
        }
      } else {
        for (int32_t k = firstValid; k <= lastValid; ++k) dst[k] = src[column[size_t(k)]];
      }
      previous = offset;
    }
    SetDIBitsToDevice(dc, X + vis.i0, Y + j, DWORD(span), 1, 0, 0, 0, 1, row.Bits, infoOf(row),
                      DIB_RGB_COLORS);
  }
  deldib(row);
}

void drawHalftoned(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight,
                   const TDib& dib, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                   uint32_t Rop, HPALETTE chosen) {
  const int32_t W = DibWidth(dib), H = DibHeight(dib);
  const bool shrinking = SrcWidth > DestWidth || SrcHeight > DestHeight;
  TDib copy;
  if (shrinking)
    DIBHalftoneDIBXY(&copy, dib, scaled(W, DestWidth, SrcWidth), scaled(H, DestHeight, SrcHeight));
  else
    DIBHalftoneDIB(&copy, dib);

  HPALETTE replaced = SelectPalette(dc, chosen, FALSE);
  RealizePalette(dc);
  if (copy.Bits != nullptr && copy.Info != nullptr) {
    if (shrinking) {
      // The copy holds the whole picture at the destination's scale: a one-to-one transfer.
      const int32_t w = DibWidth(copy), h = DibHeight(copy);
      StretchDIBits(dc, X, Y, DestWidth, DestHeight, scaled(w, SrcX, W), scaled(h, SrcY, H),
                    DestWidth, DestHeight, copy.Bits, infoOf(copy), DIB_RGB_COLORS, Rop);
    } else {
      StretchDIBits(dc, X, Y, DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight, copy.Bits,
                    infoOf(copy), DIB_RGB_COLORS, Rop);
    }
  }
  SelectPalette(dc, replaced, FALSE);
  deldib(copy);
}

// Source pixel of destination position k of n, spread so that both ends meet the source's
// corner pixels. A destination one pixel long shows the middle of the source.
int32_t spread(int32_t start, int32_t length, int32_t k, int32_t n) {
  if (n <= 1) return start + (length - 1) / 2;
  return int32_t(start + int64_t(length - 1) * k / (n - 1));
}

bool resampleByHand(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight,
                    const TDib& dib, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                    int32_t SrcHeight) {
  const int32_t bits = DibBitCount(dib);
  const int32_t colours = DibColorCount(dib);
  TDib image;
  newdib(&image, DestWidth, DestHeight, bits, dib.Info, colours <= 256 ? colours : 0);
  if (image.Bits == nullptr) {
    deldib(image);
    return false;
  }
  // Rows j and sy are memory rows, counted from the bottom.
  for (int32_t j = 0; j < DestHeight; ++j) {
    const int32_t sy = spread(SrcY, SrcHeight, j, DestHeight);
    const uint8_t* src = dib.Bits + int64_t(sy) * dib.BytesPerLine;
    uint8_t* dst = image.Bits + int64_t(j) * image.BytesPerLine;
    for (int32_t i = 0; i < DestWidth; ++i) {
      const int32_t sx = spread(SrcX, SrcWidth, i, DestWidth);
      switch (bits) {
      case 1: setpixel(image, i, j, getpixel(dib, sx, sy)); break;
      case 4: {
        const uint8_t b = src[sx / 2];
        const uint8_t nibble = (sx % 2 == 0) ? uint8_t(b >> 4) : uint8_t(b & 15);
        dst[i / 2] |= (i % 2 == 0) ? uint8_t(nibble << 4) : nibble;
        break;
      }
      case 8: dst[i] = src[sx]; break;
      case 24: std::memcpy(dst + int64_t(i) * 3, src + int64_t(sx) * 3, 3); break;
      default: break;
      }
    }
  }
  const int drawn = SetDIBitsToDevice(dc, X, Y, DWORD(DestWidth), DWORD(DestHeight), 0, 0, 0,
                                      UINT(DestHeight), image.Bits, infoOf(image), DIB_RGB_COLORS);
  deldib(image);
  return drawn != 0;
}

void drawThroughBitmap(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight,
                       const TDib& dib, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                       int32_t SrcHeight, uint32_t Rop) {
  const int32_t W = DibWidth(dib), H = DibHeight(dib);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, W, H);
  if (bitmap == nullptr) {
    MessageBox(nullptr, "Konnte Bitmap nicht erzeugen!", "", MB_OK);
    return;
  }
  HDC memory = CreateCompatibleDC(dc);
  if (SetDIBits(dc, bitmap, 0, UINT(H), dib.Bits, infoOf(dib), DIB_RGB_COLORS) == 0) {
    MessageBox(nullptr, "Das Gerät unterstützt die Funtkion setdibits nicht!", "", MB_OK);
  } else {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    // The bitmap's rows count from the top, SrcY from the bottom.
    const int32_t top = H - SrcY - SrcHeight;
    if (StretchBlt(dc, X, Y, DestWidth, DestHeight, memory, SrcX, top, SrcWidth, SrcHeight, Rop) == 0)
      MessageBox(nullptr, "Das Gerät unterstützt die Funktion StretchBlt nicht!", "", MB_OK);
    SelectObject(memory, previous);
  }
  DeleteDC(memory);
  DeleteObject(bitmap);
}

void drawGeneral(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight,
                 const TDib& dib, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                 uint32_t Rop) {
  const bool takesDibs = (GetDeviceCaps(dc, RASTERCAPS) & RC_DIBTODEV) != 0;
  if (StretchDIBits(dc, X, Y, DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight, dib.Bits,
                    infoOf(dib), DIB_RGB_COLORS, Rop) != GDI_ERROR)
    return;
  if (takesDibs &&
      resampleByHand(dc, X, Y, DestWidth, DestHeight, dib, SrcX, SrcY, SrcWidth, SrcHeight))
    return;
  drawThroughBitmap(dc, X, Y, DestWidth, DestHeight, dib, SrcX, SrcY, SrcWidth, SrcHeight, Rop);
}

} // namespace

int32_t RoundHalfEven(long double value) {
  if (std::isnan(value)) return 0;
  const long double r = std::nearbyint(value); // default rounding mode: halves to even
  if (r >= static_cast<long double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (r <= static_cast<long double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return int32_t(r);
}

void DrawRows24(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight, TDib dib,
                int32_t SrcX, int32_t RowTop, int32_t SrcWidth, int32_t SrcHeight) {
  drawRows(dc, X, Y, DestWidth, DestHeight, dib, SrcX, RowTop, SrcWidth, SrcHeight, 3);
}

void DrawRows8(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight, TDib dib,
               int32_t SrcX, int32_t RowTop, int32_t SrcWidth, int32_t SrcHeight) {
  drawRows(dc, X, Y, DestWidth, DestHeight, dib, SrcX, RowTop, SrcWidth, SrcHeight, 1);
}

void StretchDrawDib(HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight, TDib dib,
                    int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                    bool AllowHalftone, uint32_t Rop, bool UseOwnPalette, HPALETTE ExtPalette) {
  if (dc == nullptr || dib.Info == nullptr || dib.Bits == nullptr) return;
  const int32_t W = DibWidth(dib), H = DibHeight(dib);
  const bool printer = GetDeviceCaps(dc, TECHNOLOGY) == DT_RASPRINTER;
  SetStretchBltMode(dc, COLORONCOLOR);
  // Empty rectangles draw nothing (and would divide by zero below).
  if (SrcWidth <= 0 || SrcHeight <= 0 || DestWidth <= 0 || DestHeight <= 0) return;

  // Cut the source rectangle to the picture, shrinking the destination in proportion.
  if (int64_t(SrcX) + SrcWidth > W) {
    const int32_t s = W - SrcX;
    DestWidth = scaled(DestWidth, s, SrcWidth);
    SrcWidth = s;
  }
  if (SrcY < 0) {
    const int32_t s = SrcHeight + SrcY;
    DestHeight = scaled(s, DestHeight, SrcHeight);
    SrcHeight = s;
    SrcY = 0; // the cut rows are at the bottom: Y stays
  }
  if (int64_t(SrcY) + SrcHeight > H) {
    const int32_t s = H - SrcY;
    const int32_t d = scaled(DestHeight, s, SrcHeight);
    Y += DestHeight - d;
    DestHeight = d;
    SrcHeight = s;
  }
  if (SrcX < 0) {
    const int32_t s = SrcX + SrcWidth;
    const int32_t d = scaled(DestWidth, s, SrcWidth);
    X += DestWidth - d;
    DestWidth = d;
    SrcWidth = s;
    SrcX = 0;
  }
  if (SrcWidth <= 0 || SrcHeight <= 0 || DestWidth <= 0 || DestHeight <= 0) return;

  const HPALETTE chosen = UseOwnPalette ? static_cast<HPALETTE>(dib.Palette) : ExtPalette;
  const bool selected = dib.UsePalette == 1;
  HPALETTE replaced = nullptr;
  if (selected) {
    replaced = SelectPalette(dc, chosen, FALSE);
    RealizePalette(dc);
  }

  const int32_t bits = DibBitCount(dib);
  if (bits == 24 && ScreenBitsPerPixel() <= 8 && AllowHalftone)
    drawHalftoned(dc, X, Y, DestWidth, DestHeight, dib, SrcX, SrcY, SrcWidth, SrcHeight, Rop, chosen);
  else if (bits == 24 && !printer)
    DrawRows24(dc, X, Y, DestWidth, DestHeight, dib, SrcX, H - SrcY - SrcHeight, SrcWidth, SrcHeight);
  else if (bits == 8 && !printer)
    DrawRows8(dc, X, Y, DestWidth, DestHeight, dib, SrcX, H - SrcY - SrcHeight, SrcWidth, SrcHeight);
  else
    drawGeneral(dc, X, Y, DestWidth, DestHeight, dib, SrcX, SrcY, SrcWidth, SrcHeight, Rop);

  if (selected) SelectPalette(dc, replaced, FALSE);
}
