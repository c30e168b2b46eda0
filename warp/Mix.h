// SPDX-License-Identifier: GPL-3.0-or-later
// The tools' fixed mixes of a coordinate v with its home: trunc(v * P + home * Q) in extended
// precision, P = Num / Den and Q = 1 - P given as the extended constants nearest to them
// (0.9 and 0.1, 0.8 and 0.2, 0.95 and 0.05), computed without the floating-point unit.
//
// Let A = v * P and B = home * Q as rounded, S = A + B as rounded, N = Num * v + (Den - Num) * home.
// For coordinates below 2^21, S lies within 2^-37 of N / Den. So unless Den divides N, trunc(S)
// is the integer quotient N div Den. If it does, q = N / Den is a whole number and S is q or just
// below it: S reaches q exactly when A + B >= q - (half the spacing of extended values just below
// q), as q is even there and a tie rounds to it. Scaled by Den * 2^68 that reads
// errP[v] + errQ[home] >= -Den * 2^(e + 4), e the exponent of the values just below q, with
// errP[v] = (Den * A - Num * v) * 2^68 and errQ[home] = (Den * B - (Den - Num) * home) * 2^68,
// both whole numbers (A and B are multiples of 2^-68) and far inside 64 bits; they are tabled.
#pragma once

#include "Arith.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace warp {

__extension__ using TInt128 = __int128; // exact products of 64-bit significands

template <int32_t Num, int32_t Den>
class TMix {
  // Both weights at least 1/32, so that the products of coordinates from 1 on are multiples of
  // 2^-68; Den small, so that a quotient that is not whole lies far from one.
  static_assert(0 < Num && Num < Den && Den <= 64 && 32 * Num >= Den && 32 * (Den - Num) >= Den);

public:
  // Largest coordinate count the tables are built for.
  static constexpr int32_t kMaxSize = 1 << 21;

  TMix(Extended p, Extended q) : FP(p), FQ(q) {}

  // Tables for v and home in 0..size-1 (size at most kMaxSize); kept once built.
  void Reserve(int32_t size) {
    if (FBroken || size <= int32_t(FErrP.size()) || size > kMaxSize) return;
    const int32_t from = int32_t(FErrP.size());
    FErrP.resize(size_t(size));
    FErrQ.resize(size_t(size));
    for (int32_t n = from; n < size; ++n) {
      const bool ok = Error(Extended(n) * FP, int64_t(Num) * n, FErrP[size_t(n)]) &&
                      Error(Extended(n) * FQ, int64_t(Den - Num) * n, FErrQ[size_t(n)]);
      if (!ok) {
        // Constants that are not the decimal fractions named: no shortcut, every mix in full.
        FBroken = true;
        FErrP.clear();
        FErrQ.clear();
        return;
      }
    }
  }

  WARP_INLINE int32_t operator()(int32_t v, int32_t home) const {
    const uint32_t size = uint32_t(FErrP.size());
    if (uint32_t(v) < size && uint32_t(home) < size) {
      const uint32_t n = uint32_t(Num * v + (Den - Num) * home);
      const uint32_t q = n / Den;
      if (n != q * Den) return int32_t(q);
      const int64_t limit = int64_t(Den) << (std::bit_width(q - 1) + 3);
      return int32_t(FErrP[size_t(v)] + FErrQ[size_t(home)] >= -limit ? q : q - 1);
    }
    return Trunc(Extended(v) * FP + Extended(home) * FQ);
  }

private:
  // (Den * product - whole) * 2^68 for a product below 2^22; false unless it is a whole number
  // as small as the rounding of a product can make it.
  static bool Error(Extended product, int64_t whole, int64_t& error) {
    const Extended scaledProduct = std::ldexp(product, 68);
    if (!(std::fabs(scaledProduct) < 0x1p90L) || scaledProduct != std::trunc(scaledProduct)) return false;
    const TInt128 e = TInt128(Den) * static_cast<TInt128>(scaledProduct) - (TInt128(whole) << 68);
    constexpr TInt128 kLimit = TInt128(1) << 40;
    if (e > kLimit || e < -kLimit) return false;
    error = int64_t(e);
    return true;
  }

  Extended FP, FQ;
  bool FBroken = false;
  std::vector<int64_t> FErrP, FErrQ;
};

} // namespace warp
