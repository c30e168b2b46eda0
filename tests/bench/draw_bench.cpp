// SPDX-License-Identifier: GPL-3.0-or-later
// Repaint cost of the row paths of StretchDrawDib: fitted previews, 1:1 views, and a window-sized
// clip of a big picture at zoom 1 and zoom 10.
#include "StretchDraw.h"

#ifdef MORPHANE_BENCH_QT
#include "qt_device_context.h"
#include <QImage>
#include <QPainter>
#endif

#include <benchmark/benchmark.h>

using namespace platform;

namespace {

TDib& Picture(int32_t w, int32_t h) {
  static TDib big{}, hd{};
  TDib& dib = (w == 4000) ? big : hd;
  if (dib.Bits == nullptr) {
    newdib(&dib, w, h, 24, nullptr, 0);
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = dib.Bits + int64_t(y) * dib.BytesPerLine;
      for (int32_t i = 0; i < w * 3; ++i) row[i] = uint8_t(i * 7 + y);
    }
  }
  return dib;
}

void UseTrueColourScreen() {
  static bool done = false;
  if (!done) SetScreenDepthProvider([] { return 32; });
  done = true;
}

// Draws the whole w x h picture at (x, y) with the given size into a device of devW x devH.
void DrawOnMemory(benchmark::State& state, int32_t w, int32_t h, int32_t devW, int32_t devH,
                  int32_t x, int32_t y, int32_t destW, int32_t destH) {
  UseTrueColourScreen();
  TDib& pic = Picture(w, h);
  TMemoryDeviceContext dc(devW, devH);
  for (auto _ : state) {
    StretchDrawDib(&dc, x, y, destW, destH, pic, 0, 0, w, h, true, SRCCOPY, true, nullptr);
    benchmark::DoNotOptimize(dc.RawPixel(devW / 2, devH / 2));
  }
}

void BM_Memory_Fit4000x3000Into534x400(benchmark::State& s) {
  DrawOnMemory(s, 4000, 3000, 534, 400, 0, 0, 534, 400);
}
void BM_Memory_1920x1080At1to1(benchmark::State& s) {
  DrawOnMemory(s, 1920, 1080, 1920, 1080, 0, 0, 1920, 1080);
}
void BM_Memory_Clip1000x700Of4000x3000Zoom1(benchmark::State& s) {
  DrawOnMemory(s, 4000, 3000, 1000, 700, -1500, -1100, 4000, 3000);
}
void BM_Memory_Clip1000x700Of4000x3000Zoom10(benchmark::State& s) {
  DrawOnMemory(s, 4000, 3000, 1000, 700, -15000, -11000, 40000, 30000);
}
BENCHMARK(BM_Memory_Fit4000x3000Into534x400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory_1920x1080At1to1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory_Clip1000x700Of4000x3000Zoom1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory_Clip1000x700Of4000x3000Zoom10)->Unit(benchmark::kMillisecond);

#ifdef MORPHANE_BENCH_QT
void DrawOnQImage(benchmark::State& state, int32_t w, int32_t h, int32_t devW, int32_t devH,
                  int32_t x, int32_t y, int32_t destW, int32_t destH) {
  UseTrueColourScreen();
  TDib& pic = Picture(w, h);
  QImage image(devW, devH, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    qt::TQtDeviceContext dc(painter);
    StretchDrawDib(&dc, x, y, destW, destH, pic, 0, 0, w, h, true, SRCCOPY, true, nullptr);
  }
}
void BM_QImage_Fit4000x3000Into534x400(benchmark::State& s) {
  DrawOnQImage(s, 4000, 3000, 534, 400, 0, 0, 534, 400);
}
void BM_QImage_1920x1080At1to1(benchmark::State& s) {
  DrawOnQImage(s, 1920, 1080, 1920, 1080, 0, 0, 1920, 1080);
}
void BM_QImage_Clip1000x700Of4000x3000Zoom1(benchmark::State& s) {
  DrawOnQImage(s, 4000, 3000, 1000, 700, -1500, -1100, 4000, 3000);
}
void BM_QImage_Clip1000x700Of4000x3000Zoom10(benchmark::State& s) {
  DrawOnQImage(s, 4000, 3000, 1000, 700, -15000, -11000, 40000, 30000);
}
BENCHMARK(BM_QImage_Fit4000x3000Into534x400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QImage_1920x1080At1to1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QImage_Clip1000x700Of4000x3000Zoom1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QImage_Clip1000x700Of4000x3000Zoom10)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
