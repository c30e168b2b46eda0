// SPDX-License-Identifier: GPL-3.0-or-later
// Embedded colour profiles (ICC) converted to sRGB with LittleCMS 2, perceptual intent.
// A picture without a profile is taken as sRGB and is not touched; a profile that cannot be
// read, or does not describe the pixels' colour space, is ignored.
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

class ColourProfile {
public:
  ColourProfile() = default;
  ColourProfile(const ColourProfile&) = delete;
  ColourProfile& operator=(const ColourProfile&) = delete;
  ~ColourProfile();

  // Prepares the conversion; stays inactive when `icc` is null, too long or unusable.
  void open(const uint8_t* icc, size_t size, ProfileInput input);
  bool active() const { return transform_ != nullptr; }

  // Bgr: a 24-bit row in place. Cmyk and InvertedCmyk: four bytes per pixel from `cmyk` to
  // blue, green, red at `bgr`.
  void convertRow(uint8_t* bgr, int32_t pixels) const;
  void convertCmyk(const uint8_t* cmyk, uint8_t* bgr, int32_t pixels) const;
  // Grey: one byte per pixel from `grey` to blue, green, red at `bgr`.
  void convertGrey(const uint8_t* grey, uint8_t* bgr, int32_t pixels) const;
  // Palette pictures: their colours are converted instead of their pixels. For a grey profile
  // each entry is taken as the grey level of its red value.
  void convertPalette(TDib& dib) const;

private:
  void* context_ = nullptr;
  void* transform_ = nullptr;
  ProfileInput input_ = ProfileInput::Bgr;
};

} // namespace velbrik
