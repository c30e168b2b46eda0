// SPDX-License-Identifier: GPL-3.0-or-later
#include "Favourites.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace favourites {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kEndOfFile = 26; // Ctrl-Z

bool WriteAll(int fd, const std::string& bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= size_t(n);
  }
  return true;
}

// When folders.dat is a symbolic link, the link's target is the file to replace.
std::string ResolveTarget(const std::string& fileName) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
      ::realpath(fileName.c_str(), resolved) != nullptr)
    return resolved;
  return fileName;
}

// A new file beside target, opened for writing; its name goes to tempName. -1 on failure.
int CreateTempBeside(const std::string& target, std::string& tempName) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    const int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

} // namespace

TFolderList ParseFolders(std::string_view text) {
  TFolderList folders;
  std::string line;
  bool open = false; // characters seen since the last line end
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == kEndOfFile) break;
    if (c == kCr) {
      folders.push_back(std::move(line));
      line.clear();
      open = false;
      if (i + 1 < text.size() && text[i + 1] == kLf) ++i;
      continue;
    }
    line.push_back(c);
    open = true;
  }
  if (open) folders.push_back(std::move(line));
  return folders;
}

std::string FormatFolders(const TFolderList& folders) {
  std::string text;
  for (const std::string& folder : folders) {
    text += folder;
    text += "\r\n";
  }
  return text;
}

TFolderList ReadFolders(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return {};
  std::string text;
  char chunk[65536];
  while (in) {
    in.read(chunk, sizeof chunk);
    text.append(chunk, size_t(in.gcount()));
  }
  if (in.bad()) return {};
  return ParseFolders(text);
}

bool WriteFolders(const std::string& fileName, const TFolderList& folders) {
  const std::string target = ResolveTarget(fileName);
  // A file the user made read-only keeps its contents; the rename below would replace it
  // (also for root, who may write to any file, so the permission bits are looked at too).
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 &&
      ((existing.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
    return false;
  std::string tempName;
  const int fd = CreateTempBeside(target, tempName);
  if (fd < 0) return false;

  // Keep the permissions of the file being replaced.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

  bool ok = WriteAll(fd, FormatFolders(folders));
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tempName.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(tempName.c_str());
  return ok;
}

int LastIndexOf(const TFolderList& folders, std::string_view folder) {
  int found = -1;
  for (size_t i = 0; i < folders.size(); ++i)
    if (folders[i] == folder) found = int(i);
  return found;
}

void MoveToTop(TFolderList& folders, const std::string& folder) {
  const int found = LastIndexOf(folders, folder);
  if (found >= 0) folders.erase(folders.begin() + found);
  folders.insert(folders.begin(), folder);
}

} // namespace favourites
