// SPDX-License-Identifier: GPL-3.0-or-later
// What the decoders of today's photo formats (HEIF, AVIF, WebP, JPEG XL) and the JPEG decoder
// share: pictures above the pixel limit opened reduced, samples of any depth and alpha turned
// into blue, green, red bytes over white.
#pragma once

#include "decoder.h"
#include "upright.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velbrik {

// Largest picture opened at all: larger ones than kMaxPixels are opened reduced to within it.
// Holds the phones' 200-megapixel photos (16320 x 12240) with room to spare.
constexpr uint64_t kMaxSourcePixels = kMaxPixels / 2 * 5;

// Checks a picture's stored size against kMaxSide and kMaxSourcePixels; false with a German
// message (naming the format) when refused.
bool CheckSourceSize(int64_t width, int64_t height, const char* format, std::string& error);

// The largest size of the same proportions within kMaxPixels (at least 1 x 1); the size itself
// when it is within already.
void ReducedSize(int64_t width, int64_t height, int32_t& reducedWidth, int32_t& reducedHeight);

// Notes in a created record that the picture was opened reduced from width x height (upright).
void MarkReduced(TDib& dib, int64_t width, int64_t height);

// Averages rows of blue, green, red bytes, given in order, into the boxes of a smaller picture,
// which it writes in order through an UprightWriter. Holds one row of sums of the target.
class RowReducer {
public:
  // False with a German message when its row of sums cannot be allocated.
  bool start(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height, UprightWriter& out,
             std::string& error);
  // Source row y (rows come as 0, 1, 2, ...).
  void add(int32_t y, const uint8_t* bgr);

private:
  void flush();
  UprightWriter* out_ = nullptr;
  int32_t sourceWidth_ = 0, sourceHeight_ = 0, width_ = 0, height_ = 0;
  int32_t target_ = 0; // the target row being summed
  uint32_t rowsIn_ = 0;
  std::unique_ptr<uint32_t[]> sums_;
  std::unique_ptr<int32_t[]> column_; // target column of each source column
  std::unique_ptr<uint32_t[]> count_; // source columns in each target column
};

// A decoded picture in memory, rows from the top: `channels` 1 (grey), 2 (grey, alpha), 3 (red,
// green, blue) or 4 (and alpha); `bits` 8 for bytes, 9 to 16 for 16-bit words holding that many significant bits.
struct DecodedRows {
  const uint8_t* pixels = nullptr;
  size_t stride = 0; // bytes from one row to the next
  int32_t width = 0, height = 0;
  int channels = 3;
  int bits = 8;
};

// Writes a decoded picture into `out` (24 bits), alpha composed over white, turned upright as
// `orientation` says and reduced to within kMaxPixels when it is larger (MarkReduced then
// notes its size). False with a German message when the record cannot be made.
bool WritePicture(const DecodedRows& rows, int orientation, TDib& out, Progress& progress, std::string& error);

// Samples to blue, green, red: `channels` as in DecodedRows, alpha composed over white.
// 8-bit samples, or 16-bit words holding `bits` significant bits rounded to 8.
void SamplesToBgr(const uint8_t* rgb, int channels, uint8_t* bgr, int32_t pixels);
void WideSamplesToBgr(const uint16_t* rgb, int channels, int bits, uint8_t* bgr, int32_t pixels);

} // namespace velbrik
