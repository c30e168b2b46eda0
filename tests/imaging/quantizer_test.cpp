// SPDX-License-Identifier: GPL-3.0-or-later
// The palette of an animation frame: close to the true colours of a photo, exact where the
// picture has few colours, never more colours than asked for.
#include "AreaScale.h"
#include "Quantizer.h"

#include "../common/photo_like.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(Quantizer, PhotoKeepsThirtyDecibelsWithinTheColourLimit) {
  TDib photo{};
  ASSERT_TRUE(testpics::MakePhotoLike(photo, 256, 192));
  std::vector<uint8_t> rgb;
  imaging::AreaScaleToRgb(photo, 256, 192, rgb);
  deldib(photo);
  for (int32_t colours : {256, 16}) {
    imaging::TIndexedFrame frame;
    imaging::QuantizeFrame(rgb.data(), 256, 192, colours, frame);
    EXPECT_LE(frame.Colours, colours);
    for (uint8_t i : frame.Index) ASSERT_LT(i, frame.Colours);
    if (colours == 256) {
      EXPECT_GE(imaging::FramePsnr(rgb.data(), frame), 30.0);
    }
  }
}

TEST(Quantizer, FewColoursAreKeptExactly) {
  std::vector<uint8_t> rgb;
  const uint8_t colours[3][3] = {{250, 10, 10}, {12, 200, 30}, {0, 0, 255}};
  for (int i = 0; i < 40 * 30; ++i) rgb.insert(rgb.end(), colours[(i / 7 + i / 40) % 3], colours[(i / 7 + i / 40) % 3] + 3);
  imaging::TIndexedFrame frame;
  imaging::QuantizeFrame(rgb.data(), 40, 30, 256, frame);
  EXPECT_EQ(frame.Colours, 3);
  EXPECT_EQ(imaging::FramePsnr(rgb.data(), frame), std::numeric_limits<double>::infinity());
}

TEST(AreaScale, MeansOfTheCoveredAreaAndTheOwnSizeCopied) {
  // 3 x 2 picture: columns 0, 90, 180 in blue, rows top-down 0 and 60 in red.
  TDib d{};
  newdib(&d, 3, 2, 24, nullptr, 0);
  for (int32_t r = 0; r < 2; ++r)
    for (int32_t j = 0; j < 3; ++j) {
      uint8_t* p = d.Bits + r * d.BytesPerLine + j * 3;
      p[0] = uint8_t(90 * j);
      p[2] = uint8_t(r == 1 ? 0 : 60); // bottom-up: row 1 is the top
    }
  std::vector<uint8_t> rgb;
  imaging::AreaScaleToRgb(d, 3, 2, rgb);
  EXPECT_EQ(rgb, (std::vector<uint8_t>{0, 0, 0, 0, 0, 90, 0, 0, 180, 60, 0, 0, 60, 0, 90, 60, 0, 180}));
  // To 2 x 1: the left target takes column 0 and half of column 1, the right one the other half
  // and column 2; both rows alike.
  imaging::AreaScaleToRgb(d, 2, 1, rgb);
  EXPECT_EQ(rgb, (std::vector<uint8_t>{30, 0, 30, 30, 0, 150}));
  deldib(d);
  int32_t w = 0, h = 0;
  imaging::FitLongerSide(4000, 3000, 800, w, h);
  EXPECT_EQ(w * 10000 + h, 800 * 10000 + 600);
  imaging::FitLongerSide(300, 200, 800, w, h);
  EXPECT_EQ(w * 10000 + h, 300 * 10000 + 200);
}

} // namespace
