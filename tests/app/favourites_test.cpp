// SPDX-License-Identifier: GPL-3.0-or-later
// The favourites file: line splitting, byte-exact matching and the rewrite that keeps the old
// file when writing fails.
#include "Favourites.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QTemporaryDir>

#include <sys/resource.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

using favourites::TFolderList;

namespace {

std::string Slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spit(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

size_t FilesIn(const std::string& folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

} // namespace

TEST(FavouritesParse, LineEndsAndEndOfFile) {
  using favourites::ParseFolders;
  EXPECT_EQ(ParseFolders(""), TFolderList{});
  EXPECT_EQ(ParseFolders("/a/\r\n/b/\r\n"), (TFolderList{"/a/", "/b/"}));
  // A lone CR ends a line too; a last line without line end counts; no empty last entry.
  EXPECT_EQ(ParseFolders("/a/\r/b/"), (TFolderList{"/a/", "/b/"}));
  EXPECT_EQ(ParseFolders("/a/\r"), (TFolderList{"/a/"}));
  // Empty lines in between are entries; a lone line end is one empty entry.
  EXPECT_EQ(ParseFolders("/a/\r\n\r\n/b/\r\n"), (TFolderList{"/a/", "", "/b/"}));
  EXPECT_EQ(ParseFolders("\r\n"), (TFolderList{""}));
  EXPECT_EQ(ParseFolders("/a/\r\r"), (TFolderList{"/a/", ""}));
  // Only the LF right after a CR belongs to the line end.
  EXPECT_EQ(ParseFolders("/a/\n/b/\n"), (TFolderList{"/a/\n/b/\n"}));
  EXPECT_EQ(ParseFolders("/a/\r\n\n/b/"), (TFolderList{"/a/", "\n/b/"}));
  // Ctrl-Z ends the text.
  EXPECT_EQ(ParseFolders("/a/\r\n/b/\x1a/c/\r\n"), (TFolderList{"/a/", "/b/"}));
  EXPECT_EQ(ParseFolders("/a/\r\n\x1a"), (TFolderList{"/a/"}));
  // Bytes are kept as they are: spaces, tabs, non-ASCII.
  EXPECT_EQ(ParseFolders(" /Bilder \t/\r\n/B\xc3\xa4ume/\r\n"),
            (TFolderList{" /Bilder \t/", "/B\xc3\xa4ume/"}));
}

TEST(FavouritesParse, FormatReadsBack) {
  const TFolderList folders{"/x/", "", "/y z/", "/\xff\xfe/"};
  const std::string text = favourites::FormatFolders(folders);
  EXPECT_EQ(text, "/x/\r\n\r\n/y z/\r\n/\xff\xfe/\r\n");
  EXPECT_EQ(favourites::ParseFolders(text), folders);
  EXPECT_EQ(favourites::FormatFolders({}), "");
}

TEST(FavouritesMove, LastMatchRemovedAndInsertedOnTop) {
  TFolderList list;
  favourites::MoveToTop(list, "/A/");
  favourites::MoveToTop(list, "/B/");
  favourites::MoveToTop(list, "/A/");
  EXPECT_EQ(list, (TFolderList{"/A/", "/B/"}));
  favourites::MoveToTop(list, "/A/");
  EXPECT_EQ(list, (TFolderList{"/A/", "/B/"}));

  // A hand-edited list with a duplicate: only the last copy goes.
  TFolderList edited{"/X/", "/Y/", "/X/"};
  favourites::MoveToTop(edited, "/X/");
  EXPECT_EQ(edited, (TFolderList{"/X/", "/X/", "/Y/"}));

  // Letter case, a trailing separator and a prefix all make different entries.
  TFolderList cases{"/bilder/"};
  favourites::MoveToTop(cases, "/Bilder/");
  favourites::MoveToTop(cases, "/bilder");
  favourites::MoveToTop(cases, "/bild/");
  EXPECT_EQ(cases, (TFolderList{"/bild/", "/bilder", "/Bilder/", "/bilder/"}));

  EXPECT_EQ(favourites::LastIndexOf({"a", "b", "a", "c"}, "a"), 2);
  EXPECT_EQ(favourites::LastIndexOf({"a"}, "A"), -1);
  EXPECT_EQ(favourites::LastIndexOf({}, ""), -1);
  EXPECT_EQ(favourites::LastIndexOf({"a", ""}, ""), 1);
}

TEST(FavouritesFile, MissingEmptyAndLfOnlyFiles) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString() + "/";
  EXPECT_TRUE(favourites::ReadFolders(base + "folders.dat").empty());
  Spit(base + "empty.dat", "");
  EXPECT_TRUE(favourites::ReadFolders(base + "empty.dat").empty());
  Spit(base + "lf.dat", "/a/\n/b/\n");
  EXPECT_EQ(favourites::ReadFolders(base + "lf.dat"), (TFolderList{"/a/\n/b/\n"}));
  // A folder is no readable file.
  EXPECT_TRUE(favourites::ReadFolders(base).empty());
}

TEST(FavouritesFile, PipesDevicesAndHugeFilesAreBounded) {
  QTemporaryDir dir;
  const std::string base = dir.path().toStdString() + "/";
  // A pipe without a writer would block an ordinary read for ever; a device never ends.
  ASSERT_EQ(::mkfifo((base + "fifo.dat").c_str(), 0600), 0);
  EXPECT_TRUE(favourites::ReadFolders(base + "fifo.dat").empty());
  std::filesystem::create_symlink("/dev/zero", base + "zero.dat");
  EXPECT_TRUE(favourites::ReadFolders(base + "zero.dat").empty());
  // 3 MB of short lines: the first entries up to the limit, no line cut in two.
  std::string text;
  for (int i = 0; text.size() < 3u << 20; ++i) text += "/o" + std::to_string(i) + "/\r\n";
  Spit(base + "big.dat", text);
  const TFolderList big = favourites::ReadFolders(base + "big.dat");
  ASSERT_EQ(big.size(), favourites::kMaxEntries);
  EXPECT_EQ(big.front(), "/o0/");
  EXPECT_EQ(big.back(), "/o" + std::to_string(favourites::kMaxEntries - 1) + "/");
}

TEST(FavouritesFile, WriteCreatesReplacesAndLeavesNothingBehind) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string name = folder + "/folders.dat";

  ASSERT_TRUE(favourites::WriteFolders(name, {"/only/"}));
  EXPECT_EQ(Slurp(name), "/only/\r\n");

  TFolderList many;
  for (int i = 0; i < 500; ++i) many.push_back("/bilder/ordner " + std::to_string(i) + "/");
  ASSERT_TRUE(favourites::WriteFolders(name, many));
  EXPECT_EQ(favourites::ReadFolders(name), many);
  EXPECT_EQ(FilesIn(folder), 1u);

  // The permissions of the replaced file are kept.
  std::filesystem::permissions(name, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  ASSERT_TRUE(favourites::WriteFolders(name, {"/p/"}));
  EXPECT_EQ(std::filesystem::status(name).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);

  // Writing an empty list leaves an empty file, not a missing one.
  ASSERT_TRUE(favourites::WriteFolders(name, {}));
  EXPECT_TRUE(std::filesystem::exists(name));
  EXPECT_EQ(Slurp(name), "");
}

TEST(FavouritesFile, SymbolicLinkKeepsPointingAtTheList) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  std::filesystem::create_directory(folder + "/real");
  Spit(folder + "/real/list.dat", "/old/\r\n");
  std::filesystem::create_symlink(folder + "/real/list.dat", folder + "/folders.dat");
  ASSERT_TRUE(favourites::WriteFolders(folder + "/folders.dat", {"/new/"}));
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/folders.dat"));
  EXPECT_EQ(Slurp(folder + "/real/list.dat"), "/new/\r\n");
}

TEST(FavouritesFile, FailedWritesKeepTheOldFile) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();

  // No folder to write into.
  EXPECT_FALSE(favourites::WriteFolders(folder + "/missing/folders.dat", {"/a/"}));
  EXPECT_FALSE(std::filesystem::exists(folder + "/missing"));

  // The target is a folder: the rename fails and the temporary file is removed.
  std::filesystem::create_directory(folder + "/folders.dat");
  EXPECT_FALSE(favourites::WriteFolders(folder + "/folders.dat", {"/a/"}));
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/folders.dat"));
  EXPECT_EQ(FilesIn(folder), 1u);
  std::filesystem::remove(folder + "/folders.dat");

  // A write that fails half-way (the file-size limit of the process): the old list survives
  // whole and no partial file is left.
  const std::string name = folder + "/folders.dat";
  Spit(name, "/old one/\r\n/old two/\r\n");
  TFolderList big;
  for (int i = 0; i < 500; ++i) big.push_back("/a rather long folder name number " + std::to_string(i) + "/");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = favourites::WriteFolders(name, big);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Slurp(name), "/old one/\r\n/old two/\r\n");
  EXPECT_EQ(FilesIn(folder), 1u);

  // A file the user made read-only stays as it is, also for root.
  std::filesystem::permissions(name, std::filesystem::perms::owner_read);
  EXPECT_FALSE(favourites::WriteFolders(name, {"/a/"}));
  EXPECT_EQ(Slurp(name), "/old one/\r\n/old two/\r\n");
  EXPECT_EQ(FilesIn(folder), 1u);
}

TEST(FavouritesFile, AListBeyondTheLimitIsReadUpToItsLastWholeLine) {
  QTemporaryDir dir;
  const std::string name = dir.path().toStdString() + "/folders.dat";
  Spit(name, std::string(70 << 20, 'x') + "\r\n/last/\r\n"); // a first line beyond the limit
  EXPECT_TRUE(favourites::ReadFolders(name).empty());
  std::string longLines;
  while (longLines.size() < favourites::kMaxFileBytes + 100) longLines += "/" + std::string(70000, 'x') + "/\r\n";
  Spit(name, longLines);
  const TFolderList cut = favourites::ReadFolders(name);
  ASSERT_EQ(cut.size(), favourites::kMaxFileBytes / 70004);
  EXPECT_EQ(cut.back().size(), 70002u);
}
