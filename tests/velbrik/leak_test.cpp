// SPDX-License-Identifier: GPL-3.0-or-later
// Opens and releases pictures of every format, good and broken, many times over, and checks that
// neither heap memory nor palette handles pile up.
#include "codec_support.h"
#include "file_support.h"

#include "platform/palette.h"

#include <gtest/gtest.h>
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define MORPHANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORPHANE_ASAN 1
#endif
#endif
#ifdef MORPHANE_ASAN
#include <sanitizer/lsan_interface.h>
#endif

using namespace codec_test;

namespace {

struct Sample {
  std::string name;
  Bytes bytes;
};

std::vector<Sample> samples() {
  std::vector<Sample> out;
  auto add = [&](const std::string& name, const Bytes& good) {
    out.push_back({name, good});
    out.push_back({name + " cut", Truncated(good, good.size() * 2 / 3)});
    Bytes flipped = good;
    for (size_t i = good.size() / 3; i < good.size(); i += 7) flipped[i] ^= 0x5A;
    out.push_back({name + " flipped", flipped});
  };

  vtest::BmpFile bmp;
  bmp.width = 9;
  bmp.height = 7;
  bmp.bitCount = 8;
  bmp.palette.assign(256, {1, 2, 3});
  bmp.pixels = vtest::PackRows(9, 7, 8, [](int x, int y) { return uint32_t(x + y); });
  add("bmp", bmp.bytes());

  PngSpec png;
  png.width = 12;
  png.height = 10;
  png.colourType = PNG_COLOR_TYPE_PALETTE;
  png.palette = {{1, 2, 3}, {4, 5, 6}};
  add("png palette", MakePng(png, std::vector<Bytes>(10, Bytes(12, 1))));
  png.colourType = PNG_COLOR_TYPE_RGBA;
  png.interlaced = true;
  add("png rgba", MakePng(png, std::vector<Bytes>(10, Bytes(48, 99))));

  JpegSpec jpeg;
  jpeg.width = 24;
  jpeg.height = 16;
  jpeg.progressive = true;
  add("jpeg", MakeJpeg(jpeg, Bytes(24 * 16 * 3, 120)));
  jpeg.components = 1;
  jpeg.progressive = false;
  add("jpeg grey", MakeJpeg(jpeg, Bytes(24 * 16, 30)));

  GifSpec gif;
  gif.screenWidth = gif.width = 11;
  gif.screenHeight = gif.height = 9;
  gif.global = {{0, 0, 0}, {255, 255, 255}};
  gif.interlaced = true;
  add("gif", MakeGif(gif, Bytes(99, 1)));

  TiffSpec tiff;
  tiff.width = 10;
  tiff.height = 10;
  tiff.compression = COMPRESSION_LZW;
  add("tiff rgb", MakeTiff(tiff, std::vector<Bytes>(10, Bytes(30, 7))));
  tiff.samplesPerPixel = 1;
  tiff.photometric = PHOTOMETRIC_PALETTE;
  for (int channel = 0; channel < 3; ++channel)
    for (int i = 0; i < 256; ++i) tiff.colourMap.push_back(uint16_t(i * 257));
  add("tiff palette", MakeTiff(tiff, std::vector<Bytes>(10, Bytes(10, 7))));

  out.push_back({"unknown", Bytes{'n', 'o', 'p', 'e', 0, 1, 2, 3}});
  out.push_back({"empty", Bytes{}});
  return out;
}

// Bytes the allocator hands out, small blocks and mapped ones alike.
size_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

int openAndRelease(const Sample& s) {
  TDib dib;
  OpenDibMemory(&dib, s.bytes.data(), s.bytes.size(), nullptr);
  if (dib.Bits == nullptr) return 0;
  deldib(dib);
  return 1;
}

} // namespace

TEST(Leaks, ThousandsOfOpensLeaveNothingBehind) {
  const std::vector<Sample> all = samples();
  int opened = 0;
  for (const Sample& s : all) opened += openAndRelease(s); // warm up the libraries once
  EXPECT_GE(opened, 9) << "every good sample opens";

  const long gdi = platform::LiveGdiObjectCount();
  [[maybe_unused]] const size_t heap = heapInUse();
  int cycles = 0;
  while (cycles < 1200) {
    for (const Sample& s : all) {
      openAndRelease(s);
      ++cycles;
    }
    ASSERT_EQ(platform::LiveGdiObjectCount(), gdi) << "after " << cycles << " opens";
  }
#ifdef MORPHANE_ASAN
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#else
  // A leak of even a few bytes per open would show as several kilobytes here.
  EXPECT_LT(heapInUse(), heap + 16 * 1024) << "heap grew over " << cycles << " opens";
#endif
}

TEST(Leaks, OpeningFilesFromDiskLeavesNothingBehind) {
  const std::vector<Sample> all = samples();
  vtest::TempDir dir;
  std::vector<std::string> paths;
  for (size_t i = 0; i < all.size(); ++i) {
    paths.push_back(dir.file("sample" + std::to_string(i)));
    vtest::WriteBytes(paths.back(), all[i].bytes);
  }
  paths.push_back(dir.file("missing"));
  const long gdi = platform::LiveGdiObjectCount();
  for (int round = 0; round < 40; ++round)
    for (const std::string& path : paths) {
      TDib dib;
      OpenDib(&dib, path.c_str(), 0, nullptr);
      if (dib.Bits != nullptr) deldib(dib);
      else EXPECT_NE(DibErrorText(&dib)[0], '\0') << path;
    }
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdi);
#ifdef MORPHANE_ASAN
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}
