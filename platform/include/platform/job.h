// SPDX-License-Identifier: GPL-3.0-or-later
// What long work (saving, printing, writing an animation, searching faces) tells whoever waits
// for it, and how it learns that it should stop. The waiting side may be another thread: the
// progress function is called on the working thread, the cancel flag is read there.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace platform {

struct TJob {
  std::function<void(int32_t)> Progress;      // percentage 0..100; may be empty
  const std::atomic<bool>* Cancel = nullptr;  // set by the waiting side; may be null

  void Report(int32_t percent) const {
    if (Progress) Progress(percent);
  }
  // Checked between pieces of work (rows, frames, strips); work that sees it stops, removes
  // what it had begun to write and reports the German message kCancelledText.
  bool Cancelled() const { return Cancel && Cancel->load(std::memory_order_relaxed); }
};

inline constexpr const char* kCancelledText = "Abgebrochen.";

} // namespace platform
