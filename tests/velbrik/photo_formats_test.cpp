// SPDX-License-Identifier: GPL-3.0-or-later
// HEIF, AVIF, WebP and JPEG XL: opened upright, alpha over white, deep samples rounded, broken
// and huge files refused; hostile colour profiles kept within their memory; pictures above the
// pixel limit opened reduced.
#include "colour.h"
#include "photo.h"
#include "photo_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace codec_test;

namespace {

// RMS difference in percent of full scale between the picture and `s` shown upright after
// orientation 6 (turned a quarter clockwise), alpha over white, rounded to 8 bits.
double rmsTurned(const Dib& dib, const Samples& s) {
  double sum = 0;
  const double top = (1 << s.bits) - 1;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const Rgb c = dib.at(s.height - 1 - y, x);
      const double alpha = s.channels == 4 ? s.values[(size_t(y) * size_t(s.width) + size_t(x)) * 4 + 3] / top : 1;
      for (int k = 0; k < 3; ++k) {
        const double want = 255 * (s.values[(size_t(y) * size_t(s.width) + size_t(x)) * size_t(s.channels) + size_t(k)] / top * alpha + 1 - alpha);
        sum += ((&c.r)[k] - want) * ((&c.r)[k] - want);
      }
    }
  return 100 * std::sqrt(sum / (3.0 * s.width * s.height)) / 255;
}

struct Sample {
  const char* name;
  Bytes file;
  double tolerance = 0; // RMS percent
};

} // namespace

TEST(PhotoFormats, OpenUprightWithAlphaOverWhiteAndDeepSamplesRounded) {
  Samples alpha = Gradient(40, 24, 4, 8);
  for (int x = 0; x < 40; ++x) alpha.at(x, 3, 3) = uint16_t(x * 6); // a row from clear to nearly opaque
  Samples deep = Gradient(40, 24, 4, 10);
  deep.at(0, 3, 3) = 0;
  const std::vector<std::pair<Sample, const Samples*>> files = {
      {{"WebP", MakeWebp({alpha}, 6), 0.2}, &alpha},
      {{"JPEG XL", MakeJxl(alpha, 6), 0.2}, &alpha},
      {{"JPEG XL 10 Bit", MakeJxl(deep, 6), 0.2}, &deep},
      {{"HEIF", MakeHeif(heif_compression_HEVC, alpha, 6), 2}, &alpha},
      {{"HEIF 10 Bit", MakeHeif(heif_compression_HEVC, deep, 6), 2}, &deep},
      {{"AVIF", MakeHeif(heif_compression_AV1, alpha, 6), 2}, &alpha},
  };
  for (const auto& [made, samples] : files) {
    SCOPED_TRACE(made.name);
    if (made.file.empty()) {
      ADD_FAILURE() << "no encoder";
      continue;
    }
    Dib dib;
    Decode(velbrik::DecodeAny, made.file, dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.width(), 24);
    EXPECT_EQ(dib.height(), 40);
    EXPECT_LE(rmsTurned(dib, *samples), made.tolerance);
    if (made.tolerance < 1) {
      EXPECT_EQ(dib.at(23 - 3, 0), (Rgb{255, 255, 255})); // fully clear: white
    }
  }
}

TEST(PhotoFormats, AnimatedWebpOpensItsFirstFrame) {
  const Samples first = Gradient(20, 10, 3, 8);
  Samples black = first;
  std::fill(black.values.begin(), black.values.end(), 0);
  Dib dib;
  Decode(velbrik::DecodeWebp, MakeWebp({first, black}), dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.at(19, 9), (Rgb{255, 255, 63}));
  EXPECT_EQ(dib.at(0, 0), (Rgb{0, 0, 63}));
}

TEST(PhotoFormats, BrokenAndHugeFilesAreRefusedWithAGermanMessage) {
  const Samples s = Gradient(32, 32, 3, 8);
  std::vector<Sample> broken;
  for (Sample m : {Sample{"WebP", MakeWebp({s})}, Sample{"JPEG-XL", MakeJxl(s)},
                 Sample{"HEIF", MakeHeif(heif_compression_HEVC, s)}, Sample{"AVIF", MakeHeif(heif_compression_AV1, s)}}) {
    broken.push_back({m.name, Truncated(m.file, m.file.size() / 2)});
    broken.push_back({m.name, Truncated(m.file, 40)});
    Bytes huge = m.file;
    if (std::string(m.name) == "WebP") { // VP8L header: 14 bits each for width and height, less one
      const uint32_t sides = 0x3FFFu | 0x3FFFu << 14 | uint32_t(huge[21 + 4]) << 28;
      std::memcpy(&huge[21], &sides, 4);
    } else if (m.name[0] != 'J') { // every spatial extent (picture, grid, tiles): 60000 x 60000
      for (auto at = huge.begin(); (at = std::search(at + 1, huge.end(), std::begin("ispe"), std::end("ispe") - 1)) != huge.end();)
        for (int k : {8, 12}) at[k] = 0, at[k + 1] = 0, at[k + 2] = 0xEA, at[k + 3] = 0x60;
    }
    if (m.name[0] != 'J') broken.push_back({m.name, huge});
  }
  for (const Sample& m : broken) {
    SCOPED_TRACE(std::string(m.name) + " of " + std::to_string(m.file.size()) + " bytes");
    Dib dib;
    Decode(velbrik::DecodeAny, m.file, dib);
    EXPECT_FALSE(dib.ok);
    EXPECT_NE(dib.error.find(m.name), std::string::npos) << dib.error; // "Die WebP-Datei ist ..."
  }
}

// A 404-byte profile whose lookup table claims 3 inputs, 15 outputs and 255 grid points: 490 MB
// that LittleCMS would allocate and clear before finding the file too short.
TEST(ColourProfiles, AHostileTableCostsAtMostTheProfileBudget) {
  Bytes icc(404, 0);
  auto be32 = [&](size_t at, uint32_t v) { for (int k = 0; k < 4; ++k) icc[at + size_t(k)] = uint8_t(v >> (24 - 8 * k)); };
  be32(0, 404);
  be32(8, 0x02100000);
  std::memcpy(&icc[12], "mntrRGB Lab ", 12);
  std::memcpy(&icc[36], "acsp", 4);
  be32(68, 0xF6D6), be32(72, 0x10000), be32(76, 0xD32D); // D50
  be32(128, 1);
  std::memcpy(&icc[132], "A2B0", 4);
  be32(136, 144), be32(140, 260);
  std::memcpy(&icc[144], "mft2", 4);
  icc[152] = 3, icc[153] = 15, icc[154] = 255;
  be32(156, 0x10000), be32(172, 0x10000), be32(188, 0x10000); // identity matrix
  icc[192] = 0, icc[193] = 2, icc[194] = 0, icc[195] = 2;     // two entries per curve
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  velbrik::ColourProfile profile;
  profile.open(icc.data(), icc.size(), velbrik::ProfileInput::Bgr);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_FALSE(profile.active());
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 30 * 1024); // kilobytes
}

TEST(Reduction, PicturesAboveTheLimitOpenAtTheLargestSizeWithinItAndSaySo) {
  int32_t w = 0, h = 0;
  velbrik::ReducedSize(16320, 12240, w, h);
  EXPECT_LE(uint64_t(w) * uint64_t(h), velbrik::kMaxPixels);
  EXPECT_GT(uint64_t(w + 1) * uint64_t(h + 1), velbrik::kMaxPixels);
  EXPECT_NEAR(double(w) / h, 16320.0 / 12240, 0.001);

  // A grey JPEG of 105 megapixels opens at libjpeg's scale 7/8, its own size noted.
  JpegSpec spec;
  spec.width = spec.height = 10240;
  spec.components = 1;
  spec.quality = 50;
  Dib dib;
  Decode(velbrik::DecodeAny, MakeJpeg(spec, Bytes(size_t(10240) * 10240, 128)), dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.width(), 8960);
  EXPECT_EQ(DibOpenedReduced(&dib.record, &w, &h), 1);
  EXPECT_EQ(w, 10240);
  EXPECT_EQ(h, 10240);
}
