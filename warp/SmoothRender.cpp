#include "SmoothRender.h"

#include <algorithm>
#include <cstdlib>
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

// One row's worth of a running sum over rows, kept for the kBox rows it still has to take out.
struct TRows {
  int32_t cols = 0;
  std::vector<int32_t> ring; // kBox rows of cols values
  std::vector<int32_t> sum;  // the sum of the rows in the ring
  explicit TRows(int32_t n) : cols(n), ring(size_t(kBox) * size_t(n), 0), sum(size_t(n), 0) {}
  // Adds `row` as the k-th row and drops the one kBox rows before it.
  void Push(int64_t k, const int32_t* row) {
    int32_t* old = ring.data() + (k % kBox) * cols;
    int32_t* s = sum.data();
    for (int32_t i = 0; i < cols; ++i) {
      s[i] += row[i] - old[i];
      old[i] = row[i];
    }
  }
};

// out[i] = tent-weighted sum of in[i .. i + 2 * kBox - 2] for i = 0 .. n - 1, through `box`
// (n + kBox - 1 values of scratch).
void TentRow(const int32_t* in, int32_t n, int32_t* box, int32_t* out) {
  int32_t s = 0;
  for (int32_t a = 0; a < kBox; ++a) s += in[a];
  box[0] = s;
  for (int32_t i = 1; i < n + kBox - 1; ++i) box[i] = s += in[i + kBox - 1] - in[i - 1];
  s = 0;
  for (int32_t a = 0; a < kBox; ++a) s += box[a];
  out[0] = s;
  for (int32_t i = 1; i < n; ++i) out[i] = s += box[i + kBox - 1] - box[i - 1];
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

// Columns left .. left + count - 1 of result row r: positions from the tent sums of the
// displacement (sumX[i], sumY[i] for column left + i), bilinear samples. `Full`: the whole
// displacement (scale 65536), which needs no multiplication.
template <bool Full>
void SampleRow(const TDib& source, const TDib& result, int32_t r, int32_t left, int32_t count, const int32_t* sumX,
               const int32_t* sumY, int32_t scale) {
  const int32_t width = DibWidth(source), height = DibHeight(source);
  const int32_t maxX = (width - 1) << kFractionBits, maxY = (height - 1) << kFractionBits;
  const uint8_t* src = source.Bits;
  const int64_t line = source.BytesPerLine;
  // The vector mix reads 8 bytes from each of its two rows.
  const uint8_t* const lastSafe = src + line * height - 8;
  uint8_t* dst = result.Bits + int64_t(r) * result.BytesPerLine + int64_t(left) * 3;
  constexpr int shift = kWeightBits + kScaleBits - kFractionBits;
  const auto offset = [scale](int32_t sum) {
    // Shifting rounds down (towards minus infinity), the same way on both sides of zero.
    if constexpr (Full) return sum >> (kWeightBits - kFractionBits);
    else return int32_t((int64_t(sum) * scale) >> shift);
  };
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i half = _mm_set1_epi32(1 << (2 * kFractionBits - 1));
#endif
  for (int32_t i = 0; i < count; ++i, dst += 3) {
    const int32_t px = std::clamp(((left + i) << kFractionBits) + offset(sumX[i]), 0, maxX);
    const int32_t py = std::clamp((r << kFractionBits) + offset(sumY[i]), 0, maxY);
    const int32_t x0 = px >> kFractionBits, y0 = py >> kFractionBits;
    const int32_t fx = px & (kOne - 1), fy = py & (kOne - 1);
    // A weight of 0 never reads past the last column or row.
    const uint8_t* p00 = src + y0 * line + int64_t(x0) * 3;
    const uint8_t* p01 = p00 + (fy ? line : 0);
#if defined(__SSE2__)
    if (p00 <= lastSafe && p01 <= lastSafe) {
      // Both rows' pixel pairs as 16-bit lanes [b g r b' g' r' . .], mixed vertically, then the
      // left and right pixel of each channel side by side and mixed horizontally.
      const __m128i lower = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p00)), zero);
      const __m128i upper = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p01)), zero);
      const __m128i v = _mm_add_epi16(_mm_mullo_epi16(lower, _mm_set1_epi16(int16_t(kOne - fy))),
                                      _mm_mullo_epi16(upper, _mm_set1_epi16(int16_t(fy))));
      const __m128i pairs = _mm_unpacklo_epi16(v, _mm_srli_si128(v, 6));
      const __m128i mixed = _mm_madd_epi16(pairs, _mm_set1_epi32(int32_t(uint32_t(fx) << 16 | uint32_t(kOne - fx))));
      const __m128i bytes = _mm_srli_epi32(_mm_add_epi32(mixed, half), 2 * kFractionBits);
      const uint32_t bgr = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(bytes, zero), zero)));
      dst[0] = uint8_t(bgr);
      dst[1] = uint8_t(bgr >> 8);
      dst[2] = uint8_t(bgr >> 16);
      continue;
    }
#endif
    const uint8_t* p10 = p00 + (fx ? 3 : 0);
    MixScalar(p00, p10, p01, p01 + (fx ? 3 : 0), fx, fy, dst);
  }
}

// Renders the columns span(r) = [left, right] of every row r of `area` (an empty span when
// left > right); the displacement sums are formed over the whole width of the area.
template <class TSpan>
void RenderRows(const TDib& source, const TMaskEntry* mask, const TDib& result, const TPictureRect& area,
                int32_t scale, const TSpan& span) {
  if (area.Empty()) return;
  const int32_t width = DibWidth(source), height = DibHeight(source);
  constexpr int32_t m = kSmoothMargin;
  const int32_t count = area.Right - area.Left + 1;
  const int32_t cols = count + 2 * m; // the displacement is read this far left and right
  const size_t n = static_cast<size_t>(cols);
  std::vector<int32_t> dx(n), dy(n);
  TRows boxX(cols), boxY(cols), tentX(cols), tentY(cols);
  std::vector<int32_t> scratch(static_cast<size_t>(count + kBox - 1)), sumX(static_cast<size_t>(count)),
      sumY(static_cast<size_t>(count));
  // Column i of the sums is picture column x0 + i; outside the picture the displacement of the
  // edge column counts.
  const int32_t x0 = area.Left - m;
  const int32_t first = std::max(0, -x0), last = std::min(cols - 1, width - 1 - x0);
  // Displacement row k is picture row area.Bottom - m + k (clamped into the picture). Once rows
  // 0..k have gone through both running sums, the tent is centred on displacement row k - m,
  // which is result row area.Bottom + k - 2m.
  const int32_t rows = area.Top - area.Bottom + 1;
  for (int64_t k = 0; k < int64_t(rows) + 2 * m; ++k) {
    const int32_t yy = std::clamp(int32_t(area.Bottom - m + k), 0, height - 1);
    const TMaskEntry* row = mask + int64_t(yy) * width;
    for (int32_t i = first; i <= last; ++i) {
      dx[size_t(i)] = row[x0 + i].X - (x0 + i);
      dy[size_t(i)] = row[x0 + i].Y - yy;
    }
    std::fill(dx.begin(), dx.begin() + first, dx[size_t(first)]);
    std::fill(dy.begin(), dy.begin() + first, dy[size_t(first)]);
    std::fill(dx.begin() + last + 1, dx.end(), dx[size_t(last)]);
    std::fill(dy.begin() + last + 1, dy.end(), dy[size_t(last)]);
    boxX.Push(k, dx.data());
    boxY.Push(k, dy.data());
    tentX.Push(k, boxX.sum.data());
    tentY.Push(k, boxY.sum.data());
    if (k < 2 * m) continue;
    const int32_t r = area.Bottom + int32_t(k) - 2 * m;
    int32_t left = area.Left, right = area.Right;
    span(r, left, right);
    left = std::max(left, area.Left);
    right = std::min(right, area.Right);
    if (left > right) continue;
    const int32_t skip = left - area.Left, take = right - left + 1;
    TentRow(tentX.sum.data() + skip, take, scratch.data(), sumX.data());
    TentRow(tentY.sum.data() + skip, take, scratch.data(), sumY.data());
    if (scale == kFullDisplacement) SampleRow<true>(source, result, r, left, take, sumX.data(), sumY.data(), scale);
    else SampleRow<false>(source, result, r, left, take, sumX.data(), sumY.data(), scale);
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
