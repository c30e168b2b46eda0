// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures stored turned or mirrored (the eight orientations of EXIF and TIFF) written upright
// into a record, row by row as a decoder delivers them.
#pragma once

#include "decoder.h"

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
};

} // namespace velbrik
