// SPDX-License-Identifier: GPL-3.0-or-later
#include "photo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace velbrik {
namespace {

// Where MarkReduced keeps the picture's size in the record's library-owned bytes, after the
// record's mark of newdib.
constexpr size_t kReducedAt = 4;

// Composes one 8-bit colour over white with an 8-bit alpha.
inline uint8_t overWhite(unsigned colour, unsigned alpha) {
  return uint8_t((colour * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

} // namespace

bool CheckSourceSize(int64_t width, int64_t height, const char* format, std::string& error) {
  if (width <= 0 || height <= 0) {
    error = std::string("Die ") + format + "-Datei gibt eine unmögliche Bildgröße an (" + std::to_string(width) +
            " x " + std::to_string(height) + " Pixel).";
    return false;
  }
  if (width > kMaxSide || height > kMaxSide || uint64_t(width) * uint64_t(height) > kMaxSourcePixels) {
    error = std::string("Das ") + format + "-Bild ist zu groß: " + std::to_string(width) + " x " +
            std::to_string(height) + " Pixel (geöffnet werden Bilder bis " +
            std::to_string(kMaxSourcePixels / 1000000) + " Megapixel, verkleinert ab " +
            std::to_string(kMaxPixels / 1000000) + " Megapixeln).";
    return false;
  }
  return true;
}

void ReducedSize(int64_t width, int64_t height, int32_t& reducedWidth, int32_t& reducedHeight) {
  if (uint64_t(width) * uint64_t(height) <= kMaxPixels) {
    reducedWidth = int32_t(width);
    reducedHeight = int32_t(height);
    return;
  }
  const double scale = std::sqrt(double(kMaxPixels) / (double(width) * double(height)));
  int64_t w = std::max<int64_t>(1, int64_t(double(width) * scale));
  int64_t h = std::max<int64_t>(1, int64_t(double(height) * scale));
  // Rounding may leave a row or column too many.
  while (uint64_t(w) * uint64_t(h) > kMaxPixels) {
    if (w * height > h * width) --w;
    else --h;
  }
  reducedWidth = int32_t(w);
  reducedHeight = int32_t(h);
}

void MarkReduced(TDib& dib, int64_t width, int64_t height) {
  const int32_t size[2] = {int32_t(width), int32_t(height)};
  std::memcpy(dib.LibReserved3 + kReducedAt, size, sizeof size);
}

bool RowReducer::start(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height, UprightWriter& out,
                       std::string& error) {
  out_ = &out;
  sourceWidth_ = sourceWidth;
  sourceHeight_ = sourceHeight;
  width_ = width;
  height_ = height;
  sums_.reset(new (std::nothrow) uint32_t[size_t(width) * 3]());
  column_.reset(new (std::nothrow) int32_t[size_t(sourceWidth)]);
  count_.reset(new (std::nothrow) uint32_t[size_t(width)]());
  if (!sums_ || !column_ || !count_) {
    error = "Nicht genug Speicher, um das Bild verkleinert zu öffnen.";
    return false;
  }
  for (int32_t x = 0; x < sourceWidth; ++x) {
    column_[size_t(x)] = int32_t(int64_t(x) * width / sourceWidth);
    ++count_[size_t(column_[size_t(x)])];
  }
  return true;
}

void RowReducer::add(int32_t y, const uint8_t* bgr) {
  const int32_t target = int32_t(int64_t(y) * height_ / sourceHeight_);
  if (target != target_) flush();
  target_ = target;
  for (int32_t x = 0; x < sourceWidth_; ++x) {
    uint32_t* s = sums_.get() + size_t(column_[size_t(x)]) * 3;
    s[0] += bgr[3 * x];
    s[1] += bgr[3 * x + 1];
    s[2] += bgr[3 * x + 2];
  }
  ++rowsIn_;
  if (y == sourceHeight_ - 1) flush();
}

void RowReducer::flush() {
  if (rowsIn_ == 0) return;
  uint8_t* row = out_->row(target_);
  for (int32_t x = 0; x < width_; ++x) {
    const uint32_t n = count_[size_t(x)] * rowsIn_;
    uint32_t* s = sums_.get() + size_t(x) * 3;
    for (int c = 0; c < 3; ++c) row[3 * x + c] = uint8_t((s[c] + n / 2) / n);
  }
  out_->commit(target_);
  std::memset(sums_.get(), 0, size_t(width_) * 3 * sizeof(uint32_t));
  rowsIn_ = 0;
}

void SamplesToBgr(const uint8_t* rgb, int channels, uint8_t* bgr, int32_t pixels) {
  const bool grey = channels <= 2, alpha = channels == 2 || channels == 4;
  for (int32_t i = 0; i < pixels; ++i, rgb += channels, bgr += 3) {
    const unsigned a = alpha ? rgb[channels - 1] : 255u;
    for (int c = 0; c < 3; ++c) bgr[c] = overWhite(rgb[grey ? 0 : 2 - c], a);
  }
}

void WideSamplesToBgr(const uint16_t* rgb, int channels, int bits, uint8_t* bgr, int32_t pixels) {
  const bool grey = channels <= 2, alpha = channels == 2 || channels == 4;
  const uint64_t top = (uint64_t(1) << bits) - 1;
  for (int32_t i = 0; i < pixels; ++i, rgb += channels, bgr += 3) {
    const uint64_t a = alpha ? std::min<uint64_t>(rgb[channels - 1], top) : top;
    for (int c = 0; c < 3; ++c) {
      // colour x alpha + white x (1 - alpha), scaled from top x top to 255, rounded.
      const uint64_t v = std::min<uint64_t>(rgb[grey ? 0 : 2 - c], top) * a + top * (top - a);
      bgr[c] = uint8_t((v * 255 + top * top / 2) / (top * top));
    }
  }
}

bool WritePicture(const DecodedRows& rows, int orientation, TDib& out, Progress& progress, std::string& error) {
  int32_t width = rows.width, height = rows.height;
  ReducedSize(rows.width, rows.height, width, height);
  const bool reduced = width != rows.width || height != rows.height;
  UprightWriter upright;
  if (!upright.create(out, width, height, 24, orientation, error)) return false;
  RowReducer reducer;
  std::unique_ptr<uint8_t[]> line;
  if (reduced) {
    line.reset(new (std::nothrow) uint8_t[size_t(rows.width) * 3]);
    if (!line || !reducer.start(rows.width, rows.height, width, height, upright, error)) {
      if (error.empty()) error = "Nicht genug Speicher, um das Bild verkleinert zu öffnen.";
      return false;
    }
  }
  for (int32_t y = 0; y < rows.height; ++y) {
    const uint8_t* source = rows.pixels + size_t(y) * rows.stride;
    uint8_t* target = reduced ? line.get() : upright.row(y);
    if (rows.bits > 8)
      WideSamplesToBgr(reinterpret_cast<const uint16_t*>(source), rows.channels, rows.bits, target, rows.width);
    else
      SamplesToBgr(source, rows.channels, target, rows.width);
    if (reduced) reducer.add(y, target);
    else upright.commit(y);
    progress.rows(int64_t(y) + 1, rows.height);
  }
  if (reduced) {
    const bool swap = SwapsSides(ValidOrientation(orientation) ? orientation : kUpright);
    MarkReduced(out, swap ? rows.height : rows.width, swap ? rows.width : rows.height);
  }
  return true;
}

} // namespace velbrik

extern "C" int32_t DibOpenedReduced(const TDib* dib, int32_t* width, int32_t* height) {
  int32_t size[2] = {0, 0};
  if (dib != nullptr && dib->Bits != nullptr)
    std::memcpy(size, dib->LibReserved3 + velbrik::kReducedAt, sizeof size);
  if (width != nullptr) *width = size[0];
  if (height != nullptr) *height = size[1];
  return size[0] > 0 ? 1 : 0;
}
