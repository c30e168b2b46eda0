#include "Worker.h"

#include <system_error>

namespace warp {

TWorker::~TWorker() {
  if (!FStarted) return;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FStop = true;
  }
  FWake.notify_one();
  FThread.join();
}

void TWorker::RunBeside(const std::function<void()>& other, const std::function<void()>& own) {
  if (!FStarted && !FFailed) {
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
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FJob = &other;
    FDone = false;
  }
  FWake.notify_one();
  own();
  std::unique_lock<std::mutex> lock(FMutex);
  FDoneSignal.wait(lock, [this] { return FDone; });
}

void TWorker::Loop() {
  std::unique_lock<std::mutex> lock(FMutex);
  for (;;) {
    FWake.wait(lock, [this] { return FStop || FJob != nullptr; });
    if (FStop) return;
    const std::function<void()>* job = FJob;
    FJob = nullptr;
    lock.unlock();
    (*job)();
    lock.lock();
    FDone = true;
    FDoneSignal.notify_one();
  }
}

} // namespace warp
