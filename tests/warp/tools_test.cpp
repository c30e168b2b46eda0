// SPDX-License-Identifier: GPL-3.0-or-later
// The deformation tools' arithmetic, with the values a user's strokes depend on to the pixel.
#include "TestCore.h"

#include "Tools.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace warp;
using warptest::TTestCore;

namespace {

constexpr double kS = 0.4;

// A 300 x 300 identity picture; steps through DoEffekt (the whole-picture way) unless fast.
struct ToolsTest : ::testing::Test {
  TTestCore core;
  void SetUp() override { core.Load(300, 300); }
  void Step(int32_t x, int32_t y, int32_t tool, int32_t curX = 0, int32_t curY = 0, int32_t lastX = 0,
            int32_t lastY = 0, bool xAxis = true, bool yAxis = true, int32_t radius = 50) {
    core.DoEffekt(x, y, curX, curY, lastX, lastY, tool, xAxis, yAxis, kS, radius);
  }
};

TEST(Weights, GrowAndShrinkByDistance) {
  std::vector<double> frac;
  std::vector<int32_t> ints;
  BuildSqrtTables(50, frac, ints);
  const int us[] = {0, 10, 25, 50};
  const double grow[] = {0.6, 0.7789, 0.8828, 1.0};
  const double shrink[] = {1.4, 1.2211, 1.1172, 1.0};
  for (int n = 0; n < 4; ++n) {
    EXPECT_NEAR(ToolWeight(kToolGrow, frac[size_t(us[n])], kS), grow[n], 1e-4) << "u " << us[n];
    EXPECT_NEAR(ToolWeight(kToolShrink, frac[size_t(us[n])], kS), shrink[n], 1e-4) << "u " << us[n];
  }
  EXPECT_EQ(ToolWeight(kToolGrow, frac[50], kS), 1.0);
  EXPECT_EQ(ToolWeight(kToolSmear, frac[10], kS), 1.0);
}

TEST(Tables, RadiusFiveAndRebuildOnlyOnChange) {
  TTestCore core;
  core.InitWurzel(5);
  ASSERT_EQ(core.FSqrtFrac.size(), 6u);
  ASSERT_EQ(core.FSqrtInt.size(), 26u);
  EXPECT_EQ(core.FSqrtInt[24], 4);
  EXPECT_EQ(core.FSqrtInt[25], 5);
  EXPECT_EQ(core.FSqrtFrac[5], 1.0);
  EXPECT_EQ(core.FSqrtFrac[0], 0.0);
  EXPECT_EQ(core.FSqrtRadius, 5);
  core.FSqrtInt[3] = 99; // a stale marker survives a call with the same radius
  core.InitWurzel(5);
  EXPECT_EQ(core.FSqrtInt[3], 99);
  core.InitWurzel(300);
  EXPECT_EQ(core.FSqrtInt.size(), 90001u);
  EXPECT_EQ(core.FSqrtInt[3], 1);
  EXPECT_EQ(core.FSqrtInt[89999], 299);
}

TEST_F(ToolsTest, GrowAndShrinkSampleNearerAndFarther) {
  for (bool normalize : {true, false}) {
    core.Bar.NormalizeChecked = normalize;
    core.InitMask();
    Step(100, 100, kToolGrow);
    EXPECT_EQ(core.At(110, 100).X, 108) << normalize;
    EXPECT_EQ(core.At(110, 100).Y, 100) << normalize;
    EXPECT_EQ(core.At(100, 100).X, 100);
    core.InitMask();
    Step(100, 100, kToolShrink);
    // Samples column 112; the normalising mix pulls it to trunc(112 * 0.9 + 110 * 0.1) = 111.
    EXPECT_EQ(core.At(110, 100).X, normalize ? 111 : 112) << normalize;
    EXPECT_EQ(core.At(110, 100).Y, 100) << normalize;
  }
  // Entries outside the circle stay.
  EXPECT_EQ(core.At(136, 136).X, 136);
}

TEST_F(ToolsTest, SmearShiftsAgainstThePointerAndFades) {
  // X = 100 at the centre and at distances 25, 49, 50 along the column.
  for (int32_t r : {100, 125, 149, 150}) core.At(100, r) = {100, r};
  Step(100, 100, kToolSmear, /*curX*/ 10, 0, /*lastX*/ 0, 0); // dX = lastX - curX = -10
  EXPECT_EQ(core.At(100, 100).X, 95);
  EXPECT_EQ(core.At(100, 125).X, 97);
  EXPECT_EQ(core.At(100, 149).X, 99);
  EXPECT_EQ(core.At(100, 150).X, 100);
  EXPECT_EQ(core.At(100, 100).Y, 100); // no vertical movement

  core.InitMask();
  Step(100, 100, kToolSmear, 0, 0, 10, 0); // dX = +10
  EXPECT_EQ(core.At(100, 100).X, 104);

  core.InitMask();
  Step(100, 100, kToolSmear, 0, 0, 500, 0); // moves beyond 10 view pixels count as 10
  EXPECT_EQ(core.At(100, 100).X, 104);

  // Vertical: dY = curY - lastY; moving the pointer down (+Y) is dY = +10.
  core.InitMask();
  Step(100, 100, kToolSmear, 0, 10, 0, 0);
  EXPECT_EQ(core.At(100, 100).Y, 104);
  EXPECT_EQ(core.At(100, 100).X, 100);
}

TEST_F(ToolsTest, SmearAndDragWithoutMovement) {
  const auto before = core.MaskCopy();
  Step(100, 100, kToolSmear, 7, 7, 7, 7);
  EXPECT_TRUE(core.MaskCopy() == before);

  core.At(100, 100) = {110, 100};
  core.At(100, 101) = {90, 101};
  Step(100, 100, kToolDrag, 7, 7, 7, 7);
  EXPECT_EQ(core.At(100, 100).X, 109);
  EXPECT_EQ(core.At(100, 101).X, 90);
}

TEST_F(ToolsTest, EraserMovesAFifthBackAndSnaps) {
  const int32_t xs[] = {96, 97, 98, 99, 101, 95, 103, 100};
  const int32_t want[] = {100, 100, 100, 100, 100, 96, 102, 100};
  for (int n = 0; n < 8; ++n) core.At(100, 100 + n) = {xs[n], 100 + n};
  Step(100, 100, kToolEraser);
  for (int n = 0; n < 8; ++n) EXPECT_EQ(core.At(100, 100 + n).X, want[n]) << "X " << xs[n];

  core.InitMask();
  const auto identity = core.MaskCopy();
  Step(150, 150, kToolEraser);
  EXPECT_TRUE(core.MaskCopy() == identity);
}

TEST_F(ToolsTest, AxisChoiceOfGrowAndShrink) {
  // Diagonal from the centre: both coordinates move when both axes are on.
  Step(100, 100, kToolGrow, 0, 0, 0, 0, /*x*/ true, /*y*/ false);
  for (int32_t r = 0; r < 300; ++r)
    for (int32_t j = 0; j < 300; ++j) ASSERT_EQ(core.At(j, r).Y, r);
  EXPECT_NE(core.At(110, 110).X, 110);

  core.InitMask();
  Step(100, 100, kToolShrink, 0, 0, 0, 0, false, true);
  for (int32_t r = 0; r < 300; ++r)
    for (int32_t j = 0; j < 300; ++j) ASSERT_EQ(core.At(j, r).X, j);
  EXPECT_NE(core.At(110, 110).Y, 110);

  // Smear ignores the axis choice.
  core.InitMask();
  Step(100, 100, kToolSmear, 10, 10, 0, 0, true, false);
  EXPECT_EQ(core.At(100, 100).Y, 104);
}

TEST_F(ToolsTest, CentresAtAndBeyondTheEdges) {
  const auto identity = core.MaskCopy();
  for (auto [x, y] : {std::pair{-1, 10}, {10, -1}, {300, 10}, {10, 300}}) {
    core.Progress.clear();
    Step(x, y, kToolShrink);
    EXPECT_TRUE(core.MaskCopy() == identity) << x << "," << y;
    EXPECT_TRUE(core.Progress.empty()) << x << "," << y;
  }
  // Radius below 1 is ignored rather than dividing by zero.
  Step(150, 150, kToolSmear, 10, 10, 0, 0, true, true, 0);
  EXPECT_TRUE(core.MaskCopy() == identity);

  // The last column and row are valid centres; the band beyond the picture reports nothing.
  core.Progress.clear();
  Step(299, 299, kToolShrink);
  EXPECT_NE(core.At(290, 290).X, 290);
  ASSERT_EQ(core.Progress.size(), 52u); // rows 249..299, then 0
  EXPECT_EQ(core.Progress.front(), 0);  // ((249 - 299 + 50) * 100) div 100
  EXPECT_EQ(core.Progress[50], 50);
  EXPECT_EQ(core.Progress.back(), 0);

  core.Progress.clear();
  Step(0, 10, kToolGrow);
  ASSERT_EQ(core.Progress.size(), 62u); // rows 0..60, then 0
  EXPECT_EQ(core.Progress.front(), 40); // ((0 - 10 + 50) * 100) div 100
  EXPECT_EQ(core.Progress[60], 100);
}

TEST_F(ToolsTest, MaskStaysInsideThePictureUnderHeavySteps) {
  TTestCore small;
  small.Load(13, 7);
  for (int n = 0; n < 200; ++n) {
    const int32_t tool = n % 5;
    small.DoEffekt(n % 13, (n * 3) % 7, (n * 7) % 40, (n * 11) % 40, (n * 5) % 40, (n * 13) % 40, tool, n % 3 != 1,
                   n % 3 != 2, 1.0, 5 + n % 20);
    for (const auto& e : small.MaskCopy()) {
      ASSERT_TRUE(e.X >= 0 && e.X < 13 && e.Y >= 0 && e.Y < 7) << "step " << n;
    }
  }
}

} // namespace
