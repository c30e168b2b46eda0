// SPDX-License-Identifier: GPL-3.0-or-later
// The identity mask and rendering of the result through the mask.
#include "TestCore.h"

#include "platform/win.h"

#include <gtest/gtest.h>

using warptest::TTestCore;

namespace {

TEST(Render, IdentityMaskReproducesEverySourceRow) {
  // Odd widths: rows carry padding. The taller picture's rows are shared among threads.
  for (auto [w, h] : {std::pair{37, 11}, std::pair{1001, 333}}) {
    TTestCore core;
    core.Load(w, h);
    for (int32_t r = 0; r < h; ++r)
      ASSERT_EQ(0, std::memcmp(core.FResultDib.Bits + r * core.FResultDib.BytesPerLine,
                               core.FSourceDib.Bits + r * core.FSourceDib.BytesPerLine, size_t(w) * 3))
          << "row " << r;
    EXPECT_EQ(core.At(5, 7).X, 5);
    EXPECT_EQ(core.At(5, 7).Y, 7);
    const std::vector<warp::TMaskEntry> fused = core.MaskCopy();
    const std::vector<uint8_t> fusedResult = core.ResultBytes();
    core.InitMask();
    core.renderdi();
    EXPECT_TRUE(core.MaskCopy() == fused);
    EXPECT_TRUE(core.ResultBytes() == fusedResult);
  }
}

TEST(Render, MaskEntriesPickTheSourcePixels) {
  TTestCore core;
  core.Load(20, 9);
  const int32_t w = 20, h = 9;
  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j) core.At(j, r) = {3, 4};
  core.renderdi();
  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j)
      ASSERT_EQ(TTestCore::Pixel(core.FResultDib, j, r), TTestCore::Pixel(core.FSourceDib, 3, 4));

  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j) core.At(j, r) = {w - 1 - j, r};
  core.renderdi();
  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j)
      ASSERT_EQ(TTestCore::Pixel(core.FResultDib, j, r), TTestCore::Pixel(core.FSourceDib, w - 1 - j, r));

  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j) core.At(j, r) = {j, h - 1 - r};
  core.renderdi();
  for (int32_t r = 0; r < h; ++r)
    for (int32_t j = 0; j < w; ++j)
      ASSERT_EQ(TTestCore::Pixel(core.FResultDib, j, r), TTestCore::Pixel(core.FSourceDib, j, h - 1 - r));
}

TEST(Render, OnePixelPicture) {
  TTestCore core;
  core.Load(1, 1);
  EXPECT_EQ(core.FMask[0].X, 0);
  EXPECT_EQ(core.FMask[0].Y, 0);
  EXPECT_EQ(TTestCore::Pixel(core.FResultDib, 0, 0), TTestCore::Pixel(core.FSourceDib, 0, 0));
}

TEST(Render, PaddingIsNeverWritten) {
  TTestCore core;
  core.Load(5, 4); // 15 bytes of pixels, 16 per row
  ASSERT_EQ(core.FResultDib.BytesPerLine, 16);
  // The renderer writes into the picture newdib just made; fill the whole buffer of the next
  // one by rendering, then check the padding bytes are as newdib leaves them (zero).
  for (int32_t r = 0; r < 4; ++r) EXPECT_EQ(core.FResultDib.Bits[r * 16 + 15], 0) << "row " << r;
  // The partial render must not touch padding either.
  for (int32_t r = 0; r < 4; ++r) core.FResultDib.Bits[r * 16 + 15] = 0xAB;
  core.RenderArea(warp::WholePicture(5, 4));
  for (int32_t r = 0; r < 4; ++r) EXPECT_EQ(core.FResultDib.Bits[r * 16 + 15], 0xAB) << "row " << r;
}

TEST(Render, EightBitSourceShowsTheMessageOncePerCallAndCopiesNothing) {
  std::vector<platform::TMessageBoxRequest> shown;
  auto old = platform::SetMessageBoxHandler([&](const platform::TMessageBoxRequest& r) {
    shown.push_back(r);
    return platform::IDOK;
  });
  TTestCore core;
  core.Load(8, 3, 8); // Load renders once
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "DIB hat nicht 24BPP!");
  EXPECT_EQ(shown[0].caption, "");
  EXPECT_EQ(shown[0].flags, platform::MB_OK);
  // The result exists at the source's size, 24 bits, and is as newdib made it.
  ASSERT_NE(core.FResultDib.Bits, nullptr);
  EXPECT_EQ(DibWidth(core.FResultDib), 8);
  EXPECT_EQ(DibBitCount(core.FResultDib), 24);
  for (int32_t i = 0; i < core.FResultDib.BytesPerLine * 3; ++i) ASSERT_EQ(core.FResultDib.Bits[i], 0);
  core.renderdi();
  EXPECT_EQ(shown.size(), 2u);
  platform::SetMessageBoxHandler(old);
}

TEST(Render, ReleaseAllLeavesNothingToReleaseTwice) {
  TTestCore core;
  core.Load(4, 4);
  core.ReleaseAll();
  EXPECT_EQ(core.FMask, nullptr);
  EXPECT_EQ(core.FSourceDib.Memory, nullptr);
  EXPECT_EQ(core.FResultDib.Memory, nullptr);
  core.ReleaseAll(); // and the destructor once more
}

} // namespace
