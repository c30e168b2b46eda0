// SPDX-License-Identifier: GPL-3.0-or-later
// The deformation as an animated GIF: frames from the source (no displacement) to the smooth
// result (the whole displacement), each rendered smoothly with the mask's displacement scaled
// by its place in the row, scaled down with an area filter and given a palette of its own.
#pragma once

#include "Mask.h"
#include "Velbrik.h"
#include "platform/job.h"

#include <cstdint>
#include <functional>
#include <string>

namespace warp {

constexpr int32_t kMinFrames = 2, kMaxFrames = 250;
constexpr int32_t kMinDurationMs = 100, kMaxDurationMs = 60000;
constexpr int32_t kMaxLongerSide = 65535; // the largest side a GIF can have

struct TAnimationOptions {
  int32_t Frames = 24;       // from the source to the result, both included
  int32_t DurationMs = 2000; // of the way from the source to the result
  bool BackAgain = false;    // the frames back to the source appended (without repeating the ends)
  int32_t LongerSide = 800;  // of the frames, in pixels; 0 or more than the picture's: its own size
};

// The delay of frame i (0..frames - 1) of the way, in 1/100 s: the duration spread evenly, no
// frame shorter than 2/100 s (shorter delays are shown slowed down by most viewers).
int32_t FrameDelay(int32_t i, int32_t frames, int32_t durationMs);

// The displacement scale (0..kFullDisplacement) of frame i of `frames`.
int32_t FrameScale(int32_t i, int32_t frames);

// Writes the animation of `source` seen through `mask` to `path`. Progress receives the
// percentage after each frame and 0 at the end. False with a German message; an existing file is
// left as it was.
bool WriteAnimation(const TDib& source, const TMaskEntry* mask, const TAnimationOptions& options,
                    const std::string& path, const std::function<void(int32_t)>& progress, std::string& error);
// The same as a job: progress to the job, and between frames a cancelled job stops the writing
// (the message platform::kCancelledText; no file is left).
bool WriteAnimation(const TDib& source, const TMaskEntry* mask, const TAnimationOptions& options,
                    const std::string& path, const platform::TJob& job, std::string& error);

} // namespace warp
