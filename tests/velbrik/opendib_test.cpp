// SPDX-License-Identifier: GPL-3.0-or-later
// Opening files: reading them, choosing the format, the messages for what cannot be opened,
// and the filter string of the readable types.
#include "codec_support.h"
#include "decoder.h"
#include "file_support.h"

#include "platform/palette.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <cstring>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using vtest::BmpFile;

std::vector<uint8_t> smallBmp() {
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.pixels = vtest::PackRows(3, 2, 24, [](int x, int r) { return uint32_t(x * 0x100 + r); });
  return f.bytes();
}

std::string openError(const std::string& path) {
  TDib d;
  std::memset(&d, 0x5A, sizeof d); // a stale record must not matter
  OpenDib(&d, path.c_str(), 0, nullptr);
  EXPECT_EQ(d.Bits, nullptr) << path;
  EXPECT_EQ(d.Memory, nullptr) << path;
  return DibErrorText(&d);
}

TEST(OpenDib, OpensAFileByPath) {
  vtest::TempDir dir;
  vtest::WriteBytes(dir.file("bild.bmp"), smallBmp());
  TDib d;
  OpenDib(&d, dir.file("bild.bmp").c_str(), 0, nullptr);
  ASSERT_NE(d.Bits, nullptr) << DibErrorText(&d);
  EXPECT_EQ(d.Info->bmiHeader.biWidth, 3);
  EXPECT_EQ(d.Info->bmiHeader.biHeight, 2);
  EXPECT_EQ(vtest::PixelRgb(d, 2, 1), 0x000201u);
  deldib(d);
}

TEST(OpenDib, FilesThatCannotBeReadGiveGermanMessages) {
  const long gdiBefore = platform::LiveGdiObjectCount();
  vtest::TempDir dir;
  const std::string missing = dir.file("fehlt.bmp");
  const std::string msg = openError(missing);
  EXPECT_NE(msg.find(missing), std::string::npos) << msg; // names the file
  EXPECT_NE(msg.find("nicht gefunden"), std::string::npos) << msg;

  EXPECT_NE(openError(dir.path()).find("Ordner"), std::string::npos);

  vtest::WriteBytes(dir.file("leer.bmp"), {});
  EXPECT_NE(openError(dir.file("leer.bmp")).find("leer"), std::string::npos);

  vtest::WriteBytes(dir.file("text.bmp"), {'H', 'a', 'l', 'l', 'o', '\n'});
  const std::string unknown = openError(dir.file("text.bmp"));
  EXPECT_NE(unknown.find("nicht erkannt"), std::string::npos) << unknown;
  EXPECT_NE(unknown.find("PNG"), std::string::npos);

  // A pipe must be refused without waiting for a writer.
  ASSERT_EQ(::mkfifo(dir.file("rohr").c_str(), 0600), 0);
  EXPECT_NE(openError(dir.file("rohr")).find("keine gewöhnliche Datei"), std::string::npos);

  EXPECT_NE(openError("").find("kein Dateiname"), std::string::npos);
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

TEST(OpenDib, EveryKnownSignatureReachesItsDecoder) {
  // One byte past each signature: every decoder must refuse such a stub with a message of its
  // own and leave a failed record, never the "unknown format" answer.
  const std::vector<std::vector<uint8_t>> stubs = {
      {'B', 'M', 0},
      {0x89, 'P', 'N', 'G', 0},
      {0xFF, 0xD8, 0xFF, 0},
      {'G', 'I', 'F', '8', '7', 'a', 0},
      {'G', 'I', 'F', '8', '9', 'a', 0},
      {'I', 'I', '*', 0, 0},
      {'M', 'M', 0, '*', 0},
  };
  for (const auto& s : stubs) {
    TDib d = vtest::OpenBytes(s);
    EXPECT_EQ(d.Bits, nullptr);
    const std::string msg = DibErrorText(&d);
    EXPECT_FALSE(msg.empty());
    EXPECT_EQ(msg.find("nicht erkannt"), std::string::npos) << msg;
  }
  TDib d = vtest::OpenBytes({'G', 'I', 'F', '9', '0', 'a'});
  EXPECT_NE(std::string(DibErrorText(&d)).find("nicht erkannt"), std::string::npos);
  OpenDibMemory(&d, nullptr, 0, nullptr);
  EXPECT_EQ(d.Bits, nullptr);
  EXPECT_NE(std::string(DibErrorText(&d)).find("leer"), std::string::npos);
}

TEST(OpenDib, ProgressReachesTheWindowAndNotADestroyedOne) {
  vtest::TempDir dir;
  vtest::WriteBytes(dir.file("a.bmp"), smallBmp());
  vtest::ProgressRecorder window;
  TDib d;
  OpenDib(&d, dir.file("a.bmp").c_str(), 0, &window);
  ASSERT_NE(d.Bits, nullptr);
  deldib(d);
  ASSERT_FALSE(window.values.empty());
  EXPECT_NE(std::find(window.values.begin(), window.values.end(), 100), window.values.end());
  for (int v : window.values) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 100);
  }
  // A window that no longer exists receives nothing (and nothing crashes).
  alignas(vtest::ProgressRecorder) unsigned char room[sizeof(vtest::ProgressRecorder)];
  auto* gone = new (room) vtest::ProgressRecorder;
  gone->~ProgressRecorder();
  OpenDib(&d, dir.file("a.bmp").c_str(), 0, room);
  ASSERT_NE(d.Bits, nullptr);
  deldib(d);
}

TEST(OpenDib, FilesAreMappedNotCopiedAndTheSizeLimitNamesBothNumbers) {
  // A 451 x 300 picture followed by almost 1 GiB of padding (a sparse file): only the pages the
  // decoder reads are touched.
  vtest::TempDir dir;
  BmpFile f;
  f.width = 451;
  f.height = 300;
  f.pixels = vtest::PackRows(451, 300, 24, [](int x, int r) { return uint32_t(x * 0x10101 + r); });
  const std::string path = dir.file("gepolstert.bmp");
  vtest::WriteBytes(path, f.bytes());
  ASSERT_EQ(::truncate(path.c_str(), (1 << 30) - 1), 0);
  const vtest::OpenCost cost = vtest::MeasureOpen([&](TDib* d) { OpenDib(d, path.c_str(), 0, nullptr); });
  EXPECT_TRUE(cost.opened) << cost.message;
  EXPECT_LT(cost.cpuSeconds, 1.0);
  EXPECT_LT(cost.peakExtraMb, 64.0);

  ASSERT_EQ(::truncate(path.c_str(), (1 << 30) + 1), 0);
  const std::string msg = openError(path);
  EXPECT_NE(msg.find("zu groß (1025 MB, höchstens 1024 MB)"), std::string::npos) << msg;
}

// Index 0 is handed over as the darker colour, so that promotion (index 0 black) shows the
// picture as it is, not as its negative.
TEST(OpenDib, OneBitPicturesHandTheDarkerColourOverFirst) {
  // Each picture: 10 pixels, white on the left half, black on the right, white at index 0.
  vtest::BmpFile bmp;
  bmp.width = 10;
  bmp.bitCount = 1;
  bmp.palette = {{255, 255, 255}, {0, 0, 0}};
  bmp.pixels = vtest::PackRows(10, 1, 1, [](int x, int) { return x < 5 ? 0u : 1u; });
  codec_test::PngSpec png;
  png.width = 10;
  png.colourType = PNG_COLOR_TYPE_PALETTE;
  png.depth = 1;
  png.palette = {{250, 250, 240}, {20, 10, 0}};
  codec_test::TiffSpec fax;
  fax.width = 10;
  fax.bitsPerSample = 1;
  fax.samplesPerPixel = 1;
  fax.photometric = PHOTOMETRIC_MINISWHITE;
  fax.compression = COMPRESSION_CCITTFAX4;
  const codec_test::Bytes row = {0x07, 0xC0}; // 0000011111
  const std::vector<std::pair<const char*, codec_test::Bytes>> files = {
      {"bmp", bmp.bytes()}, {"png", codec_test::MakePng(png, {row})}, {"fax tiff", codec_test::MakeTiff(fax, {row})}};
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    TDib d = vtest::OpenBytes(bytes);
    ASSERT_NE(d.Bits, nullptr) << DibErrorText(&d);
    EXPECT_EQ(d.Info->bmiHeader.biBitCount, 1);
    EXPECT_LT(d.Info->bmiColors[0].rgbGreen, d.Info->bmiColors[1].rgbGreen);
    EXPECT_EQ(d.LogPal.palPalEntry[0].peGreen, d.Info->bmiColors[0].rgbGreen);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(getpixel(d, x, 0), x < 5 ? 1u : 0u) << x;
    EXPECT_EQ(d.Bits[1] & 0x3F, 0) << "bits beyond the width stay clear";
    deldib(d);
  }
}

TEST(OpenFilter, PairsOfDescriptionAndMasks) {
  const std::string filter = GetDIBOpenFilter();
  EXPECT_EQ(filter, std::string(GetDIBOpenFilter())); // stable, owned by the library
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t bar; (bar = filter.find('|', start)) != std::string::npos; start = bar + 1)
    items.push_back(filter.substr(start, bar - start));
  items.push_back(filter.substr(start));
  ASSERT_EQ(items.size() % 2, 0u);
  ASSERT_GE(items.size(), 4u);
  EXPECT_EQ(items[0], "Alle Bilder");
  for (const char* mask : {"*.bmp", "*.png", "*.jpg", "*.jpeg", "*.gif", "*.tif", "*.tiff"})
    EXPECT_NE(items[1].find(mask), std::string::npos) << mask;
  EXPECT_EQ(items[items.size() - 2], "Alle Dateien (*.*)");
  EXPECT_EQ(items.back(), "*.*");
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_FALSE(items[i].empty()) << i;
    if (i % 2 == 1) {
      EXPECT_EQ(items[i].find(' '), std::string::npos) << items[i];
    }
  }
}

} // namespace
