// SPDX-License-Identifier: GPL-3.0-or-later
#include "Favourites.h"

#include "Velbrik.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

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

} // namespace

TFolderList ParseFolders(std::string_view text, size_t limit) {
  TFolderList folders;
  std::string line;
  bool open = false; // characters seen since the last line end
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == kEndOfFile) break;
    if (c == kCr) {
      if (folders.size() >= limit) return folders;
      folders.push_back(std::move(line));
      line.clear();
      open = false;
      if (i + 1 < text.size() && text[i + 1] == kLf) ++i;
      continue;
    }
    line.push_back(c);
    open = true;
  }
  if (open && folders.size() < limit) folders.push_back(std::move(line));
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
  // Non-blocking, so that a pipe does not wait for a writer before it is seen to be one.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat st {};
  std::string text;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    text.resize(size_t(std::min<off_t>(st.st_size, off_t(kMaxFileBytes) + 1)));
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      done += size_t(n);
    }
    text.resize(done);
  }
  ::close(fd);
  if (!ok) return {};
  if (text.size() > kMaxFileBytes) {
    // Cut at the last line end within the limit.
    const size_t end = text.find_last_of(kCr, kMaxFileBytes - 1);
    text.resize(end == std::string::npos ? 0 : end + 1);
  }
  return ParseFolders(text, kMaxEntries);
}

bool WriteFolders(const std::string& fileName, const TFolderList& folders) {
  const std::string target = ResolveTarget(fileName);
  // A file the user made read-only keeps its contents; the rename below would replace it
  // (also for root, who may write to any file, so the permission bits are looked at too).
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 &&
      ((existing.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
    return false;
  // Named so that a write killed half-way is removed at the next start.
  char tempName[PATH_MAX + 64];
  const int fd = CreateSaveTemporary(target.c_str(), tempName, sizeof tempName);
  if (fd < 0) return false;

  // Keep the permissions of the file being replaced.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

  bool ok = WriteAll(fd, FormatFolders(folders));
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(tempName, target.c_str()) == 0;
  if (!ok) ::unlink(tempName);
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
