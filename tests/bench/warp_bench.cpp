// SPDX-License-Identifier: GPL-3.0-or-later
// Step times of the warp engine: one stroke step (tool, render and the repaint of a 1000 x 700
// window onto the view at zoom 1: the whole window after a whole-picture step, the brush's
// rectangle after a brush-square step) the whole-picture way and the brush-square way, per tool,
// at 1, 3 and 12 megapixels and radius 50 and 300, with a copy of the 12-megapixel mask as the
// machine's yardstick, and the repaint of the whole window onto a 4000 x 3000 picture at zoom 1
// and zoom 10. At 12 megapixels and radius 300 every brush-square step also runs with the smooth
// rendering ("/smooth"), and the rendering of the brush's square alone is timed both ways.
// Quote the medians of the wall-clock time: big brushes share their rows.
//
// Big/...: grow and drag the brush-square way on a 48-megapixel photo at radius 300 and 800 (the
// largest brush a picture of 8000 pixels offers), to be compared in one run.
//
// Load/...: grow, shrink and drag at 12 megapixels and radius 300 under each load of
// load_modes.h, so that the shared rows can be compared with the caller alone in the same run,
// quiet and with the machine busy. Interleave the repetitions on a noisy machine:
//
//   warp_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//   warp_bench --benchmark_filter=Load/ --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
#include "EditorCore.h"
#include "StretchDraw.h"
#include "load_modes.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The visible part of the view: a window of 1000 x 700 whose top left shows view pixel Origin.
class TBenchCore : public warp::TEditorCore {
public:
  warp::TToolBarState Bar;
  platform::TMemoryDeviceContext Window{1000, 700};
  int32_t OriginX = 0, OriginY = 0;

  warp::TToolBarState ReadToolBar() override { return Bar; }
  void SetProStatus(int32_t) override {}
  void RepaintView() override { Paint(warp::TRect{OriginX, OriginY, OriginX + 1000, OriginY + 700}); }
  void RepaintViewRect(const warp::TRect& r) override { Paint(r); }
  void Paint(const warp::TRect& r) {
    Window.SetClipBox(platform::RECT{r.Left - OriginX, r.Top - OriginY, r.Right - OriginX, r.Bottom - OriginY});
    StretchDrawDib(&Window, -OriginX, -OriginY, ViewWidth(), ViewHeight(), FResultDib, 0, 0, PictureWidth(),
                   PictureHeight(), true, platform::SRCCOPY, true, nullptr);
  }
  void InvertOutline(const warp::TRect&) override {}
  void SetMouseCapture(bool) override {}
  void SetTimerEnabled(bool) override {}
  void ResizeView(int32_t, int32_t) override {}
};

struct TSize {
  const char* name;
  int32_t w, h;
};
const TSize kSizes[] = {{"1MP", 1155, 866}, {"3MP", 2000, 1500}, {"12MP", 4000, 3000}};
const TSize kBig = {"48MP", 8000, 6000};
const char* const kTools[] = {"grow", "shrink", "eraser", "smear", "drag"};

// One picture at a time (12 megapixels take some 170 MB with the mask).
TBenchCore& Core(const TSize& size) {
  static std::unique_ptr<TBenchCore> core;
  static const TSize* current = nullptr;
  if (current != &size) {
    core.reset();
    core = std::make_unique<TBenchCore>();
    newdib(&core->FSourceDib, size.w, size.h, 24, nullptr, 0);
    for (int32_t r = 0; r < size.h; ++r)
      for (int32_t j = 0; j < size.w * 3; ++j)
        core->FSourceDib.Bits[int64_t(r) * core->FSourceDib.BytesPerLine + j] = uint8_t(j * 7 + r * 3);
    core->AllocMask();
    core->InitMask();
    core->renderdi();
    current = &size;
  }
  return *core;
}

void Step(benchmark::State& state, const TSize* size, int32_t tool, int32_t radius, bool fast, bool smooth,
          bench::TLoad load) {
  TBenchCore& core = Core(*size);
  const bench::TLoadScope scope(load);
  core.InitMask();
  core.FSmooth = smooth;
  core.Bar = warp::TToolBarState{};
  core.Bar.WachsenDown = tool == warp::kToolGrow;
  core.Bar.SchrumpfenDown = tool == warp::kToolShrink;
  core.Bar.RadiererDown = tool == warp::kToolEraser;
  core.Bar.SchmierenDown = tool == warp::kToolSmear;
  core.Bar.ZerrenDown = tool == warp::kToolDrag;
  core.Bar.Radius = radius;
  core.FFastPath = fast;
  core.FStrokeActive = true;
  core.InitWurzel(radius);
  // Back and forth around the middle, so that smear and drag see movement.
  const int32_t X = size->w / 2, Y = size->h / 2;
  core.OriginX = X - 500;
  core.OriginY = Y - 350;
  int32_t n = 0;
  for (auto _ : state) {
    const int32_t d = (n++ & 1) ? 4 : -4;
    core.Malen(X + d, Y + d, X - d, Y - d);
    benchmark::ClobberMemory();
  }
  core.FStrokeActive = false;
  core.FSmooth = false;
}

// The rendering alone of a radius-300 brush's square in the middle of the 12-megapixel picture
// after a few grow steps there: exact (the square) or smooth (the square and its margin).
void RenderSquare(benchmark::State& state, bool smooth) {
  TBenchCore& core = Core(kSizes[2]);
  core.InitMask();
  core.Bar = warp::TToolBarState{};
  core.Bar.Radius = 300;
  core.FStrokeActive = true;
  for (int i = 0; i < 3; ++i) core.Malen(2000, 1500, 2000, 1500);
  core.FStrokeActive = false;
  const warp::TPictureRect square{1700, 1199, 2300, 1799};
  core.FSmooth = smooth;
  for (auto _ : state) {
    core.RenderArea(square);
    benchmark::ClobberMemory();
  }
  core.FSmooth = false;
}

// The whole 1000 x 700 window onto the middle of the 12-megapixel result, the view zoomed.
void Repaint(benchmark::State& state, int32_t zoom) {
  TBenchCore& core = Core(kSizes[2]);
  const int64_t viewW = int64_t(core.PictureWidth()) * zoom, viewH = int64_t(core.PictureHeight()) * zoom;
  const int32_t originX = int32_t(viewW / 2 - 500), originY = int32_t(viewH / 2 - 350);
  core.Window.ClearClipBox();
  for (auto _ : state) {
    StretchDrawDib(&core.Window, -originX, -originY, int32_t(viewW), int32_t(viewH), core.FResultDib, 0, 0,
                   core.PictureWidth(), core.PictureHeight(), true, platform::SRCCOPY, true, nullptr);
    benchmark::DoNotOptimize(core.Window.GetPixel(500, 350));
  }
}

void MaskCopy(benchmark::State& state) {
  const size_t count = size_t(4000) * 3000;
  std::vector<warp::TMaskEntry> a(count), b(count);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), count * sizeof(warp::TMaskEntry));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(count * sizeof(warp::TMaskEntry)));
}

} // namespace

int main(int argc, char** argv) {
  platform::SetScreenDepthProvider([] { return 32; }); // a true-colour screen: the row paths draw
  benchmark::RegisterBenchmark("MaskCopy/12MP", MaskCopy)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Repaint/1000x700of12MP/zoom1", Repaint, 1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Repaint/1000x700of12MP/zoom10", Repaint, 10)->Unit(benchmark::kMillisecond);
  for (const TSize& size : kSizes)
    for (int32_t radius : {50, 300})
      for (int32_t tool = 0; tool < 5; ++tool)
        for (bool fast : {false, true}) {
          const std::string name = std::string("Step/") + size.name + "/r" + std::to_string(radius) + "/" +
                                   kTools[tool] + (fast ? "/fast" : "/full");
          benchmark::RegisterBenchmark(name.c_str(), Step, &size, tool, radius, fast, false, bench::TLoad::Quiet)
              ->Unit(benchmark::kMillisecond);
          if (fast && radius == 300 && size.w == 4000)
            benchmark::RegisterBenchmark((name + "/smooth").c_str(), Step, &size, tool, radius, true, true,
                                         bench::TLoad::Quiet)
                ->Unit(benchmark::kMillisecond);
        }
  for (bench::TLoad load : {bench::TLoad::Threads1, bench::TLoad::Quiet, bench::TLoad::OneProcessor,
                            bench::TLoad::OtherBusy})
    for (int32_t tool : {warp::kToolGrow, warp::kToolShrink, warp::kToolDrag}) {
      const std::string name = std::string("Load/12MP/r300/") + kTools[tool] + "/" + bench::LoadName(load);
      benchmark::RegisterBenchmark(name.c_str(), Step, &kSizes[2], tool, 300, true, false, load)
          ->Unit(benchmark::kMillisecond);
    }
  for (int32_t radius : {300, 800})
    for (int32_t tool : {warp::kToolGrow, warp::kToolDrag}) {
      const std::string name = std::string("Big/48MP/r") + std::to_string(radius) + "/" + kTools[tool];
      benchmark::RegisterBenchmark(name.c_str(), Step, &kBig, tool, radius, true, false, bench::TLoad::Quiet)
          ->Unit(benchmark::kMillisecond);
    }
  benchmark::RegisterBenchmark("RenderSquare/12MP/r300/exact", RenderSquare, false)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("RenderSquare/12MP/r300/smooth", RenderSquare, true)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
