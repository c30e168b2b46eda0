// SPDX-License-Identifier: GPL-3.0-or-later
#include "Autosave.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace project {

std::string StateFolder() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') base = state;
  else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
    base = std::string(home) + "/.local/state";
  else return {};
  // Each missing level is made; the program's own folder only for the user.
  for (size_t at = 1; at <= base.size(); ++at)
    if (at == base.size() || base[at] == '/') ::mkdir(base.substr(0, at).c_str(), 0700);
  const std::string folder = base + "/morphane";
  ::mkdir(folder.c_str(), 0700);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(folder.c_str(), W_OK) != 0) return {};
  return folder;
}

bool ClaimAutosave(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> claimed; // by this process: a lock does not keep out its owner
  std::lock_guard<std::mutex> lock(mutex);
  if (claimed.count(folder)) return true;
  const int fd = ::open((folder + "/autosave.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  claimed.insert(folder);
  return true; // kept open (and locked) until the process ends
}

TAutosaver::TAutosaver(std::string path) : path_(std::move(path)) {
  worker_ = std::thread([this] { Run(); });
}

TAutosaver::~TAutosaver() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  worker_.join();
}

void TAutosaver::Submit(const warp::TEditorCore& core, uint64_t pictureSerial, const TSettings& settings,
                        const std::string& picturePath) {
  TSnapshot s;
  s.Serial = pictureSerial;
  const int32_t w = core.PictureWidth(), h = core.PictureHeight();
  if ((!core.CanUndo() && !core.CanRedo()) || core.FMask == nullptr || core.FSourceDib.Bits == nullptr ||
      DibBitCount(core.FSourceDib) != 24) {
    s.Remove = true;
  } else {
    try {
      std::lock_guard<std::mutex> lock(mutex_);
      if (pictureSerial != pictureSerial_) {
        // The picture stays as it is while it is edited: one copy for the worker to compress.
        auto pixels = std::make_shared<std::vector<uint8_t>>(size_t(w) * 3 * size_t(h));
        for (int32_t r = 0; r < h; ++r)
          std::memcpy(pixels->data() + size_t(r) * size_t(w) * 3,
                      core.FSourceDib.Bits + size_t(r) * size_t(core.FSourceDib.BytesPerLine), size_t(w) * 3);
        pixels_ = std::move(pixels);
        pictureSerial_ = pictureSerial;
      }
      s.Pixels = pixels_; // null once the worker has compressed it
      s.Width = w;
      s.Height = h;
      // The mask read once, only its difference from the identity kept (no copy of the block).
      s.MaskDelta = MaskDelta(core.FMask, w, h);
      s.History = core.FHistory.Serialize();
      s.Protection = core.Protection();
      s.Settings = settings;
      s.PicturePath = picturePath;
    } catch (const std::bad_alloc&) {
      std::lock_guard<std::mutex> lock(mutex_);
      error_ = "Nicht genügend Arbeitsspeicher für die automatische Sicherung.";
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = std::move(s);
  }
  wake_.notify_all();
}

void TAutosaver::Flush() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !pending_ && !busy_; });
}

void TAutosaver::Discard() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.reset();
  }
  Flush();
  std::remove(path_.c_str());
}

std::string TAutosaver::LastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

uint64_t TAutosaver::Written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

void TAutosaver::Run() {
  // Behind the user's work: at this priority the thread gets about a tenth of a core against a
  // busy brush step, and all of an idle one. (At the lowest, a machine busy with other work,
  // such as a build, can hold it back for many seconds.)
  setpriority(PRIO_PROCESS, pid_t(::syscall(SYS_gettid)), 10);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || pending_; });
    if (!pending_) return; // stopped with nothing left to write
    TSnapshot s = std::move(*pending_);
    pending_.reset();
    busy_ = true;
    lock.unlock();
    std::string error;
    bool ok = true;
    if (s.Remove) {
      std::remove(path_.c_str());
    } else {
      try {
        if (s.Serial != chunkSerial_) {
          if (!s.Pixels) throw std::bad_alloc();
          chunk_ = PictureChunk(s.Pixels->data(), size_t(s.Width) * 3, s.Width, s.Height);
          chunkSerial_ = s.Serial;
        }
        s.Pixels.reset();
        TWork work;
        work.Width = s.Width;
        work.Height = s.Height;
        work.MaskDelta = &s.MaskDelta;
        work.History = &s.History;
        if (!s.Protection.empty()) work.Protection = s.Protection.data();
        work.Settings = s.Settings;
        work.PicturePath = s.PicturePath;
        ok = WriteProject(path_, chunk_, work, error);
      } catch (const std::bad_alloc&) {
        ok = false;
        error = "Nicht genügend Arbeitsspeicher für die automatische Sicherung.";
      }
    }
    lock.lock();
    busy_ = false;
    if (ok) {
      error_.clear();
      ++written_;
    } else {
      error_ = error;
    }
    // The caller's copy of a picture already compressed is no longer needed.
    if (chunkSerial_ == pictureSerial_) pixels_.reset();
    done_.notify_all();
  }
}

} // namespace project
