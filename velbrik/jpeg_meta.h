// SPDX-License-Identifier: GPL-3.0-or-later
// What a JPEG file says about showing its picture, read from the segments before the first
// scan: the EXIF orientation (APP1) and the embedded colour profile (APP2, possibly in chunks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velbrik {

struct JpegMeta {
  int orientation = 1;      // 1 to 8; 1 when there is none or it is unreadable
  std::vector<uint8_t> icc; // empty when there is none or its chunks do not fit together
};

JpegMeta ReadJpegMeta(const uint8_t* data, size_t size);

// The orientation in IFD 0 of an EXIF block ("Exif\0\0" and a TIFF structure); 1 when there is
// none or it is unreadable.
int ExifOrientation(const uint8_t* block, size_t size);

} // namespace velbrik
