// Step times of the warp engine: one stroke step (tool, render, no view) the whole-picture way
// and the brush-square way, per tool, at 1, 3 and 12 megapixels and radius 50 and 300, with a
// copy of the 12-megapixel mask as the machine's yardstick. Quote the medians.
//
//   warp_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "EditorCore.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

struct TSize {
  const char* name;
  int32_t w, h;
};
const TSize kSizes[] = {{"1MP", 1155, 866}, {"3MP", 2000, 1500}, {"12MP", 4000, 3000}};
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

void Step(benchmark::State& state, const TSize* size, int32_t tool, int32_t radius, bool fast) {
  TBenchCore& core = Core(*size);
  core.InitMask();
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
  int32_t n = 0;
  for (auto _ : state) {
    const int32_t d = (n++ & 1) ? 4 : -4;
    core.Malen(X + d, Y + d, X - d, Y - d);
    benchmark::ClobberMemory();
  }
  core.FStrokeActive = false;
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
  benchmark::RegisterBenchmark("MaskCopy/12MP", MaskCopy)->Unit(benchmark::kMillisecond);
  for (const TSize& size : kSizes)
    for (int32_t radius : {50, 300})
      for (int32_t tool = 0; tool < 5; ++tool)
        for (bool fast : {false, true}) {
          const std::string name = std::string("Step/") + size.name + "/r" + std::to_string(radius) + "/" +
                                   kTools[tool] + (fast ? "/fast" : "/full");
          benchmark::RegisterBenchmark(name.c_str(), Step, &size, tool, radius, fast)
              ->Unit(benchmark::kMillisecond);
        }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
