// SPDX-License-Identifier: GPL-3.0-or-later
// Saving an image: the format follows the file name's extension. The picture is written to a
// temporary file in the target's folder, flushed to the disk and renamed over the target, so a
// failed save never damages an existing file and leaves nothing behind.
#include "decoder.h"
#include "file_writing.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

namespace velbrik {
namespace {

enum class Format { Bmp, Png, Jpeg, Tiff, Webp, Unknown };

constexpr int kJpegQuality = 92;
const char* const kTypes =
    "Gespeichert werden kann als BMP (.bmp), PNG (.png), JPEG (.jpg, .jpeg), TIFF (.tif, .tiff) oder WebP (.webp).";

std::string quoted(const std::string& name) { return "\xE2\x80\x9E" + name + "\xE2\x80\x9C"; }

std::string extensionOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

Format formatOf(const std::string& ext) {
  if (ext == "bmp") return Format::Bmp;
  if (ext == "png") return Format::Png;
  if (ext == "jpg" || ext == "jpeg") return Format::Jpeg;
  if (ext == "tif" || ext == "tiff") return Format::Tiff;
  if (ext == "webp") return Format::Webp;
  return Format::Unknown;
}

SyncFunction& syncFunction() {
  static SyncFunction f = ::fsync;
  return f;
}

} // namespace

std::string writeReason(int err) {
  switch (err) {
  case EACCES:
  case EPERM: return "Keine Berechtigung zum Schreiben in diesen Ordner.";
  case ENOSPC: return "Auf dem Datenträger ist kein Platz mehr.";
  case EDQUOT: return "Das Speicherkontingent ist erschöpft.";
  case ENOENT: return "Der Ordner existiert nicht.";
  case ENOTDIR: return "Ein Teil des Pfads ist kein Ordner.";
  case EROFS: return "Das Dateisystem ist schreibgeschützt.";
  case EISDIR: return "Das Ziel ist ein Ordner.";
  case ENOTEMPTY:
  case EEXIST: return "Das Ziel ist ein Ordner, der nicht leer ist.";
  case EFBIG: return "Die Datei würde zu groß.";
  case ENAMETOOLONG: return "Der Dateiname ist zu lang.";
  case EIO: return "Ein-/Ausgabefehler beim Schreiben.";
  case EXDEV: return "Die Datei kann nicht über Dateisystemgrenzen umbenannt werden.";
  case EMFILE:
  case ENFILE: return "Es sind zu viele Dateien geöffnet.";
  case EBUSY: return "Das Ziel wird gerade benutzt.";
  default: return std::string("Systemfehler ") + std::to_string(err) + ".";
  }
}

mode_t fileMode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

namespace {

// What a save is asked for besides the picture and the name.
struct TSaveRequest {
  bool lossless;               // WebP only
  const platform::TJob* job;   // may be null
};

bool encode(Format format, const TDib& dib, std::FILE* file, const TSaveRequest& request, std::string& error) {
  const platform::TJob* job = request.job;
  switch (format) {
  case Format::Bmp: return WriteBmp(dib, file, error, job);
  case Format::Png: return WritePng(dib, file, error, job);
  case Format::Jpeg: return WriteJpeg(dib, file, kJpegQuality, error, job);
  case Format::Tiff: return WriteTiff(dib, file, error, job);
  case Format::Webp: {
    TWebpSettings settings;
    settings.Quality = kJpegQuality;
    settings.Lossless = request.lossless;
    static const platform::TJob kNoJob;
    return WriteWebp(dib, file, settings, job ? *job : kNoJob, error);
  }
  case Format::Unknown: break;
  }
  return false;
}

// Writes the temporary file completely and durably; on failure `reason` says why.
bool writeTemporary(int fd, Format format, const TDib& dib, const TSaveRequest& request, std::string& reason) {
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    reason = writeReason(errno);
    ::close(fd);
    return false;
  }
  std::string error;
  errno = 0;
  bool ok = encode(format, dib, file, request, error);
  if (!ok && request.job != nullptr && request.job->Cancelled()) {
    std::fclose(file);
    reason = platform::kCancelledText;
    return false;
  }
  int err = errno;
  if (ok && std::fflush(file) != 0) ok = false, err = errno;
  if (ok && syncFunction()(::fileno(file)) != 0) ok = false, err = errno;
  const bool hadError = std::ferror(file) != 0;
  if (std::fclose(file) != 0 && ok) ok = false, err = errno;
  if (ok) return true;
  // A failed write of the stream says more than the encoder's own message.
  if (hadError && err != 0)
    reason = writeReason(err);
  else if (!error.empty())
    reason = error;
  else if (err != 0)
    reason = writeReason(err);
  else
    reason = "Die Datei konnte nicht geschrieben werden.";
  return false;
}

} // namespace

namespace {

constexpr const char kLeftoverMark[] = ".morphane-";
constexpr size_t kLeftoverMarkLength = sizeof kLeftoverMark - 1;
constexpr size_t kMaxTemporaryBase = 200; // keeps the temporary name within NAME_MAX

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

} // namespace

bool isSaveLeftoverName(const std::string& name) {
  const size_t minimum = 1 + 1 + kLeftoverMarkLength + 6; // ".N.morphane-XXXXXX"
  if (name.size() < minimum || name[0] != '.') return false;
  const size_t mark = name.size() - 6 - kLeftoverMarkLength;
  if (name.compare(mark, kLeftoverMarkLength, kLeftoverMark) != 0) return false;
  for (size_t i = name.size() - 6; i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

int createSaveTemporary(const std::string& target, std::string& temp) {
  const size_t slash = target.find_last_of('/');
  const std::string base = (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, kMaxTemporaryBase);
  temp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + "." + base + kLeftoverMark +
         "XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  (void)::flock(fd, LOCK_EX | LOCK_NB);
  return fd;
}

void removeSaveLeftovers(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  const uid_t user = ::getuid();
  const time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!isSaveLeftoverName(name)) continue;
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    // A save still writing holds the lock; one just begun may not have taken it yet.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == user && now - st.st_mtime >= 2 &&
        now - st.st_ctime >= 2 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      (void)::unlinkat(dirFd, name.c_str(), 0);
    ::close(fd);
  }
  ::closedir(dir);
}

void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

bool TTemporaryFile::Create(const std::string& target, std::string& reason) {
  Discard();
  FTarget = target;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    reason = writeReason(EISDIR);
    return false;
  }
  // Named and locked as every save's temporary file, so a killed writer's leftover is removed later.
  FFd = createSaveTemporary(target, FName);
  if (FFd < 0) {
    reason = writeReason(errno);
    FName.clear();
    return false;
  }
  (void)::fchmod(FFd, fileMode(target));
  return true;
}

bool TTemporaryFile::Commit(std::string& reason) {
  if (FFd < 0) {
    reason = writeReason(EBADF);
    return false;
  }
  if (syncFunction()(FFd) != 0 || ::close(std::exchange(FFd, -1)) != 0 ||
      ::rename(FName.c_str(), FTarget.c_str()) != 0) {
    reason = writeReason(errno);
    Discard();
    return false;
  }
  FName.clear();
  const size_t slash = FTarget.find_last_of('/');
  syncFolder(slash == std::string::npos ? "." : (slash == 0 ? "/" : FTarget.substr(0, slash)));
  return true;
}

void TTemporaryFile::Discard() {
  if (FFd >= 0) ::close(std::exchange(FFd, -1));
  if (!FName.empty()) ::unlink(FName.c_str());
  FName.clear();
}

namespace {

bool save(const TDib& dib, const std::string& path, const TSaveRequest& request, std::string& error) {
  const std::string failed = "Die Datei " + quoted(path) + " konnte nicht gespeichert werden: ";
  if (dib.Info == nullptr || dib.Bits == nullptr) {
    error = "Es ist kein Bild zum Speichern vorhanden.";
    return false;
  }
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  if (!CheckDimensions(h.biWidth, h.biHeight, h.biBitCount, error)) {
    error = failed + error;
    return false;
  }
  const std::string ext = extensionOf(path);
  const Format format = formatOf(ext);
  if (format == Format::Unknown) {
    error = (ext.empty() ? "Der Dateiname " + quoted(path) + " hat keine Endung. "
                         : "Der Dateityp " + quoted("." + ext) + " ist unbekannt. ") +
            kTypes;
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = failed + writeReason(EISDIR);
    return false;
  }

  const std::string folder = folderOf(path);
  removeSaveLeftovers(folder);
  std::string temp;
  const int fd = createSaveTemporary(path, temp);
  if (fd < 0) {
    const int err = errno;
    struct stat folderStat {};
    // Some folders exist but take no new files (/proc, /sys): creating one says ENOENT there.
    if (err == ENOENT && ::stat(folder.c_str(), &folderStat) == 0 && S_ISDIR(folderStat.st_mode))
      error = failed + "In diesem Ordner können keine Dateien angelegt werden.";
    else
      error = failed + writeReason(err);
    return false;
  }
  (void)::fchmod(fd, fileMode(path));
  std::string reason;
  if (!writeTemporary(fd, format, dib, request, reason)) {
    ::unlink(temp.c_str());
    error = reason == platform::kCancelledText ? reason : failed + reason;
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    error = failed + writeReason(err);
    return false;
  }
  syncFolder(folder);
  return true;
}

} // namespace

bool SaveImage(const TDib& dib, const std::string& path, bool lossless, const platform::TJob& job,
               std::string& error) {
  return save(dib, path, TSaveRequest{lossless, &job}, error);
}

SyncFunction SetSaveSyncFunction(SyncFunction f) {
  const SyncFunction previous = syncFunction();
  syncFunction() = f != nullptr ? f : ::fsync;
  return previous;
}

} // namespace velbrik

namespace {

int32_t saveWith(TDib dib, const char* path, bool lossless, const platform::TJob* job, char* errorText,
                 size_t errorTextSize) {
  std::string error;
  bool ok = false;
  if (path == nullptr || path[0] == '\0')
    error = "Es wurde kein Dateiname angegeben.";
  else
    ok = velbrik::save(dib, path, velbrik::TSaveRequest{lossless, job}, error);
  if (errorText != nullptr && errorTextSize > 0) {
    const std::string fitted = ok ? std::string() : velbrik::FitErrorText(error, errorTextSize - 1);
    std::memcpy(errorText, fitted.data(), fitted.size());
    errorText[fitted.size()] = '\0';
  }
  return ok ? 1 : 0;
}

} // namespace

extern "C" int32_t SaveDib(TDib dib, const char* path, char* errorText, size_t errorTextSize) {
  return saveWith(dib, path, false, nullptr, errorText, errorTextSize);
}

extern "C" int32_t SaveDibJob(TDib dib, const char* path, int32_t flags, TSaveProgress progress, void* context,
                              char* errorText, size_t errorTextSize) {
  std::atomic<bool> cancel{false};
  platform::TJob job;
  job.Cancel = &cancel;
  if (progress != nullptr)
    job.Progress = [&](int32_t percent) {
      if (progress(context, percent) != 0) cancel.store(true);
    };
  return saveWith(dib, path, (flags & SAVEDIB_LOSSLESS) != 0, &job, errorText, errorTextSize);
}

extern "C" int CreateSaveTemporary(const char* target, char* tempName, size_t tempNameSize) {
  if (target == nullptr || tempName == nullptr || tempNameSize == 0) {
    errno = EINVAL;
    return -1;
  }
  std::string temp;
  const int fd = velbrik::createSaveTemporary(target, temp);
  if (fd < 0) return -1;
  if (temp.size() >= tempNameSize) {
    ::unlink(temp.c_str());
    ::close(fd);
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(tempName, temp.c_str(), temp.size() + 1);
  return fd;
}

extern "C" void RemoveSaveLeftovers(const char* folder) {
  if (folder != nullptr && folder[0] != '\0') velbrik::removeSaveLeftovers(folder);
}

extern "C" int32_t SaveDibEx(TDib dib, const char* path, int32_t flags, char* errorText, size_t errorTextSize) {
  return saveWith(dib, path, (flags & SAVEDIB_LOSSLESS) != 0, nullptr, errorText, errorTextSize);
}
