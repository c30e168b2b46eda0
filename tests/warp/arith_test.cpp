// SPDX-License-Identifier: GPL-3.0-or-later
// The conversions every step relies on, against the language's own conversion of extended values.
#include "Arith.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace warp;

namespace {

TEST(Arith, TruncIsTheLanguagesTruncation) {
  std::mt19937_64 rng(3);
  // The language's conversion is defined inside the range only; beyond it Trunc saturates.
  const auto check = [](Extended v) {
    if (v >= 2147483648.0L) {
      ASSERT_EQ(Trunc(v), std::numeric_limits<int32_t>::max()) << double(v);
    } else if (v <= -2147483649.0L) {
      ASSERT_EQ(Trunc(v), std::numeric_limits<int32_t>::min()) << double(v);
    } else {
      ASSERT_EQ(Trunc(v), static_cast<int32_t>(v)) << double(v);
    }
  };
  // Whole numbers and their closest neighbours in extended precision, where a detour through
  // double would round onto the whole number.
  for (int64_t n : {0LL, 1LL, 2LL, 5LL, 1000LL, 4095LL, 65536LL, 1LL << 30, 2147483647LL, -1LL, -7LL, -2147483647LL,
                    -2147483648LL}) {
    Extended w = Extended(n);
    for (int k = 0; k < 40; ++k) {
      check(w);
      check(-w);
      w = std::nextafter(w, Extended(n) + 1);
    }
    w = Extended(n);
    for (int k = 0; k < 40; ++k) {
      check(w);
      w = std::nextafter(w, Extended(n) - 1);
    }
  }
  // Halves and random values of every size in range.
  for (int n = 0; n < 200000; ++n) {
    const Extended v = std::ldexp(Extended(int64_t(rng() >> 1)) / Extended(1ULL << 62), int(rng() % 32)) *
                       ((rng() & 1) ? -1 : 1);
    check(v);
    check(std::floor(v) + 0.5L);
  }
  // Out of range and NaN saturate instead of being undefined.
  EXPECT_EQ(Trunc(2147483648.0L), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Trunc(std::nextafter(2147483648.0L, 0.0L)), 2147483647);
  EXPECT_EQ(Trunc(-2147483649.0L), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Trunc(std::nextafter(-2147483649.0L, 0.0L)), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Trunc(std::numeric_limits<Extended>::infinity()), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(Trunc(-std::numeric_limits<Extended>::infinity()), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(Trunc(std::numeric_limits<Extended>::quiet_NaN()), 0);
}

TEST(Arith, RoundTakesHalvesToEven) {
  EXPECT_EQ(Round(0.5L), 0);
  EXPECT_EQ(Round(1.5L), 2);
  EXPECT_EQ(Round(2.5L), 2);
  EXPECT_EQ(Round(-2.5L), -2);
  EXPECT_EQ(Round(std::nextafter(2.5L, 3.0L)), 3);
  EXPECT_EQ(Round(std::nextafter(2.5L, 2.0L)), 2);
  std::mt19937_64 rng(4);
  for (int n = 0; n < 100000; ++n) {
    const Extended v = Extended(int64_t(rng() % (1ULL << 40)) - (1LL << 39)) / 1024.0L;
    ASSERT_EQ(Round(v), static_cast<int32_t>(std::nearbyint(v))) << double(v);
  }
}

} // namespace
