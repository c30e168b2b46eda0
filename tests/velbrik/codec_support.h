// SPDX-License-Identifier: GPL-3.0-or-later
// Test pictures made in memory with the same libraries the decoders use, and small helpers to
// decode and inspect them.
#pragma once

#include "decoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace codec_test {

using Bytes = std::vector<uint8_t>;

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// Owns a decoded record and releases it.
class Dib {
public:
  Dib() = default;
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;
  ~Dib();
  TDib record{};
  bool ok = false;
  std::string error;

  int width() const { return record.Info->bmiHeader.biWidth; }
  int height() const { return record.Info->bmiHeader.biHeight; }
  int bits() const { return record.Info->bmiHeader.biBitCount; }
  // Colour of the pixel at column x, row y counted from the top, whatever the depth.
  Rgb at(int x, int yFromTop) const;
  uint32_t index(int x, int yFromTop) const;
  Rgb paletteColour(int i) const;
};

using Decoder = bool (*)(const uint8_t*, size_t, TDib&, velbrik::Progress&, std::string&);
void Decode(Decoder decoder, const Bytes& file, Dib& into);

// ---- PNG: rows given in PNG's own sample layout (packed below 8 bits, big-endian 16-bit) ----
struct PngSpec {
  int width = 1, height = 1;
  int colourType = 2; // PNG_COLOR_TYPE_*
  int depth = 8;
  bool interlaced = false;
  std::vector<Rgb> palette;
  std::vector<uint8_t> paletteAlpha; // tRNS for palette pictures
  int greyKey = -1;                  // tRNS colour key for grey pictures
  Bytes icc;                         // iCCP colour profile; empty: none
};
Bytes MakePng(const PngSpec& spec, const std::vector<Bytes>& rows);
// A PNG whose header says width x height but whose image stream holds a few hundred bytes.
Bytes PngHeaderOnly(uint32_t width, uint32_t height, int colourType, int depth);

// ---- JPEG: interleaved samples, components 1 (grey), 3 (RGB) or 4 (CMYK as given) ----
struct JpegSpec {
  int width = 1, height = 1;
  int components = 3;
  int quality = 95;
  bool progressive = false;
  bool adobe = true; // CMYK only: write the Adobe marker (values inverted as Adobe does)
  int orientation = 0; // EXIF orientation 1..8 in an APP1 segment; 0: no EXIF
  Bytes icc;           // colour profile in APP2 segments; empty: none
  bool arithmetic = false;
};
Bytes MakeJpeg(const JpegSpec& spec, const Bytes& samples);

// ---- GIF ----
struct GifSpec {
  int screenWidth = 1, screenHeight = 1;
  int left = 0, top = 0, width = 1, height = 1;
  std::vector<Rgb> global; // empty: none
  std::vector<Rgb> local;  // empty: none
  int background = 0;
  int transparent = -1;
  bool interlaced = false;
};
// `indexes` holds the frame's pixels row by row from the top, as the picture shows them.
Bytes MakeGif(const GifSpec& spec, const Bytes& indexes);

// ---- TIFF: rows in TIFF's layout (packed below 8 bits, contiguous samples) ----
struct TiffSpec {
  int width = 1, height = 1;
  int bitsPerSample = 8, samplesPerPixel = 3;
  int photometric = 2; // PHOTOMETRIC_RGB
  int compression = 1; // none
  int orientation = 1; // top-left
  int extraSamples = -1; // EXTRASAMPLE_* for a fourth sample, or -1
  int tileSize = 0;      // 0: strips
  int rowsPerStrip = 0;  // 0: libtiff's choice
  std::vector<uint16_t> colourMap; // red, then green, then blue entries
  Bytes icc;                       // colour profile tag; empty: none
};
Bytes MakeTiff(const TiffSpec& spec, const std::vector<Bytes>& rows);

// ---- colour profiles made with LittleCMS ----
// RGB with the primaries and gamma (563/256) of Adobe RGB (1998).
Bytes WideGamutProfile();
// Grey with linear light (gamma 1).
Bytes LinearGreyProfile();

// Runs a writer on a temporary file and returns what it wrote.
template <typename Write> Bytes WriteToMemory(Write write, bool& ok, std::string& error);

// A blank record made by newdib, released when it goes out of scope.
struct Made {
  TDib record{};
  ~Made();
};
void MakeDib(Made& made, int width, int height, int bits);

// Bytes of a file with its tail cut off or bytes flipped in the middle.
Bytes Truncated(const Bytes& file, size_t keep);

} // namespace codec_test

#include <cstdio>

template <typename Write>
codec_test::Bytes codec_test::WriteToMemory(Write write, bool& ok, std::string& error) {
  Bytes bytes;
  std::FILE* f = std::tmpfile();
  if (f == nullptr) {
    ok = false;
    return bytes;
  }
  ok = write(f, error);
  std::fseek(f, 0, SEEK_END);
  const long n = std::ftell(f);
  std::rewind(f);
  bytes.resize(size_t(n > 0 ? n : 0));
  if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) ok = false;
  std::fclose(f);
  return bytes;
}
