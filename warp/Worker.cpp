#include "Worker.h"

#include <system_error>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace warp {
namespace {

// About a millisecond of polling before the thread goes to sleep.
constexpr int kPolls = 20000;

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

} // namespace

TWorker::~TWorker() {
  if (!FStarted) return;
  FStop = true;
  {
    std::lock_guard<std::mutex> lock(FMutex);
  }
  FWake.notify_one();
  FThread.join();
}

void TWorker::RunBeside(const std::function<void()>& other, const std::function<void()>& own) {
  // On a single processor the two parts would only take turns, and polling would slow both.
  static const bool twoProcessors = std::thread::hardware_concurrency() != 1;
  if (!FStarted && !FFailed && twoProcessors) {
    try {
      FThread = std::thread([this] { Loop(); });
      FStarted = true;
    } catch (const std::system_error&) {
      FFailed = true;
    }
  }
  if (!FStarted) {
    other();
    own();
    return;
  }
  FJob = &other;
  const uint64_t job = FPosted.load() + 1;
  FPosted = job;
  // Both sides use sequentially consistent operations: either the thread sees the new job before
  // it sleeps, or this sees it sleeping and wakes it.
  if (FSleeping) {
    std::lock_guard<std::mutex> lock(FMutex);
    FWake.notify_one();
  }
  const auto waitForWorker = [&] {
    for (int polls = 0; FFinished.load() != job; ++polls) {
      if (polls < kPolls)
        Pause();
      else
        std::this_thread::yield();
    }
  };
  // The worker's part refers to the caller's frame: it must have finished before this returns,
  // however `own` ends.
  try {
    own();
  } catch (...) {
    waitForWorker();
    throw;
  }
  waitForWorker();
}

void TWorker::Loop() {
  uint64_t done = 0;
  for (;;) {
    for (int polls = 0; FPosted.load() == done && !FStop; ++polls) {
      if (polls < kPolls) {
        Pause();
        continue;
      }
      std::unique_lock<std::mutex> lock(FMutex);
      FSleeping = true;
      FWake.wait(lock, [&] { return FPosted.load() != done || FStop; });
      FSleeping = false;
    }
    if (FStop) return;
    done = FPosted.load();
    (*FJob)();
    FFinished = done;
  }
}

} // namespace warp
