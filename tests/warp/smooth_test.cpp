// SPDX-License-Identifier: GPL-3.0-or-later
// The smooth rendering: exact where the mask is the identity or a whole shift, the same bytes
// whether a step renders only its square or the whole picture, and no repeated-pixel blocks
// where a grow magnifies.
#include "SmoothRender.h"
#include "TestCore.h"

#include "../common/photo_like.h"

#include <gtest/gtest.h>

#include <cstring>

using warptest::TTestCore;

namespace {

void LoadPhoto(TTestCore& core, int32_t w, int32_t h) {
  core.ReleaseAll();
  ASSERT_TRUE(testpics::MakePhotoLike(core.FSourceDib, w, h));
  ASSERT_TRUE(core.AllocMask());
  core.InitMask();
  core.renderdi();
}

// Nine steps of a still brush (press and eight timer ticks) at view pixel (X, Y).
void GrowNineTimes(TTestCore& core, int32_t X, int32_t Y, int32_t radius) {
  core.Bar.Radius = radius;
  core.ViewMouseDown(X, Y);
  for (int i = 0; i < 8; ++i) core.TimerTick();
  core.ViewMouseUp(X, Y);
}

// Share of pairs of horizontally or vertically neighbouring pixels, both inside the circle,
// whose three bytes are equal.
double EqualPairShare(const TDib& d, int32_t cx, int32_t cy, int32_t c) {
  const auto inside = [&](int32_t j, int32_t r) {
    return (j - cx) * (j - cx) + (r - cy) * (r - cy) <= c * c && j >= 0 && r >= 0 && j < DibWidth(d) &&
           r < DibHeight(d);
  };
  const auto px = [&](int32_t j, int32_t r) { return d.Bits + int64_t(r) * d.BytesPerLine + j * 3; };
  int64_t equal = 0, pairs = 0;
  for (int32_t r = cy - c; r <= cy + c; ++r)
    for (int32_t j = cx - c; j <= cx + c; ++j) {
      if (!inside(j, r)) continue;
      for (const auto& [nj, nr] : {std::pair{j + 1, r}, std::pair{j, r + 1}})
        if (inside(nj, nr)) {
          ++pairs;
          equal += std::memcmp(px(j, r), px(nj, nr), 3) == 0;
        }
    }
  return double(equal) / double(pairs);
}

TEST(Smooth, IdentityAndWholeShiftsAreExactCopies) {
  TTestCore core;
  LoadPhoto(core, 61, 47); // odd width: rows carry padding
  const std::vector<uint8_t> exact = core.ResultBytes();
  core.SetSmooth(true);
  EXPECT_EQ(core.ResultBytes(), exact) << "identity";

  // Shift by (+5, -3) where that stays inside the picture; clamped at the edges.
  const int32_t w = 61, h = 47;
  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j) core.At(j, r) = {std::min(j + 5, w - 1), std::max(r - 3, 0)};
  core.RenderArea(warp::WholePicture(w, h));
  const int32_t m = warp::kSmoothMargin;
  for (int32_t r = 3 + m; r < h - m; ++r)
    for (int32_t j = m; j < w - 5 - m; ++j)
      ASSERT_EQ(TTestCore::Pixel(core.FResultDib, j, r), TTestCore::Pixel(core.FSourceDib, j + 5, r - 3))
          << j << "," << r;

  // No displacement at all, whatever the mask: the source.
  warp::RenderAreaSmooth(core.FSourceDib, core.FMask, core.FResultDib, warp::WholePicture(w, h), 0);
  EXPECT_EQ(0, std::memcmp(core.FResultDib.Bits, core.FSourceDib.Bits, size_t(core.FResultDib.BytesPerLine) * h));
}

TEST(Smooth, BrushStepsRenderWhatTheWholePictureWouldShow) {
  for (int32_t radius : {20, 120}) { // 120: the render shares its rows with the second thread
    TTestCore core;
    LoadPhoto(core, 300, 260);
    core.SetSmooth(true);
    core.Bar.Radius = radius;
    core.Bar.Strength = 0.7L;
    core.ViewMouseDown(150, 10); // the brush reaches over the top edge
    core.ViewMouseMove(145, 15);
    core.Bar.SchmierenDown = true;
    core.ViewMouseMove(139, 21);
    core.ViewMouseUp(139, 21);
    const std::vector<uint8_t> stepwise = core.ResultBytes();
    core.renderdi();
    EXPECT_EQ(core.ResultBytes(), stepwise) << "radius " << radius;
    // Undone, the identity again: the source, margin included.
    core.Undo();
    EXPECT_EQ(0, std::memcmp(core.FResultDib.Bits, core.FSourceDib.Bits, stepwise.size())) << "undo";
    core.Redo();
    EXPECT_EQ(core.ResultBytes(), stepwise) << "redo";
    // Back to the exact mode: the exact copies, byte for byte.
    core.SetSmooth(false);
    const std::vector<uint8_t> exact = core.ResultBytes();
    core.FSmooth = false;
    core.renderdi();
    EXPECT_EQ(core.ResultBytes(), exact);
  }
}

TEST(Smooth, GrowShowsNoRepeatedPixelBlocks) {
  TTestCore exact, smooth;
  LoadPhoto(exact, 256, 256);
  LoadPhoto(smooth, 256, 256);
  smooth.SetSmooth(true);
  const double own = EqualPairShare(exact.FSourceDib, 70, 127, 60);
  GrowNineTimes(exact, 70, 128, 60);
  GrowNineTimes(smooth, 70, 128, 60);
  EXPECT_EQ(exact.MaskCopy(), smooth.MaskCopy()) << "the mode changes only the rendering";
  const double blocky = EqualPairShare(exact.FResultDib, 70, 127, 60);
  const double smoothed = EqualPairShare(smooth.FResultDib, 70, 127, 60);
  EXPECT_GT(blocky, 2 * own) << "the exact rendering repeats pixels here";
  EXPECT_LE(smoothed, 1.5 * own) << "own " << own << ", exact " << blocky;
}

} // namespace
