// SPDX-License-Identifier: GPL-3.0-or-later
// Error texts of failed saves and opens: each names the file once and gives the real reason in
// German; a path too long for the record is shortened in its middle, never the reason.
#include "decoder.h"
#include "file_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kOpen = "\xE2\x80\x9E", kClose = "\xE2\x80\x9C", kEllipsis = "\xE2\x80\xA6";

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Save(const std::string& path, int32_t* ok = nullptr) {
  TDib pic = vtest::Make24(8, 8, [](int x, int y) { return uint32_t(x * 20 + y); });
  char text[1024] = {0};
  const int32_t result = SaveDib(pic, path.c_str(), text, sizeof text);
  if (ok != nullptr) *ok = result;
  deldib(pic);
  return text;
}

int g_failWith = 0;
int FailingSync(int) {
  errno = g_failWith;
  return -1;
}

TEST(SaveErrorText, EachReasonOnceWithTheFileAndTheOldFileWhole) {
  vtest::TempDir dir;
  const std::string target = dir.file("alt.png");
  const std::vector<uint8_t> old = {'a', 'l', 't'};
  vtest::WriteBytes(target, old);

  struct Case {
    int err;
    const char* reason;
  };
  const Case cases[] = {{ENOSPC, "kein Platz mehr"}, {EROFS, "schreibgeschützt"}, {EIO, "Ein-/Ausgabefehler"}};
  const velbrik::SyncFunction previous = velbrik::SetSaveSyncFunction(FailingSync);
  for (const Case& c : cases) {
    g_failWith = c.err;
    int32_t ok = 1;
    const std::string text = Save(target, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Occurrences(text, target), 1u) << text;
    EXPECT_EQ(Occurrences(text, "gespeichert"), 1u) << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    EXPECT_EQ(vtest::ReadBytes(target), old);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"alt.png"}); // no temporary file left
  }
  velbrik::SetSaveSyncFunction(previous);

  EXPECT_NE(Save(dir.file("fehlt/bild.png")).find("Der Ordner existiert nicht."), std::string::npos);
  // /proc exists but takes no files: not "missing".
  const std::string proc = Save("/proc/out.png");
  EXPECT_EQ(proc.find("existiert nicht"), std::string::npos) << proc;
  EXPECT_NE(proc.find("/proc/out.png"), std::string::npos) << proc;

  if (::geteuid() != 0) { // root may write anywhere
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const std::string denied = Save(target);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_NE(denied.find("Keine Berechtigung"), std::string::npos) << denied;
    EXPECT_EQ(vtest::ReadBytes(target), old);
  }
}

TEST(FitErrorText, LongNameShortenedInTheMiddleKeepingItsEndsAndTheReason) {
  const std::string name = "/" + std::string(3000, 'a') + "\xC3\xA4" + std::string(3000, 'b') + "/bild.png";
  const std::string message = "Die Datei " + kOpen + name + kClose + " wurde nicht gefunden.";
  const std::string fitted = velbrik::FitErrorText(message, 1023);
  EXPECT_LE(fitted.size(), 1023u);
  EXPECT_GT(fitted.size(), 1000u);
  EXPECT_EQ(fitted.rfind("Die Datei " + kOpen + "/aaa", 0), 0u);
  EXPECT_NE(fitted.find("bbb/bild.png" + kClose + " wurde nicht gefunden."), std::string::npos) << fitted;
  EXPECT_EQ(Occurrences(fitted, kEllipsis), 1u);
  EXPECT_EQ(velbrik::FitErrorText(message, message.size()), message);

  // Through the library: the record's text still ends with the reason.
  TDib record;
  std::memset(&record, 0, sizeof record);
  OpenDib(&record, name.c_str(), 0, nullptr);
  ASSERT_EQ(record.Bits, nullptr);
  const std::string text = DibErrorText(&record);
  EXPECT_NE(text.find("/bild.png" + kClose), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 1), ".");
  // A message without a quoted name is cut at a character boundary.
  const std::string plain = velbrik::FitErrorText("\xC3\xA4\xC3\xA4\xC3\xA4", 3);
  EXPECT_EQ(plain, "\xC3\xA4");
}

} // namespace
