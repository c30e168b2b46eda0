// The second thread of big brush steps: both parts run, at the same time, and every time.
#include "Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace warp;

namespace {

TEST(Worker, RunsBothPartsOnTwoThreadsStepAfterStep) {
  TWorker worker;
  const std::thread::id caller = std::this_thread::get_id();
  for (int step = 0; step < 2000; ++step) {
    int a = 0, b = 0;
    std::thread::id other;
    worker.RunBeside([&] { a = step + 1, other = std::this_thread::get_id(); }, [&] { b = step + 2; });
    ASSERT_EQ(a, step + 1);
    ASSERT_EQ(b, step + 2);
    if (std::thread::hardware_concurrency() != 1) {
      ASSERT_NE(other, caller);
    }
    // Now and then a pause long enough for the thread to fall asleep before the next step.
    if (step % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST(Worker, BothPartsOverlapInTime) {
  // The caller's part waits until the worker's part has started: run one after the other, own
  // part first, this would never end.
  TWorker worker;
  std::atomic<bool> started{false};
  bool sawIt = false;
  worker.RunBeside([&] { started = true; },
                   [&] {
                     for (int n = 0; n < 2000000000 && !started; ++n) std::this_thread::yield();
                     sawIt = started;
                   });
  EXPECT_TRUE(sawIt);
}

TEST(Worker, AThrowingOwnPartStillWaitsForTheOther) {
  TWorker worker;
  std::atomic<bool> done{false};
  EXPECT_THROW(worker.RunBeside(
                   [&] {
                     std::this_thread::sleep_for(std::chrono::milliseconds(30));
                     done = true;
                   },
                   [] { throw std::runtime_error("own part failed"); }),
               std::runtime_error);
  EXPECT_TRUE(done);
}

} // namespace
