// SPDX-License-Identifier: GPL-3.0-or-later
// Saving as WebP, read back with libwebp: lossless exactly, lossy close, rows the right way up,
// and a cancelled save that leaves nothing behind.
#include "decoder.h"
#include "file_support.h"

#include <gtest/gtest.h>

#include <webp/decode.h>

#include <cmath>
#include <cstring>

namespace {

// Smooth gradients with a hard edge in the upper half, so that a picture upside down differs.
TDib gradient(int w, int h) {
  return vtest::Make24(w, h, [h](int x, int y) {
    const uint32_t r = uint32_t(x * 3 % 256), g = uint32_t(y * 255 / h), b = y < h / 3 ? 220u : 40u;
    return r << 16 | g << 8 | b;
  });
}

// The mean squared difference in dB against the picture's own pixels (top-down RGB).
double psnr(const TDib& dib, const uint8_t* rgb) {
  const int w = dib.Info->bmiHeader.biWidth, h = dib.Info->bmiHeader.biHeight;
  double sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        const double d = double(velbrik::DibRowFromTop(dib, y)[3 * x + 2 - c]) - rgb[(size_t(y) * w + x) * 3 + c];
        sum += d * d;
      }
  const double mse = sum / (double(w) * h * 3);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(SaveWebp, LossyCloseLosslessExactBothUpright) {
  vtest::TempDir dir;
  TDib pic = gradient(120, 90);
  char text[256] = "x";
  for (const bool lossless : {false, true}) {
    const std::string path = dir.file(lossless ? "exakt.WEBP" : "bild.webp");
    ASSERT_EQ(SaveDibEx(pic, path.c_str(), lossless ? SAVEDIB_LOSSLESS : 0, text, sizeof text), 1) << text;
    const auto bytes = vtest::ReadBytes(path);
    WebPBitstreamFeatures features;
    ASSERT_EQ(WebPGetFeatures(bytes.data(), bytes.size(), &features), VP8_STATUS_OK);
    EXPECT_EQ(features.format, lossless ? 2 : 1) << "1 lossy, 2 lossless";
    int w = 0, h = 0;
    uint8_t* rgb = WebPDecodeRGB(bytes.data(), bytes.size(), &w, &h);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 90);
    if (lossless)
      EXPECT_GE(psnr(pic, rgb), 99);
    else
      EXPECT_GE(psnr(pic, rgb), 30);
    EXPECT_GT(rgb[2], 150) << "the blue band is at the top";
    WebPFree(rgb);
  }
  EXPECT_EQ(dir.names().size(), 2u);
  deldib(pic);
}

TEST(SaveWebp, CancelledOrTooLargeLeavesNothing) {
  vtest::TempDir dir;
  TDib pic = gradient(64, 48);
  std::atomic<bool> cancel{true};
  platform::TJob job;
  job.Cancel = &cancel;
  std::string error;
  EXPECT_FALSE(velbrik::SaveImage(pic, dir.file("weg.webp"), false, job, error));
  EXPECT_NE(error.find(platform::kCancelledText), std::string::npos) << error;
  deldib(pic);
  TDib wide = vtest::Make24(16384, 1, [](int, int) { return 0u; });
  EXPECT_FALSE(velbrik::SaveImage(wide, dir.file("breit.webp"), true, platform::TJob{}, error));
  EXPECT_NE(error.find("16383"), std::string::npos) << error;
  deldib(wide);
  EXPECT_TRUE(dir.names().empty());
}

} // namespace
