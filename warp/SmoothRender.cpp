// SPDX-License-Identifier: GPL-3.0-or-later
#include "SmoothRender.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace warp {
namespace {

// The tent of width 2 * kBox - 1 is a box of kBox values applied twice, each as a running sum.
constexpr int32_t kBox = 8;
static_assert(kSmoothMargin == kBox - 1);
// Total tent weight 4096 = 2^12; positions carry 7 fraction bits (a pixel's two rows mixed in
// 16-bit lanes stay below 2^15); the scale 16.
constexpr int kWeightBits = 12, kFractionBits = 7, kScaleBits = 16;
constexpr int32_t kOne = 1 << kFractionBits;
// Values a vector loop may read or write past the end of its row (a vector is 4 values).
constexpr int32_t kSlack = 8;

// At least n values of v: the buffers of a thread's renders are kept from one to the next.
int32_t* Reserve(std::vector<int32_t>& v, size_t n) {
  if (v.size() < n) v.resize(n);
  return v.data();
}

// The two running sums over rows (a box of kBox rows, then a box of those boxes: the tent) of
// the displacement, X and Y interleaved per column, each kept with the kBox rows it still has to
// take out. `values` counts int32 values: two per column. The rings are read only once they
// have been written: the first kBox rows take nothing out.
class TVerticalTent {
public:
  TVerticalTent(int32_t columns, std::vector<int32_t>& storage) : FValues(2 * columns) {
    const size_t n = size_t(FValues), ring = size_t(kBox) * n;
    int32_t* base = Reserve(storage, 2 * ring + 2 * n + kSlack);
    FBoxRing = base;
    FTentRing = base + ring;
    FBox = base + 2 * ring;
    FTent = FBox + n;
    std::fill(FBox, FTent + n + kSlack, 0);
  }
  // The tent sums of the last row pushed, 2 * columns values and kSlack more.
  const int32_t* Sums() const { return FTent; }
  // Adds displacement row k and drops row k - kBox from the box, the box sum of row k and the
  // one kBox rows before it from the tent.
  void Push(int64_t k, const int32_t* __restrict row) {
    if (k < kBox) Push<true>(k, row);
    else Push<false>(k, row);
  }

private:
  template <bool Filling>
  void Push(int64_t k, const int32_t* __restrict row) {
    const size_t slot = size_t(k % kBox) * size_t(FValues);
    int32_t* __restrict boxOld = FBoxRing + slot;
    int32_t* __restrict box = FBox;
    int32_t* __restrict tentOld = FTentRing + slot;
    int32_t* __restrict tent = FTent;
    for (int32_t i = 0; i < FValues; ++i) {
      const int32_t b = box[i] + row[i] - (Filling ? 0 : boxOld[i]);
      boxOld[i] = row[i];
      box[i] = b;
      tent[i] += b - (Filling ? 0 : tentOld[i]);
      tentOld[i] = b;
    }
  }

  int32_t FValues;
  int32_t *FBoxRing, *FTentRing, *FBox, *FTent;
};

// A thread's buffers for the rows it renders.
struct TRowBuffers {
  std::vector<int32_t> tent, displacement, tentScratch, sums, samples;
};
thread_local TRowBuffers tBuffers;

// Box sums of kBox neighbouring columns by doubling (widths 2, 4, 8): out[k] = in[k] + in[k +
// 2] + ... + in[k + 2 (kBox - 1)] for k < 2n (X and Y interleaved, so a column is two values
// on). `in` holds 2 (n + kBox - 1) + kSlack values; `pairs`, `fours` and `out` as many.
void BoxSums(const int32_t* in, int32_t n, int32_t* pairs, int32_t* fours, int32_t* out) {
  static_assert(kBox == 8);
  const int32_t total = 2 * (n + kBox - 1);
#if defined(__SSE2__)
  const auto sum = [](const int32_t* from, int32_t reach, int32_t count, int32_t* to) {
    for (int32_t k = 0; k < count; k += 4)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k),
                       _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)),
                                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k + reach))));
  };
#else
  const auto sum = [](const int32_t* from, int32_t reach, int32_t count, int32_t* to) {
    for (int32_t k = 0; k < count; ++k) to[k] = from[k] + from[k + reach];
  };
#endif
  sum(in, 2, total - 2, pairs);
  sum(pairs, 4, total - 6, fours);
  sum(fours, 8, 2 * n, out);
}

// out[2i], out[2i+1] = tent-weighted sums of the X and Y values in[2(i .. i + 2 * kBox - 2)]
// (+1) for i = 0 .. n - 1: the box of kBox columns applied twice. `in` holds 2 (n + 2 kBox - 2)
// + kSlack values, `out` 2n + kSlack, `scratch` 3 (2 (n + 2 kBox) + kSlack).
void TentRow(const int32_t* in, int32_t n, int32_t* scratch, int32_t* out) {
  const int32_t size = 2 * (n + 2 * kBox) + kSlack;
  int32_t* box = scratch;
  int32_t* pairs = scratch + size;
  int32_t* fours = scratch + 2 * size;
  BoxSums(in, n + kBox - 1, pairs, fours, box);
  BoxSums(box, n, pairs, fours, out);
}

// The bilinear mix of the pixel at p00, its right neighbour p10, the one above p01 and their
// neighbour p11, weights fx, fy in 1/kOne; exact copies for fx = fy = 0.
inline void MixScalar(const uint8_t* p00, const uint8_t* p10, const uint8_t* p01, const uint8_t* p11, int32_t fx,
                      int32_t fy, uint8_t* dst) {
  constexpr int32_t half = 1 << (2 * kFractionBits - 1);
  for (int c = 0; c < 3; ++c) {
    const int32_t lower = p00[c] * (kOne - fx) + p10[c] * fx;
    const int32_t upper = p01[c] * (kOne - fx) + p11[c] * fx;
    dst[c] = uint8_t((lower * (kOne - fy) + upper * fy + half) >> (2 * kFractionBits));
  }
}

// The sub-pixel positions of columns left .. left + count - 1 of result row r from their tent
// sums, clamped into the picture, as the whole pixel (cells[2i], cells[2i+1]: column and row)
// and the bilinear weights of the pixel after it, packed as f << 16 | (kOne - f) in 1/kOne
// (weights[2i]: across, weights[2i+1]: up), the pairs the 16-bit multiply-adds take.
template <bool Full>
void Positions(const int32_t* __restrict sums, int32_t left, int32_t r, int32_t count, int32_t maxX, int32_t maxY,
               int32_t scale, int32_t* __restrict cells, int32_t* __restrict weights) {
  constexpr int shift = kWeightBits + kScaleBits - kFractionBits;
  const auto offset = [scale](int32_t sum) {
    // Shifting rounds down (towards minus infinity), the same way on both sides of zero.
    if constexpr (Full) return sum >> (kWeightBits - kFractionBits);
    else return int32_t((int64_t(sum) * scale) >> shift);
  };
  int32_t i = 0;
#if defined(__SSE2__)
  if constexpr (Full) {
    // Two columns at a time: [x, y, x + 1, y] in one vector.
    __m128i base = _mm_setr_epi32(left << kFractionBits, r << kFractionBits, (left + 1) << kFractionBits,
                                  r << kFractionBits);
    const __m128i step = _mm_setr_epi32(2 << kFractionBits, 0, 2 << kFractionBits, 0);
    const __m128i limit = _mm_setr_epi32(maxX, maxY, maxX, maxY);
    const __m128i fraction = _mm_set1_epi32(kOne - 1), one = _mm_set1_epi32(kOne);
    for (; i + 1 < count; i += 2, base = _mm_add_epi32(base, step)) {
      const __m128i sum = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + 2 * i));
      __m128i p = _mm_add_epi32(_mm_srai_epi32(sum, kWeightBits - kFractionBits), base);
      p = _mm_andnot_si128(_mm_srai_epi32(p, 31), p); // below 0: 0
      const __m128i over = _mm_cmpgt_epi32(p, limit);
      p = _mm_or_si128(_mm_and_si128(over, limit), _mm_andnot_si128(over, p));
      const __m128i f = _mm_and_si128(p, fraction);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + 2 * i), _mm_srli_epi32(p, kFractionBits));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(weights + 2 * i),
                       _mm_or_si128(_mm_slli_epi32(f, 16), _mm_sub_epi32(one, f)));
    }
  }
#endif
  for (; i < count; ++i) {
    const int32_t px = std::clamp(((left + i) << kFractionBits) + offset(sums[2 * i]), 0, maxX);
    const int32_t py = std::clamp((r << kFractionBits) + offset(sums[2 * i + 1]), 0, maxY);
    const int32_t fx = px & (kOne - 1), fy = py & (kOne - 1);
    cells[2 * i] = px >> kFractionBits;
    cells[2 * i + 1] = py >> kFractionBits;
    weights[2 * i] = fx << 16 | (kOne - fx);
    weights[2 * i + 1] = fy << 16 | (kOne - fy);
  }
}

// Columns left .. left + count - 1 of result row r: positions from the tent sums of the
// displacement (sums[2i], sums[2i+1]: X and Y for column left + i), bilinear samples. `Full`:
// the whole displacement (scale 65536), which needs no multiplication. `scratch` holds 4 *
// count values.
template <bool Full>
void SampleRow(const TDib& source, const TDib& result, int32_t r, int32_t left, int32_t count, const int32_t* sums,
               int32_t scale, int32_t* scratch) {
  const int32_t width = DibWidth(source), height = DibHeight(source);
  const int32_t maxX = (width - 1) << kFractionBits, maxY = (height - 1) << kFractionBits;
  const uint8_t* src = source.Bits;
  const int64_t line = source.BytesPerLine;
  // The vector mix reads 8 bytes from each of its two rows.
  const uint8_t* const lastSafe = src + line * height - 8;
  uint8_t* dst = result.Bits + int64_t(r) * result.BytesPerLine + int64_t(left) * 3;
  int32_t* const cells = scratch;
  int32_t* const weights = scratch + 2 * int64_t(count);
  Positions<Full>(sums, left, r, count, maxX, maxY, scale, cells, weights);
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i half = _mm_set1_epi32(1 << (2 * kFractionBits - 1));
#endif
  // Pixel i as blue | green << 8 | red << 16 (the top byte is undefined).
  const auto sample = [&](int32_t i) -> uint32_t {
    const int32_t across = weights[2 * i], up = weights[2 * i + 1];
    const int32_t fy = up >> 16;
    // A weight of 0 never reads past the last column or row.
    const uint8_t* p00 = src + cells[2 * i + 1] * line + int64_t(cells[2 * i]) * 3;
    const uint8_t* p01 = p00 + (fy ? line : 0);
#if defined(__SSE2__)
    if (p01 <= lastSafe) {
      // Both rows' pixel pairs as 16-bit lanes [b g r b' g' r' . .], mixed vertically (each
      // lane of the lower row beside the same lane of the upper one), then the left and right
      // pixel of each channel side by side and mixed horizontally.
      const __m128i lower = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p00)), zero);
      const __m128i upper = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p01)), zero);
      const __m128i w = _mm_set1_epi32(up);
      const __m128i v = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(lower, upper), w),
                                        _mm_madd_epi16(_mm_unpackhi_epi16(lower, upper), w));
      const __m128i pairs = _mm_unpacklo_epi16(v, _mm_srli_si128(v, 6));
      const __m128i mixed = _mm_madd_epi16(pairs, _mm_set1_epi32(across));
      const __m128i bytes = _mm_srli_epi32(_mm_add_epi32(mixed, half), 2 * kFractionBits);
      return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(bytes, zero), zero)));
    }
#endif
    const int32_t fx = across >> 16;
    const uint8_t* p10 = p00 + (fx ? 3 : 0);
    uint8_t mixed[3];
    MixScalar(p00, p10, p01, p01 + (fx ? 3 : 0), fx, fy, mixed);
    return uint32_t(mixed[0]) | uint32_t(mixed[1]) << 8 | uint32_t(mixed[2]) << 16;
  };
  // Four bytes at a time: the fourth is the next pixel's first, written right after. The last
  // pixel gets three, so that the row's padding and the next row stay untouched.
  for (int32_t i = 0; i + 1 < count; ++i, dst += 3) {
    const uint32_t bgr = sample(i);
    std::memcpy(dst, &bgr, 4);
  }
  if (count > 0) {
    const uint32_t bgr = sample(count - 1);
    dst[0] = uint8_t(bgr);
    dst[1] = uint8_t(bgr >> 8);
    dst[2] = uint8_t(bgr >> 16);
  }
}

// Renders the columns span(r) = [left, right] of every row r of `area` (an empty span when
// left > right); the displacement sums are formed over the columns that some row's span needs.
template <class TSpan>
void RenderRows(const TDib& source, const TMaskEntry* mask, const TDib& result, TPictureRect area, int32_t scale,
                const TSpan& span) {
  if (area.Empty()) return;
  const auto spanOf = [&](int32_t r, int32_t& left, int32_t& right) {
    left = area.Left, right = area.Right;
    span(r, left, right);
    left = std::max(left, area.Left);
    right = std::min(right, area.Right);
  };
  {
    int32_t lo = area.Right + 1, hi = area.Left - 1;
    for (int32_t r = area.Bottom; r <= area.Top; ++r) {
      int32_t left = 0, right = 0;
      spanOf(r, left, right);
      if (left <= right) lo = std::min(lo, left), hi = std::max(hi, right);
    }
    if (lo > hi) return;
    area.Left = lo, area.Right = hi;
  }
  const int32_t width = DibWidth(source), height = DibHeight(source);
  constexpr int32_t m = kSmoothMargin;
  const int32_t count = area.Right - area.Left + 1;
  const int32_t cols = count + 2 * m; // the displacement is read this far left and right
  TRowBuffers& buffers = tBuffers;
  int32_t* const d = Reserve(buffers.displacement, size_t(2) * size_t(cols));
  int32_t* const tentScratch = Reserve(buffers.tentScratch, size_t(3) * size_t(2 * (count + 2 * kBox) + kSlack));
  int32_t* const sums = Reserve(buffers.sums, size_t(2) * size_t(count) + kSlack);
  int32_t* const samples = Reserve(buffers.samples, size_t(4) * size_t(count));
  TVerticalTent tent(cols, buffers.tent);
  // Column i of the sums is picture column x0 + i; outside the picture the displacement of the
  // edge column counts.
  const int32_t x0 = area.Left - m;
  const int32_t first = std::max(0, -x0), last = std::min(cols - 1, width - 1 - x0);
  // Displacement row k is picture row area.Bottom - m + k (clamped into the picture). Once rows
  // 0..k have gone through both running sums, the tent is centred on displacement row k - m,
  // which is result row area.Bottom + k - 2m.
  const int32_t rows = area.Top - area.Bottom + 1;
  // Displacement rows that were all zero, counted back from the last one. After 2m + 1 of them
  // the tent sums are all zero (a result row that is the source row itself), and a further zero
  // row leaves both running sums as they are: the rings hold nothing but zeros.
  int64_t zeroRows = 0;
  constexpr int64_t kTentRows = 2 * m + 1;
  for (int64_t k = 0; k < int64_t(rows) + 2 * m; ++k) {
    const int32_t yy = std::clamp(int32_t(area.Bottom - m + k), 0, height - 1);
    // The row's entries as X, Y pairs of int32.
    const int32_t* __restrict entries = &mask[int64_t(yy) * width].X;
    int32_t* __restrict out = d;
    int32_t any = 0;
    for (int32_t i = first; i <= last; ++i) {
      out[2 * i] = entries[2 * (x0 + i)] - (x0 + i);
      out[2 * i + 1] = entries[2 * (x0 + i) + 1] - yy;
      any |= out[2 * i] | out[2 * i + 1];
    }
    for (int32_t i = 0; i < first; ++i) out[2 * i] = out[2 * first], out[2 * i + 1] = out[2 * first + 1];
    for (int32_t i = last + 1; i < cols; ++i) out[2 * i] = out[2 * last], out[2 * i + 1] = out[2 * last + 1];
    if (any != 0 || zeroRows < kTentRows) tent.Push(k, out);
    zeroRows = any != 0 ? 0 : zeroRows + 1;
    if (k < 2 * m) continue;
    const int32_t r = area.Bottom + int32_t(k) - 2 * m;
    int32_t left = 0, right = 0;
    spanOf(r, left, right);
    if (left > right) continue;
    const int32_t skip = left - area.Left, take = right - left + 1;
    if (zeroRows >= kTentRows) {
      std::memcpy(result.Bits + int64_t(r) * result.BytesPerLine + int64_t(left) * 3,
                  source.Bits + int64_t(r) * source.BytesPerLine + int64_t(left) * 3, size_t(take) * 3);
      continue;
    }
    TentRow(tent.Sums() + 2 * skip, take, tentScratch, sums);
    if (scale == kFullDisplacement) SampleRow<true>(source, result, r, left, take, sums, scale, samples);
    else SampleRow<false>(source, result, r, left, take, sums, scale, samples);
  }
}

} // namespace

TPictureRect SmoothReach(const TPictureRect& area, int32_t width, int32_t height) {
  if (area.Empty()) return area;
  return TPictureRect{std::max(area.Left - kSmoothMargin, 0), std::max(area.Bottom - kSmoothMargin, 0),
                      std::min(area.Right + kSmoothMargin, width - 1), std::min(area.Top + kSmoothMargin, height - 1)};
}

void RenderAreaSmooth(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area,
                      int32_t scale) {
  RenderRows(source, mask, result, area, scale, [](int32_t, int32_t&, int32_t&) {});
}

void RenderDiscSmooth(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area,
                      int32_t x, int32_t y, int32_t c, const int32_t* isqrt) {
  RenderRows(source, mask, result, area, kFullDisplacement, [&](int32_t r, int32_t& left, int32_t& right) {
    // The circle's widest row within the margin's reach of row r.
    const int32_t b = std::max(std::abs(r - y) - kSmoothMargin, 0);
    if (b > c) {
      left = 1, right = 0;
      return;
    }
    const int32_t half = isqrt[c * c - b * b] + kSmoothMargin;
    left = x - half;
    right = x + half;
  });
}

} // namespace warp
