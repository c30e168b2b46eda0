// SPDX-License-Identifier: GPL-3.0-or-later
// The deformation as an animation: frames from the source (no displacement) to the smooth
// result (the whole displacement), each rendered smoothly with the mask's displacement scaled
// by its place in the row and scaled down with an area filter. The file name's extension picks
// the format: an animated GIF (each frame with a palette of its own), an MP4 video (H.264) or an
// animated WebP.
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

enum class TAnimationKind { Gif, Mp4, Webp, Unknown };
// By the extension (.gif, .mp4, .webp; any case).
TAnimationKind AnimationKindOf(const std::string& path);
// The largest side of the kind's frames: 65535 (GIF), 8192 (MP4), 16383 (WebP).
int32_t MaxLongerSide(TAnimationKind kind);

struct TAnimationOptions {
  int32_t Frames = 24;       // from the source to the result, both included
  int32_t DurationMs = 2000; // of the way from the source to the result
  bool BackAgain = false;    // the frames back to the source appended (without repeating the ends)
  int32_t LongerSide = 800;  // of the frames, in pixels; 0 or more than the picture's: its own size
  TAnimationKind Kind = TAnimationKind::Unknown; // the format; Unknown: by the path's extension
};

// The delay of frame i (0..frames - 1) of the way, in 1/100 s: the duration spread evenly, no
// frame shorter than 2/100 s (shorter delays are shown slowed down by most viewers).
int32_t FrameDelay(int32_t i, int32_t frames, int32_t durationMs);

// The displacement scale (0..kFullDisplacement) of frame i of `frames`.
int32_t FrameScale(int32_t i, int32_t frames);

// Writes the animation of `source` seen through `mask` to `path`, the format by options.Kind or
// the path's extension.
// The job receives the percentage after each frame and 0 at the end; a cancel stops before the
// next frame. An MP4 video's sides are made even (one pixel less where needed). False with a
// German message; an existing file is left as it was.
bool WriteAnimation(const TDib& source, const TMaskEntry* mask, const TAnimationOptions& options,
                    const std::string& path, const platform::TJob& job, std::string& error);

} // namespace warp
