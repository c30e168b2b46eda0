// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of whole strokes through the editing engine, and the history's memory rules.
#include "TestCore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace warp;
using warptest::TTestCore;

namespace {

struct TState {
  std::vector<TMaskEntry> mask;
  std::vector<uint8_t> result;
  bool operator==(const TState&) const = default;
};

TState StateOf(const TTestCore& core) { return {core.MaskCopy(), core.ResultBytes()}; }

// A stroke with a random tool and setting: press, moves and ticks, release; it may start or
// wander outside the view.
void RandomStroke(TTestCore& core, std::mt19937& rng) {
  core.Bar = TToolBarState{};
  const int32_t tool = int32_t(rng() % 5);
  core.Bar.WachsenDown = tool == kToolGrow;
  core.Bar.SchrumpfenDown = tool == kToolShrink;
  core.Bar.RadiererDown = tool == kToolEraser;
  core.Bar.SchmierenDown = tool == kToolSmear;
  core.Bar.ZerrenDown = tool == kToolDrag;
  core.Bar.NormalizeChecked = rng() % 2;
  core.Bar.Strength = (1 + rng() % 10) / 10.0L;
  core.Bar.Radius = 5 + rng() % 40;
  int32_t x = int32_t(rng() % 120) - 10, y = int32_t(rng() % 90) - 10;
  core.ViewMouseDown(x, y);
  for (int n = 0; n < 5; ++n) {
    x += int32_t(rng() % 41) - 20;
    y += int32_t(rng() % 41) - 20;
    if (rng() % 4 == 0) core.TimerTick();
    else core.ViewMouseMove(x, y);
  }
  core.ViewMouseUp(x, y);
}

} // namespace

TEST(History, UndoAndRedoWalkBackAndForthThroughEveryStrokeExactly) {
  for (const bool fast : {true, false}) {
    TTestCore core;
    core.FFastPath = fast;
    core.Load(100, 70);
    std::mt19937 rng(fast ? 11 : 12);
    std::vector<TState> states{StateOf(core)};
    for (int n = 0; n < 12; ++n) {
      RandomStroke(core, rng);
      if (StateOf(core) != states.back()) states.push_back(StateOf(core));
    }
    ASSERT_GT(states.size(), 8u);
    EXPECT_EQ(core.FHistory.UndoCount(), states.size() - 1) << "a stroke that changed nothing is no entry";
    for (size_t k = states.size() - 1; k-- > 0;) {
      core.Undo();
      ASSERT_EQ(StateOf(core), states[k]) << "undo to state " << k;
    }
    EXPECT_FALSE(core.CanUndo());
    core.Undo(); // nothing left: nothing changes
    EXPECT_EQ(StateOf(core), states[0]);
    for (size_t k = 1; k < states.size(); ++k) {
      core.Redo();
      ASSERT_EQ(StateOf(core), states[k]) << "redo to state " << k;
    }
    EXPECT_FALSE(core.CanRedo());

    // A new stroke after an undo drops what could be redone.
    core.Undo();
    core.Undo();
    RandomStroke(core, rng);
    EXPECT_FALSE(core.CanRedo());
    core.Undo();
    EXPECT_EQ(StateOf(core), states[states.size() - 3]);
  }
}

TEST(History, UndoRepaintsOnlyTheStrokesPartAndIsIgnoredDuringAStroke) {
  TTestCore core;
  core.Load(400, 300);
  core.Bar.Radius = 20;
  core.ViewMouseDown(100, 100);
  core.ViewMouseUp(100, 100);
  core.ViewMouseDown(300, 200);
  core.Undo(); // the second stroke is still running
  EXPECT_TRUE(core.FStrokeActive);
  EXPECT_EQ(core.FHistory.UndoCount(), 1u);
  core.ViewMouseUp(300, 200);
  core.Log.clear();
  core.Undo();
  ASSERT_EQ(core.Log.size(), 1u);
  // Inside the view rectangle of the second stroke's brush square.
  int32_t l = 0, t = 0, r = 0, b = 0;
  ASSERT_EQ(std::sscanf(core.Log[0].c_str(), "rect %d,%d,%d,%d", &l, &t, &r, &b), 4) << core.Log[0];
  const TRect square = core.ViewRectOf(TPictureRect{280, 80, 320, 120});
  EXPECT_TRUE(l >= square.Left && t >= square.Top && r <= square.Right && b <= square.Bottom && l < r && t < b)
      << core.Log[0] << " outside " << warptest::Str(square);
}

TEST(History, KeepsOnlyTheChangedEntriesWithinTheBudgetAndForgetsAReplacedMask) {
  TTestCore core;
  core.Load(1000, 800);
  core.Bar.Radius = 50;
  core.ViewMouseDown(500, 400);
  core.ViewMouseUp(500, 400);
  // About 7800 entries changed; a copy of them alone, before and after, would be 125 KB.
  EXPECT_LT(core.FHistory.Bytes(), 64u * 1024) << core.FHistory.Bytes();
  EXPECT_GT(core.FHistory.Bytes(), 4u * 1024);

  // A budget for about three such strokes drops the oldest first.
  TStrokeHistory small(3 * core.FHistory.Bytes() + core.FHistory.Bytes() / 2);
  std::vector<TState> states{StateOf(core)};
  for (int n = 0; n < 6; ++n) {
    small.BeginStroke(1000, 800);
    small.BeforeStep(core.FMask, TPictureRect{50 + 150 * n, 449, 150 + 150 * n, 549});
    core.ViewMouseDown(100 + 150 * n, 300);
    core.ViewMouseUp(100 + 150 * n, 300);
    small.EndStroke(core.FMask);
    states.push_back(StateOf(core));
  }
  EXPECT_EQ(small.UndoCount(), 3u);
  while (small.CanUndo()) small.Undo(core.FMask, nullptr);
  EXPECT_EQ(core.MaskCopy(), states[3].mask);

  core.Load(1000, 800);
  EXPECT_FALSE(core.CanUndo());
  EXPECT_EQ(core.FHistory.Bytes(), 0u);
}
