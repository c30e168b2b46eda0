// SPDX-License-Identifier: GPL-3.0-or-later
// Windows bitmap files: reading (1, 4, 8, 16, 24, 32 bits; RLE4, RLE8, bit fields with or
// without alpha, composed over white; core and info headers; bottom-up and top-down) and writing (1, 4, 8, 24 bits, uncompressed).
//
// Every number in the file is distrusted: header size, offsets, palette count and the extent of
// the pixel data are checked against the file's size, and the picture's size goes through
// CheckDimensions before anything is allocated.
#include "decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velbrik {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;
constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kCoreHeaderBytes = 12;
constexpr size_t kInfoHeaderBytes = 40;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

const char* const kDamaged = "Die BMP-Datei ist beschädigt: ";

// One colour channel of a bit-field pixel, scaled to 0..255.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0; // largest value after shifting

  explicit Channel(uint32_t m = 0) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  uint8_t operator()(uint32_t pixel) const {
    if (max == 0) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    // Round to nearest; 64 bits since max may use all 32 bits.
    return uint8_t((uint64_t(v) * 255 + max / 2) / max);
  }
};

struct Header {
  uint32_t headerSize = 0;
  int64_t width = 0;
  int64_t height = 0; // always positive here
  bool topDown = false;
  int bitCount = 0;
  uint32_t compression = kBiRgb;
  uint32_t clrUsed = 0;
  uint32_t masks[3] = {0, 0, 0}; // red, green, blue
  uint32_t alphaMask = 0;
  size_t paletteOffset = 0;
  size_t paletteEntryBytes = 4;
  uint32_t offBits = 0;
};

bool fail(TDib& out, std::string& error, const std::string& message) {
  error = message;
  FailDib(out, error);
  return false;
}

bool parseHeader(const uint8_t* data, size_t size, Header& h, std::string& error) {
  if (size < kFileHeaderBytes + 4) {
    error = std::string(kDamaged) + "der Dateikopf ist unvollständig.";
    return false;
  }
  h.offBits = le32(data + 10);
  h.headerSize = le32(data + 14);
  const uint32_t hs = h.headerSize;
  if (hs != kCoreHeaderBytes && hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124) {
    error = std::string(kDamaged) + "unbekannte Kopfgröße von " + std::to_string(hs) + " Byte.";
    return false;
  }
  if (uint64_t(kFileHeaderBytes) + hs > size) {
    error = std::string(kDamaged) + "der Bildkopf ist unvollständig.";
    return false;
  }
  const uint8_t* p = data + kFileHeaderBytes;
  h.paletteOffset = kFileHeaderBytes + hs;
  if (hs == kCoreHeaderBytes) {
    h.width = le16(p + 4);
    h.height = le16(p + 6);
    h.bitCount = le16(p + 10);
    h.paletteEntryBytes = 3;
  } else {
    h.width = int32_t(le32(p + 4));
    h.height = int32_t(le32(p + 8));
    h.bitCount = le16(p + 14);
    h.compression = le32(p + 16);
    h.clrUsed = le32(p + 32);
    if (h.height < 0) {
      h.topDown = true;
      h.height = -h.height; // int64: INT32_MIN turns into a positive, over-large value
    }
    const bool fields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
    if (hs >= 52) {
      for (int i = 0; i < 3; ++i) h.masks[i] = le32(p + 40 + 4 * i);
      if (hs >= 56) h.alphaMask = le32(p + 52);
    } else if (fields) {
      // A plain info header is followed by the masks (three, or four with alpha).
      const size_t maskBytes = h.compression == kBiAlphaBitfields ? 16 : 12;
      if (h.paletteOffset + maskBytes > size) {
        error = std::string(kDamaged) + "die Farbmasken fehlen.";
        return false;
      }
      for (int i = 0; i < 3; ++i) h.masks[i] = le32(data + h.paletteOffset + 4 * i);
      if (maskBytes == 16) h.alphaMask = le32(data + h.paletteOffset + 12);
      h.paletteOffset += maskBytes;
    }
  }
  return true;
}

bool checkVariant(const Header& h, std::string& error) {
  const int b = h.bitCount;
  if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) {
    error = "BMP-Dateien mit " + std::to_string(b) + " Bit je Pixel werden nicht unterstützt.";
    return false;
  }
  const uint32_t c = h.compression;
  const bool ok = c == kBiRgb || (c == kBiRle8 && b == 8) || (c == kBiRle4 && b == 4) ||
                  ((c == kBiBitfields || c == kBiAlphaBitfields) && (b == 16 || b == 32));
  if (!ok) {
    if (c == kBiRle8 || c == kBiRle4 || c == kBiBitfields || c == kBiAlphaBitfields)
      error = std::string(kDamaged) + "die Kompressionsart passt nicht zur Farbtiefe.";
    else
      error = "Diese BMP-Kompressionsart (" + std::to_string(c) + ") wird nicht unterstützt.";
    return false;
  }
  return true;
}

// Reads the colour table into the record. Returns false on a count that does not fit the
// depth or the file.
bool readPalette(const uint8_t* data, size_t size, const Header& h, TDib& dib, std::string& error) {
  const uint32_t most = 1u << h.bitCount;
  uint32_t count = h.clrUsed == 0 ? most : h.clrUsed;
  if (count > most) {
    error = std::string(kDamaged) + "die Farbtabelle nennt " + std::to_string(count) +
            " Farben, bei " + std::to_string(h.bitCount) + " Bit sind höchstens " +
            std::to_string(most) + " möglich.";
    return false;
  }
  // Some writers store fewer entries than the depth allows without saying so in clrUsed;
  // the pixel data's offset tells.
  if (h.clrUsed == 0 && h.offBits > h.paletteOffset) {
    const uint64_t room = (uint64_t(h.offBits) - h.paletteOffset) / h.paletteEntryBytes;
    if (room >= 1 && room < count) count = uint32_t(room);
  }
  if (uint64_t(h.paletteOffset) + uint64_t(count) * h.paletteEntryBytes > size) {
    error = std::string(kDamaged) + "die Farbtabelle reicht über das Dateiende hinaus.";
    return false;
  }
  const uint8_t* p = data + h.paletteOffset;
  for (uint32_t i = 0; i < count; ++i, p += h.paletteEntryBytes)
    SetDibColour(dib, int(i), p[2], p[1], p[0]);
  FinishPalette(dib);
  return true;
}

// Row of the record that the file's n-th stored row belongs to.
int32_t targetRow(const Header& h, int64_t storedRow) {
  return int32_t(h.topDown ? h.height - 1 - storedRow : storedRow);
}

void copyPaletteRows(const uint8_t* pixels, int64_t srcStride, const Header& h, TDib& dib,
                     Progress& progress) {
  const int64_t used = (h.width * h.bitCount + 7) / 8;
  // Bits of the last byte beyond the picture's width are cleared.
  const int spare = int(used * 8 - h.width * h.bitCount);
  const uint8_t lastMask = uint8_t(0xFFu << spare);
  for (int64_t r = 0; r < h.height; ++r) {
    uint8_t* dst = DibRow(dib, targetRow(h, r));
    std::memcpy(dst, pixels + r * srcStride, size_t(used));
    dst[used - 1] &= lastMask;
    progress.rows(r + 1, h.height);
  }
}

void copy24Rows(const uint8_t* pixels, int64_t srcStride, const Header& h, TDib& dib,
                Progress& progress) {
  for (int64_t r = 0; r < h.height; ++r) {
    std::memcpy(DibRow(dib, targetRow(h, r)), pixels + r * srcStride, size_t(h.width * 3));
    progress.rows(r + 1, h.height);
  }
}

// White behind a partly transparent colour, rounded.
inline uint8_t overWhite(unsigned colour, unsigned alpha) {
  return uint8_t((colour * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// An alpha channel counts where bit fields name one (in the header or after it, or in a V4/V5
// header with plain pixels) and some pixel is not fully transparent: writers that leave the
// channel at 0 mean an opaque picture.
bool usesAlpha(const uint8_t* pixels, int64_t srcStride, const Header& h) {
  if (h.alphaMask == 0 || h.bitCount < 16) return false;
  const bool fields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
  if (!fields && h.headerSize < 108) return false;
  const int bytes = h.bitCount / 8;
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* src = pixels + r * srcStride;
    for (int64_t x = 0; x < h.width; ++x, src += bytes)
      if (((bytes == 2 ? le16(src) : le32(src)) & h.alphaMask) != 0) return true;
  }
  return false;
}

void convertFieldRows(const uint8_t* pixels, int64_t srcStride, const Header& h, TDib& dib,
                      Progress& progress) {
  uint32_t masks[3];
  const bool fields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
  if (fields) {
    std::copy(h.masks, h.masks + 3, masks);
  } else if (h.bitCount == 16) {
    masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F; // 5-5-5
  } else {
    masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF;
  }
  const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
  const bool alpha = usesAlpha(pixels, srcStride, h);
  const Channel opacity(alpha ? h.alphaMask : 0);
  const int bytes = h.bitCount / 8;
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* src = pixels + r * srcStride;
    uint8_t* dst = DibRow(dib, targetRow(h, r));
    for (int64_t x = 0; x < h.width; ++x, src += bytes, dst += 3) {
      const uint32_t v = bytes == 2 ? le16(src) : le32(src);
      if (alpha) {
        const unsigned a = opacity(v);
        dst[0] = overWhite(blue(v), a);
        dst[1] = overWhite(green(v), a);
        dst[2] = overWhite(red(v), a);
      } else {
        dst[0] = blue(v);
        dst[1] = green(v);
        dst[2] = red(v);
      }
    }
    progress.rows(r + 1, h.height);
  }
}

// Writes one palette index at (x, row) of a 4- or 8-bit record; the caller has checked bounds.
void putIndex(TDib& dib, int bits, int64_t x, int32_t row, uint8_t index) {
  uint8_t* line = DibRow(dib, row);
  if (bits == 8) {
    line[x] = index;
  } else {
    uint8_t& b = line[x >> 1];
    b = (x & 1) ? uint8_t((b & 0xF0) | (index & 0x0F)) : uint8_t((b & 0x0F) | (index << 4));
  }
}

// Run-length decoding. Runs, absolute runs and deltas that reach past the picture are clipped:
// nothing is ever written outside it. Pixels the stream does not set keep index 0.
bool decodeRle(const uint8_t* p, const uint8_t* end, const Header& h, TDib& dib,
               Progress& progress, std::string& error) {
  const int bits = h.bitCount;
  int64_t x = 0, y = 0; // y counts stored rows
  auto put = [&](uint8_t index) {
    if (x < h.width && y < h.height) putIndex(dib, bits, x, targetRow(h, y), index);
    ++x;
  };
  auto truncated = [&] {
    error = std::string(kDamaged) + "die komprimierten Bilddaten brechen vorzeitig ab.";
    return false;
  };
  while (y < h.height) {
    if (end - p < 2) return truncated();
    const uint8_t count = p[0], value = p[1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < h.width; ++i)
        put(bits == 8 ? value : uint8_t((i & 1) ? value & 0x0F : value >> 4));
      continue;
    }
    switch (value) {
    case 0: // end of line
      x = 0;
      ++y;
      progress.rows(y, h.height);
      break;
    case 1: // end of bitmap
      return true;
    case 2: { // delta: move right and up (towards later stored rows)
      if (end - p < 2) return truncated();
      x += p[0];
      y += p[1];
      p += 2;
      progress.rows(std::min(y, h.height), h.height);
      break;
    }
    default: { // absolute run of `value` pixels, padded to a 16-bit boundary
      const int n = value;
      const int64_t bytes = bits == 8 ? n : (n + 1) / 2;
      const int64_t padded = (bytes + 1) & ~int64_t(1);
      if (end - p < bytes) return truncated();
      for (int i = 0; i < n && x < h.width; ++i)
        put(bits == 8 ? p[i] : uint8_t((i & 1) ? p[i / 2] & 0x0F : p[i / 2] >> 4));
      p += std::min<int64_t>(padded, end - p);
      break;
    }
    }
  }
  return true;
}

} // namespace

bool DecodeBmp(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  Header h;
  if (!parseHeader(data, size, h, error) || !checkVariant(h, error)) return fail(out, error, error);
  const int outBits = h.bitCount <= 8 ? h.bitCount : 24;
  if (!CheckDimensions(h.width, h.height, outBits, error)) return fail(out, error, error);

  if (h.offBits < h.paletteOffset || h.offBits >= size)
    return fail(out, error, std::string(kDamaged) + "die Bilddaten liegen außerhalb der Datei.");
  const uint8_t* pixels = data + h.offBits;
  const uint64_t available = size - h.offBits;
  const bool rle = h.compression == kBiRle8 || h.compression == kBiRle4;
  // Width and height are bounded by CheckDimensions, so these products fit in 64 bits easily.
  const int64_t srcStride = ((h.width * h.bitCount + 31) / 32) * 4;
  if (!rle) {
    const uint64_t lastRow = uint64_t((h.width * h.bitCount + 7) / 8);
    const uint64_t needed = uint64_t(srcStride) * uint64_t(h.height - 1) + lastRow;
    if (needed > available)
      return fail(out, error,
                  "Die BMP-Datei ist unvollständig: es fehlen Bildzeilen (" +
                      std::to_string(needed) + " Byte Bilddaten erwartet, " +
                      std::to_string(available) + " vorhanden).");
  }

  if (!CreateDib(out, int32_t(h.width), int32_t(h.height), outBits, error))
    return fail(out, error, error);
  if (outBits <= 8 && !readPalette(data, size, h, out, error)) return fail(out, error, error);

  if (rle) {
    if (!decodeRle(pixels, data + size, h, out, progress, error)) return fail(out, error, error);
  } else if (h.bitCount <= 8) {
    copyPaletteRows(pixels, srcStride, h, out, progress);
  } else if (h.bitCount == 24) {
    copy24Rows(pixels, srcStride, h, out, progress);
  } else {
    convertFieldRows(pixels, srcStride, h, out, progress);
  }
  progress.report(100);
  return true;
}

namespace {

void put16(uint8_t*& p, uint32_t v) {
  *p++ = uint8_t(v);
  *p++ = uint8_t(v >> 8);
}
void put32(uint8_t*& p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p, v >> 16);
}

} // namespace

bool WriteBmp(const TDib& dib, std::FILE* file, std::string& error, const platform::TJob* job) {
  if (dib.Info == nullptr || dib.Bits == nullptr || file == nullptr) {
    error = "Es ist kein Bild zum Speichern vorhanden.";
    return false;
  }
  const VBitmapInfoHeader& ih = dib.Info->bmiHeader;
  const int bits = ih.biBitCount;
  if (!CheckDimensions(ih.biWidth, ih.biHeight, bits, error)) return false;
  const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
  const uint64_t stride = uint64_t(dib.BytesPerLine);
  const uint64_t pixelBytes = stride * uint64_t(ih.biHeight);
  const uint64_t offBits = kFileHeaderBytes + kInfoHeaderBytes + 4ull * colours;
  const uint64_t fileSize = offBits + pixelBytes;
  if (fileSize > UINT32_MAX) {
    error = "Das Bild ist zu groß für eine BMP-Datei.";
    return false;
  }

  uint8_t head[kFileHeaderBytes + kInfoHeaderBytes];
  uint8_t* p = head;
  *p++ = 'B';
  *p++ = 'M';
  put32(p, uint32_t(fileSize));
  put32(p, 0);
  put32(p, uint32_t(offBits));
  put32(p, uint32_t(kInfoHeaderBytes));
  put32(p, uint32_t(ih.biWidth));
  put32(p, uint32_t(ih.biHeight)); // positive: rows bottom-up, as stored in the record
  put16(p, 1);
  put16(p, uint16_t(bits));
  put32(p, kBiRgb);
  put32(p, uint32_t(pixelBytes));
  put32(p, uint32_t(ih.biXPelsPerMeter));
  put32(p, uint32_t(ih.biYPelsPerMeter));
  put32(p, colours);
  put32(p, 0);
  bool ok = std::fwrite(head, 1, sizeof head, file) == sizeof head;
  for (uint32_t i = 0; ok && i < colours; ++i) {
    const VRgbQuad& q = dib.Info->bmiColors[i];
    const uint8_t entry[4] = {q.rgbBlue, q.rgbGreen, q.rgbRed, 0};
    ok = std::fwrite(entry, 1, 4, file) == 4;
  }
  // In bands of rows, between which a job may stop.
  RowJob rows(job, ih.biHeight);
  constexpr int64_t kBand = 64;
  for (int64_t r = 0; ok && r < ih.biHeight; r += kBand) {
    const size_t bytes = size_t(std::min<int64_t>(kBand, ih.biHeight - r) * int64_t(stride));
    ok = std::fwrite(dib.Bits + r * int64_t(stride), 1, bytes, file) == bytes;
    if (ok && !rows.row(std::min<int64_t>(r + kBand, ih.biHeight))) return false;
  }
  if (!ok) error = "Die Bilddaten konnten nicht vollständig geschrieben werden.";
  return ok;
}

} // namespace velbrik
