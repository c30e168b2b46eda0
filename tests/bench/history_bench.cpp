// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of a stroke on a 12-megapixel picture at radius 50 and 300 (writing the mask
// entries back and rendering them; the view's repaint is not part of it), beside one step of
// the same radius and a whole stroke (press, four moves, release) with and without recording,
// all in the same run, so that their ratios hold on a busy machine. Quote the medians.
//
//   history_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "EditorCore.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

class TBenchCore : public warp::TEditorCore {
public:
  warp::TToolBarState Bar;
  warp::TToolBarState ReadToolBar() override { return Bar; }
  void SetProStatus(int32_t) override {}
  void RepaintView() override {}
  void RepaintViewRect(const warp::TRect&) override {}
  void InvertOutline(const warp::TRect&) override {}
  void SetMouseCapture(bool) override {}
  void SetTimerEnabled(bool) override {}
  void ResizeView(int32_t, int32_t) override {}
};

constexpr int32_t kWidth = 4000, kHeight = 3000;

TBenchCore& Core() {
  static std::unique_ptr<TBenchCore> core;
  if (!core) {
    core = std::make_unique<TBenchCore>();
    newdib(&core->FSourceDib, kWidth, kHeight, 24, nullptr, 0);
    for (int32_t r = 0; r < kHeight; ++r)
      for (int32_t j = 0; j < kWidth * 3; ++j)
        core->FSourceDib.Bits[int64_t(r) * core->FSourceDib.BytesPerLine + j] = uint8_t(j * 7 + r * 3);
    core->AllocMask();
  }
  core->InitMask(); // also empties the history
  core->renderdi();
  return *core;
}

// Press in the middle, four moves of 60 pixels to the right, release.
void Stroke(TBenchCore& core, int32_t radius, bool recorded) {
  core.Bar.Radius = radius;
  const int32_t x = kWidth / 2 - 120, y = kHeight / 2;
  if (recorded) {
    core.ViewMouseDown(x, y);
    for (int n = 1; n <= 4; ++n) core.ViewMouseMove(x + 60 * n, y);
    core.ViewMouseUp(x + 240, y);
    return;
  }
  core.FStrokeActive = true; // the steps alone, outside the handlers that record
  core.Malen(x, y, x, y);
  for (int n = 1; n <= 4; ++n) core.Malen(x + 60 * n, y, x + 60 * (n - 1), y);
  core.FStrokeActive = false;
}

void UndoRedo(benchmark::State& state, int32_t radius, bool undo) {
  TBenchCore& core = Core();
  Stroke(core, radius, true);
  if (!undo) core.Undo();
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    undo ? core.Undo() : core.Redo();
    const auto t1 = std::chrono::steady_clock::now();
    undo ? core.Redo() : core.Undo();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  state.counters["history_KB"] = double(core.FHistory.Bytes()) / 1024;
}

void OneStep(benchmark::State& state, int32_t radius) {
  TBenchCore& core = Core();
  core.Bar.Radius = radius;
  core.FStrokeActive = true;
  int32_t x = kWidth / 2;
  for (auto _ : state) {
    core.Malen(x + 1, kHeight / 2, x, kHeight / 2);
    x = x == kWidth / 2 ? x + 1 : kWidth / 2;
  }
  core.FStrokeActive = false;
}

void WholeStroke(benchmark::State& state, int32_t radius, bool recorded) {
  TBenchCore& core = Core();
  for (auto _ : state) {
    Stroke(core, radius, recorded);
    state.PauseTiming();
    core.FHistory.Clear();
    state.ResumeTiming();
  }
}

void Register() {
  for (const int32_t radius : {50, 300}) {
    const std::string r = "/r" + std::to_string(radius);
    benchmark::RegisterBenchmark(("Undo/12MP" + r).c_str(), UndoRedo, radius, true)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Redo/12MP" + r).c_str(), UndoRedo, radius, false)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Step/12MP" + r).c_str(), OneStep, radius)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Stroke/12MP" + r + "/recorded").c_str(), WholeStroke, radius, true)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Stroke/12MP" + r + "/steps_only").c_str(), WholeStroke, radius, false)->Unit(benchmark::kMillisecond);
  }
}

} // namespace

int main(int argc, char** argv) {
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
