// SPDX-License-Identifier: GPL-3.0-or-later
#include "AreaScale.h"

#include <algorithm>

namespace imaging {
namespace {

// For each target index t of n targets over m sources (n <= m): the sources it covers and how
// much of each, in 1/n of a source pixel. Target t covers [t * m, (t + 1) * m) in those units,
// source s covers [s * n, (s + 1) * n); the weights of a target add up to m.
struct TSpan {
  int32_t first = 0;
  std::vector<int64_t> weight;
};

std::vector<TSpan> Spans(int32_t n, int32_t m) {
  std::vector<TSpan> spans(static_cast<size_t>(n));
  for (int32_t t = 0; t < n; ++t) {
    const int64_t begin = int64_t(t) * m, end = int64_t(t + 1) * m;
    TSpan& s = spans[size_t(t)];
    s.first = int32_t(begin / n);
    for (int64_t src = s.first; src * n < end; ++src)
      s.weight.push_back(std::min(end, (src + 1) * n) - std::max(begin, src * n));
  }
  return spans;
}

} // namespace

void FitLongerSide(int32_t w, int32_t h, int32_t longerSide, int32_t& width, int32_t& height) {
  width = w;
  height = h;
  if (longerSide <= 0 || std::max(w, h) <= longerSide) return;
  if (w >= h) {
    width = longerSide;
    height = int32_t(std::max<int64_t>(1, (int64_t(h) * longerSide + w / 2) / w));
  } else {
    height = longerSide;
    width = int32_t(std::max<int64_t>(1, (int64_t(w) * longerSide + h / 2) / h));
  }
}

void AreaScaleToRgb(const TDib& picture, int32_t width, int32_t height, std::vector<uint8_t>& rgb) {
  const int32_t w = DibWidth(picture), h = DibHeight(picture);
  rgb.assign(size_t(width) * size_t(height) * 3, 0);
  // Row r from the top of the picture, its pixels blue, green, red.
  const auto row = [&](int32_t fromTop) { return picture.Bits + int64_t(h - 1 - fromTop) * picture.BytesPerLine; };
  if (width == w && height == h) {
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* p = row(y);
      uint8_t* q = rgb.data() + size_t(y) * size_t(w) * 3;
      for (int32_t x = 0; x < w; ++x, p += 3, q += 3) q[0] = p[2], q[1] = p[1], q[2] = p[0];
    }
    return;
  }
  const std::vector<TSpan> across = Spans(width, w), down = Spans(height, h);
  const int64_t total = int64_t(w) * h; // the weights of one target pixel add up to this
  std::vector<int64_t> sums(size_t(width) * 3);
  for (int32_t y = 0; y < height; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    const TSpan& vertical = down[size_t(y)];
    for (size_t k = 0; k < vertical.weight.size(); ++k) {
      const uint8_t* p = row(vertical.first + int32_t(k));
      for (int32_t x = 0; x < width; ++x) {
        const TSpan& horizontal = across[size_t(x)];
        int64_t s[3] = {0, 0, 0};
        const uint8_t* q = p + int64_t(horizontal.first) * 3;
        for (size_t i = 0; i < horizontal.weight.size(); ++i, q += 3)
          for (int c = 0; c < 3; ++c) s[c] += q[2 - c] * horizontal.weight[i];
        for (int c = 0; c < 3; ++c) sums[size_t(x) * 3 + size_t(c)] += s[c] * vertical.weight[k];
      }
    }
    uint8_t* out = rgb.data() + size_t(y) * size_t(width) * 3;
    for (size_t i = 0; i < sums.size(); ++i) out[i] = uint8_t((sums[i] + total / 2) / total);
  }
}

} // namespace imaging
