// A second thread for the brush steps: it runs one part of a step while the calling thread runs
// another, so that a big brush uses both cores of a small machine. The thread is started on the
// first use and waits between steps.
#pragma once

#include <condition_variable>
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
  // finished. Without a thread (it could not be started) runs `other` and then `own` here.
  void RunBeside(const std::function<void()>& other, const std::function<void()>& own);

private:
  void Loop();

  std::thread FThread;
  bool FStarted = false;
  bool FFailed = false;
  std::mutex FMutex;
  std::condition_variable FWake, FDoneSignal;
  const std::function<void()>* FJob = nullptr;
  bool FDone = false;
  bool FStop = false;
};

} // namespace warp
