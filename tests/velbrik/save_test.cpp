// SPDX-License-Identifier: GPL-3.0-or-later
// Saving: the format by extension, round trips through OpenDib, and failures that leave the
// existing file and the folder as they were.
#include "decoder.h"
#include "file_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

std::string save(const TDib& dib, const std::string& path, int32_t* result = nullptr) {
  char text[512];
  std::memset(text, 'x', sizeof text);
  const int32_t ok = SaveDib(dib, path.c_str(), text, sizeof text);
  if (result) *result = ok;
  return text;
}

TDib testPicture() {
  return vtest::Make24(7, 5, [](int x, int y) { return uint32_t(x * 30 << 16 | y * 50 << 8 | (x ^ y) * 9); });
}

TEST(SaveBmp, TrueColourRoundTrip) {
  vtest::TempDir dir;
  TDib pic = testPicture();
  int32_t ok = 0;
  const std::string path = dir.file("Ergebnis.BMP"); // extensions in any case
  EXPECT_EQ(save(pic, path, &ok), "");
  ASSERT_EQ(ok, 1);
  const auto bytes = vtest::ReadBytes(path);
  EXPECT_EQ(bytes.size(), 14u + 40u + 24u * 5u); // rows of 21 bytes padded to 24
  TDib back;
  OpenDib(&back, path.c_str(), 0, nullptr);
  ASSERT_NE(back.Bits, nullptr) << DibErrorText(&back);
  ASSERT_EQ(back.Info->bmiHeader.biBitCount, 24);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(vtest::PixelRgb(back, x, y), vtest::PixelRgb(pic, x, y));
  EXPECT_EQ(dir.names(), std::vector<std::string>{"Ergebnis.BMP"}); // no temporary file left
  deldib(back);
  deldib(pic);
}

TEST(SaveBmp, PaletteImagesKeepTheirColourTable) {
  vtest::TempDir dir;
  for (int bits : {1, 4, 8}) {
    SCOPED_TRACE(bits);
    TDib pic;
    newdib(&pic, 9, 3, bits, nullptr, 0);
    const int n = 1 << bits;
    for (int i = 0; i < n; ++i) velbrik::SetDibColour(pic, i, uint8_t(i * 3), uint8_t(255 - i), 77);
    velbrik::FinishPalette(pic);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 9; ++x) setpixel(pic, x, y, uint32_t((x + y) % n));
    const char* names[] = {"", "p1.bmp", "", "", "p4.bmp", "", "", "", "p8.bmp"};
    const std::string path = dir.file(names[bits]);
    int32_t ok = 0;
    save(pic, path, &ok);
    ASSERT_EQ(ok, 1);
    TDib back;
    OpenDib(&back, path.c_str(), 0, nullptr);
    ASSERT_NE(back.Bits, nullptr) << DibErrorText(&back);
    EXPECT_EQ(back.Info->bmiHeader.biBitCount, bits);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_EQ(vtest::PixelRgb(back, x, y), vtest::PixelRgb(pic, x, y));
    EXPECT_EQ(back.LogPal.palPalEntry[n - 1].peRed, (n - 1) * 3 % 256);
    deldib(back);
    deldib(pic);
  }
}

TEST(SaveDib, EveryExtensionChoosesItsFormat) {
  struct Case { const char* name; const char* signature; size_t length; int tolerance; };
  const Case cases[] = {
      {"a.png", "\x89PNG", 4, 0},   {"a.PnG", "\x89PNG", 4, 0},
      {"a.tif", "II*\0", 4, 0},     {"a.TIFF", "II*\0", 4, 0},
      {"a.jpg", "\xFF\xD8\xFF", 3, 40}, {"a.Jpeg", "\xFF\xD8\xFF", 3, 40},
  };
  vtest::TempDir dir;
  TDib pic = vtest::Make24(16, 16, [](int, int) { return 0x3C8CDCu; }); // one flat colour
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t ok = 0;
    const std::string path = dir.file(c.name);
    EXPECT_EQ(save(pic, path, &ok), "");
    ASSERT_EQ(ok, 1);
    const auto bytes = vtest::ReadBytes(path);
    ASSERT_GE(bytes.size(), c.length);
    // TIFF may be written in either byte order.
    const bool tiff = c.signature[0] == 'I';
    if (!(tiff && bytes[0] == 'M')) {
      EXPECT_EQ(std::memcmp(bytes.data(), c.signature, c.length), 0);
    }
    TDib back;
    OpenDib(&back, path.c_str(), 0, nullptr);
    ASSERT_NE(back.Bits, nullptr) << DibErrorText(&back);
    const uint32_t got = vtest::PixelRgb(back, 7, 7);
    for (int shift : {0, 8, 16})
      EXPECT_NEAR(int((got >> shift) & 0xFF), int((0x3C8CDCu >> shift) & 0xFF), c.tolerance);
    deldib(back);
  }
  deldib(pic);
}

TEST(SaveDib, UnknownOrMissingExtensionNamesTheTypes) {
  vtest::TempDir dir;
  TDib pic = testPicture();
  int32_t ok = 1;
  const std::string unknown = save(pic, dir.file("bild.xyz"), &ok);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(unknown.find(".xyz"), std::string::npos) << unknown;
  for (const char* type : {".bmp", ".png", ".jpg", ".tif"})
    EXPECT_NE(unknown.find(type), std::string::npos) << type;
  ok = 1;
  const std::string none = save(pic, dir.file("bild"), &ok);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(none.find("keine Endung"), std::string::npos) << none;
  ok = 1;
  save(pic, dir.file("punkt.im.ordner/bild"), &ok); // a dot in a folder name is no extension
  EXPECT_EQ(ok, 0);
  EXPECT_TRUE(dir.names().empty());

  // A short buffer gets a cut, terminated message.
  char tiny[8];
  EXPECT_EQ(SaveDib(pic, dir.file("a.gif").c_str(), tiny, sizeof tiny), 0);
  EXPECT_LT(std::strlen(tiny), sizeof tiny);
  TDib empty;
  std::memset(&empty, 0, sizeof empty);
  EXPECT_EQ(SaveDib(empty, dir.file("a.bmp").c_str(), nullptr, 0), 0);
  deldib(pic);
}

TEST(SaveDib, FailedSavesLeaveTheOldFileWholeAndNoTemporaryFile) {
  vtest::TempDir dir;
  TDib pic = testPicture();
  const std::string target = dir.file("alt.bmp");
  const std::vector<uint8_t> old = {'a', 'l', 't', 'e', 's', ' ', 'B', 'i', 'l', 'd'};
  vtest::WriteBytes(target, old);

  // The write fails half-way: a file size limit lets only 100 bytes through.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int32_t ok = 1;
  const std::string tooBig = save(pic, target, &ok);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(tooBig.find(target), std::string::npos) << tooBig;
  EXPECT_NE(tooBig.find("zu groß"), std::string::npos) << tooBig;
  EXPECT_EQ(vtest::ReadBytes(target), old);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"alt.bmp"});

  // A target that is a folder with contents cannot be replaced.
  ASSERT_EQ(::mkdir(dir.file("ordner.bmp").c_str(), 0755), 0);
  vtest::WriteBytes(dir.file("ordner.bmp/inhalt"), old);
  ok = 1;
  const std::string folder = save(pic, dir.file("ordner.bmp"), &ok);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(folder.find("Ordner"), std::string::npos) << folder;
  EXPECT_EQ(vtest::ReadBytes(dir.file("ordner.bmp/inhalt")), old);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"alt.bmp", "ordner.bmp"}));

  // A folder that does not exist.
  ok = 1;
  const std::string missing = save(pic, dir.file("fehlt/bild.bmp"), &ok);
  EXPECT_EQ(ok, 0);
  EXPECT_NE(missing.find("existiert nicht"), std::string::npos) << missing;

  // A successful save replaces the old file and keeps its permissions.
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ok = 0;
  save(pic, target, &ok);
  EXPECT_EQ(ok, 1);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(vtest::ReadBytes(target).size(), 14u + 40u + 120u);
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"alt.bmp", "ordner.bmp"}));
  deldib(pic);
}

TEST(SaveDib, NewFilesFollowTheUmask) {
  vtest::TempDir dir;
  TDib pic = testPicture();
  const mode_t before = ::umask(022);
  int32_t ok = 0;
  save(pic, dir.file("neu.bmp"), &ok);
  ::umask(before);
  ASSERT_EQ(ok, 1);
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("neu.bmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u); // not the 0600 of a temporary file
  deldib(pic);
}

} // namespace
