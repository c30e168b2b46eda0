// SPDX-License-Identifier: GPL-3.0-or-later
// Protected areas and brushes as large as big pictures need.
#include "Arith.h"
#include "TestCore.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace warp;
using warptest::TTestCore;

namespace {

void SetTool(TToolBarState& b, int t) {
  b.WachsenDown = t == 0, b.SchrumpfenDown = t == 1, b.RadiererDown = t == 2, b.SchmierenDown = t == 3, b.ZerrenDown = t == 4;
}

// A stroke from (X0, Y) to (X1, Y) in steps of 6 view pixels.
void Stroke(TTestCore& c, int32_t X0, int32_t X1, int32_t Y) {
  c.ViewMouseDown(X0, Y);
  for (int32_t X = X0; X <= X1; X += 6) c.ViewMouseMove(X, Y);
  c.ViewMouseUp(X1, Y);
}

// 400 x 300, shrunk around picture (200, 149), protected there: fully to distance 20, softly to 40.
void Prepare(TTestCore& c) {
  c.Load(400, 300), c.Bar.Radius = 60, SetTool(c.Bar, kToolShrink);
  Stroke(c, 190, 210, 150);
  c.Bar.Radius = 40, c.FBrush = TEditorCore::TBrush::Protect;
  Stroke(c, 200, 200, 150);
  c.FBrush = TEditorCore::TBrush::Tool;
}

int32_t Distance2(int32_t j, int32_t r) { return (j - 200) * (j - 200) + (r - 149) * (r - 149); }

} // namespace

TEST(Protection, DiscKeepsItsEntriesUnderEveryToolAndTheEdgeBlends) {
  for (int tool = 0; tool < 5; ++tool) {
    TTestCore c, free;
    Prepare(c), Prepare(free), free.SetProtection({});
    const std::vector<TMaskEntry> before = c.MaskCopy();
    for (TTestCore* t : {&c, &free}) {
      SetTool(t->Bar, tool), t->Bar.Radius = 100, t->Bar.Strength = 1;
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
        if (Distance2(j, r) <= 20 * 20) { ASSERT_TRUE(after[k] == before[k]) << tool << " " << j << "," << r; }
        if (Distance2(j, r) > 40 * 40) changedOutside += !(after[k] == before[k]) && weights[k] == 0;
      }
    EXPECT_GT(changedOutside, 1000) << tool; // One step more on both: each entry of the soft edge moves the unprotected way, times its share.
    std::memcpy(free.FMask, after.data(), after.size() * sizeof(TMaskEntry));
    for (TTestCore* t : {&c, &free}) t->DoEffektFast(200, 149, 200, 150, 194, 150, tool, true, true, 1.0, 90);
    int blended = 0;
    for (int32_t j = 221; j < 240; ++j) {
      const TMaskEntry now = c.At(j, 149), unprotected = free.At(j, 149), was = after[size_t(149) * 400 + size_t(j)];
      const int32_t weight = weights[size_t(149) * 400 + size_t(j)];
      EXPECT_TRUE(now.X == KeepBlend(was.X, unprotected.X, weight) && now.Y == KeepBlend(was.Y, unprotected.Y, weight));
      blended += weight > 0 && weight < 255 && !(unprotected == was);
    }
    EXPECT_GT(blended, 5) << tool;
  }
  // The edge's weights fall smoothly from full protection to none.
  for (int32_t u = 21; u <= 40; ++u)
    EXPECT_TRUE(ProtectionProfile(u, 40) < ProtectionProfile(u - 1, 40) && ProtectionProfile(u - 1, 40) - ProtectionProfile(u, 40) <= 20);
  EXPECT_TRUE(ProtectionProfile(20, 40) == 255 && ProtectionProfile(40, 40) == 0);
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
  EXPECT_TRUE(released[size_t(149) * 400 + 180] == 0 && released != protectedDisc);
  c.Undo(); // the tool's stroke: the weights stay
  EXPECT_EQ(c.Protection(), released);
  c.Undo();
  EXPECT_TRUE(c.Protection() == protectedDisc && c.MaskCopy() == mask);
  c.Undo();
  EXPECT_EQ(std::count(c.Protection().begin(), c.Protection().end(), 0), 400 * 300);
  c.Redo(), c.Redo();
  EXPECT_TRUE(c.Protection() == released && !c.SetProtection(std::vector<uint8_t>(12)));
}

TEST(LargeBrush, RangeGrowsWithThePictureAndBigStepsStayExact) {
  for (const auto& [w, h, most] : {std::tuple{320, 200, 300}, {2000, 3000, 300}, {3009, 2000, 300}, {8000, 6000, 800}, {100000, 10, kMaxRadius}})
    EXPECT_EQ(MaxBrushRadius(w, h), most) << w << "x" << h;
  std::vector<double> frac; std::vector<int32_t> ints;
  BuildSqrtTables(1500, frac, ints);
  for (int64_t k = 0; k <= 1500 * 1500; ++k) ASSERT_EQ(ints[size_t(k)], Trunc(std::sqrt(Extended(k)))) << k;
  // Radius 800 the whole-picture way and the brush-square way, over a partly protected area.
  TTestCore full, fast;
  full.FFastPath = false;
  for (TTestCore* t : {&full, &fast}) {
    t->Load(1700, 1000), t->Bar.Radius = 300, t->FBrush = TEditorCore::TBrush::Protect;
    Stroke(*t, 700, 760, 600);
    t->FBrush = TEditorCore::TBrush::Tool, t->Bar.Radius = 800;
  }
  for (int tool = 0; tool < 5; ++tool) {
    for (TTestCore* t : {&full, &fast}) {
      SetTool(t->Bar, tool);
      t->FPressure = tool == kToolDrag ? 0.7 : 1.0;
      Stroke(*t, 900, 912, 650);
    }
    ASSERT_TRUE(full.MaskCopy() == fast.MaskCopy() && full.ResultBytes() == fast.ResultBytes()) << tool;
  }
}
