// Opening files: reading them, choosing the format, the messages for what cannot be opened,
// and the filter string of the readable types.
#include "decoder.h"
#include "file_support.h"

#include "platform/palette.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include <sys/stat.h>

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
