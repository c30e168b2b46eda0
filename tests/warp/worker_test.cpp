// SPDX-License-Identifier: GPL-3.0-or-later
// Row sharing: every row exactly once, errors back to the caller, helpers asleep when idle, and
// no helper where the caller may use one processor only.
#include "Worker.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace warp;

namespace {

TEST(RowSharing, EveryRowOnceJobAfterJob) {
  // Jobs of many sizes and grains in quick succession, with pauses long enough for the helpers
  // to fall asleep now and then.
  for (int job = 0; job < 3000; ++job) {
    const int32_t begin = job % 7 - 3, rows = job % 97, grain = job % 5;
    std::vector<std::atomic<int>> seen(static_cast<size_t>(rows));
    std::atomic<int> bands{0};
    ForEachRowBand(begin, begin + rows, [&](int32_t first, int32_t end) {
      ASSERT_LE(begin, first);
      ASSERT_LT(first, end);
      ASSERT_LE(end, begin + rows);
      for (int32_t i = first; i < end; ++i) seen[size_t(i - begin)].fetch_add(1);
      bands.fetch_add(1);
    }, grain);
    for (int32_t i = 0; i < rows; ++i) ASSERT_EQ(seen[size_t(i)].load(), 1) << "job " << job << " row " << i;
    if (grain > 0) {
      ASSERT_EQ(bands.load(), (rows + grain - 1) / grain) << "job " << job;
    }
    if (job % 1000 == 999) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST(RowSharing, HelpersTakeBandsAndNestedCallsStayOnTheirThread) {
  if (RowThreads() < 2) GTEST_SKIP() << "one thread only";
  // Bands that take a while, so that a helper wakes up and takes some of them.
  std::atomic<int> onHelpers{0}, nestedElsewhere{0};
  ForEachRowBand(0, 64, [&](int32_t, int32_t) {
    const std::thread::id self = std::this_thread::get_id();
    ForEachRowBand(0, 8, [&](int32_t, int32_t) {
      if (std::this_thread::get_id() != self) nestedElsewhere.fetch_add(1);
    }, 1);
    if (OnRowHelper()) onHelpers.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }, 1);
  EXPECT_GT(onHelpers.load(), 0);
  EXPECT_EQ(nestedElsewhere.load(), 0);
  EXPECT_FALSE(OnRowHelper());
}

TEST(RowSharing, AnErrorReachesTheCallerAfterEveryBegunBandEnded) {
  for (int32_t thrower : {0, 5, 63}) {
    std::atomic<int> running{0}, begun{0};
    bool overlap = false;
    try {
      ForEachRowBand(0, 64, [&](int32_t first, int32_t) {
        running.fetch_add(1);
        begun.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        running.fetch_sub(1);
        if (first == thrower) throw std::runtime_error("band failed");
      }, 1);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error&) {
      overlap = running.load() != 0;
    }
    EXPECT_FALSE(overlap);
    EXPECT_LE(begun.load(), 64);
  }
  // The rows still go round afterwards.
  std::atomic<int> rows{0};
  ForEachRowBand(0, 100, [&](int32_t first, int32_t end) { rows.fetch_add(end - first); }, 3);
  EXPECT_EQ(rows.load(), 100);
}

TEST(RowSharing, IdleHelpersUseNoProcessorTime) {
  ForEachRowBand(0, 1000, [](int32_t, int32_t) {}, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  timespec before{}, after{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
  const double ms = double(after.tv_sec - before.tv_sec) * 1e3 + double(after.tv_nsec - before.tv_nsec) / 1e6;
  EXPECT_LT(ms, 15.0) << "a helper keeps running while there is nothing to do";
}

TEST(RowSharing, OneProcessorMeansTheCallerAlone) {
  if (std::getenv("MORPHANE_THREADS") != nullptr) GTEST_SKIP() << "thread count set from outside";
  cpu_set_t all, one;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  int cpu = 0;
  while (!CPU_ISSET(cpu, &all)) ++cpu;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const int32_t threads = RowThreads();
  std::atomic<int> onHelpers{0};
  ForEachRowBand(0, 200, [&](int32_t, int32_t) {
    if (OnRowHelper()) onHelpers.fetch_add(1);
  }, 1);
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(threads, 1);
  EXPECT_EQ(onHelpers.load(), 0);
  EXPECT_EQ(RowThreads(), CPU_COUNT(&all));
}

} // namespace
