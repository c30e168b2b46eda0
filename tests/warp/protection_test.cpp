// SPDX-License-Identifier: GPL-3.0-or-later
// Protected areas, pen pressure and brushes as large as big pictures need.
#include "Arith.h"
#include "TestCore.h"

#include <gtest/gtest.h>

using namespace warp;
using warptest::TTestCore;

namespace {

void SetTool(TToolBarState& bar, int tool) {
  bar.WachsenDown = tool == kToolGrow;
  bar.SchrumpfenDown = tool == kToolShrink;
  bar.RadiererDown = tool == kToolEraser;
  bar.SchmierenDown = tool == kToolSmear;
  bar.ZerrenDown = tool == kToolDrag;
}

// A stroke from (X0, Y) to (X1, Y) in steps of 6 view pixels.
void Stroke(TTestCore& c, int32_t X0, int32_t X1, int32_t Y) {
  c.ViewMouseDown(X0, Y);
  for (int32_t X = X0; X1 > X0 ? X <= X1 : X >= X1; X += X1 > X0 ? 6 : -6) c.ViewMouseMove(X, Y);
  c.ViewMouseUp(X1, Y);
}

// 400 x 300 picture, shrunk around view (200, 150) (picture (200, 149)), then a protection disc of
// radius 40 painted there: fully protected up to distance 20, soft out to 40.
void Prepare(TTestCore& c) {
  c.Load(400, 300);
  c.Bar.Radius = 60;
  SetTool(c.Bar, kToolShrink);
  Stroke(c, 190, 210, 150);
  c.Bar.Radius = 40;
  c.FBrush = TEditorCore::TBrush::Protect;
  Stroke(c, 200, 200, 150);
  c.FBrush = TEditorCore::TBrush::Tool;
}

int32_t Distance2(int32_t j, int32_t r) { return (j - 200) * (j - 200) + (r - 149) * (r - 149); }

} // namespace

TEST(Protection, DiscKeepsItsEntriesUnderEveryToolAndTheEdgeBlends) {
  for (int tool = 0; tool < 5; ++tool) {
    TTestCore c, free;
    Prepare(c);
    Prepare(free);
    free.SetProtection({});
    const std::vector<TMaskEntry> before = c.MaskCopy();
    for (TTestCore* t : {&c, &free}) {
      SetTool(t->Bar, tool);
      t->Bar.Radius = 100;
      t->Bar.Strength = 1;
      Stroke(*t, 110, 290, 150);
      t->Bar.Radius = 90;
      Stroke(*t, 200, 200, 150); // a press on the centre, without movement
    }
    const std::vector<uint8_t>& weights = c.Protection();
    const std::vector<TMaskEntry> after = c.MaskCopy();
    int changedOutside = 0;
    for (int32_t r = 0; r < 300; ++r)
      for (int32_t j = 0; j < 400; ++j) {
        const size_t k = size_t(r) * 400 + size_t(j);
        if (Distance2(j, r) <= 20 * 20) {
          ASSERT_EQ(after[k], before[k]) << tool << " " << j << "," << r;
        }
        if (Distance2(j, r) > 40 * 40) {
          ASSERT_EQ(weights[k], 0);
          changedOutside += !(after[k] == before[k]);
        }
      }
    EXPECT_GT(changedOutside, 1000) << tool;
    // One step more on both: each entry of the soft edge moves the unprotected way, times its share.
    std::memcpy(free.FMask, after.data(), after.size() * sizeof(TMaskEntry));
    for (TTestCore* t : {&c, &free}) t->DoEffektFast(200, 149, 200, 150, 194, 150, tool, true, true, 1.0, 90);
    int blended = 0;
    for (int32_t j = 221; j < 240; ++j) {
      const TMaskEntry now = c.At(j, 149), unprotected = free.At(j, 149), was = after[size_t(149) * 400 + size_t(j)];
      const int32_t weight = weights[size_t(149) * 400 + size_t(j)];
      EXPECT_EQ(now.X, KeepBlend(was.X, unprotected.X, weight)) << tool << " " << j;
      EXPECT_EQ(now.Y, KeepBlend(was.Y, unprotected.Y, weight)) << tool << " " << j;
      blended += weight > 0 && weight < 255 && !(unprotected == was);
    }
    EXPECT_GT(blended, 5) << tool;
  }
  // The edge's weights fall smoothly from full protection to none.
  for (int32_t u = 1; u <= 40; ++u) {
    EXPECT_LE(ProtectionProfile(u, 40), ProtectionProfile(u - 1, 40));
    EXPECT_LE(ProtectionProfile(u - 1, 40) - ProtectionProfile(u, 40), 20) << u;
  }
  EXPECT_EQ(ProtectionProfile(20, 40), 255);
  EXPECT_EQ(ProtectionProfile(40, 40), 0);
}

TEST(Protection, PaintingIsUndoneAndRedoneLikeAStroke) {
  TTestCore c;
  Prepare(c);
  const std::vector<uint8_t> protectedDisc = c.Protection();
  const std::vector<TMaskEntry> mask = c.MaskCopy();
  c.FBrush = TEditorCore::TBrush::Release;
  c.Bar.Radius = 30;
  Stroke(c, 180, 180, 150);
  c.FBrush = TEditorCore::TBrush::Tool;
  Stroke(c, 100, 140, 100);
  const std::vector<uint8_t> released = c.Protection();
  EXPECT_EQ(released[size_t(149) * 400 + 180], 0);
  EXPECT_NE(released, protectedDisc);
  c.Undo(); // the tool's stroke: the weights stay
  EXPECT_EQ(c.Protection(), released);
  c.Undo();
  EXPECT_EQ(c.Protection(), protectedDisc);
  EXPECT_EQ(c.MaskCopy(), mask);
  c.Undo();
  EXPECT_EQ(std::count(c.Protection().begin(), c.Protection().end(), 0), 400 * 300);
  c.Redo();
  c.Redo();
  EXPECT_EQ(c.Protection(), released);
  EXPECT_FALSE(c.SetProtection(std::vector<uint8_t>(12)));
}

TEST(Pressure, ScalesTheStrengthAndNothingAtZero) {
  TTestCore half, weak;
  half.Load(200, 150);
  weak.Load(200, 150);
  half.FPressure = 0.5;
  weak.Bar.Strength = 0.2L;
  for (int tool : {kToolGrow, kToolSmear}) {
    for (TTestCore* t : {&half, &weak}) {
      SetTool(t->Bar, tool);
      Stroke(*t, 60, 120, 70);
    }
    EXPECT_EQ(half.MaskCopy(), weak.MaskCopy()) << tool;
  }
  const std::vector<TMaskEntry> mask = half.MaskCopy();
  half.FPressure = 0;
  Stroke(half, 60, 120, 70);
  EXPECT_EQ(half.MaskCopy(), mask);
}

TEST(LargeBrush, RangeGrowsWithThePictureAndBigStepsStayExact) {
  EXPECT_EQ(MaxBrushRadius(320, 200), 300);
  EXPECT_EQ(MaxBrushRadius(2000, 3000), 300);
  EXPECT_EQ(MaxBrushRadius(3009, 2000), 300);
  EXPECT_EQ(MaxBrushRadius(8000, 6000), 800);
  EXPECT_EQ(MaxBrushRadius(100000, 1000), kMaxRadius);
  std::vector<double> frac;
  std::vector<int32_t> ints;
  BuildSqrtTables(1500, frac, ints);
  for (int64_t k = 0; k <= 1500 * 1500; ++k) ASSERT_EQ(ints[size_t(k)], Trunc(std::sqrt(Extended(k)))) << k;
  // Radius 800 the whole-picture way and the brush-square way, over a partly protected area.
  TTestCore full, fast;
  full.FFastPath = false;
  for (TTestCore* t : {&full, &fast}) {
    t->Load(1700, 1000);
    t->Bar.Radius = 300;
    t->FBrush = TEditorCore::TBrush::Protect;
    Stroke(*t, 700, 760, 600);
    t->FBrush = TEditorCore::TBrush::Tool;
    t->Bar.Radius = 800;
  }
  for (int tool = 0; tool < 5; ++tool) {
    for (TTestCore* t : {&full, &fast}) {
      SetTool(t->Bar, tool);
      t->FPressure = tool == kToolDrag ? 0.7 : 1.0;
      Stroke(*t, 900, 912, 650);
    }
    ASSERT_EQ(full.MaskCopy(), fast.MaskCopy()) << tool;
    ASSERT_EQ(full.ResultBytes(), fast.ResultBytes()) << tool;
  }
}
