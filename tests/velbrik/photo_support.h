// SPDX-License-Identifier: GPL-3.0-or-later
// Today's photo formats made in memory with their own encoders (libwebp, libheif, libjxl), for
// the decoder tests and the fuzz seeds.
#pragma once

#include "codec_support.h"

#include <libheif/heif.h>

namespace codec_test {

// width x height pixels, `channels` 3 (RGB) or 4 (RGBA) samples each, of `bits` bits (8: bytes,
// more: 16-bit words), rows from the top.
struct Samples {
  int width = 0, height = 0, channels = 3, bits = 8;
  std::vector<uint16_t> values;
  uint16_t& at(int x, int y, int c) { return values[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels) + size_t(c)]; }
};
// Red rises to the right, green downwards, blue 1/4 of full; alpha full.
Samples Gradient(int width, int height, int channels, int bits);

// Lossless WebP; an EXIF orientation and an ICC profile added when given; with more than one
// picture an animation of them (all of the first one's size).
Bytes MakeWebp(const std::vector<Samples>& frames, int orientation = 1, const Bytes& icc = {});
// HEIF (HEVC) or AVIF (AV1), high quality, stored with the orientation given; empty when
// libheif has no encoder for the format.
Bytes MakeHeif(heif_compression_format format, const Samples& picture, int orientation = 1);
// Lossless JPEG XL with the orientation given.
Bytes MakeJxl(const Samples& picture, int orientation = 1);

} // namespace codec_test
