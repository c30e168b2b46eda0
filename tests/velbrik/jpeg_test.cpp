// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec_support.h"
#include "file_support.h"

#include "platform/palette.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdlib>
#include <cstring>

using namespace codec_test;

namespace {

// Samples of a picture whose left half is one colour and right half another.
Bytes halves(int width, int height, const Bytes& left, const Bytes& right) {
  Bytes out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Bytes& c = x < width / 2 ? left : right;
      out.insert(out.end(), c.begin(), c.end());
    }
  return out;
}

bool near(Rgb a, Rgb b, int tolerance = 4) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

// Rewrites the frame header's height and width.
Bytes withSize(Bytes file, uint16_t width, uint16_t height) {
  for (size_t i = 2; i + 9 < file.size(); ++i)
    if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
      file[i + 5] = uint8_t(height >> 8);
      file[i + 6] = uint8_t(height);
      file[i + 7] = uint8_t(width >> 8);
      file[i + 8] = uint8_t(width);
      return file;
    }
  ADD_FAILURE() << "no frame header";
  return file;
}

// A legal progressive grey picture with one scan per AC coefficient and `refinements`
// successive-approximation refinements of every band: 64 * (refinements + 1) scans.
Bytes manyScans(int refinements) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = 16;
  cinfo.image_height = 16;
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  std::vector<jpeg_scan_info> scans;
  auto add = [&](int ss, int se, int ah, int al) {
    jpeg_scan_info s{};
    s.comps_in_scan = 1;
    s.component_index[0] = 0;
    s.Ss = ss;
    s.Se = se;
    s.Ah = ah;
    s.Al = al;
    scans.push_back(s);
  };
  for (int band = 0; band < 64; ++band) {
    add(band, band, 0, refinements);
    for (int al = refinements - 1; al >= 0; --al) add(band, band, al + 1, al);
  }
  cinfo.scan_info = scans.data();
  cinfo.num_scans = int(scans.size());
  jpeg_start_compress(&cinfo, TRUE);
  Bytes row(16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) row[size_t(x)] = uint8_t(x * 16 + y);
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

} // namespace

TEST(JpegDecode, GreyBecomesEightBitsWithAGreyRamp) {
  JpegSpec spec;
  spec.width = 32;
  spec.height = 16;
  spec.components = 1;
  Dib dib;
  Decode(velbrik::DecodeJpeg, MakeJpeg(spec, halves(32, 16, {30}, {220})), dib);
  ASSERT_TRUE(dib.ok) << dib.error;
  EXPECT_EQ(dib.bits(), 8);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(dib.paletteColour(i), (Rgb{uint8_t(i), uint8_t(i), uint8_t(i)}));
  EXPECT_NEAR(int(dib.index(2, 3)), 30, 3);
  EXPECT_NEAR(int(dib.index(29, 12)), 220, 3);
}

TEST(JpegDecode, ColourAndBothKindsOfCmykBecome24Bits) {
  const Rgb orange{240, 120, 10}, teal{10, 140, 150};
  struct Case {
    const char* name;
    JpegSpec spec;
    Bytes left, right;
  };
  JpegSpec rgb;
  rgb.width = rgb.height = 16;
  JpegSpec progressive = rgb;
  progressive.progressive = true;
  JpegSpec adobe = rgb;
  adobe.components = 4;
  JpegSpec plainCmyk = adobe;
  plainCmyk.adobe = false;
  // Adobe files store ink inverted (255 = none); without the marker 255 is full ink.
  const std::vector<Case> cases = {
      {"rgb", rgb, {240, 120, 10}, {10, 140, 150}},
      {"progressive", progressive, {240, 120, 10}, {10, 140, 150}},
      {"adobe cmyk", adobe, {240, 120, 10, 255}, {10, 140, 150, 255}},
      {"plain cmyk", plainCmyk, {15, 135, 245, 0}, {245, 115, 105, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib;
    Decode(velbrik::DecodeJpeg, MakeJpeg(c.spec, halves(16, 16, c.left, c.right)), dib);
    ASSERT_TRUE(dib.ok) << dib.error;
    EXPECT_EQ(dib.bits(), 24);
    EXPECT_EQ(dib.record.UsePalette, 0);
    EXPECT_TRUE(near(dib.at(1, 1), orange)) << int(dib.at(1, 1).r) << " " << int(dib.at(1, 1).g);
    EXPECT_TRUE(near(dib.at(14, 14), teal)) << int(dib.at(14, 14).r) << " " << int(dib.at(14, 14).b);
  }
}

TEST(JpegDecode, ProgressiveFilesWithTooManyScansAreRefused) {
  Dib fine;
  Decode(velbrik::DecodeJpeg, manyScans(0), fine); // 64 scans
  EXPECT_TRUE(fine.ok) << fine.error;
  Dib flood;
  Decode(velbrik::DecodeJpeg, manyScans(5), flood); // 384 scans
  EXPECT_FALSE(flood.ok);
  EXPECT_EQ(flood.record.Bits, nullptr);
  EXPECT_NE(flood.error.find("Durchgänge"), std::string::npos) << flood.error;
}

TEST(JpegDecode, BrokenFilesAreRefusedWithAGermanMessage) {
  JpegSpec spec;
  spec.width = 24;
  spec.height = 24;
  spec.progressive = true;
  const Bytes good = MakeJpeg(spec, halves(24, 24, {1, 2, 3}, {200, 100, 0}));
  const long gdiBefore = platform::LiveGdiObjectCount();
  for (size_t keep = 0; keep + 2 < good.size(); ++keep) {
    Dib dib;
    Decode(velbrik::DecodeJpeg, Truncated(good, keep), dib);
    ASSERT_FALSE(dib.ok) << keep;
    EXPECT_EQ(dib.record.Bits, nullptr);
    EXPECT_GT(std::strlen(DibErrorText(&dib.record)), 10u);
  }
  Dib cut;
  Decode(velbrik::DecodeJpeg, Truncated(good, good.size() / 2), cut);
  EXPECT_EQ(cut.error, "Die JPEG-Datei ist unvollständig.");

  Bytes badPrecision = good;
  for (size_t i = 2; i + 4 < good.size(); ++i)
    if (good[i] == 0xFF && good[i + 1] == 0xC2) badPrecision[i + 4] = 3; // 3 bits per sample
  Dib corrupt;
  Decode(velbrik::DecodeJpeg, badPrecision, corrupt);
  EXPECT_FALSE(corrupt.ok);
  EXPECT_EQ(corrupt.error, "Die JPEG-Datei ist beschädigt.");

  Dib notJpeg;
  Decode(velbrik::DecodeJpeg, Bytes{'B', 'M', 0, 0}, notJpeg);
  EXPECT_EQ(notJpeg.error, "Die Datei ist keine JPEG-Datei.");
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

TEST(JpegDecode, HeadersPromisingHugePicturesAreRefused) {
  JpegSpec spec;
  spec.width = spec.height = 8;
  const Bytes small = MakeJpeg(spec, Bytes(8 * 8 * 3, 77));
  Dib bomb;
  Decode(velbrik::DecodeJpeg, withSize(small, 60000, 60000), bomb);
  EXPECT_FALSE(bomb.ok);
  EXPECT_NE(bomb.error.find("zu groß"), std::string::npos) << bomb.error;
  // Within the limit, but the data ends after the first block.
  Dib starved;
  Decode(velbrik::DecodeJpeg, withSize(small, 10000, 10000), starved);
  EXPECT_FALSE(starved.ok);
  EXPECT_EQ(starved.error, "Die JPEG-Datei ist unvollständig.");
}

TEST(JpegWrite, RoundTripsWithTheQualityAsked) {
  Made made;
  MakeDib(made, 40, 24, 24);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 40; ++x) setpixel(made.record, x, y, y < 12 ? 0x2080F0u : 0x10C020u);
  auto write = [&](int quality, std::string& error, bool& ok) {
    return WriteToMemory([&](std::FILE* f, std::string& e) { return velbrik::WriteJpeg(made.record, f, quality, e); },
                         ok, error);
  };
  bool ok = false;
  std::string error;
  const Bytes fine = write(95, error, ok);
  ASSERT_TRUE(ok) << error;
  const Bytes coarse = write(5, error, ok);
  ASSERT_TRUE(ok) << error;
  EXPECT_LT(coarse.size(), fine.size());

  Dib back;
  Decode(velbrik::DecodeJpeg, fine, back);
  ASSERT_TRUE(back.ok) << back.error;
  ASSERT_EQ(back.width(), 40);
  ASSERT_EQ(back.height(), 24);
  // Bottom rows (row 0 of the record) are the last rows of the file.
  EXPECT_TRUE(near(back.at(5, 20), Rgb{0xF0, 0x80, 0x20}));
  EXPECT_TRUE(near(back.at(5, 3), Rgb{0x20, 0xC0, 0x10}));
}

TEST(JpegWrite, PaletteImagesAreWrittenInTheirColours) {
  Made made;
  MakeDib(made, 16, 16, 4);
  velbrik::SetDibColour(made.record, 9, 200, 30, 90);
  velbrik::FinishPalette(made.record);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) setpixel(made.record, x, y, 9);
  bool ok = false;
  std::string error;
  const Bytes file = WriteToMemory(
      [&](std::FILE* f, std::string& e) { return velbrik::WriteJpeg(made.record, f, 90, e); }, ok, error);
  ASSERT_TRUE(ok) << error;
  Dib back;
  Decode(velbrik::DecodeJpeg, file, back);
  ASSERT_TRUE(back.ok) << back.error;
  EXPECT_EQ(back.bits(), 24);
  EXPECT_TRUE(near(back.at(7, 7), Rgb{200, 30, 90}, 6));
}

TEST(JpegDecode, ProgressiveWorkIsWeighedBeforeDecoding) {
  // 256 scans each over the whole picture, whose header claims 100 megapixels: refused from
  // the scan headers, before the coefficient buffer of the whole picture is allocated.
  const Bytes flood = withSize(manyScans(3), 10000, 10000);
  const vtest::OpenCost cost = vtest::MeasureOpen([&](TDib* d) { OpenDibMemory(d, flood.data(), flood.size(), nullptr); });
  EXPECT_FALSE(cost.opened);
  EXPECT_NE(cost.message.find("Durchgänge"), std::string::npos) << cost.message;
  EXPECT_LT(cost.cpuSeconds, 1.0);
  EXPECT_LT(cost.peakExtraMb, 64.0);
  // The same scans over a small picture are little work.
  Dib small;
  Decode(velbrik::DecodeJpeg, manyScans(3), small);
  EXPECT_TRUE(small.ok) << small.error;
}

TEST(JpegDecode, ArithmeticDataEndingEarlyIsRefusedLikeHuffmanData) {
  JpegSpec spec;
  spec.width = spec.height = 128;
  Bytes samples;
  for (int i = 0; i < 128 * 128 * 3; ++i) samples.push_back(uint8_t(i * 7 ^ i / 300));
  for (bool arithmetic : {false, true})
    for (bool progressive : {false, true}) {
      SCOPED_TRACE(std::string(arithmetic ? "arithmetic" : "huffman") + (progressive ? " progressive" : ""));
      spec.arithmetic = arithmetic;
      spec.progressive = progressive;
      const Bytes whole = MakeJpeg(spec, samples);
      Dib good;
      Decode(velbrik::DecodeJpeg, whole, good);
      ASSERT_TRUE(good.ok) << good.error;
      // Cut in the middle of the data and closed with an end-of-picture marker.
      Bytes cut = Truncated(whole, whole.size() / 2);
      cut.insert(cut.end(), {0xFF, 0xD9});
      const vtest::OpenCost cost = vtest::MeasureOpen([&](TDib* d) { OpenDibMemory(d, cut.data(), cut.size(), nullptr); });
      EXPECT_FALSE(cost.opened);
      EXPECT_EQ(cost.message, "Die JPEG-Datei ist unvollständig.");
      EXPECT_LT(cost.cpuSeconds, 1.0);
      EXPECT_LT(cost.peakExtraMb, 64.0);
    }
}
