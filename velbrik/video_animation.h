// SPDX-License-Identifier: GPL-3.0-or-later
// Writing an animation frame by frame as an MP4 video (H.264, yuv420p) or as an animated WebP
// that loops without end. Frames are true-colour rows, top-down; each is shown for its delay.
// The file is written beside the target and renamed over it only when the last frame is in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace velbrik {

// The common face of the two writers, so that the frame loop does not care which it feeds.
class TRgbAnimationWriter {
public:
  virtual ~TRgbAnimationWriter() = default;
  // Starts the file for frames of width x height. False with a German message.
  virtual bool Open(const std::string& path, int32_t width, int32_t height, std::string& error) = 0;
  // One frame of width x height red, green, blue triples, rows top-down, shown for delay
  // hundredths of a second (1..65535).
  virtual bool AddFrame(const uint8_t* rgb, int32_t delay, std::string& error) = 0;
  // Ends the file and puts it in place of the target; without it nothing is left behind.
  virtual bool Finish(std::string& error) = 0;
};

// H.264 (libx264 at constant quality 20 where present) in an MP4 file, moov atom first so that
// it plays while it loads. Both sides must be even (yuv420p halves them), at most 8192.
std::unique_ptr<TRgbAnimationWriter> NewMp4Writer();
constexpr int32_t kMaxVideoSide = 8192;

// Lossy animated WebP (quality 80), endless loop; at most 16383 pixels a side.
std::unique_ptr<TRgbAnimationWriter> NewWebpAnimationWriter();

} // namespace velbrik
