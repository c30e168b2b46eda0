// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/palette.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<long> liveObjects{0};
} // namespace

TGdiObject::TGdiObject() { ++liveObjects; }
TGdiObject::TGdiObject(StockTag) : stock_(true) {}
TGdiObject::~TGdiObject() {
  if (!stock_) --liveObjects;
}

HPALETTE CreatePalette(const LOGPALETTE* logPalette) {
  if (logPalette == nullptr || logPalette->palNumEntries == 0 || logPalette->palNumEntries > 256)
    return nullptr;
  std::vector<PALETTEENTRY> entries(logPalette->palPalEntry,
                                    logPalette->palPalEntry + logPalette->palNumEntries);
  return new TPalette(std::move(entries));
}

UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* out) {
  if (palette == nullptr) return 0;
  const auto& e = palette->entries();
  UINT n = 0;
  for (UINT i = start; i < e.size() && n < count; ++i, ++n) out[n] = e[i];
  return n;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (object == nullptr) return 0;
  if (object->IsStock()) return 1;
  delete object;
  return 1;
}

long LiveGdiObjectCount() { return liveObjects.load(); }

} // namespace platform
