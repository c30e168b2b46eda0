// SPDX-License-Identifier: GPL-3.0-or-later
#include "Animation.h"

#include "AreaScale.h"
#include "Quantizer.h"
#include "SmoothRender.h"
#include "Worker.h"
#include "gif_animation.h"

#include <algorithm>
#include <vector>

namespace warp {
namespace {

// Releases the frame picture however the writing ends.
struct TOwnedFrame {
  TDib dib{};
  ~TOwnedFrame() {
    if (dib.Memory != nullptr) deldib(dib);
  }
};

} // namespace

int32_t FrameDelay(int32_t i, int32_t frames, int32_t durationMs) {
  const int64_t total = (int64_t(durationMs) + 5) / 10;
  return std::max<int32_t>(2, int32_t((i + 1) * total / frames - i * total / frames));
}

int32_t FrameScale(int32_t i, int32_t frames) {
  return int32_t((int64_t(i) * kFullDisplacement * 2 + (frames - 1)) / (2 * int64_t(frames - 1)));
}

bool WriteAnimation(const TDib& source, const TMaskEntry* mask, const TAnimationOptions& options,
                    const std::string& path, const std::function<void(int32_t)>& progress, std::string& error) {
  platform::TJob job;
  job.Progress = progress;
  return WriteAnimation(source, mask, options, path, job, error);
}

bool WriteAnimation(const TDib& source, const TMaskEntry* mask, const TAnimationOptions& options,
                    const std::string& path, const platform::TJob& job, std::string& error) {
  const auto progress = [&job](int32_t percent) { job.Report(percent); };
  if (source.Info == nullptr || source.Bits == nullptr || mask == nullptr || DibBitCount(source) != 24) {
    error = "Es ist kein Bild für eine Animation vorhanden.";
    return false;
  }
  const int32_t frames = std::clamp(options.Frames, kMinFrames, kMaxFrames);
  const int32_t durationMs = std::clamp(options.DurationMs, kMinDurationMs, kMaxDurationMs);
  const int32_t w = DibWidth(source), h = DibHeight(source);
  int32_t fw = 0, fh = 0;
  imaging::FitLongerSide(w, h, std::min(options.LongerSide > 0 ? options.LongerSide : kMaxLongerSide, kMaxLongerSide),
                         fw, fh);
  TOwnedFrame rendered;
  newdib(&rendered.dib, w, h, 24, nullptr, 0);
  if (rendered.dib.Bits == nullptr) {
    error = "Nicht genug Speicher für die Bilder der Animation.";
    return false;
  }
  velbrik::TGifAnimationWriter gif;
  if (!gif.Open(path, fw, fh, error)) return false;

  // The way there, and back without its two ends.
  std::vector<int32_t> order;
  for (int32_t i = 0; i < frames; ++i) order.push_back(i);
  if (options.BackAgain)
    for (int32_t i = frames - 2; i >= 1; --i) order.push_back(i);

  std::vector<uint8_t> rgb;
  imaging::TIndexedFrame indexed;
  for (size_t n = 0; n < order.size(); ++n) {
    if (job.Cancelled()) {
      progress(0);
      error = platform::kCancelledText;
      return false; // the writer removes its temporary file
    }
    const int32_t i = order[n];
    const int32_t scale = FrameScale(i, frames);
    const auto render = [&](int32_t first, int32_t end) {
      RenderAreaSmooth(source, mask, rendered.dib, TPictureRect{0, first, w - 1, end - 1}, scale);
    };
    ForEachRowBand(0, h, render, 64);
    imaging::AreaScaleToRgb(rendered.dib, fw, fh, rgb);
    imaging::QuantizeFrame(rgb.data(), fw, fh, 256, indexed);
    if (!gif.AddFrame(indexed.Index.data(), indexed.Palette.data(), indexed.Colours,
                      FrameDelay(i, frames, durationMs), error)) {
      progress(0);
      return false;
    }
    progress(int32_t((n + 1) * 100 / order.size()));
  }
  const bool ok = gif.Finish(error);
  progress(0);
  return ok;
}

} // namespace warp
