// SPDX-License-Identifier: GPL-3.0-or-later
// The integer shortcuts of the fast step against the extended-precision expressions they stand
// for: the fixed mixes and the table of sampling offsets.
#include "Mix.h"
#include "SampleOffsets.h"
#include "Tools.h"

#include <gtest/gtest.h>

#include <random>

using namespace warp;

namespace {

template <int32_t Num, int32_t Den>
void ExpectMixExact(Extended p, Extended q, int32_t size) {
  TMix<Num, Den> mix(p, q);
  mix.Reserve(size);
  const auto expected = [&](int32_t v, int32_t home) { return Trunc(Extended(v) * p + Extended(home) * q); };
  // Every pair of a picture a few thousand pixels wide...
  for (int32_t v = 0; v < 2500; ++v)
    for (int32_t home = 0; home < 2500; ++home)
      if (mix(v, home) != expected(v, home)) FAIL() << "v " << v << " home " << home;
  // ...and up to the largest size, weighted to the whole quotients, where truncation may fall
  // one below.
  std::mt19937 rng(uint32_t(Num * 100 + Den));
  for (int n = 0; n < 400000; ++n) {
    const int32_t v = int32_t(rng() % uint32_t(size));
    int32_t home = int32_t(rng() % uint32_t(size));
    if (n % 2 == 0) home -= (Num * v + (Den - Num) * home) % Den; // Den divides the sum
    if (home < 0) continue;
    ASSERT_EQ(mix(v, home), expected(v, home)) << "v " << v << " home " << home;
  }
  // Outside the tables (a mask entry pushed beyond the picture) the expression itself.
  for (const int32_t v : {-1, -10, size, size + 7})
    EXPECT_EQ(mix(v, 5), expected(v, 5)) << "v " << v;
}

TEST(Mix, FixedMixesAreTheExtendedExpression) {
  ExpectMixExact<9, 10>(0.9L, 0.1L, TMix<9, 10>::kMaxSize);
  ExpectMixExact<4, 5>(0.8L, 0.2L, TMix<4, 5>::kMaxSize);
  ExpectMixExact<19, 20>(0.95L, 0.05L, TMix<19, 20>::kMaxSize);
}

TEST(Mix, ConstantsThatAreNotTheFractionsFallBackToTheExpression) {
  TMix<9, 10> odd(0.9L, 0.2L);
  odd.Reserve(3000);
  for (int32_t v = 0; v < 3000; v += 7)
    for (int32_t home = 0; home < 3000; home += 3)
      ASSERT_EQ(odd(v, home), Trunc(Extended(v) * 0.9L + Extended(home) * 0.2L)) << v << " " << home;
}

// Every table entry, with the table's shortcut, gives what round(a * w + centre) gives, for
// centres of both parities up to the largest allowed. Strength 1 and 0.5 make exact halves.
TEST(SampleOffsets, TableGivesTheRoundedSum) {
  const int32_t centres[] = {0, 1, 2, 3, 7, 999, 1000, 4095, (1 << 20) + 1, TSampleOffsets::kMaxSide - 1};
  for (const int32_t tool : {kToolGrow, kToolShrink}) {
    for (const double strength : {0.1, 0.4, 0.5, 1.0, 2.5}) {
      for (const int32_t radius : {1, 4, 17, 300}) {
        std::vector<double> frac, weight;
        std::vector<int32_t> ints;
        BuildSqrtTables(radius, frac, ints);
        for (int32_t u = 0; u <= radius; ++u) weight.push_back(ToolWeight(tool, frac[size_t(u)], strength));
        TSampleOffsets offsets;
        offsets.Prepare(tool, strength, radius, weight, true);
        int inFull = 0;
        for (int32_t u = 0; u <= radius; ++u)
          for (int32_t a = -u; a <= u; ++a) {
            const int32_t o = offsets.Offset(a, u);
            inFull += o == TSampleOffsets::kInFull;
            for (const int32_t centre : centres) {
              const int32_t direct = TSampleOffsets::InFull(a, weight[size_t(u)], centre);
              const int32_t viaTable = o == TSampleOffsets::kInFull ? direct : centre + o;
              ASSERT_EQ(viaTable, direct) << "tool " << tool << " s " << strength << " r " << radius << " u " << u
                                          << " a " << a << " centre " << centre;
            }
          }
        // Halves occur, and they are the only entries left to the full computation.
        if (tool == kToolGrow && strength == 1.0 && radius == 300) {
          EXPECT_GT(inFull, 0);
        }
        EXPECT_LT(inFull, (radius + 1) * (radius + 1) / 20 + 3);
      }
    }
  }
}

TEST(SampleOffsets, PreparesAnewForEachKey) {
  std::vector<double> a(11, 0.5), b(11, 1.5);
  TSampleOffsets offsets;
  offsets.Prepare(kToolGrow, 0.4, 10, a, true);
  EXPECT_EQ(offsets.Offset(6, 10), 3);
  offsets.Prepare(kToolShrink, 0.4, 10, b, true); // another tool: new weights
  EXPECT_EQ(offsets.Offset(6, 10), 9);
  EXPECT_EQ(offsets.Offset(-6, 10), -9);
  offsets.Prepare(kToolShrink, 0.4, 10, b, false); // a picture too large for the table
  EXPECT_EQ(offsets.Offset(6, 10), TSampleOffsets::kInFull);
}

} // namespace
