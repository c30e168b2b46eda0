// SPDX-License-Identifier: GPL-3.0-or-later
// Picture loading on page "Motiv laden": the arithmetic that fits a loaded picture to the
// editing view and the preview, and the two replaceable pieces the tests use to force a failed
// open or a mask that cannot be allocated.
#pragma once

#include "Velbrik.h"

#include <cstdint>
#include <functional>

namespace loading {

// Zoom that fits a picture of pictureWidth pixels into clientWidth view pixels (real division;
// the zoom field clamps it). pictureWidth must be positive.
long double FitZoom(int32_t clientWidth, int32_t pictureWidth);

// Brush radius of about 50 view pixels at the fitted zoom: pictureWidth * 50 div clientWidth,
// truncated. A client width of 0 or less gives the largest radius (the limit of the quotient),
// which the radius field clamps.
int32_t FitRadius(int32_t pictureWidth, int32_t clientWidth);

// Size of a w x h picture drawn into a W x H box from its top-left corner, aspect kept:
// the full width when the height fits, else the full height. Integer division, truncating.
struct TPreviewSize {
  int32_t Width = 0, Height = 0;
};
TPreviewSize PreviewSize(int32_t boxWidth, int32_t boxHeight, int32_t w, int32_t h);

// How the window opens picture files; the imaging library's OpenDib unless replaced.
using TOpenDibFunction = std::function<void(TDib* dest, const char* path, int32_t option, void* window)>;
// Installs f (an empty function restores OpenDib) and returns the previous one.
TOpenDibFunction SetOpenDibFunction(TOpenDibFunction f);
void CallOpenDib(TDib* dest, const char* path, int32_t option, void* window);

// Largest mask, in entries (pixels), that loading allocates; larger pictures are reported as
// too large for the memory. Returns the previous limit.
uint64_t SetMaskLimit(uint64_t entries);
uint64_t MaskLimit();

} // namespace loading
