// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "velbrik.h"

namespace velbrik {

// The fixed 256-colour palette of halftoned copies and of 24-bit images: a 6 x 6 x 6 colour cube
// (entries 0..215, levels 0, 51, ..., 255, blue fastest) followed by 40 greys (216..255).
const VPaletteEntry* HalftonePalette();

// One row of a 1-, 4- or 8-bit picture as blue, green, red triples (3 x width bytes in dst).
void ExpandPaletteRow(const TDib& dib, const uint8_t* src, uint8_t* dst);

} // namespace velbrik
