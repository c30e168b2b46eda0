// SPDX-License-Identifier: GPL-3.0-or-later
// Files that change under the library: a picture shortened while it is opened, a save stopped
// half-way, and the temporary files of saves that were killed.
#include "decoder.h"
#include "file_support.h"
#include "file_writing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TDib bigPicture(int w, int h) {
  return vtest::Make24(w, h, [](int x, int y) { return uint32_t((x * 7 + y * 13) * 2654435761u >> 8); });
}

std::string saved(const TDib& dib, const std::string& path) {
  char text[512] = {};
  EXPECT_EQ(SaveDib(dib, path.c_str(), text, sizeof text), 1) << text;
  return path;
}

// Shortened by another thread at a random moment while OpenDib reads it: never a crash; either
// the whole picture or a refusal with a message.
TEST(ChangingFile, ShortenedWhileOpenedIsRefusedOrOpenedWhole) {
  vtest::TempDir dir;
  TDib pic = bigPicture(1600, 1200);
  const std::vector<std::string> originals = {saved(pic, dir.file("a.bmp")), saved(pic, dir.file("a.png")),
                                              saved(pic, dir.file("a.jpg")), saved(pic, dir.file("a.tif"))};
  deldib(pic);
  std::mt19937 random(24);
  int refused = 0, whole = 0;
  for (int round = 0; round < 60; ++round) {
    const std::string& original = originals[size_t(round) % originals.size()];
    const std::vector<uint8_t> bytes = vtest::ReadBytes(original);
    const std::string victim = dir.file("opfer" + original.substr(original.rfind('.')));
    vtest::WriteBytes(victim, bytes);
    const auto delay = std::chrono::microseconds(random() % 30000);
    const off_t keep = off_t(random() % (bytes.size() / 2));
    std::thread cutter([&] {
      std::this_thread::sleep_for(delay);
      ASSERT_EQ(::truncate(victim.c_str(), keep), 0);
    });
    TDib d{};
    OpenDib(&d, victim.c_str(), 0, nullptr);
    cutter.join();
    if (d.Bits != nullptr) {
      ++whole;
      EXPECT_EQ(d.Info->bmiHeader.biWidth, 1600);
      deldib(d);
    } else {
      ++refused;
      EXPECT_GT(std::strlen(DibErrorText(&d)), 10u);
    }
  }
  EXPECT_GT(refused, 0);
  std::printf("shortened while opened: %d refused, %d opened whole\n", refused, whole);
}

int stopAt(void* context, int32_t percent) { return percent >= *static_cast<int*>(context) ? 1 : 0; }

TEST(ChangingFile, StoppedSaveAndKilledSavesLeaveNothingBehind) {
  vtest::TempDir dir;
  TDib pic = bigPicture(300, 200);
  const std::string target = dir.file("alt.png");
  const std::vector<uint8_t> old = {'a', 'l', 't'};
  for (const char* ext : {".bmp", ".png", ".jpg", ".tif"}) {
    const std::string name = dir.file(std::string("alt") + ext);
    vtest::WriteBytes(name, old);
    int half = 50;
    char text[256] = {};
    EXPECT_EQ(SaveDibJob(pic, name.c_str(), 0, stopAt, &half, text, sizeof text), 0) << ext;
    EXPECT_STREQ(text, platform::kCancelledText);
    EXPECT_EQ(vtest::ReadBytes(name), old) << ext;
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"alt.bmp", "alt.jpg", "alt.png", "alt.tif"}));

  // Leftovers of killed saves are removed by the next save into the folder, unless a save that
  // still runs holds its lock; files of other names stay.
  std::string killed, running;
  ::close(velbrik::createSaveTemporary(dir.file("x.png"), killed));
  const int lock = velbrik::createSaveTemporary(dir.file("y.png"), running);
  vtest::WriteBytes(dir.file(".z.png.morphane-Q"), old);
  vtest::WriteBytes(dir.file("z.png.morphane-QQQQQQ"), old);
  const timespec past[2] = {{1000, 0}, {1000, 0}};
  for (const std::string& f : {killed, running}) ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), past, 0), 0);
  ::sleep(2); // the change times too are old enough
  saved(pic, target);
  EXPECT_FALSE(::access(killed.c_str(), F_OK) == 0);
  EXPECT_TRUE(::access(running.c_str(), F_OK) == 0);
  EXPECT_TRUE(::access(dir.file(".z.png.morphane-Q").c_str(), F_OK) == 0);
  EXPECT_TRUE(::access(dir.file("z.png.morphane-QQQQQQ").c_str(), F_OK) == 0);
  ::close(lock);
  ::unlink(running.c_str());
  deldib(pic);
}

} // namespace
