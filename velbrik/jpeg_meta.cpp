// SPDX-License-Identifier: GPL-3.0-or-later
#include "jpeg_meta.h"

#include "colour.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstring>

namespace velbrik {
namespace {

constexpr uint8_t kApp1 = 0xE1, kApp2 = 0xE2, kStartOfScan = 0xDA, kEndOfImage = 0xD9;
constexpr char kExifHeader[] = "Exif\0\0";     // 6 bytes
constexpr char kIccHeader[] = "ICC_PROFILE"; // 12 bytes with its NUL

struct IccChunk {
  int number;
  const uint8_t* bytes;
  size_t size;
};

// The chunks numbered 1 to count, each once, joined in order; empty when any is missing.
std::vector<uint8_t> joinIcc(std::vector<IccChunk>& chunks, int count) {
  std::vector<uint8_t> icc;
  if (chunks.empty() || int(chunks.size()) != count) return icc;
  std::sort(chunks.begin(), chunks.end(), [](const IccChunk& a, const IccChunk& b) { return a.number < b.number; });
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (chunks[size_t(i)].number != i + 1) return icc;
    total += chunks[size_t(i)].size;
  }
  if (total > kMaxProfileBytes) return icc;
  icc.reserve(total);
  for (const IccChunk& c : chunks) icc.insert(icc.end(), c.bytes, c.bytes + c.size);
  return icc;
}

} // namespace

// Orientation from IFD 0 of an EXIF block ("Exif\0\0" and a TIFF structure), through libexif.
int ExifOrientation(const uint8_t* block, size_t size) {
  ExifData* exif = exif_data_new();
  if (exif == nullptr) return 1;
  // Read as it is: no repairs or added default entries.
  exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(exif, block, unsigned(size));
  int orientation = 1;
  ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
      entry->size >= 2 && entry->data != nullptr) {
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
    if (value >= 1 && value <= 8) orientation = value;
  }
  exif_data_unref(exif);
  return orientation;
}

JpegMeta ReadJpegMeta(const uint8_t* data, size_t size) {
  JpegMeta meta;
  std::vector<IccChunk> chunks;
  int iccCount = 0;
  bool sawExif = false;
  size_t i = 2; // after SOI
  while (i + 4 <= size) {
    if (data[i] != 0xFF) break; // not a segment: leave the rest to the decoder
    const uint8_t marker = data[i + 1];
    if (marker == 0xFF) {
      ++i;
      continue;
    }
    if (marker == kStartOfScan || marker == kEndOfImage) break;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      i += 2;
      continue;
    }
    const size_t length = size_t(data[i + 2]) << 8 | data[i + 3];
    if (length < 2 || i + 2 + length > size) break;
    const uint8_t* body = data + i + 4;
    const size_t bodySize = length - 2;
    if (marker == kApp1 && !sawExif && bodySize > 6 && std::memcmp(body, kExifHeader, 6) == 0) {
      sawExif = true;
      meta.orientation = ExifOrientation(body, bodySize);
    } else if (marker == kApp2 && bodySize > 14 && std::memcmp(body, kIccHeader, 12) == 0) {
      const int number = body[12], count = body[13];
      if (iccCount == 0) iccCount = count;
      if (count != iccCount || number < 1 || number > count) iccCount = -1; // inconsistent
      else chunks.push_back({number, body + 14, bodySize - 14});
    }
    i += 2 + length;
  }
  if (iccCount > 0) meta.icc = joinIcc(chunks, iccCount);
  return meta;
}

} // namespace velbrik
