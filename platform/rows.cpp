// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rows.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {
namespace {

constexpr int32_t kMaxThreads = 64;
// Pauses (some tens of microseconds in all) a helper waits awake for the next job before it
// sleeps: the render of a step follows the step itself at once. The caller waits as long for
// the last bands of a job before it sleeps too, which leaves its processor free for a helper
// that the system had put aside.
constexpr int kHelperSpins = 2000;
constexpr int kCallerSpins = 2000;

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

thread_local bool tOnHelper = false;

// MORPHANE_THREADS=N, 1..kMaxThreads; 0 when unset or not such a number. Read at every call, so
// that a measurement may change it between runs.
int32_t ConfiguredThreads() {
  const char* text = std::getenv("MORPHANE_THREADS");
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (*end != '\0' || n < 1) return 0;
  return int32_t(std::min<long>(n, kMaxThreads));
}

// Processors the calling thread may run on.
int32_t AllowedProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return int32_t(std::max(1u, std::thread::hardware_concurrency()));
}

// The helper threads and the one job they share at a time. A job is published by writing its
// fields, then its band count and generation to FLimit, then the generation and band 0 to FNext;
// a band is claimed by advancing FNext while its generation matches FLimit's. A claimed band
// keeps its job open (FDone stays below the band count) until it has run, so whoever claimed a
// band may read the job's fields.
class TRowPool {
public:
  TRowPool() = default;
  TRowPool(const TRowPool&) = delete;
  TRowPool& operator=(const TRowPool&) = delete;
  ~TRowPool() {
    FStop.store(true);
    FJobs.fetch_add(1);
    FJobs.notify_all();
    for (std::thread& t : FHelpers) t.join();
  }

  // Returns false, running nothing, when another call holds the pool.
  bool TryRun(int32_t begin, int32_t end, int32_t grain, int32_t threads, const TBandFn& fn) {
    if (FInUse.test_and_set(std::memory_order_acquire)) return false;
    struct TRelease {
      std::atomic_flag& flag;
      ~TRelease() { flag.clear(std::memory_order_release); }
    } release{FInUse};
    StartHelpers(threads - 1);
    const int64_t bands = (int64_t(end) - begin + grain - 1) / grain;
    if (FHelpers.empty()) {
      RunInOrder(begin, end, grain, fn);
      return true;
    }
    FBegin = begin;
    FEnd = end;
    FGrain = grain;
    FFn = &fn;
    FDone.store(0, std::memory_order_relaxed);
    FAllowed.store(std::min<int32_t>(threads - 1, int32_t(FHelpers.size())), std::memory_order_relaxed);
    const uint64_t generation = (FLimit.load(std::memory_order_relaxed) >> 32) + 1;
    FLimit.store(generation << 32 | uint64_t(bands), std::memory_order_release);
    FNext.store(generation << 32, std::memory_order_release);
    FJobs.fetch_add(1, std::memory_order_release);
    FJobs.notify_all();
    try {
      RunBands();
    } catch (...) {
      Drain();
      WaitForAll(uint32_t(bands));
      throw;
    }
    WaitForAll(uint32_t(bands));
    std::exception_ptr error;
    {
      std::lock_guard<std::mutex> lock(FErrorMutex);
      error.swap(FError);
    }
    if (error) std::rethrow_exception(error);
    return true;
  }

  static void RunInOrder(int32_t begin, int32_t end, int32_t grain, const TBandFn& fn) {
    for (int64_t first = begin; first < end; first += grain)
      fn(int32_t(first), int32_t(std::min<int64_t>(end, first + grain)));
  }

private:
  bool Claim(uint32_t& band) {
    uint64_t next = FNext.load(std::memory_order_acquire);
    for (;;) {
      const uint64_t limit = FLimit.load(std::memory_order_acquire);
      if ((limit >> 32) != (next >> 32) || uint32_t(next) >= uint32_t(limit)) return false;
      if (FNext.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel, std::memory_order_acquire)) {
        band = uint32_t(next);
        return true;
      }
    }
  }

  void Finished() {
    const uint32_t bands = uint32_t(FLimit.load(std::memory_order_relaxed));
    if (FDone.fetch_add(1) + 1 == bands && FCallerWaits.load()) FDone.notify_one();
  }

  void RunBand(uint32_t band) {
    const int64_t first = FBegin + int64_t(band) * FGrain;
    (*FFn)(int32_t(first), int32_t(std::min<int64_t>(FEnd, first + FGrain)));
  }

  void RunBands() {
    uint32_t band = 0;
    while (Claim(band)) {
      try {
        RunBand(band);
      } catch (...) {
        Finished();
        throw;
      }
      Finished();
    }
  }

  // Claims every band left without running it.
  void Drain() {
    uint32_t band = 0;
    while (Claim(band)) Finished();
  }

  void WaitForAll(uint32_t bands) {
    for (int spins = 0;; ++spins) {
      if (FDone.load(std::memory_order_acquire) == bands) return;
      if (spins < kCallerSpins) {
        Pause();
        continue;
      }
      FCallerWaits.store(true);
      const uint32_t done = FDone.load();
      if (done != bands) FDone.wait(done);
      FCallerWaits.store(false);
    }
  }

  void HelperLoop(int32_t index) {
    tOnHelper = true;
    for (;;) {
      const uint32_t jobs = FJobs.load(std::memory_order_acquire);
      if (FStop.load()) return;
      if (index < FAllowed.load(std::memory_order_relaxed)) {
        uint32_t band = 0;
        while (Claim(band)) {
          try {
            RunBand(band);
          } catch (...) {
            {
              std::lock_guard<std::mutex> lock(FErrorMutex);
              if (!FError) FError = std::current_exception();
            }
            Finished();
            Drain();
            break;
          }
          Finished();
        }
      }
      for (int spins = 0; FJobs.load(std::memory_order_acquire) == jobs; ++spins) {
        if (spins < kHelperSpins)
          Pause();
        else
          FJobs.wait(jobs);
      }
    }
  }

  void StartHelpers(int32_t wanted) {
    while (!FStartFailed && int32_t(FHelpers.size()) < wanted) {
      try {
        const int32_t index = int32_t(FHelpers.size());
        FHelpers.emplace_back([this, index] { HelperLoop(index); });
      } catch (const std::system_error&) {
        FStartFailed = true;
      }
    }
  }

  std::atomic_flag FInUse = ATOMIC_FLAG_INIT;
  std::atomic<uint64_t> FNext{0};  // generation << 32 | next band to hand out
  std::atomic<uint64_t> FLimit{0}; // generation << 32 | bands of the job
  std::atomic<uint32_t> FDone{0};  // bands of the current job that have run
  std::atomic<uint32_t> FJobs{0};  // jobs published; the helpers sleep on it
  std::atomic<int32_t> FAllowed{0}; // helpers (by index) that take part in the current job
  std::atomic<bool> FCallerWaits{false};
  std::atomic<bool> FStop{false};
  int32_t FBegin = 0, FEnd = 0, FGrain = 1;
  const TBandFn* FFn = nullptr;
  std::mutex FErrorMutex;
  std::exception_ptr FError;
  std::vector<std::thread> FHelpers;
  bool FStartFailed = false;
};

TRowPool& Pool() {
  static TRowPool pool;
  return pool;
}

} // namespace

int32_t RowThreads() {
  const int32_t configured = ConfiguredThreads();
  if (configured > 0) return configured;
  return std::min(kMaxThreads, AllowedProcessors());
}

bool OnRowHelper() { return tOnHelper; }

void ForEachRowBand(int32_t rowBegin, int32_t rowEnd, TBandFn fn, int32_t grain) {
  if (rowEnd <= rowBegin) return;
  const int64_t rows = int64_t(rowEnd) - rowBegin;
  const int32_t threads = RowThreads();
  if (grain <= 0) grain = int32_t(std::max<int64_t>(1, rows / (int64_t(threads) * 8)));
  if (threads <= 1 || rows <= grain || !Pool().TryRun(rowBegin, rowEnd, grain, threads, fn))
    TRowPool::RunInOrder(rowBegin, rowEnd, grain, fn);
}

} // namespace platform
