// SPDX-License-Identifier: GPL-3.0-or-later
#include "Quantizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace imaging {
namespace {

// The histogram keeps 5 bits of each channel; each cell remembers the mean of its pixels.
constexpr int kCellBits = 5;
constexpr int kCells = 1 << (3 * kCellBits);
constexpr int kKMeansRounds = 3;

struct TCell {
  uint32_t count = 0;
  uint64_t sum[3] = {0, 0, 0};
};

// A used cell: its mean colour and pixel count.
struct TColour {
  float c[3];
  uint32_t count;
};

struct TBox {
  size_t begin, end; // cells [begin, end) of the list
  double error;      // pixel count x squared range of the widest channel
  int channel;       // the widest channel
};

TBox MakeBox(const std::vector<TColour>& cells, size_t begin, size_t end) {
  float lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
  uint64_t count = 0;
  for (size_t i = begin; i < end; ++i) {
    for (int c = 0; c < 3; ++c) {
      lo[c] = std::min(lo[c], cells[i].c[c]);
      hi[c] = std::max(hi[c], cells[i].c[c]);
    }
    count += cells[i].count;
  }
  int widest = 0;
  for (int c = 1; c < 3; ++c)
    if (hi[c] - lo[c] > hi[widest] - lo[widest]) widest = c;
  const double range = hi[widest] - lo[widest];
  // A box of one cell cannot be split.
  return TBox{begin, end, end - begin > 1 ? double(count) * range * range : -1, widest};
}

float Distance(const float* a, const float* b) {
  const float d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
  return d0 * d0 + d1 * d1 + d2 * d2;
}

int Nearest(const std::vector<std::array<float, 3>>& palette, const float* colour) {
  int best = 0;
  float bestDistance = std::numeric_limits<float>::max();
  for (size_t i = 0; i < palette.size(); ++i) {
    const float d = Distance(palette[i].data(), colour);
    if (d < bestDistance) bestDistance = d, best = int(i);
  }
  return best;
}

std::vector<std::array<float, 3>> MedianCut(std::vector<TColour>& cells, int32_t maxColours) {
  std::vector<TBox> boxes{MakeBox(cells, 0, cells.size())};
  while (int32_t(boxes.size()) < maxColours) {
    const auto worst = std::max_element(boxes.begin(), boxes.end(),
                                        [](const TBox& a, const TBox& b) { return a.error < b.error; });
    if (worst->error <= 0) break;
    const TBox box = *worst;
    const int c = box.channel;
    std::sort(cells.begin() + std::ptrdiff_t(box.begin), cells.begin() + std::ptrdiff_t(box.end),
              [c](const TColour& a, const TColour& b) { return a.c[c] < b.c[c]; });
    // Split where half of the box's pixels lie on either side, leaving both halves non-empty.
    uint64_t total = 0, run = 0;
    for (size_t i = box.begin; i < box.end; ++i) total += cells[i].count;
    size_t split = box.begin + 1;
    for (size_t i = box.begin; i + 1 < box.end; ++i) {
      run += cells[i].count;
      split = i + 1;
      if (2 * run >= total) break;
    }
    *worst = MakeBox(cells, box.begin, split);
    boxes.push_back(MakeBox(cells, split, box.end));
  }
  std::vector<std::array<float, 3>> palette;
  for (const TBox& b : boxes) {
    double sum[3] = {0, 0, 0}, count = 0;
    for (size_t i = b.begin; i < b.end; ++i) {
      for (int c = 0; c < 3; ++c) sum[c] += double(cells[i].c[c]) * cells[i].count;
      count += cells[i].count;
    }
    palette.push_back({float(sum[0] / count), float(sum[1] / count), float(sum[2] / count)});
  }
  return palette;
}

// Moves every palette colour to the mean of the cells nearest to it.
void RefineKMeans(const std::vector<TColour>& cells, std::vector<std::array<float, 3>>& palette) {
  for (int round = 0; round < kKMeansRounds; ++round) {
    std::vector<std::array<double, 4>> sums(palette.size(), {0, 0, 0, 0});
    for (const TColour& cell : cells) {
      auto& s = sums[size_t(Nearest(palette, cell.c))];
      for (int c = 0; c < 3; ++c) s[size_t(c)] += double(cell.c[c]) * cell.count;
      s[3] += cell.count;
    }
    for (size_t i = 0; i < palette.size(); ++i)
      if (sums[i][3] > 0)
        for (int c = 0; c < 3; ++c) palette[i][size_t(c)] = float(sums[i][size_t(c)] / sums[i][3]);
  }
}

} // namespace

void QuantizeFrame(const uint8_t* rgb, int32_t width, int32_t height, int32_t maxColours, TIndexedFrame& out) {
  const size_t pixels = size_t(width) * size_t(height);
  std::vector<TCell> histogram(static_cast<size_t>(kCells));
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* p = rgb + 3 * i;
    TCell& cell = histogram[size_t((p[0] >> 3) << 10 | (p[1] >> 3) << 5 | (p[2] >> 3))];
    ++cell.count;
    for (int c = 0; c < 3; ++c) cell.sum[c] += p[c];
  }
  std::vector<TColour> cells;
  for (const TCell& cell : histogram)
    if (cell.count > 0)
      cells.push_back(TColour{{float(double(cell.sum[0]) / cell.count), float(double(cell.sum[1]) / cell.count),
                               float(double(cell.sum[2]) / cell.count)},
                              cell.count});
  std::vector<std::array<float, 3>> palette = MedianCut(cells, std::clamp(maxColours, 2, 256));
  RefineKMeans(cells, palette);

  out.Width = width;
  out.Height = height;
  out.Colours = int32_t(palette.size());
  out.Palette.resize(palette.size() * 3);
  for (size_t i = 0; i < palette.size(); ++i)
    for (int c = 0; c < 3; ++c)
      out.Palette[3 * i + size_t(c)] = uint8_t(std::clamp(std::lround(palette[i][size_t(c)]), 0L, 255L));
  std::vector<std::array<float, 3>> used(palette.size());
  for (size_t i = 0; i < palette.size(); ++i)
    for (int c = 0; c < 3; ++c) used[i][size_t(c)] = out.Palette[3 * i + size_t(c)];

  // The nearest colour of every 6-bit-per-channel cell, found when first needed.
  constexpr int kLookupBits = 6;
  std::vector<int16_t> lookup(size_t(1) << (3 * kLookupBits), -1);
  const auto nearest = [&](const int* colour) {
    const size_t key = size_t(colour[0] >> 2) << 12 | size_t(colour[1] >> 2) << 6 | size_t(colour[2] >> 2);
    if (lookup[key] < 0) {
      const float centre[3] = {float((colour[0] & ~3) + 1.5f), float((colour[1] & ~3) + 1.5f),
                               float((colour[2] & ~3) + 1.5f)};
      lookup[key] = int16_t(Nearest(used, centre));
    }
    return lookup[key];
  };

  // Errors in 1/16 of a level, for this row and the next, with a column of room on each side.
  out.Index.resize(pixels);
  std::vector<int> error(size_t(width + 2) * 3 * 2, 0);
  int* thisRow = error.data();
  int* nextRow = error.data() + size_t(width + 2) * 3;
  for (int32_t y = 0; y < height; ++y) {
    const bool forward = y % 2 == 0;
    std::fill(nextRow, nextRow + size_t(width + 2) * 3, 0);
    for (int32_t n = 0; n < width; ++n) {
      const int32_t x = forward ? n : width - 1 - n;
      const int step = forward ? 1 : -1;
      const uint8_t* p = rgb + (size_t(y) * size_t(width) + size_t(x)) * 3;
      int* e = thisRow + size_t(x + 1) * 3;
      int colour[3];
      for (int c = 0; c < 3; ++c) colour[c] = std::clamp(p[c] + (e[c] + 8) / 16, 0, 255);
      const int index = nearest(colour);
      out.Index[size_t(y) * size_t(width) + size_t(x)] = uint8_t(index);
      int* below = nextRow + size_t(x + 1) * 3;
      for (int c = 0; c < 3; ++c) {
        const int d = colour[c] - out.Palette[size_t(index) * 3 + size_t(c)];
        e[3 * step + c] += d * 7;
        below[-3 * step + c] += d * 3;
        below[c] += d * 5;
        below[3 * step + c] += d;
      }
    }
    std::swap(thisRow, nextRow);
  }
}

double FramePsnr(const uint8_t* rgb, const TIndexedFrame& frame) {
  const size_t pixels = size_t(frame.Width) * size_t(frame.Height);
  double squares = 0;
  for (size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < 3; ++c) {
      const double d = double(rgb[3 * i + size_t(c)]) - frame.Palette[size_t(frame.Index[i]) * 3 + size_t(c)];
      squares += d * d;
    }
  if (squares == 0) return std::numeric_limits<double>::infinity();
  return 10 * std::log10(255.0 * 255.0 / (squares / double(3 * pixels)));
}

} // namespace imaging
