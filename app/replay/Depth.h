// Promotion of an opened picture to 24 bits per pixel, as the window does after opening.
#pragma once

#if __has_include("DepthPromotion.h")
#include "DepthPromotion.h"
#else
#include "Velbrik.h"

#include <cstdint>
#include <functional>

// Stand-in until the imaging binding provides it: palette pictures are expanded through their
// colour table; a picture that cannot be expanded is left as it is.
void DepthUpTo(TDib& dib, int32_t Target, const std::function<void(int32_t)>& SetProStatus);
#endif
