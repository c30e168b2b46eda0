// SPDX-License-Identifier: GPL-3.0-or-later
// Faces on a 12-megapixel picture (the astronaut portrait enlarged to 3000 x 3000 in a 4000 x
// 3000 frame): the search after the model is loaded, and one preview of the dialog's sliders
// (the mask of the face's area written from its copy and rendered; the repaint not included).
// The model is loaded once, first; its time is printed.
//
//   face_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "EditorCore.h"
#include "DepthPromotion.h"
#include "FaceWarp.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

class TBenchCore : public warp::TEditorCore {
public:
  warp::TToolBarState ReadToolBar() override { return {}; }
  void SetProStatus(int32_t) override {}
  void RepaintView() override {}
  void RepaintViewRect(const warp::TRect&) override {}
  void InvertOutline(const warp::TRect&) override {}
  void SetMouseCapture(bool) override {}
  void SetTimerEnabled(bool) override {}
  void ResizeView(int32_t, int32_t) override {}
};

constexpr int32_t kWidth = 4000, kHeight = 3000;

struct TSetup {
  TBenchCore core;
  face::TFaceFinder finder;
  face::TGray gray;
  std::vector<face::TLandmarks> faces;
  bool ok = false;
};

TSetup& Setup() {
  static std::unique_ptr<TSetup> s;
  if (s) return *s;
  s = std::make_unique<TSetup>();
  TDib portrait{};
  OpenDib(&portrait, "/usr/lib/python3/dist-packages/skimage/data/astronaut.png", 0, nullptr);
  DepthUpTo(portrait, 24, [](int32_t) {});
  if (portrait.Bits == nullptr) return *s;
  TBenchCore& core = s->core;
  newdib(&core.FSourceDib, kWidth, kHeight, 24, nullptr, 0);
  const int32_t pw = DibWidth(portrait), ph = DibHeight(portrait), left = (kWidth - kHeight) / 2;
  for (int32_t r = 0; r < kHeight; ++r)
    for (int32_t j = 0; j < kWidth; ++j) {
      uint8_t* d = core.FSourceDib.Bits + int64_t(r) * core.FSourceDib.BytesPerLine + j * 3;
      const int32_t x = j - left;
      if (x < 0 || x >= kHeight) {
        d[0] = d[1] = d[2] = 128;
        continue;
      }
      const uint8_t* p = portrait.Bits + int64_t(r * ph / kHeight) * portrait.BytesPerLine + (x * pw / kHeight) * 3;
      d[0] = p[0], d[1] = p[1], d[2] = p[2];
    }
  deldib(portrait);
  core.AllocMask();
  core.InitMaskAndRender();
  std::string error;
  const auto t0 = std::chrono::steady_clock::now();
  if (!s->finder.Load(face::kModelPath, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return *s;
  }
  std::fprintf(stderr, "model loaded in %.0f ms\n",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  s->gray = face::GrayOf(core.FResultDib);
  s->faces = s->finder.Find(s->gray);
  std::fprintf(stderr, "%zu face(s) found\n", s->faces.size());
  s->ok = !s->faces.empty();
  return *s;
}

void BM_FindFaces12MP(benchmark::State& state) {
  TSetup& s = Setup();
  if (!s.ok) return state.SkipWithError("no model or no face");
  for (auto _ : state) benchmark::DoNotOptimize(s.finder.Find(face::GrayOf(s.core.FResultDib)));
}
BENCHMARK(BM_FindFaces12MP)->Unit(benchmark::kMillisecond);

void BM_SliderPreview12MP(benchmark::State& state) {
  TSetup& s = Setup();
  if (!s.ok) return state.SkipWithError("no model or no face");
  s.core.SetSmooth(state.range(0) != 0);
  face::TFacePreview preview(s.core, s.faces);
  face::TFaceSliders sliders;
  int32_t v = 0;
  for (auto _ : state) {
    v = v % 100 + 7;
    sliders.Value[face::kEyes] = v;
    sliders.Value[face::kSmile] = 100 - v;
    sliders.Value[face::kCaricature] = v / 2;
    preview.Show(sliders);
  }
  preview.Cancel();
  s.core.SetSmooth(false);
}
BENCHMARK(BM_SliderPreview12MP)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
