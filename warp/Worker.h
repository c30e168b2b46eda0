// A second thread for the brush steps: it runs one part of a step while the calling thread runs
// another, so that a big brush uses both cores of a small machine. The thread is started on the
// first use. Between steps it keeps polling for a while (the steps of a stroke come in quick
// succession, and waking a sleeping thread, on a virtual machine above all, costs a good part of
// a step), then sleeps until the next one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace warp {

class TWorker {
public:
  TWorker() = default;
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;
  ~TWorker();

  // Runs `other` on the worker thread and `own` on the calling one and returns when both have
  // finished. Without a thread (a single processor, or it could not be started) runs `other` and
  // then `own` here.
  // Not to be called from two threads at once.
  void RunBeside(const std::function<void()>& other, const std::function<void()>& own);

private:
  void Loop();

  std::thread FThread;
  bool FStarted = false;
  bool FFailed = false;
  const std::function<void()>* FJob = nullptr; // published by FPosted
  std::atomic<uint64_t> FPosted{0};             // jobs handed to the thread
  std::atomic<uint64_t> FFinished{0};           // jobs it has finished
  std::atomic<bool> FSleeping{false};
  std::atomic<bool> FStop{false};
  std::mutex FMutex;
  std::condition_variable FWake;
};

} // namespace warp
