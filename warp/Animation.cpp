// SPDX-License-Identifier: GPL-3.0-or-later
#include "Animation.h"

#include "AreaScale.h"
#include "Quantizer.h"
#include "SmoothRender.h"
#include "Worker.h"
#include "gif_animation.h"
#include "video_animation.h"

#include <algorithm>
#include <cctype>
#include <memory>
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

// The frames in one of the three formats.
class TFrameSink {
public:
  bool Open(TAnimationKind kind, const std::string& path, int32_t width, int32_t height, std::string& error) {
    FKind = kind;
    if (kind == TAnimationKind::Gif) return FGif.Open(path, width, height, error);
    FRgbWriter = kind == TAnimationKind::Mp4 ? velbrik::NewMp4Writer() : velbrik::NewWebpAnimationWriter();
    return FRgbWriter->Open(path, width, height, error);
  }
  bool Add(const std::vector<uint8_t>& rgb, int32_t width, int32_t height, int32_t delay, std::string& error) {
    if (FKind != TAnimationKind::Gif) return FRgbWriter->AddFrame(rgb.data(), delay, error);
    imaging::QuantizeFrame(rgb.data(), width, height, 256, FIndexed);
    return FGif.AddFrame(FIndexed.Index.data(), FIndexed.Palette.data(), FIndexed.Colours, delay, error);
  }
  bool Finish(std::string& error) { return FKind == TAnimationKind::Gif ? FGif.Finish(error) : FRgbWriter->Finish(error); }

private:
  TAnimationKind FKind = TAnimationKind::Gif;
  velbrik::TGifAnimationWriter FGif;
  std::unique_ptr<velbrik::TRgbAnimationWriter> FRgbWriter;
  imaging::TIndexedFrame FIndexed;
};

} // namespace

TAnimationKind AnimationKindOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return TAnimationKind::Unknown;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "gif") return TAnimationKind::Gif;
  if (ext == "mp4") return TAnimationKind::Mp4;
  if (ext == "webp") return TAnimationKind::Webp;
  return TAnimationKind::Unknown;
}

int32_t MaxLongerSide(TAnimationKind kind) {
  return kind == TAnimationKind::Mp4 ? velbrik::kMaxVideoSide : kind == TAnimationKind::Webp ? 16383 : kMaxLongerSide;
}

int32_t FrameDelay(int32_t i, int32_t frames, int32_t durationMs) {
  const int64_t total = (int64_t(durationMs) + 5) / 10;
  return std::max<int32_t>(2, int32_t((i + 1) * total / frames - i * total / frames));
}

int32_t FrameScale(int32_t i, int32_t frames) {
  return int32_t((int64_t(i) * kFullDisplacement * 2 + (frames - 1)) / (2 * int64_t(frames - 1)));
}

bool WriteAnimation(const TDib& source, const TMaskEntry* mask, const TAnimationOptions& options,
                    const std::string& path, const platform::TJob& job, std::string& error) {
  if (source.Info == nullptr || source.Bits == nullptr || mask == nullptr || DibBitCount(source) != 24) {
    error = "Es ist kein Bild für eine Animation vorhanden.";
    return false;
  }
  const TAnimationKind kind = options.Kind != TAnimationKind::Unknown ? options.Kind : AnimationKindOf(path);
  if (kind == TAnimationKind::Unknown) {
    error = "Eine Animation wird als GIF (.gif), MP4-Video (.mp4) oder WebP (.webp) gespeichert; "
            "die Endung von \xE2\x80\x9E" + path + "\xE2\x80\x9C passt zu keinem davon.";
    return false;
  }
  const int32_t frames = std::clamp(options.Frames, kMinFrames, kMaxFrames);
  const int32_t durationMs = std::clamp(options.DurationMs, kMinDurationMs, kMaxDurationMs);
  const int32_t w = DibWidth(source), h = DibHeight(source);
  const int32_t maxSide = MaxLongerSide(kind);
  int32_t fw = 0, fh = 0;
  imaging::FitLongerSide(w, h, std::min(options.LongerSide > 0 ? options.LongerSide : maxSide, maxSide), fw, fh);
  if (kind == TAnimationKind::Mp4) { // yuv420p halves both sides
    fw = std::max(2, fw - fw % 2);
    fh = std::max(2, fh - fh % 2);
  }
  TOwnedFrame rendered;
  newdib(&rendered.dib, w, h, 24, nullptr, 0);
  if (rendered.dib.Bits == nullptr) {
    error = "Nicht genug Speicher für die Bilder der Animation.";
    return false;
  }
  TFrameSink sink;
  if (!sink.Open(kind, path, fw, fh, error)) return false;

  // The way there, and back without its two ends.
  std::vector<int32_t> order;
  for (int32_t i = 0; i < frames; ++i) order.push_back(i);
  if (options.BackAgain)
    for (int32_t i = frames - 2; i >= 1; --i) order.push_back(i);

  std::vector<uint8_t> rgb;
  for (size_t n = 0; n < order.size(); ++n) {
    if (job.Cancelled()) {
      error = platform::kCancelledText;
      job.Report(0);
      return false;
    }
    const int32_t i = order[n];
    const int32_t scale = FrameScale(i, frames);
    const auto render = [&](int32_t first, int32_t end) {
      RenderAreaSmooth(source, mask, rendered.dib, TPictureRect{0, first, w - 1, end - 1}, scale);
    };
    ForEachRowBand(0, h, render, 64);
    imaging::AreaScaleToRgb(rendered.dib, fw, fh, rgb);
    if (!sink.Add(rgb, fw, fh, FrameDelay(i, frames, durationMs), error)) {
      job.Report(0);
      return false;
    }
    job.Report(int32_t((n + 1) * 100 / order.size()));
  }
  const bool ok = sink.Finish(error);
  job.Report(0);
  return ok;
}

} // namespace warp
