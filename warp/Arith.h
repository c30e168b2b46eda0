// SPDX-License-Identifier: GPL-3.0-or-later
// The number rules of the warp engine: every floating-point expression is evaluated in extended
// precision (64-bit significand, each operation rounded to nearest even), conversions to integers
// truncate towards zero, and "round" means nearest with halves to the even neighbour. Results at
// picture edges depend on this by one pixel, so nothing here may be "simplified" into double.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace warp {

static_assert(std::numeric_limits<long double>::digits == 64,
              "the warp arithmetic needs long double with a 64-bit significand (x86 extended)");
static_assert(std::numeric_limits<long double>::round_style == std::round_to_nearest);

using Extended = long double;

// The tools' inner loops are built from these small helpers; they must be inlined.
#define WARP_INLINE [[gnu::always_inline]] inline

// Truncation towards zero. Values beyond the 32-bit range saturate and NaN gives 0; valid input
// never gets there, but a conversion out of range must not be undefined behaviour.
// The value goes through double, whose conversion to an integer every x86-64 processor has in
// one instruction (the extended one switches the x87 rounding mode twice unless SSE3 is there).
// Rounding to 53 bits can carry a value across a whole number, but only away from zero: rounding
// is monotonic and whole numbers in range are doubles. One comparison takes that back.
WARP_INLINE int32_t Trunc(Extended v) {
  if (v > -2147483649.0L && v < 2147483648.0L) {
    int64_t t = static_cast<int64_t>(static_cast<double>(v));
    if (v >= 0) {
      if (Extended(t) > v) --t;
    } else if (Extended(t) < v) {
      ++t;
    }
    return int32_t(t);
  }
  if (v != v) return 0;
  return v < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
}

// Nearest integer, halves to even. Adding and removing 1.5 * 2^63 leaves exactly the integer
// that the default rounding mode picks (the sum's last bit has weight 1), without the cost of a
// library call; larger magnitudes are already integers or out of range.
WARP_INLINE int32_t Round(Extended v) {
  constexpr Extended kShift = 13835058055282163712.0L; // 1.5 * 2^63
  if (v > -4611686018427387904.0L && v < 4611686018427387904.0L) {
    const Extended r = (v + kShift) - kShift;
    return Trunc(r);
  }
  return Trunc(std::nearbyint(v));
}

// Signed 32-bit result of a wider integer computation, saturated (pointer positions may be any
// integers; products of them with the zoom must not overflow).
inline int32_t Saturate32(int64_t v) {
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return int32_t(v);
}

} // namespace warp
