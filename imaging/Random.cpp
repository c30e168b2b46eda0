// SPDX-License-Identifier: GPL-3.0-or-later
#include "Random.h"

#include <atomic>
#include <chrono>

namespace {
std::atomic<uint32_t> seed{0};
} // namespace

void Randomize() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  seed = uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

int32_t Random(int32_t n) {
  uint32_t s = seed.load(std::memory_order_relaxed) * 0x08088405u + 1u;
  seed.store(s, std::memory_order_relaxed);
  if (n <= 0) return 0;
  // The high half of seed x n: evenly spread over 0 .. n - 1.
  return int32_t((uint64_t(s) * uint64_t(uint32_t(n))) >> 32);
}

uint32_t RandSeed() { return seed.load(); }
void SetRandSeed(uint32_t s) { seed = s; }
