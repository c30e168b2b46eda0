// SPDX-License-Identifier: GPL-3.0-or-later
// Embedded colour profiles: pictures are converted to sRGB; without a profile, or with one
// that cannot be read, the file's values are kept as they are.
#include "codec_support.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>

using namespace codec_test;

namespace {

// A portrait-like picture in sRGB: skin tones, a saturated background, dark and light areas.
Bytes srgbPicture(int w, int h) {
  Bytes rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double fx = double(x) / w, fy = double(y) / h;
      rgb.push_back(uint8_t(90 + 150 * fx * (1 - fy / 2)));
      rgb.push_back(uint8_t(40 + 120 * fy));
      rgb.push_back(uint8_t(200 - 170 * fx * fy));
    }
  return rgb;
}

Bytes convert(const Bytes& rgb, const Bytes& from, const Bytes& to) {
  cmsHPROFILE a = from.empty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(from.data(), cmsUInt32Number(from.size()));
  cmsHPROFILE b = to.empty() ? cmsCreate_sRGBProfile() : cmsOpenProfileFromMem(to.data(), cmsUInt32Number(to.size()));
  cmsHTRANSFORM t = cmsCreateTransform(a, TYPE_RGB_8, b, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
  Bytes out(rgb.size());
  cmsDoTransform(t, rgb.data(), out.data(), cmsUInt32Number(rgb.size() / 3));
  cmsDeleteTransform(t);
  cmsCloseProfile(a);
  cmsCloseProfile(b);
  return out;
}

// Root mean square difference of the decoded picture from `rgb`, in percent of full scale.
double rmsPercent(const Dib& dib, const Bytes& rgb, int w, int h) {
  double sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb c = dib.at(x, y);
      const uint8_t* want = &rgb[3 * size_t(y * w + x)];
      for (int k = 0; k < 3; ++k) {
        const double d = double((&c.r)[k]) - want[k];
        sum += d * d;
      }
    }
  return 100.0 * std::sqrt(sum / (3.0 * w * h)) / 255.0;
}

std::vector<Bytes> rowsOf(const Bytes& rgb, int w, int h) {
  std::vector<Bytes> rows;
  for (int y = 0; y < h; ++y) rows.emplace_back(rgb.begin() + 3 * y * w, rgb.begin() + 3 * (y + 1) * w);
  return rows;
}

} // namespace

TEST(ColourProfiles, TaggedPicturesDecodeCloseToTheirSrgbOriginal) {
  const int w = 64, h = 48;
  const Bytes original = srgbPicture(w, h);
  const Bytes profile = WideGamutProfile();
  const Bytes stored = convert(original, {}, profile); // what a camera set to that space writes
  // The header and tag table kept, every tag's contents garbled.
  Bytes broken = profile;
  const size_t tags = size_t(profile[128]) << 24 | profile[129] << 16 | profile[130] << 8 | profile[131];
  for (size_t i = 132 + 12 * tags; i < broken.size(); ++i) broken[i] = uint8_t(i * 7);

  auto files = [&](const Bytes& icc) {
    JpegSpec jpeg;
    jpeg.width = w;
    jpeg.height = h;
    jpeg.quality = 100;
    jpeg.icc = icc;
    PngSpec png;
    png.width = w;
    png.height = h;
    png.icc = icc;
    TiffSpec tiff;
    tiff.width = w;
    tiff.height = h;
    tiff.icc = icc;
    return std::vector<std::pair<const char*, Bytes>>{{"jpeg", MakeJpeg(jpeg, stored)},
                                                      {"png", MakePng(png, rowsOf(stored, w, h))},
                                                      {"tiff", MakeTiff(tiff, rowsOf(stored, w, h))}};
  };
  const auto tagged = files(profile), untagged = files({}), badlyTagged = files(broken);
  for (size_t i = 0; i < tagged.size(); ++i) {
    SCOPED_TRACE(tagged[i].first);
    Dib converted, raw, ignored;
    Decode(velbrik::DecodeAny, tagged[i].second, converted);
    Decode(velbrik::DecodeAny, untagged[i].second, raw);
    Decode(velbrik::DecodeAny, badlyTagged[i].second, ignored);
    ASSERT_TRUE(converted.ok && raw.ok && ignored.ok) << converted.error << raw.error << ignored.error;
    EXPECT_LT(rmsPercent(converted, original, w, h), 1.0);
    EXPECT_GT(rmsPercent(raw, original, w, h), 2.0) << "the test picture must show the difference";
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(ignored.at(x, y), raw.at(x, y)) << x << "," << y;
  }
}

TEST(ColourProfiles, GreyPicturesConvertThroughTheirColourTable) {
  const Bytes profile = LinearGreyProfile();
  TiffSpec grey;
  grey.width = 3;
  grey.bitsPerSample = 8;
  grey.samplesPerPixel = 1;
  grey.photometric = PHOTOMETRIC_MINISBLACK;
  grey.icc = profile;
  Dib dib;
  Decode(velbrik::DecodeTiff, MakeTiff(grey, {Bytes{0, 128, 255}}), dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.bits(), 8);
  // Linear light 128/255 is sRGB level 188.
  const Rgb mid = dib.at(1, 0);
  EXPECT_NEAR(mid.g, 188, 2);
  EXPECT_NEAR(mid.r, mid.g, 1);
  EXPECT_NEAR(mid.b, mid.g, 1);
  EXPECT_LE(dib.at(0, 0).g, 1);
  EXPECT_GE(dib.at(2, 0).g, 254);
}
