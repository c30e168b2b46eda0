// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures stored turned or mirrored (the eight orientations of EXIF and TIFF) written upright
// into a record, row by row as a decoder delivers them.
#pragma once

#include "decoder.h"

#include <atomic>
#include <memory>

namespace velbrik {

// Orientation values as EXIF and TIFF define them: where the stored picture's first row and
// first column are shown. 1 is upright; 5 to 8 swap width and height.
constexpr int kUpright = 1;
inline bool ValidOrientation(int orientation) { return orientation >= 1 && orientation <= 8; }
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

class UprightWriter {
public:
  UprightWriter() = default;
  UprightWriter(const UprightWriter&) = delete;
  UprightWriter& operator=(const UprightWriter&) = delete;
  ~UprightWriter();

  // Creates `dib` (1, 4, 8 or 24 bits) of the upright size for a picture stored
  // storedWidth x storedHeight; an invalid orientation counts as upright. False with a German
  // message when the record cannot be made.
  bool create(TDib& dib, int64_t storedWidth, int64_t storedHeight, int bitCount, int orientation,
              std::string& error);
  // Where stored row y (counted from the top of the stored picture) is written: its pixels
  // left to right in the record's layout (blue, green, red; or packed indexes).
  uint8_t* row(int32_t y);
  // Called once row y is complete; rows come in order 0, 1, 2, ...
  void commit(int32_t y);

  // Stored rows whose pixels are in their final place in the record; may be read on another
  // thread while rows are still coming, which then sees those pixels written.
  int32_t placedRows() const { return placed_.load(std::memory_order_acquire); }
  // 24 bits: calls fn(pixels, count) for every run of record pixels that the placed stored
  // rows first..end-1 became (their rows, or for orientations 5 to 8 a run of columns in every
  // record row).
  template <class Fn> void forEachRun(int32_t first, int32_t end, Fn fn) const;

private:
  void mirror(uint8_t* line) const;
  void transposeBand(int32_t firstRow, int32_t rows);

  TDib* dib_ = nullptr;
  int32_t width_ = 0, height_ = 0; // stored
  int bits_ = 24;
  int orientation_ = kUpright;
  size_t rowBytes_ = 0;
  int32_t bandRows_ = 0;
  std::unique_ptr<uint8_t[]> band_; // stored rows waiting to be turned (orientations 5 to 8)
  std::atomic<int32_t> placed_{0};
};

template <class Fn> void UprightWriter::forEachRun(int32_t first, int32_t end, Fn fn) const {
  if (first >= end) return;
  if (!SwapsSides(orientation_)) {
    const bool bottomFirst = orientation_ == 3 || orientation_ == 4;
    for (int32_t y = first; y < end; ++y) fn(DibRowFromTop(*dib_, bottomFirst ? height_ - 1 - y : y), width_);
    return;
  }
  const bool columnsFromRight = orientation_ == 6 || orientation_ == 7;
  const int32_t column = columnsFromRight ? height_ - end : first;
  for (int32_t r = 0; r < width_; ++r) fn(DibRowFromTop(*dib_, r) + 3 * size_t(column), end - first);
}

} // namespace velbrik
