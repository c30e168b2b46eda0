// SPDX-License-Identifier: GPL-3.0-or-later
#include "upright.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velbrik {
namespace {

// Stored rows held for turning: at most 64 rows and at most this many bytes (at least one row).
constexpr size_t kBandBytes = 8u << 20;
constexpr int32_t kMaxBandRows = 64;
// Columns turned together, so that the band's rows stay in the cache while they are read.
constexpr int32_t kBlockColumns = 16;

unsigned getIndex(const uint8_t* line, int64_t x, int bits) {
  const int64_t bit = x * bits;
  return (line[bit >> 3] >> (8 - bits - (bit & 7))) & ((1u << bits) - 1u);
}

void setIndex(uint8_t* line, int64_t x, int bits, unsigned index) {
  const int64_t bit = x * bits;
  const int shift = 8 - bits - int(bit & 7);
  const unsigned mask = ((1u << bits) - 1u) << shift;
  line[bit >> 3] = uint8_t((line[bit >> 3] & ~mask) | ((index << shift) & mask));
}

void copyPixel(const uint8_t* from, int64_t fromX, uint8_t* to, int64_t toX, int bits) {
  if (bits == 24) std::memcpy(to + 3 * toX, from + 3 * fromX, 3);
  else if (bits == 8) to[toX] = from[fromX];
  else setIndex(to, toX, bits, getIndex(from, fromX, bits));
}

} // namespace

UprightWriter::~UprightWriter() = default;

bool UprightWriter::create(TDib& dib, int64_t storedWidth, int64_t storedHeight, int bitCount,
                           int orientation, std::string& error) {
  orientation_ = ValidOrientation(orientation) ? orientation : kUpright;
  const bool swap = SwapsSides(orientation_);
  if (!CheckDimensions(storedWidth, storedHeight, bitCount, error)) return false;
  width_ = int32_t(storedWidth);
  height_ = int32_t(storedHeight);
  bits_ = bitCount;
  rowBytes_ = (size_t(width_) * size_t(bits_) + 7) / 8;
  if (!CreateDib(dib, swap ? height_ : width_, swap ? width_ : height_, bitCount, error)) return false;
  dib_ = &dib;
  if (swap) {
    bandRows_ = int32_t(std::clamp<size_t>(kBandBytes / rowBytes_, 1, size_t(kMaxBandRows)));
    bandRows_ = std::min(bandRows_, height_);
    band_.reset(new (std::nothrow) uint8_t[rowBytes_ * size_t(bandRows_)]());
    if (!band_) {
      error = "Nicht genug Speicher, um das Bild aufzurichten.";
      return false;
    }
  }
  return true;
}

uint8_t* UprightWriter::row(int32_t y) {
  if (band_) return band_.get() + size_t(y % bandRows_) * rowBytes_;
  const bool bottomFirst = orientation_ == 3 || orientation_ == 4;
  return DibRowFromTop(*dib_, bottomFirst ? height_ - 1 - y : y);
}

void UprightWriter::commit(int32_t y) {
  if (band_) {
    if ((y + 1) % bandRows_ == 0 || y == height_ - 1) {
      transposeBand(y - y % bandRows_, y % bandRows_ + 1);
      placed_.store(y + 1, std::memory_order_release);
    }
    return;
  }
  if (orientation_ == 2 || orientation_ == 3) mirror(row(y));
  placed_.store(y + 1, std::memory_order_release);
}

void UprightWriter::mirror(uint8_t* line) const {
  if (bits_ == 24) {
    for (int32_t l = 0, r = width_ - 1; l < r; ++l, --r) std::swap_ranges(line + 3 * l, line + 3 * l + 3, line + 3 * r);
  } else if (bits_ == 8) {
    std::reverse(line, line + width_);
  } else {
    for (int32_t l = 0, r = width_ - 1; l < r; ++l, --r) {
      const unsigned left = getIndex(line, l, bits_);
      setIndex(line, l, bits_, getIndex(line, r, bits_));
      setIndex(line, r, bits_, left);
    }
  }
}

// Stored pixel (x, y) is shown at column y (from the right for 6 and 7) of row x (from the
// bottom for 7 and 8): the stored rows become the record's columns.
void UprightWriter::transposeBand(int32_t firstRow, int32_t rows) {
  const bool columnsFromRight = orientation_ == 6 || orientation_ == 7;
  const bool rowsFromBottom = orientation_ == 7 || orientation_ == 8;
  for (int32_t x0 = 0; x0 < width_; x0 += kBlockColumns) {
    const int32_t x1 = std::min(width_, x0 + kBlockColumns);
    for (int32_t x = x0; x < x1; ++x) {
      uint8_t* target = DibRowFromTop(*dib_, rowsFromBottom ? width_ - 1 - x : x);
      for (int32_t j = 0; j < rows; ++j) {
        const int32_t y = firstRow + j;
        copyPixel(band_.get() + size_t(j) * rowBytes_, x, target, columnsFromRight ? height_ - 1 - y : y, bits_);
      }
    }
  }
}

} // namespace velbrik
