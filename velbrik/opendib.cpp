// SPDX-License-Identifier: GPL-3.0-or-later
// Opening picture files: mapping the file (bounded), choosing the decoder by the file's
// signature, and the filter string of the readable types.
//
// A mapped file that another program shortens while it is decoded (or whose network mount goes
// away) raises SIGBUS on the next read of a missing page. A handler for it puts zero pages in
// place of the rest of the mapping and marks the mapping damaged; the decoder runs on over
// zeros and the open is then refused with a message. A file whose size or time of change
// differs after decoding is refused as well.
#include "decoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velbrik {
namespace {

std::string quoted(const std::string& name) { return "\xE2\x80\x9E" + name + "\xE2\x80\x9C"; }

bool startsWith(const uint8_t* data, size_t size, const char* signature, size_t length) {
  return size >= length && std::memcmp(data, signature, length) == 0;
}

std::string readReason(int err) {
  switch (err) {
  case EACCES:
  case EPERM: return "Keine Berechtigung zum Lesen.";
  case ENOENT: return "Die Datei oder ihr Ordner existiert nicht.";
  case ENOTDIR: return "Ein Teil des Pfads ist kein Ordner.";
  case ENAMETOOLONG: return "Der Dateiname ist zu lang.";
  case ELOOP: return "Der Pfad enthält zu viele symbolische Verknüpfungen.";
  case EIO: return "Ein-/Ausgabefehler beim Lesen.";
  case EMFILE:
  case ENFILE: return "Es sind zu viele Dateien geöffnet.";
  case ENOMEM: return "Nicht genug Speicher.";
  default: return std::string("Systemfehler ") + std::to_string(err) + ".";
  }
}

// HEIF and AVIF files begin with a file type box ("ftyp") naming the brands they follow.
bool isHeif(const uint8_t* data, size_t size) {
  if (size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return false;
  const size_t boxSize = std::min<size_t>(size, size_t(data[0]) << 24 | size_t(data[1]) << 16 | size_t(data[2]) << 8 | data[3]);
  static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
  for (size_t at = 8; at + 4 <= boxSize; at += at == 8 ? 8 : 4) // the major brand, then the compatible ones
    for (const char* brand : brands)
      if (std::memcmp(data + at, brand, 4) == 0) return true;
  return false;
}

// Closes a POSIX file descriptor on every path out of mapFile.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// The mappings being decoded now, for the SIGBUS handler: only lock-free atomics, read there.
struct GuardedMapping {
  std::atomic<uintptr_t> begin{0};
  std::atomic<size_t> size{0};
  std::atomic<bool> damaged{false};
};
std::array<GuardedMapping, 16> guarded;
struct sigaction previousBusAction {};
uintptr_t pageMask = ~uintptr_t(4095); // set from the system's page size before the handler is installed

void onBusError(int sig, siginfo_t* info, void* context) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardedMapping& m : guarded) {
    const uintptr_t begin = m.begin.load();
    const size_t size = m.size.load();
    if (begin == 0 || at < begin || at >= begin + size) continue;
    // Zero pages from the failing page to the end; the pages before it stay the file's.
    const uintptr_t page = at & pageMask;
    const size_t rest = ((begin + size - page) + ~pageMask) & pageMask;
    if (::mmap(reinterpret_cast<void*>(page), rest, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
        MAP_FAILED)
      break; // cannot repair: the fault is the previous handler's
    m.damaged.store(true);
    return;
  }
  if ((previousBusAction.sa_flags & SA_SIGINFO) != 0 && previousBusAction.sa_sigaction != nullptr) {
    previousBusAction.sa_sigaction(sig, info, context);
  } else if (previousBusAction.sa_handler != SIG_IGN && previousBusAction.sa_handler != SIG_DFL &&
             previousBusAction.sa_handler != nullptr) {
    previousBusAction.sa_handler(sig);
  } else {
    // Not one of ours: the default action, once this handler returns.
    ::signal(SIGBUS, SIG_DFL);
    ::raise(SIGBUS);
  }
}

// Registers a mapping with the handler (installed once); false when every slot is taken.
GuardedMapping* guardMapping(const void* begin, size_t size) {
  static std::once_flag installed;
  std::call_once(installed, [] {
    pageMask = ~uintptr_t(::sysconf(_SC_PAGESIZE) - 1);
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previousBusAction);
  });
  for (GuardedMapping& m : guarded) {
    uintptr_t expected = 0;
    if (m.begin.compare_exchange_strong(expected, uintptr_t(1))) { // reserved while filled in
      m.damaged.store(false);
      m.size.store(size);
      m.begin.store(reinterpret_cast<uintptr_t>(begin));
      return &m;
    }
  }
  return nullptr;
}

void releaseGuard(GuardedMapping* m) {
  if (m == nullptr) return;
  m->size.store(0);
  m->begin.store(0);
}

// File sizes in messages: whole megabytes, rounded up, so that a file just over the limit does
// not read as equal to it.
std::string megabytes(uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); }

// A file's bytes, mapped read-only rather than copied: the decoders touch only the pages they
// read, so padding and data past what a decoder needs cost neither time nor memory. Where a
// file system cannot map, the bytes are read into a buffer instead.
class FileImage {
public:
  FileImage() = default;
  FileImage(const FileImage&) = delete;
  FileImage& operator=(const FileImage&) = delete;
  ~FileImage() {
    releaseGuard(guard_);
    if (mapped_ != nullptr) ::munmap(mapped_, size_);
    if (fd_ >= 0) ::close(fd_);
  }
  bool open(const char* path, std::string& error);
  const uint8_t* data() const { return mapped_ != nullptr ? static_cast<const uint8_t*>(mapped_) : copy_.data(); }
  size_t size() const { return size_; }
  // After decoding: false with a message when the file was shortened, changed or became
  // unreadable while it was read.
  bool unchanged(std::string& error) const;

private:
  bool readAll(int fd, const std::string& name, std::string& error);
  void* mapped_ = nullptr;
  GuardedMapping* guard_ = nullptr;
  std::vector<uint8_t> copy_;
  size_t size_ = 0;
  int fd_ = -1;
  std::string name_;
  struct stat opened_ {};
};

bool FileImage::unchanged(std::string& error) const {
  struct stat now {};
  const bool damaged = guard_ != nullptr && guard_->damaged.load();
  if (!damaged && ::fstat(fd_, &now) == 0 && now.st_size == opened_.st_size &&
      now.st_mtim.tv_sec == opened_.st_mtim.tv_sec && now.st_mtim.tv_nsec == opened_.st_mtim.tv_nsec &&
      now.st_ctim.tv_sec == opened_.st_ctim.tv_sec && now.st_ctim.tv_nsec == opened_.st_ctim.tv_nsec)
    return true;
  error = "Die Datei " + quoted(name_) +
          " wurde geändert, verkürzt oder ist nicht mehr lesbar, während sie gelesen wurde. "
          "Das Bild wurde nicht geöffnet.";
  return false;
}

// The size is checked against kMaxFileBytes before anything is mapped or allocated; special
// files (pipes, devices) are refused without reading from them.
bool FileImage::open(const char* path, std::string& error) {
  const std::string name(path);
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT)
      error = "Die Datei " + quoted(name) + " wurde nicht gefunden.";
    else
      error = "Die Datei " + quoted(name) + " konnte nicht geöffnet werden: " + readReason(err);
    return false;
  }
  FdCloser closer{fd};
  struct stat& st = opened_;
  if (::fstat(fd, &st) != 0) {
    error = "Die Datei " + quoted(name) + " konnte nicht gelesen werden: " + readReason(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    error = quoted(name) + " ist ein Ordner und keine Bilddatei.";
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = quoted(name) + " ist keine gewöhnliche Datei und kann nicht als Bild geöffnet werden.";
    return false;
  }
  if (st.st_size <= 0) {
    error = "Die Datei " + quoted(name) + " ist leer.";
    return false;
  }
  if (uint64_t(st.st_size) > kMaxFileBytes) {
    error = "Die Datei " + quoted(name) + " ist zu groß (" + megabytes(uint64_t(st.st_size)) +
            " MB, höchstens " + std::to_string(kMaxFileBytes >> 20) + " MB).";
    return false;
  }
  size_ = size_t(st.st_size);
  name_ = name;
  void* map = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
  if (map != MAP_FAILED) {
    guard_ = guardMapping(map, size_);
    if (guard_ != nullptr) {
      mapped_ = map;
      fd_ = fd;
      closer.fd = -1; // kept open to see changes after decoding
      return true;
    }
    ::munmap(map, size_);
  }
  if (!readAll(fd, name, error)) return false;
  fd_ = fd;
  closer.fd = -1;
  return true;
}

bool FileImage::readAll(int fd, const std::string& name, std::string& error) {
  try {
    copy_.resize(size_);
  } catch (const std::bad_alloc&) {
    error = "Nicht genug Speicher, um die Datei " + quoted(name) + " zu lesen.";
    return false;
  }
  size_t done = 0;
  while (done < copy_.size()) {
    const ssize_t n = ::read(fd, copy_.data() + done, copy_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = "Die Datei " + quoted(name) + " konnte nicht gelesen werden: " + readReason(errno);
      return false;
    }
    if (n == 0) break; // the file shrank while being read
    done += size_t(n);
  }
  if (done == 0) {
    error = "Die Datei " + quoted(name) + " ist leer.";
    return false;
  }
  copy_.resize(done);
  size_ = done;
  return true;
}

// Decodes a file image into *dest and reports the outcome the way OpenDib promises: on success
// a filled record, on failure Bits null and the message in the record. The progress bar starts
// at 0 and is set back to 0 at the end, so it is empty between operations.
void decodeInto(TDib* dest, const uint8_t* data, size_t size, Progress& progress) {
  std::string error;
  progress.report(0);
  const bool ok = DecodeAny(data, size, *dest, progress, error);
  if (!ok || dest->Bits == nullptr || dest->Info == nullptr) {
    if (error.empty()) error = "Das Bild konnte nicht gelesen werden.";
    FailDib(*dest, error);
  } else {
    DarkIndexFirst(*dest);
  }
  progress.report(0);
}

} // namespace

bool DecodeAny(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  // Decoders may call FailDib on `out` before creating anything; it must not hold stale pointers.
  std::memset(&out, 0, sizeof out);
  if (data == nullptr || size == 0) {
    error = "Die Datei ist leer.";
    FailDib(out, error);
    return false;
  }
  if (uint64_t(size) > kMaxFileBytes) {
    error = "Die Datei ist zu groß (" + megabytes(size) + " MB, höchstens " +
            std::to_string(kMaxFileBytes >> 20) + " MB).";
    FailDib(out, error);
    return false;
  }
  if (startsWith(data, size, "BM", 2)) return DecodeBmp(data, size, out, progress, error);
  if (startsWith(data, size, "\x89PNG", 4)) return DecodePng(data, size, out, progress, error);
  if (startsWith(data, size, "\xFF\xD8\xFF", 3)) return DecodeJpeg(data, size, out, progress, error);
  if (startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6))
    return DecodeGif(data, size, out, progress, error);
  if (startsWith(data, size, "II*\0", 4) || startsWith(data, size, "MM\0*", 4))
    return DecodeTiff(data, size, out, progress, error);
  if (isHeif(data, size)) return DecodeHeif(data, size, out, progress, error);
  if (startsWith(data, size, "RIFF", 4) && size >= 12 && std::memcmp(data + 8, "WEBP", 4) == 0)
    return DecodeWebp(data, size, out, progress, error);
  // JPEG XL: a bare codestream, or the container's signature box.
  if (startsWith(data, size, "\xFF\x0A", 2) || startsWith(data, size, "\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12))
    return DecodeJxl(data, size, out, progress, error);
  error = "Das Dateiformat wird nicht erkannt. Geöffnet werden können BMP-, PNG-, JPEG-, GIF-, "
          "TIFF-, HEIF-, AVIF-, WebP- und JPEG-XL-Bilder.";
  FailDib(out, error);
  return false;
}

} // namespace velbrik

using namespace velbrik;

extern "C" {

// The option value is reserved and ignored.
void OpenDib(TDib* dest, const char* path, int32_t /*option*/, void* window) {
  if (dest == nullptr) return;
  std::memset(dest, 0, sizeof *dest);
  if (path == nullptr || path[0] == '\0') {
    FailDib(*dest, "Es wurde kein Dateiname angegeben.");
    return;
  }
  FileImage file;
  std::string error;
  if (!file.open(path, error)) {
    FailDib(*dest, error);
    return;
  }
  Progress progress(window);
  decodeInto(dest, file.data(), file.size(), progress);
  if (dest->Bits != nullptr && !file.unchanged(error)) FailDib(*dest, error);
}

void OpenDibMemory(TDib* dest, const void* data, size_t size, void* window) {
  if (dest == nullptr) return;
  std::memset(dest, 0, sizeof *dest);
  Progress progress(window);
  decodeInto(dest, static_cast<const uint8_t*>(data), size, progress);
}

const char* GetDIBOpenFilter(void) {
  return "Alle Bilder|*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.jpe;*.gif;*.tif;*.tiff;*.heic;*.heif;*.avif;*.webp;*.jxl"
         "|Windows-Bitmap (*.bmp;*.dib)|*.bmp;*.dib"
         "|PNG-Bild (*.png)|*.png"
         "|JPEG-Bild (*.jpg;*.jpeg;*.jpe)|*.jpg;*.jpeg;*.jpe"
         "|GIF-Bild (*.gif)|*.gif"
         "|TIFF-Bild (*.tif;*.tiff)|*.tif;*.tiff"
         "|HEIF-Bild (*.heic;*.heif)|*.heic;*.heif"
         "|AVIF-Bild (*.avif)|*.avif"
         "|WebP-Bild (*.webp)|*.webp"
         "|JPEG-XL-Bild (*.jxl)|*.jxl"
         "|Alle Dateien (*.*)|*.*";
}

} // extern "C"
