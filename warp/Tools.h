// SPDX-License-Identifier: GPL-3.0-or-later
// The five deformation tools: one step changes the mask inside a circle around a picture point.
//
// Two ways to run a step give byte-identical masks and progress reports:
//  - ApplyStepFull copies the whole mask into a snapshot and walks every row and column of the
//    picture (the straightforward way; kept as the reference the fast way is checked against);
//  - ApplyStepFast visits only the circle's pixels. Grow and shrink, whose samples must not see
//    entries changed earlier in the same step, visit them in an order that reads every sample
//    before it is written (or, for strengths the tool bar does not offer, read from a copy of the
//    brush square); the other tools read only the entry they change. The arithmetic comes from
//    tables that give exactly the extended-precision values, and big brushes share their rows
//    with other threads (ForEachRowBand).
#pragma once

#include "Mask.h"
#include "Mix.h"
#include "SampleOffsets.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace warp {

// Brush steps of at least this radius share their rows with other threads; below, handing the
// rows out would cost more than it saves.
constexpr int32_t kSharedRadius = 96;

// Tool codes, as the tool bar passes them.
constexpr int32_t kToolGrow = 0;
constexpr int32_t kToolShrink = 1;
constexpr int32_t kToolEraser = 2;
constexpr int32_t kToolSmear = 3;
constexpr int32_t kToolDrag = 4;

// Largest radius a step accepts: the square-root table holds radius^2 + 1 entries (64 MB here)
// and the integer arithmetic of a step must stay inside 32 bits. The editing view offers 5 up to
// MaxBrushRadius (Protection.h).
constexpr int32_t kMaxRadius = 4096;

// One step's arguments. x, y: brush centre in picture pixels, y counted bottom-up; curX, curY,
// lastX, lastY: pointer now and at the previous step, view pixels (Y downwards); strength s
// (0.1..1 from the editing view); radius c in picture pixels.
struct TStepInput {
  int32_t x = 0, y = 0;
  int32_t curX = 0, curY = 0, lastX = 0, lastY = 0;
  int32_t tool = kToolGrow;
  bool xAxis = true, yAxis = true;
  double strength = 0.4;
  int32_t radius = 50;
  bool normalize = true;
};

using TProgressFn = std::function<void(int32_t)>;

// Square-root tables for radius r >= 1: frac[i] = sqrt(i / r) for i = 0..r (stored as double),
// ints[k] = trunc(sqrt(k)) for k = 0..r*r, both roots taken in extended precision.
void BuildSqrtTables(int32_t r, std::vector<double>& frac, std::vector<int32_t>& ints);

// The weight of grow (w = (sqrtFrac * s + 1) - s) and shrink (w = (1 - sqrtFrac) * s + 1) for
// the table value sqrtFrac = sqrt(u / r), computed in extended precision and stored as double;
// 1 for the other tools.
double ToolWeight(int32_t tool, double sqrtFrac, double strength);

// Whether a step does anything: centre inside the picture and radius 1..kMaxRadius.
// A step that does not apply changes nothing and reports no progress.
bool StepApplies(const TStepInput& in, int32_t width, int32_t height);

// The brush square of an applying step, clipped to the picture.
TPictureRect BrushSquare(const TStepInput& in, int32_t width, int32_t height);

// Both run a step that applies (StepApplies) with tables built for in.radius. They report
// per row of the brush band inside the picture ((i - y + c) * 100) div (2c), then 0.
// ApplyStepFull returns false, changing nothing, when its snapshot cannot be allocated.
bool ApplyStepFull(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                   const std::vector<double>& frac, const std::vector<int32_t>& ints,
                   const TProgressFn& progress);
// What the fast step keeps from one step to the next, so that a stroke allocates and prepares
// nothing after its first step: the copy of the brush square, the weights and sampling offsets,
// the tables of the fixed mixes (normalising, erasing, the drag's relaxing) and of the smear's
// shifted coordinates.
struct TStepScratch {
  std::vector<TMaskEntry> squareCopy;
  std::vector<double> weight;
  TSampleOffsets offsets;
  TMix<9, 10> normalize{0.9L, 0.1L};
  TMix<4, 5> erase{0.8L, 0.2L};
  TMix<19, 20> relax{0.95L, 0.05L};
  std::vector<int32_t> shiftX, shiftY, meanX, meanY;
};

// Returns the square it may have changed; it changes only entries inside the circle.
TPictureRect ApplyStepFast(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                           const std::vector<double>& frac, const std::vector<int32_t>& ints,
                           TStepScratch& scratch, const TProgressFn& progress);

} // namespace warp
