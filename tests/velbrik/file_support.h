// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the imaging library's tests: a temporary folder, file bytes, a hand-built BMP
// writer for every header variant, a window that records progress messages, and pixel colours.
#pragma once

#include "velbrik.h"
#include "platform/win.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtest {

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Names in the folder, sorted, without "." and "..".
  std::vector<std::string> names() const;

private:
  std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A BMP file assembled field by field, so tests can write valid and broken variants alike.
struct BmpFile {
  uint32_t headerSize = 40; // 12 (core), 40, 52, 56, 108, 124 or anything else
  int32_t width = 1;
  int32_t height = 1; // negative: rows stored top-down
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  // Red, green, blue masks (and alpha): inside headers of 52 bytes and more, else after the header.
  std::vector<uint32_t> masks;
  std::vector<std::array<uint8_t, 3>> palette; // red, green, blue; 3 bytes each for core headers
  std::vector<uint8_t> pixels;                 // as stored in the file
  std::optional<uint32_t> offBits;             // default: right after the palette

  std::vector<uint8_t> bytes() const;
};

// Packs pixel values into rows padded to 4 bytes, in the order given (stored row 0 first).
// value(x, storedRow) is a palette index for 1/4/8 bits, 0xRRGGBB for 24 bits, the raw word
// for 16 and 32 bits.
template <class F>
std::vector<uint8_t> PackRows(int width, int height, int bits, F value) {
  const size_t stride = size_t((width * bits + 31) / 32) * 4;
  std::vector<uint8_t> out(stride * size_t(height), 0);
  for (int r = 0; r < height; ++r) {
    uint8_t* row = out.data() + size_t(r) * stride;
    for (int x = 0; x < width; ++x) {
      const uint32_t v = value(x, r);
      switch (bits) {
      case 1: row[x / 8] |= uint8_t((v & 1) << (7 - x % 8)); break;
      case 4: row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4)); break;
      case 8: row[x] = uint8_t(v); break;
      case 16: row[2 * x] = uint8_t(v); row[2 * x + 1] = uint8_t(v >> 8); break;
      case 24: row[3 * x] = uint8_t(v); row[3 * x + 1] = uint8_t(v >> 8); row[3 * x + 2] = uint8_t(v >> 16); break;
      case 32:
        for (int i = 0; i < 4; ++i) row[4 * x + i] = uint8_t(v >> (8 * i));
        break;
      }
    }
  }
  return out;
}

// Records the wParam of every WM_USER message it receives.
class ProgressRecorder : public platform::TMessageTarget {
public:
  platform::LRESULT WindowProc(platform::UINT msg, platform::WPARAM wParam,
                               platform::LPARAM lParam) override;
  std::vector<int> values;
};

// Colour of pixel (x, row counted from the bottom) as 0xRRGGBB, looking palette images up in
// the colour table behind Info.
uint32_t PixelRgb(const TDib& dib, int x, int rowFromBottom);
// The same, with the row counted from the top.
inline uint32_t PixelRgbTop(const TDib& dib, int x, int rowFromTop) {
  return PixelRgb(dib, x, dib.Info->bmiHeader.biHeight - 1 - rowFromTop);
}

// What opening one file cost, measured in a child process so that nothing it allocated or
// touched counts against the tests that follow.
struct OpenCost {
  bool opened = false;
  std::string message; // error text when refused
  double cpuSeconds = 0;
  double peakExtraMb = 0; // peak resident memory above the child's resident memory at the start
};
// `open` fills the record (OpenDib or OpenDibMemory); the record is released in the child.
template <class F> OpenCost MeasureOpen(F open);
OpenCost MeasureOpenWith(void (*run)(void*, TDib*), void* context);

// Opens a file image from memory; the caller releases a successful record with deldib.
TDib OpenBytes(const std::vector<uint8_t>& bytes, void* window = nullptr);

// A 24-bit image whose pixel at (x, row from the top) is colour(x, y) as 0xRRGGBB.
template <class F>
TDib Make24(int width, int height, F colour) {
  TDib dib;
  newdib(&dib, width, height, 24, nullptr, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colour(x, y);
      uint8_t* p = dib.Bits + size_t(height - 1 - y) * size_t(dib.BytesPerLine) + 3 * size_t(x);
      p[0] = uint8_t(c);
      p[1] = uint8_t(c >> 8);
      p[2] = uint8_t(c >> 16);
    }
  return dib;
}

template <class F> OpenCost MeasureOpen(F open) {
  return MeasureOpenWith([](void* f, TDib* dib) { (*static_cast<F*>(f))(dib); }, &open);
}

} // namespace vtest
