// SPDX-License-Identifier: GPL-3.0-or-later
// File writers of the artwork generator: GIF through giflib (median-cut palette, one
// transparent index), 4-bit BMP (16-colour palette, rows bottom-up) written by hand.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace artgen {

// Pixels with alpha below 128 become the transparent index; the others are composited onto
// Matte first.
bool WriteGif(const QImage& Image, const QString& Path, QRgb Matte);

// The 16 colours of the classic 4-bit palette (black, maroon, green, olive, navy, purple, teal,
// silver, grey, red, lime, yellow, blue, fuchsia, aqua, white).
const std::vector<QRgb>& ClassicPalette16();
// Every pixel is mapped to the nearest palette colour.
bool WriteBmp4(const QImage& Image, const QString& Path);

} // namespace artgen
