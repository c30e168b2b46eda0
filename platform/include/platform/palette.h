// SPDX-License-Identifier: GPL-3.0-or-later
// GDI objects and logical palettes of the platform layer.
#pragma once

#include "platform/win.h"

#include <vector>

namespace platform {

// Base of everything DeleteObject can release (palettes, bitmaps, ...).
// Counts its live instances, so tests can prove that nothing is leaked.
class TGdiObject {
public:
  TGdiObject();
  virtual ~TGdiObject();
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  // Stock objects live for the whole program: they are not counted and DeleteObject keeps them.
  bool IsStock() const { return stock_; }
  struct StockTag {};

protected:
  explicit TGdiObject(StockTag);

private:
  bool stock_ = false;
};
using HGDIOBJ = TGdiObject*;

struct PALETTEENTRY {
  uint8_t peRed, peGreen, peBlue, peFlags;
};
// Variable length: palNumEntries entries follow the two counts.
struct LOGPALETTE {
  uint16_t palVersion;
  uint16_t palNumEntries;
  PALETTEENTRY palPalEntry[1];
};

class TPalette final : public TGdiObject {
public:
  explicit TPalette(std::vector<PALETTEENTRY> entries) : entries_(std::move(entries)) {}
  TPalette(StockTag tag, std::vector<PALETTEENTRY> entries)
      : TGdiObject(tag), entries_(std::move(entries)) {}
  const std::vector<PALETTEENTRY>& entries() const { return entries_; }

private:
  std::vector<PALETTEENTRY> entries_;
};
using HPALETTE = TPalette*;

// Null for a null pointer or a palette of more than 256 or of 0 entries.
HPALETTE CreatePalette(const LOGPALETTE* logPalette);
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* out);
// Releases the object; stock objects are left alone (and 1 returned), as the original did.
BOOL DeleteObject(HGDIOBJ object);
// Number of GDI objects alive.
long LiveGdiObjectCount();

} // namespace platform
