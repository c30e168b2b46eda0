#include "SmoothRender.h"

#include <algorithm>
#include <vector>

namespace warp {
namespace {

// The tent of width 2 * kBox - 1 is a box of kBox values applied twice, each as a running sum.
constexpr int32_t kBox = 8;
static_assert(kSmoothMargin == kBox - 1);
// Total tent weight 4096 = 2^12; positions carry 8 fraction bits; the scale 16.
constexpr int kWeightBits = 12, kFractionBits = 8, kScaleBits = 16;
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

// One result row: positions from the tent sums of the displacement, bilinear samples.
void SampleRow(const TDib& source, const TDib& result, int32_t r, int32_t left, int32_t count, const int32_t* sumX,
               const int32_t* sumY, int32_t scale) {
  const int32_t width = DibWidth(source), height = DibHeight(source);
  const int64_t maxX = int64_t(width - 1) << kFractionBits, maxY = int64_t(height - 1) << kFractionBits;
  const uint8_t* src = source.Bits;
  const int64_t line = source.BytesPerLine;
  uint8_t* dst = result.Bits + int64_t(r) * result.BytesPerLine + int64_t(left) * 3;
  const int64_t baseY = int64_t(r) << kFractionBits;
  constexpr int shift = kWeightBits + kScaleBits - kFractionBits;
  for (int32_t i = 0; i < count; ++i, dst += 3) {
    // Shifting rounds down (towards minus infinity), the same way on both sides of zero.
    const int64_t px = std::clamp(((int64_t(left + i) << kFractionBits) + ((int64_t(sumX[i]) * scale) >> shift)),
                                  int64_t(0), maxX);
    const int64_t py = std::clamp(baseY + ((int64_t(sumY[i]) * scale) >> shift), int64_t(0), maxY);
    const int32_t x0 = int32_t(px >> kFractionBits), y0 = int32_t(py >> kFractionBits);
    const int32_t fx = int32_t(px & (kOne - 1)), fy = int32_t(py & (kOne - 1));
    const uint8_t* p00 = src + y0 * line + int64_t(x0) * 3;
    if (fx == 0 && fy == 0) {
      dst[0] = p00[0];
      dst[1] = p00[1];
      dst[2] = p00[2];
      continue;
    }
    // A weight of 0 never reads past the last column or row.
    const uint8_t* p10 = fx ? p00 + 3 : p00;
    const uint8_t* p01 = fy ? p00 + line : p00;
    const uint8_t* p11 = fx ? p01 + 3 : p01;
    for (int c = 0; c < 3; ++c) {
      const int32_t lower = p00[c] * (kOne - fx) + p10[c] * fx;
      const int32_t upper = p01[c] * (kOne - fx) + p11[c] * fx;
      dst[c] = uint8_t((lower * (kOne - fy) + upper * fy + (1 << (2 * kFractionBits - 1))) >> (2 * kFractionBits));
    }
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
  // Displacement row k is picture row area.Bottom - m + k (clamped into the picture). Once rows
  // 0..k have gone through both running sums, the tent is centred on displacement row k - m,
  // which is result row area.Bottom + k - 2m.
  const int32_t rows = area.Top - area.Bottom + 1;
  for (int64_t k = 0; k < int64_t(rows) + 2 * m; ++k) {
    const int32_t yy = std::clamp(int32_t(area.Bottom - m + k), 0, height - 1);
    const TMaskEntry* row = mask + int64_t(yy) * width;
    for (int32_t i = 0; i < cols; ++i) {
      const int32_t xx = std::clamp(area.Left - m + i, 0, width - 1);
      dx[size_t(i)] = row[xx].X - xx;
      dy[size_t(i)] = row[xx].Y - yy;
    }
    boxX.Push(k, dx.data());
    boxY.Push(k, dy.data());
    tentX.Push(k, boxX.sum.data());
    tentY.Push(k, boxY.sum.data());
    if (k < 2 * m) continue;
    TentRow(tentX.sum.data(), count, scratch.data(), sumX.data());
    TentRow(tentY.sum.data(), count, scratch.data(), sumY.data());
    SampleRow(source, result, area.Bottom + int32_t(k) - 2 * m, area.Left, count, sumX.data(), sumY.data(), scale);
  }
}

} // namespace warp
