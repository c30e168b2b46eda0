// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReplayHost.h"

#include "DepthPromotion.h"
#include "FaceWarp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace replay {

bool TReplayHost::Adopt(TDib opened, std::string& error) {
  ReleaseAll();
  FSourceDib = opened;
  DepthUpTo(24);
  if (FSourceDib.Bits == nullptr || DibBitCount(FSourceDib) != 24) {
    error = "Das Bild konnte nicht in 24 Bit pro Pixel umgewandelt werden.";
    return false;
  }
  if (!AllocMask()) {
    error = "Nicht genug Speicher für die Maske des Bildes.";
    return false;
  }
  InitMaskAndRender();
  if (FResultDib.Bits == nullptr) {
    error = "Nicht genug Speicher für das Ergebnisbild.";
    return false;
  }
  return true;
}

void TReplayHost::Run(const TCommand& c) {
  const auto timed = [this](bool step, auto&& f) {
    if (!step) {
      f();
      return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const auto t1 = std::chrono::steady_clock::now();
    StepTimes.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  };
  switch (c.Kind) {
  case TCommandKind::Tool:
    FBrush = c.Choice == kChoiceProtect ? TBrush::Protect : c.Choice == kChoiceRelease ? TBrush::Release : TBrush::Tool;
    if (FBrush != TBrush::Tool) break; // the tool bar's tool stays chosen
    Bar.WachsenDown = c.Choice == warp::kToolGrow;
    Bar.SchrumpfenDown = c.Choice == warp::kToolShrink;
    Bar.RadiererDown = c.Choice == warp::kToolEraser;
    Bar.SchmierenDown = c.Choice == warp::kToolSmear;
    Bar.ZerrenDown = c.Choice == warp::kToolDrag;
    break;
  case TCommandKind::Axes:
    Bar.XYChecked = c.Choice == 0;
    Bar.XChecked = c.Choice == 1;
    Bar.YChecked = c.Choice == 2;
    break;
  case TCommandKind::Normalize: Bar.NormalizeChecked = c.Choice == 1; break;
  case TCommandKind::Smooth: SetSmooth(c.Choice == 1); break;
  case TCommandKind::Strength: Bar.Strength = std::clamp(c.Value, 0.1L, 1.0L); break;
  case TCommandKind::Radius: Bar.Radius = std::clamp(c.X, 5, warp::MaxBrushRadius(PictureWidth(), PictureHeight())); break;
  case TCommandKind::Pressure: FPressure = double(c.Value); break;
  case TCommandKind::Zoom:
    Bar.Zoom = std::clamp(c.Value, 0.05L, 10.0L);
    ZoomEdChanged();
    break;
  case TCommandKind::Down: timed(!FStrokeActive, [&] { ViewMouseDown(c.X, c.Y); }); break;
  case TCommandKind::Move: timed(FStrokeActive, [&] { ViewMouseMove(c.X, c.Y); }); break;
  case TCommandKind::Up: ViewMouseUp(c.X, c.Y); break;
  case TCommandKind::Tick: timed(FStrokeActive, [&] { TimerTick(); }); break;
  case TCommandKind::Undo: Undo(); break;
  case TCommandKind::Redo: Redo(); break;
  case TCommandKind::Face: {
    if (FStrokeActive) break;
    std::string error;
    const std::vector<face::TLandmarks> faces = FindFaces(error);
    face::TFaceSliders sliders;
    sliders.Value[size_t(c.Choice)] = c.X;
    if (faces.empty()) {
      std::cerr << "Zeile " << c.Line << ": " << (error.empty() ? "Kein Gesicht gefunden, nichts geändert." : error)
                << "\n";
      break;
    }
    face::ApplyFaceChange(*this, faces, sliders);
    break;
  }
  }
}

std::vector<face::TLandmarks> TReplayHost::FindFaces(std::string& error) {
  if (Finder == nullptr) {
    auto finder = std::make_shared<face::TFaceFinder>();
    if (!finder->Load(ModelFile, error)) return {};
    ModelMs = finder->LoadMs();
    Finder = std::move(finder);
  }
  face::TFindStats stats;
  std::vector<face::TLandmarks> faces = Finder->Find(face::GrayOf(FResultDib), {}, &stats);
  FaceCount = int32_t(faces.size());
  DetectMs = stats.DetectMs;
  Searched = true;
  return faces;
}

std::string FaceTimingLine(const TReplayHost& host) {
  char line[128];
  std::snprintf(line, sizeof line, "faces %d, model %.0f ms, detect %.0f ms", host.FaceCount, host.ModelMs,
                host.DetectMs);
  return line;
}

std::string TimingLine(std::vector<double> times) {
  double median = 0, max = 0;
  if (!times.empty()) {
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    max = times.back();
  }
  char line[128];
  std::snprintf(line, sizeof line, "steps %zu, median %.3f ms, max %.3f ms", times.size(), median, max);
  return line;
}

} // namespace replay
