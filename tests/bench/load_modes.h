// SPDX-License-Identifier: GPL-3.0-or-later
// How a measurement shares the machine, set for the duration of one benchmark:
//   threads1      MORPHANE_THREADS=1, the calling thread alone (the yardstick of the others);
//   quiet         as many threads as the processors allow;
//   oneProcessor  the calling thread limited to its first allowed processor, as under taskset;
//   otherBusy     a thread of this program that never sleeps, pinned to the second processor.
#pragma once

#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

namespace bench {

enum class TLoad { Threads1, Quiet, OneProcessor, OtherBusy };

inline const char* LoadName(TLoad load) {
  switch (load) {
  case TLoad::Threads1: return "threads1";
  case TLoad::Quiet: return "quiet";
  case TLoad::OneProcessor: return "oneProcessor";
  case TLoad::OtherBusy: return "otherBusy";
  }
  return "";
}

class TLoadScope {
public:
  explicit TLoadScope(TLoad load) {
    if (const char* v = std::getenv("MORPHANE_THREADS")) FThreads = v;
    sched_getaffinity(0, sizeof FAffinity, &FAffinity);
    if (load == TLoad::Threads1)
      setenv("MORPHANE_THREADS", "1", 1);
    else
      unsetenv("MORPHANE_THREADS");
    if (load == TLoad::OneProcessor) {
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(Allowed(0), &one);
      sched_setaffinity(0, sizeof one, &one);
    }
    if (load == TLoad::OtherBusy) {
      const int cpu = Allowed(1);
      FBusy = std::thread([this, cpu] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        sched_setaffinity(0, sizeof one, &one);
        unsigned long n = 0;
        while (!FStop.load(std::memory_order_relaxed)) n = n * 3 + 1;
        FSink = n;
      });
    }
  }
  ~TLoadScope() {
    FStop = true;
    if (FBusy.joinable()) FBusy.join();
    sched_setaffinity(0, sizeof FAffinity, &FAffinity);
    if (FThreads)
      setenv("MORPHANE_THREADS", FThreads->c_str(), 1);
    else
      unsetenv("MORPHANE_THREADS");
  }
  TLoadScope(const TLoadScope&) = delete;
  TLoadScope& operator=(const TLoadScope&) = delete;

private:
  // The n-th allowed processor (the last one when there are fewer).
  int Allowed(int n) const {
    int found = -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
      if (CPU_ISSET(cpu, &FAffinity)) {
        found = cpu;
        if (n-- == 0) break;
      }
    return found < 0 ? 0 : found;
  }

  std::optional<std::string> FThreads;
  cpu_set_t FAffinity{};
  std::thread FBusy;
  std::atomic<bool> FStop{false};
  volatile unsigned long FSink = 0;
};

} // namespace bench
