// SPDX-License-Identifier: GPL-3.0-or-later
// Embedded colour profiles (ICC) converted to sRGB with LittleCMS 2, perceptual intent.
// A picture without a profile is taken as sRGB and is not touched; a profile that cannot be
// read, or does not describe the pixels' colour space, is ignored.
//
// Every profile gets a LittleCMS context of its own whose memory is counted: reading the
// profile and building its conversion may take at most kMaxProfileMemory together. A profile
// whose tables claim more is ignored before anything of that size is allocated.
#pragma once

#include "decoder.h"

#include <cstddef>
#include <cstdint>

namespace velbrik {

// The pixels a profile is applied to.
enum class ProfileInput {
  Bgr,          // blue, green, red bytes, as in a 24-bit record
  Grey,         // one byte
  Cmyk,         // ink amounts, 0 = no ink
  InvertedCmyk, // 255 = no ink, as Adobe writes CMYK JPEG files
};

// Profiles longer than this are ignored.
constexpr size_t kMaxProfileBytes = 16u << 20;
// What one profile and its conversion may allocate, all tables together.
constexpr size_t kMaxProfileMemory = 24u << 20;

// A colour space given by its primaries and tone curve rather than by a profile, as HEIF's
// colour information (nclx) describes one.
struct RgbSpace {
  double red[2], green[2], blue[2], white[2]; // CIE x, y
  // Tone curve as LittleCMS's parametric curve type 4: Y = (aX + b)^g for X >= d, else cX.
  double curve[5];
};

class ColourProfile {
public:
  ColourProfile() = default;
  ColourProfile(const ColourProfile&) = delete;
  ColourProfile& operator=(const ColourProfile&) = delete;
  ~ColourProfile();
  struct Budget; // the memory counted for this profile's context


  // Prepares the conversion; stays inactive when `icc` is null, too long or unusable.
  void open(const uint8_t* icc, size_t size, ProfileInput input);
  // Prepares the conversion of blue, green, red pixels of the given space (Bgr input).
  void openRgb(const RgbSpace& space);
  bool active() const { return transform_ != nullptr; }

  // Bgr: a 24-bit row in place. Cmyk and InvertedCmyk: four bytes per pixel from `cmyk` to
  // blue, green, red at `bgr`.
  void convertRow(uint8_t* bgr, int32_t pixels) const;
  // Bgr: all rows of a 24-bit record, in bands on the shared row threads (platform/rows.h).
  void convertDib(TDib& dib) const;
  void convertCmyk(const uint8_t* cmyk, uint8_t* bgr, int32_t pixels) const;
  // Grey: one byte per pixel from `grey` to blue, green, red at `bgr`.
  void convertGrey(const uint8_t* grey, uint8_t* bgr, int32_t pixels) const;
  // Palette pictures: their colours are converted instead of their pixels. For a grey profile
  // each entry is taken as the grey level of its red value.
  void convertPalette(TDib& dib) const;

private:
  bool makeContext();
  void finish(void* source);
  Budget* budget_ = nullptr;
  void* context_ = nullptr;
  void* transform_ = nullptr;
  ProfileInput input_ = ProfileInput::Bgr;
};

} // namespace velbrik
