// SPDX-License-Identifier: GPL-3.0-or-later
// Reduction of a true-colour frame to a palette of at most 256 colours for the animated GIF:
// the palette by median cut over a colour histogram, refined by a few rounds of k-means, the
// pixels then mapped with Floyd-Steinberg error diffusion in serpentine order.
#pragma once

#include <cstdint>
#include <vector>

namespace imaging {

struct TIndexedFrame {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Palette; // Colours entries of red, green, blue
  int32_t Colours = 0;          // 1..256
  std::vector<uint8_t> Index;   // Width x Height palette indexes, rows top-down
};

// `rgb`: width x height pixels of red, green, blue bytes, rows top-down; width, height >= 1.
// maxColours 2..256.
void QuantizeFrame(const uint8_t* rgb, int32_t width, int32_t height, int32_t maxColours, TIndexedFrame& out);

// Peak signal-to-noise ratio in dB of the frame's colours against the true colours it came from
// (infinity when they are equal).
double FramePsnr(const uint8_t* rgb, const TIndexedFrame& frame);

} // namespace imaging
