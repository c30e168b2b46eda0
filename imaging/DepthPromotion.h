// SPDX-License-Identifier: GPL-3.0-or-later
// Promotion of a picture to a higher colour depth (1, 4 or 8 bits to 8 or 24; 1 to 4).
#pragma once

#include "Velbrik.h"

#include <cstdint>
#include <functional>

// Runs band(first, end) once for each of some bands that together cover the rows 0..rows-1, on
// any threads and in any order, and returns when all have run.
using TRowBands = std::function<void(int32_t rows, const std::function<void(int32_t first, int32_t end)>& band)>;

// Replaces FSourceDib by a picture of Target bits per pixel with the same pixels, releasing the
// old one. 24-bit pictures, pairings without a conversion and failed allocations leave it as it
// was. SetProStatus receives 0 first, the percentage at the start of each row, and 0 at the end,
// always on the calling thread and in row order; the rows are converted by `rows` when given
// (rows the calling thread does not convert itself are reported at the end).
void DepthUpTo(TDib& FSourceDib, int32_t Target, const std::function<void(int32_t)>& SetProStatus,
               const TRowBands& rows = {});
