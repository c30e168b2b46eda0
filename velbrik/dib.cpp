// SPDX-License-Identifier: GPL-3.0-or-later
// Creation, release and pixel access of DIB records.
//
// A created image is one heap block: the 40-byte header, the colour table (2^bitCount entries
// for 8 bits or fewer) and the pixel rows, bottom-up, each padded to a multiple of 4 bytes.
// Memory points at the block, Info at its start, Bits at the first row.
#include "decoder.h"
#include "palette_util.h"

#include "platform/palette.h"
#include "platform/win.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <mutex>
#include <new>
#include <unordered_set>

namespace velbrik {
namespace {

constexpr uint8_t kMagic[4] = {'V', 'B', 'R', 'K'};
constexpr uintptr_t kHugePage = 2u << 20;
constexpr size_t kHugePagesFrom = 64u << 20;

// Blocks handed out by newdib and not yet released. Records are copied by value, so a second
// deldib of a copy (or of a stale or never-filled record) would free memory twice; such calls
// find no live block and do nothing.
std::mutex& blocksMutex() {
  static std::mutex m;
  return m;
}
std::unordered_set<void*>& liveBlocks() {
  static std::unordered_set<void*> blocks;
  return blocks;
}
bool registerBlock(void* block) {
  std::lock_guard lock(blocksMutex());
  try {
    liveBlocks().insert(block);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}
bool unregisterBlock(void* block) {
  std::lock_guard lock(blocksMutex());
  return liveBlocks().erase(block) != 0;
}

bool validBitCount(int bitCount) {
  return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
}

int64_t rowBytes(int64_t width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

void makePalette(TDib& dib) {
  if (dib.Palette != nullptr) platform::DeleteObject(static_cast<platform::HPALETTE>(dib.Palette));
  dib.Palette = platform::CreatePalette(reinterpret_cast<const platform::LOGPALETTE*>(&dib.LogPal));
}

} // namespace

void Progress::report(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == last_) return;
  last_ = percent;
  if (window_ != nullptr)
    platform::SendMessage(static_cast<platform::HWND>(window_), platform::WM_USER,
                          platform::WPARAM(percent), 0);
}

void Progress::rows(int64_t done, int64_t total) {
  report(total <= 0 ? 100 : int(done * 100 / total));
}

bool CheckDimensions(int64_t width, int64_t height, int bitCount, std::string& error) {
  if (!validBitCount(bitCount)) {
    error = "Die Farbtiefe von " + std::to_string(bitCount) + " Bit wird nicht unterstützt.";
    return false;
  }
  if (width <= 0 || height <= 0) {
    error = "Das Bild hat eine unmögliche Größe (" + std::to_string(width) + " x " +
            std::to_string(height) + " Pixel).";
    return false;
  }
  if (width > kMaxSide || height > kMaxSide || uint64_t(width) * uint64_t(height) > kMaxPixels) {
    error = "Bild ist zu groß: " + std::to_string(width) + " x " + std::to_string(height) +
            " Pixel (höchstens " + std::to_string(kMaxPixels / 1000000) + " Megapixel).";
    return false;
  }
  return true;
}

bool CreateDib(TDib& out, int32_t width, int32_t height, int32_t bitCount, std::string& error) {
  if (!CheckDimensions(width, height, bitCount, error)) {
    std::memset(&out, 0, sizeof out);
    return false;
  }
  newdib(&out, width, height, bitCount, nullptr, 0);
  if (out.Bits == nullptr) {
    error = "Nicht genug Speicher für ein Bild von " + std::to_string(width) + " x " +
            std::to_string(height) + " Pixeln.";
    return false;
  }
  return true;
}

void SetDibColour(TDib& dib, int index, uint8_t red, uint8_t green, uint8_t blue) {
  const int bits = dib.Info->bmiHeader.biBitCount;
  if (bits > 8 || index < 0 || index >= (1 << bits)) return;
  VRgbQuad& q = dib.Info->bmiColors[index];
  q.rgbRed = red;
  q.rgbGreen = green;
  q.rgbBlue = blue;
  VPaletteEntry& e = dib.LogPal.palPalEntry[index];
  e.peRed = red;
  e.peGreen = green;
  e.peBlue = blue;
}

void FinishPalette(TDib& dib) { makePalette(dib); }

std::string FitErrorText(const std::string& message, size_t room) {
  if (message.size() <= room) return message;
  const auto continues = [](char c) { return (uint8_t(c) & 0xC0) == 0x80; };
  static const std::string open = "\xE2\x80\x9E", close = "\xE2\x80\x9C", ellipsis = "\xE2\x80\xA6";
  const size_t start = message.find(open);
  const size_t end = start == std::string::npos ? start : message.find(close, start + open.size());
  if (end != std::string::npos) {
    const size_t nameBegin = start + open.size();
    const size_t excess = message.size() - room + ellipsis.size();
    if (end - nameBegin > excess) {
      // Keep the name's beginning and end (the file's own name), in equal parts.
      const size_t keep = end - nameBegin - excess;
      size_t headEnd = nameBegin + keep / 2;
      while (headEnd > nameBegin && continues(message[headEnd])) --headEnd;
      size_t tailBegin = end - (keep - keep / 2);
      while (tailBegin < end && continues(message[tailBegin])) ++tailBegin;
      return message.substr(0, headEnd) + ellipsis + message.substr(tailBegin);
    }
  }
  size_t n = room;
  while (n > 0 && continues(message[n])) --n;
  return message.substr(0, n);
}

void DarkIndexFirst(TDib& dib) {
  if (dib.Info == nullptr || dib.Bits == nullptr || dib.Info->bmiHeader.biBitCount != 1) return;
  const VRgbQuad first = dib.Info->bmiColors[0], second = dib.Info->bmiColors[1];
  // Luma weights of Rec. 601, in thousandths.
  auto luma = [](const VRgbQuad& q) { return 299 * q.rgbRed + 587 * q.rgbGreen + 114 * q.rgbBlue; };
  if (luma(first) <= luma(second)) return;
  SetDibColour(dib, 0, second.rgbRed, second.rgbGreen, second.rgbBlue);
  SetDibColour(dib, 1, first.rgbRed, first.rgbGreen, first.rgbBlue);
  FinishPalette(dib);
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  const int32_t fullBytes = h.biWidth / 8, usedBits = h.biWidth % 8;
  // Bits beyond the width stay 0.
  const uint8_t lastMask = uint8_t(0xFF00u >> usedBits);
  for (int32_t y = 0; y < h.biHeight; ++y) {
    uint8_t* row = DibRow(dib, y);
    for (int32_t i = 0; i < fullBytes; ++i) row[i] = uint8_t(~row[i]);
    if (usedBits != 0) row[fullBytes] = uint8_t(~row[fullBytes] & lastMask);
  }
}

void FailDib(TDib& dib, const std::string& message) {
  if (dib.Memory != nullptr) deldib(dib);
  std::memset(&dib, 0, sizeof dib);
  // Kept inside LogPal's entries, so that no pointer field of the record holds text.
  char* text = reinterpret_cast<char*>(dib.LogPal.palPalEntry);
  const std::string fitted = FitErrorText(message, sizeof dib.LogPal.palPalEntry - 1);
  std::memcpy(text, fitted.data(), fitted.size());
  text[fitted.size()] = '\0';
}

} // namespace velbrik

using namespace velbrik;

extern "C" {

void newdib(TDib* dest, int32_t width, int32_t height, int32_t bitCount,
            const VBitmapInfo* paletteSource, int32_t colours) {
  if (dest == nullptr) return;
  std::memset(dest, 0, sizeof *dest);
  std::string ignored;
  if (!CheckDimensions(width, height, bitCount, ignored)) return;

  const int64_t stride = rowBytes(width, bitCount);
  const int tableEntries = bitCount <= 8 ? (1 << bitCount) : 0;
  const size_t headerBytes = sizeof(VBitmapInfoHeader) + size_t(tableEntries) * sizeof(VRgbQuad);
  const size_t pixelBytes = size_t(stride) * size_t(height);
  auto* block = static_cast<uint8_t*>(std::calloc(1, headerBytes + pixelBytes));
  if (block == nullptr) return;
  // Big pictures in huge pages where the system offers them on request: a 100-megapixel
  // picture then costs a few hundred page faults on first writing instead of 70,000.
  if (headerBytes + pixelBytes >= kHugePagesFrom) {
    const auto start = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(block) + headerBytes + pixelBytes) & ~(kHugePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  }
  if (!registerBlock(block)) {
    std::free(block);
    return;
  }

  dest->Memory = block;
  dest->Info = reinterpret_cast<VBitmapInfo*>(block);
  dest->Bits = block + headerBytes;
  dest->BytesPerLine = int32_t(stride);
  std::memcpy(dest->LibReserved3, kMagic, sizeof kMagic);

  VBitmapInfoHeader& h = dest->Info->bmiHeader;
  h.biSize = sizeof(VBitmapInfoHeader);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = uint16_t(bitCount);
  h.biCompression = 0;
  h.biSizeImage = uint32_t(pixelBytes);
  h.biXPelsPerMeter = h.biYPelsPerMeter = 2835; // 72 dpi
  h.biClrUsed = uint32_t(tableEntries);

  dest->LogPal.palVersion = 0x300;
  if (tableEntries > 0) {
    const int given = paletteSource == nullptr ? 0 : std::clamp(colours, 0, tableEntries);
    for (int i = 0; i < given; ++i) {
      const VRgbQuad& q = paletteSource->bmiColors[i];
      SetDibColour(*dest, i, q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    dest->LogPal.palNumEntries = uint16_t(tableEntries);
    dest->UsePalette = 1;
  } else {
    // 24-bit images carry the halftone palette, used when they are drawn on a palette screen.
    const VPaletteEntry* ht = HalftonePalette();
    std::copy(ht, ht + 256, dest->LogPal.palPalEntry);
    dest->LogPal.palNumEntries = 256;
    dest->UsePalette = 0;
  }
  makePalette(*dest);
}

void deldib(TDib dib) {
  if (dib.Memory == nullptr || !unregisterBlock(dib.Memory)) return;
  if (dib.Palette != nullptr) platform::DeleteObject(static_cast<platform::HPALETTE>(dib.Palette));
  std::free(dib.Memory);
}

uint32_t getpixel(TDib dib, int32_t x, int32_t y) {
  if (dib.Bits == nullptr || dib.Info == nullptr) return 0;
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  if (x < 0 || y < 0 || x >= h.biWidth || y >= h.biHeight) return 0;
  const uint8_t* row = DibRow(dib, y);
  switch (h.biBitCount) {
  case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
  case 4: return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
  case 8: return row[x];
  case 24: {
    const uint8_t* p = row + 3 * int64_t(x);
    return uint32_t(p[2]) | (uint32_t(p[1]) << 8) | (uint32_t(p[0]) << 16);
  }
  default: return 0;
  }
}

void setpixel(TDib dib, int32_t x, int32_t y, uint32_t value) {
  if (dib.Bits == nullptr || dib.Info == nullptr) return;
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  if (x < 0 || y < 0 || x >= h.biWidth || y >= h.biHeight) return;
  uint8_t* row = DibRow(dib, y);
  switch (h.biBitCount) {
  case 1: {
    const uint8_t bit = uint8_t(0x80u >> (x & 7));
    row[x >> 3] = (value & 1u) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
    break;
  }
  case 4: {
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? uint8_t((b & 0xF0) | (value & 0x0F)) : uint8_t((b & 0x0F) | ((value & 0x0F) << 4));
    break;
  }
  case 8: row[x] = uint8_t(value); break;
  case 24: {
    uint8_t* p = row + 3 * int64_t(x);
    p[0] = uint8_t(value >> 16);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value);
    break;
  }
  default: break;
  }
}

} // extern "C"
