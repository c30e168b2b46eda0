// SPDX-License-Identifier: GPL-3.0-or-later
/* Compiled for a 32-bit target only (-m32 -fsyntax-only): the image record keeps the exact layout
 * shared with callers of the imaging library there. */
#include "velbrik.h"

#include <stddef.h>

_Static_assert(sizeof(TDib) == 1084, "record size");
_Static_assert(offsetof(TDib, Info) == 0, "Info");
_Static_assert(offsetof(TDib, Memory) == 4, "Memory");
_Static_assert(offsetof(TDib, Bits) == 12, "Bits");
_Static_assert(offsetof(TDib, BytesPerLine) == 16, "BytesPerLine");
_Static_assert(offsetof(TDib, UsePalette) == 20, "UsePalette");
_Static_assert(offsetof(TDib, LogPal) == 22, "LogPal");
_Static_assert(offsetof(TDib, LogPal.palPalEntry) == 26, "ErrorText");
_Static_assert(offsetof(TDib, Palette) == 1052, "Palette");
_Static_assert(sizeof(VBitmapInfoHeader) == 40, "header");
