// SPDX-License-Identifier: GPL-3.0-or-later
// The program's binding to the imaging library: the image record and the small accessors that
// read a record's size and depth.
#pragma once

#include "velbrik.h"

#include <cstddef>
#include <cstdint>

static_assert(offsetof(TDib, Info) == 0);
static_assert(offsetof(TDib, LogPal) == offsetof(TDib, UsePalette) + 2);
static_assert(sizeof(VBitmapInfoHeader) == 40);
static_assert(sizeof(VLogPalette) == 1028);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(TDib) == 1084);
static_assert(offsetof(TDib, Bits) == 12 && offsetof(TDib, BytesPerLine) == 16);
static_assert(offsetof(TDib, UsePalette) == 20 && offsetof(TDib, LogPal) == 22);
static_assert(offsetof(TDib, Palette) == 1052);
#endif

inline int32_t DibWidth(TDib dib) { return dib.Info->bmiHeader.biWidth; }
inline int32_t DibHeight(TDib dib) { return dib.Info->bmiHeader.biHeight; }
inline int32_t DibBitCount(TDib dib) { return dib.Info->bmiHeader.biBitCount; }

// 2^n by doubling n times from 1; 1 for n <= 0. Wraps like the signed 32-bit original for n >= 31.
inline int32_t TwoPower(int32_t n) {
  uint32_t v = 1;
  for (int32_t i = 0; i < n; ++i) v *= 2;
  return int32_t(v);
}
inline int32_t DibColorCount(TDib dib) { return TwoPower(DibBitCount(dib)); }

// Bits per pixel of the screen, asked anew on every call (platform layer).
int32_t ScreenBitsPerPixel();
