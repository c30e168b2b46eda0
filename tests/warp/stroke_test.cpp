// SPDX-License-Identifier: GPL-3.0-or-later
// The editing view's logic: mapping through the zoom, the zoom ratio, the brush outline and the
// stroke state machine.
#include "TestCore.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace warp;
using warptest::TTestCore;

namespace {

struct StrokeTest : ::testing::Test {
  TTestCore core;
  void SetUp() override {
    core.Load(320, 200);
    core.Log.clear();
    core.Progress.clear();
  }
  void Zoom(const char* text) {
    core.Bar.Zoom = std::strtold(text, nullptr); // as the spin edit reads its text
    core.ZoomEdChanged();
  }
};

TEST_F(StrokeTest, ViewPixelsMapToBottomUpPictureRows) {
  Zoom("1");
  EXPECT_EQ(core.PictureX(17), 17);
  EXPECT_EQ(core.PictureY(0), 199);
  EXPECT_EQ(core.PictureY(199), 0);
  Zoom("2");
  EXPECT_EQ(core.PictureX(41), 20);
  EXPECT_EQ(core.PictureY(0), 199);
  EXPECT_EQ(core.PictureY(41), 199 - 20);
  // Truncation towards zero: just left of and above the view still maps to column 0 / top row.
  EXPECT_EQ(core.PictureX(-1), 0);
  EXPECT_EQ(core.PictureY(-1), 199);
  EXPECT_EQ(core.PictureX(-2), -1);
  // Huge pointer positions do not overflow.
  Zoom("0.05");
  EXPECT_EQ(core.PictureX(2147483647), 2147483647);
}

TEST_F(StrokeTest, ZoomFieldToRatioAndViewSize) {
  struct Row { const char* text; int32_t num, den, w, h; };
  const Row rows[] = {{"1", 10, 10, 320, 200},   {"1.5", 15, 10, 480, 300}, {"10", 100, 10, 3200, 2000},
                      {"0.5", 10, 20, 160, 100}, {"0.3", 10, 33, 96, 60},   {"0.1", 10, 100, 32, 20},
                      {"0.05", 10, 200, 16, 10}};
  for (const Row& r : rows) {
    core.Log.clear();
    Zoom(r.text);
    EXPECT_EQ(core.FZoomNum, r.num) << r.text;
    EXPECT_EQ(core.FZoomDen, r.den) << r.text;
    const std::vector<std::string> want = {"resize " + std::to_string(r.w) + "x" + std::to_string(r.h), "view"};
    EXPECT_EQ(core.Log, want) << r.text;
  }
  // The mask and the result are not touched by zooming.
  const auto mask = core.MaskCopy();
  Zoom("0.7");
  EXPECT_TRUE(core.MaskCopy() == mask);
  // A ratio from zero is refused.
  core.Bar.Zoom = 0;
  core.ZoomEdChanged();
  EXPECT_EQ(core.FZoomNum, 10);
  EXPECT_EQ(core.FZoomDen, 14);
}

TEST_F(StrokeTest, OutlineRectangleFollowsTheFieldsNotTheRatio) {
  EXPECT_EQ(TEditorCore::OutlineRect(100, 100, 50, 2), (TRect{0, 0, 200, 200}));
  EXPECT_EQ(TEditorCore::OutlineRect(10, 20, 5, std::strtold("0.3", nullptr)), (TRect{8, 18, 11, 21}));
  core.Bar.Radius = 50;
  core.Bar.Zoom = 2;
  core.ViewMouseMove(100, 100);
  EXPECT_TRUE(core.FOutlineShown);
  EXPECT_EQ(core.FOutlineRect, (TRect{0, 0, 200, 200}));
}

TEST_F(StrokeTest, MovingWithoutAButtonOnlyMovesTheOutline) {
  const auto mask = core.MaskCopy();
  const auto result = core.ResultBytes();
  core.Bar.Radius = 10;
  core.ViewMouseMove(50, 50);
  core.ViewMouseMove(60, 50);
  EXPECT_EQ(core.Log, (std::vector<std::string>{"draw 40,40,60,60", "erase 40,40,60,60", "draw 50,40,70,60"}));
  EXPECT_TRUE(core.MaskCopy() == mask);
  EXPECT_TRUE(core.ResultBytes() == result);
  EXPECT_TRUE(core.Progress.empty());
}

TEST_F(StrokeTest, PressStepsAtOnceTicksRepeatReleaseEnds) {
  core.Bar.Radius = 10;
  core.ViewMouseMove(50, 50); // outline shown before the press
  core.Log.clear();
  core.ViewMouseDown(50, 50);
  EXPECT_TRUE(core.FStrokeActive);
  ASSERT_GE(core.Log.size(), 4u);
  EXPECT_EQ(core.Log[0], "capture");
  EXPECT_EQ(core.Log[1], "timer on");
  EXPECT_EQ(core.Log[2], "erase 40,40,60,60"); // the press step hides the outline
  EXPECT_EQ(core.Log[3].rfind("rect ", 0), 0u);
  EXPECT_FALSE(core.FOutlineShown);
  EXPECT_NE(core.At(55, 149).X, 55); // grow changed the mask around (50, 149)
  EXPECT_FALSE(core.Progress.empty());

  auto mask = core.MaskCopy();
  core.Log.clear();
  core.TimerTick();
  EXPECT_FALSE(core.MaskCopy() == mask); // one more grow step at the same place
  EXPECT_EQ(core.Log.back(), "draw 40,40,60,60");
  EXPECT_TRUE(core.FOutlineShown);

  // Further presses (another button) are ignored while the stroke is active.
  mask = core.MaskCopy();
  core.Log.clear();
  core.ViewMouseDown(120, 120);
  EXPECT_TRUE(core.Log.empty());
  EXPECT_TRUE(core.MaskCopy() == mask);

  core.ViewMouseUp(130, 70);
  EXPECT_FALSE(core.FStrokeActive);
  EXPECT_EQ(core.FLastX, 130);
  EXPECT_EQ(core.FLastY, 70);
  EXPECT_EQ(core.Log, (std::vector<std::string>{"uncapture", "timer off"}));
  EXPECT_TRUE(core.MaskCopy() == mask); // no step at the release point
  core.ViewMouseUp(130, 70);             // a second release does nothing
  EXPECT_EQ(core.Log.size(), 2u);
}

TEST_F(StrokeTest, StepOutsideThePictureChangesNothing) {
  const auto mask = core.MaskCopy();
  core.ViewMouseDown(-50, 10);
  core.ViewMouseMove(400, -30);
  core.ViewMouseMove(10, 250);
  EXPECT_TRUE(core.MaskCopy() == mask);
  EXPECT_TRUE(core.Progress.empty());
  // The whole-picture way still renders and repaints as for any step.
  core.FFastPath = false;
  core.Log.clear();
  core.ViewMouseMove(-5, 500);
  EXPECT_NE(std::find(core.Log.begin(), core.Log.end(), "view"), core.Log.end());
  EXPECT_TRUE(core.MaskCopy() == mask);
}

TEST_F(StrokeTest, PageChangeForgetsTheOutlineWithoutDrawing) {
  core.Bar.Radius = 10;
  core.ViewMouseMove(50, 50);
  core.Log.clear();
  core.PageChanged();
  EXPECT_FALSE(core.FOutlineShown);
  EXPECT_TRUE(core.Log.empty());
  core.ViewMouseMove(70, 50);
  EXPECT_EQ(core.Log, (std::vector<std::string>{"draw 60,40,80,60"}));
}

TEST_F(StrokeTest, ToolBarSettingsReachTheStep) {
  core.Bar = TToolBarState{};
  EXPECT_EQ(TEditorCore::ToolCode(core.Bar), kToolGrow);
  core.Bar.WachsenDown = false;
  core.Bar.SchrumpfenDown = true;
  EXPECT_EQ(TEditorCore::ToolCode(core.Bar), kToolShrink);
  core.Bar.RadiererDown = true;
  EXPECT_EQ(TEditorCore::ToolCode(core.Bar), kToolEraser);
  core.Bar.SchmierenDown = true;
  EXPECT_EQ(TEditorCore::ToolCode(core.Bar), kToolSmear);
  core.Bar.ZerrenDown = true;
  EXPECT_EQ(TEditorCore::ToolCode(core.Bar), kToolDrag);

  // "Y" only with shrink: X components stay; radius from the field, truncated.
  core.Bar = TToolBarState{};
  core.Bar.WachsenDown = false;
  core.Bar.SchrumpfenDown = true;
  core.Bar.XYChecked = false;
  core.Bar.YChecked = true;
  core.Bar.Radius = 20.9L;
  Zoom("1");
  core.ViewMouseDown(100, 100);
  core.ViewMouseUp(100, 100);
  bool yChanged = false;
  for (int32_t r = 0; r < 200; ++r)
    for (int32_t j = 0; j < 320; ++j) {
      ASSERT_EQ(core.At(j, r).X, j);
      yChanged |= core.At(j, r).Y != r;
    }
  EXPECT_TRUE(yChanged);
  EXPECT_EQ(core.FSqrtRadius, 20);
}

TEST_F(StrokeTest, RepaintRectangleCoversTheChangedSquareThroughTheZoom) {
  Zoom("2");
  const TRect r = core.ViewRectOf(TPictureRect{10, 100, 20, 110});
  // Columns 10..20 are view columns 20..41, rows 100..110 (bottom-up) are view rows 178..199.
  EXPECT_LE(r.Left, 20);
  EXPECT_GE(r.Right, 42);
  EXPECT_LE(r.Top, 178);
  EXPECT_GE(r.Bottom, 200);
  EXPECT_LE(r.Right - r.Left, 22 + 6);
  const TRect all = core.ViewRectOf(WholePicture(320, 200));
  EXPECT_EQ(all, (TRect{0, 0, 640, 400}));
}

} // namespace
