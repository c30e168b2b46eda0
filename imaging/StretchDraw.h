// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing a rectangle of a picture scaled into a rectangle of a device context. Every picture
// on screen, and every printed one, goes through StretchDrawDib.
#pragma once

#include "Velbrik.h"

#include "platform/gdi.h"

#include <cstdint>

// Draws the source rectangle (SrcY counts rows from the picture's bottom edge) of dib into the
// destination rectangle (device units, from the top left). Pictures of 24 bits on a palette
// screen are halftoned (if AllowHalftone), 24- and 8-bit pictures on displays go row by row,
// everything else through the device's DIB stretching, with two fallbacks. Rop applies to the
// stretching calls only. The palette (the picture's own, or ExtPalette) is selected for the
// duration of the call when the picture asks for one.
void StretchDrawDib(platform::HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight,
                    TDib dib, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                    bool AllowHalftone, uint32_t Rop, bool UseOwnPalette,
                    platform::HPALETTE ExtPalette);

// Nearest-pixel drawing one destination row at a time, for 24- and 8-bit pictures. RowTop is the
// source rectangle's first row counted from the picture's top. Rows outside the picture are
// drawn black; rows and columns outside the device's clip box are not drawn at all.
void DrawRows24(platform::HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight,
                TDib dib, int32_t SrcX, int32_t RowTop, int32_t SrcWidth, int32_t SrcHeight);
void DrawRows8(platform::HDC dc, int32_t X, int32_t Y, int32_t DestWidth, int32_t DestHeight,
               TDib dib, int32_t SrcX, int32_t RowTop, int32_t SrcWidth, int32_t SrcHeight);

// Round to the nearest integer, halves to the even neighbour; clamped to the 32-bit range.
int32_t RoundHalfEven(long double value);
