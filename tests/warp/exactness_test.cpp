// SPDX-License-Identifier: GPL-3.0-or-later
// The brush-square step must give exactly what the whole-picture step gives: the same mask, the
// same result bytes and the same progress reports, after every event of random strokes.
#include "TestCore.h"

#include <gtest/gtest.h>

#include <random>

using namespace warp;
using warptest::TTestCore;

namespace {

struct TPair {
  TTestCore full, fast;
  TPair(int32_t w, int32_t h) {
    full.FFastPath = false;
    full.Load(w, h);
    fast.Load(w, h);
  }
  template <class F> void Both(F f) {
    f(full);
    f(fast);
  }
};

void Randomise(TToolBarState& bar, std::mt19937& rng) {
  bar = TToolBarState{};
  const int tool = int(rng() % 5);
  bar.WachsenDown = tool == 0;
  bar.SchrumpfenDown = tool == 1;
  bar.RadiererDown = tool == 2;
  bar.SchmierenDown = tool == 3;
  bar.ZerrenDown = tool == 4;
  const int axes = int(rng() % 3);
  bar.XYChecked = axes == 0;
  bar.XChecked = axes == 1;
  bar.YChecked = axes == 2;
  bar.NormalizeChecked = rng() % 2 == 0;
  bar.Strength = rng() % 4 == 0 ? 0.4L : 0.1L + 0.9L * (long double)(rng() % 1001) / 1000.0L;
  bar.Radius = rng() % 3 == 0 ? 5 + 5 * int(rng() % 60) : 5 + int(rng() % 296);
}

void RunRandomStrokes(int32_t w, int32_t h, uint32_t seed, int strokes, int& steps) {
  std::mt19937 rng(seed);
  TPair p(w, h);
  for (int s = 0; s < strokes; ++s) {
    TToolBarState bar;
    Randomise(bar, rng);
    const char* zooms[] = {"1", "2", "0.3", "0.05", "10", "1.5", "0.7"};
    bar.Zoom = std::strtold(zooms[rng() % 7], nullptr);
    p.Both([&](TTestCore& c) {
      c.Bar = bar;
      c.ZoomEdChanged();
    });
    const int32_t vw = p.fast.ViewWidth() + 1, vh = p.fast.ViewHeight() + 1;
    // Start anywhere around the view, edges and beyond included.
    int32_t X = int32_t(rng() % uint32_t(vw + 80)) - 40, Y = int32_t(rng() % uint32_t(vh + 80)) - 40;
    p.Both([&](TTestCore& c) { c.ViewMouseDown(X, Y); });
    const int events = 1 + int(rng() % 8);
    for (int e = 0; e <= events; ++e) {
      if (rng() % 4 == 0) {
        p.Both([&](TTestCore& c) { c.TimerTick(); });
      } else {
        X += int32_t(rng() % 41) - 20;
        Y += int32_t(rng() % 41) - 20;
        p.Both([&](TTestCore& c) { c.ViewMouseMove(X, Y); });
      }
      ++steps;
      ASSERT_TRUE(p.full.MaskCopy() == p.fast.MaskCopy()) << w << "x" << h << " stroke " << s << " event " << e;
      ASSERT_TRUE(p.full.ResultBytes() == p.fast.ResultBytes()) << w << "x" << h << " stroke " << s << " event " << e;
      ASSERT_EQ(p.full.Progress, p.fast.Progress) << w << "x" << h << " stroke " << s << " event " << e;
    }
    p.Both([&](TTestCore& c) { c.ViewMouseUp(X, Y); });
  }
  for (const auto& m : p.fast.MaskCopy()) ASSERT_TRUE(m.X >= 0 && m.X < w && m.Y >= 0 && m.Y < h);
}

TEST(Exactness, FastStepsEqualWholePictureSteps) {
  int steps = 0;
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {1, 9}, {7, 1}, {13, 5}, {64, 48}, {101, 77}, {333, 211}, {640, 17}};
  uint32_t seed = 1;
  for (auto [w, h] : sizes) {
    RunRandomStrokes(w, h, seed++, 40, steps);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(steps, 1000);
}

TEST(Exactness, DirectStepsWithExtremeArguments) {
  // Strengths and pointer jumps the tool bar never offers, every tool, both ways.
  TPair p(57, 43);
  std::mt19937 rng(99);
  for (int n = 0; n < 400; ++n) {
    const int32_t x = int32_t(rng() % 70) - 6, y = int32_t(rng() % 56) - 6;
    const int32_t tool = int32_t(rng() % 6); // 5: an unknown code changes nothing
    const double s = (rng() % 5 == 0) ? 1.0 : double(rng() % 2001) / 1000.0;
    const int32_t r = 1 + int32_t(rng() % 90);
    const int32_t cx = int32_t(rng()) , cy = int32_t(rng()), lx = int32_t(rng()), ly = int32_t(rng());
    const bool ax = rng() % 2, ay = rng() % 2;
    p.full.DoEffekt(x, y, cx, cy, lx, ly, tool, ax, ay, s, r);
    p.fast.DoEffektFast(x, y, cx, cy, lx, ly, tool, ax, ay, s, r);
    ASSERT_TRUE(p.full.MaskCopy() == p.fast.MaskCopy()) << "step " << n;
    ASSERT_EQ(p.full.Progress, p.fast.Progress) << "step " << n;
  }
}

TEST(Exactness, WidePictureAndHalfwayStrengths) {
  // Centres far from the origin and strengths whose products come out at or next to whole numbers
  // and halves: grow visited from the rim, shrink from the centre, the copy of the square
  // (strengths above 1), smear and drag moved by 5 or 10 pixels (0.2 * 5 lies just above 1).
  TPair p(4601, 37);
  std::mt19937 rng(7);
  for (int n = 0; n < 300; ++n) {
    const int32_t x = int32_t(rng() % 4601), y = int32_t(rng() % 37);
    const int32_t tools[] = {kToolGrow, kToolShrink, kToolSmear, kToolDrag};
    const int32_t tool = tools[rng() % 4];
    const double strengths[] = {1.0, 0.5, 0.25, 0.4, 1.5, 0.2, 0.6, 0.1, 0.3};
    const double s = strengths[rng() % 9];
    const int32_t r = 4 * (1 + int32_t(rng() % 75));
    const int32_t move = rng() % 2 ? 5 : 10;
    const int32_t cx = rng() % 2 ? move : -move, cy = rng() % 2 ? move : -move;
    p.Both([&](TTestCore& c) { c.Bar.NormalizeChecked = n % 3 != 0; });
    p.full.DoEffekt(x, y, cx, cy, 0, 0, tool, true, true, s, r);
    p.full.renderdi();
    const TPictureRect sq = p.fast.DoEffektFast(x, y, cx, cy, 0, 0, tool, true, true, s, r);
    p.fast.RenderArea(sq);
    ASSERT_TRUE(p.full.MaskCopy() == p.fast.MaskCopy())
        << "step " << n << " tool " << tool << " x " << x << " s " << s << " r " << r;
    ASSERT_TRUE(p.full.ResultBytes() == p.fast.ResultBytes()) << "step " << n;
  }
}

} // namespace
