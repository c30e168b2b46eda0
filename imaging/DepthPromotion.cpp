// SPDX-License-Identifier: GPL-3.0-or-later
#include "DepthPromotion.h"

#include "Random.h"

#include "platform/palette.h"

#include <thread>

using namespace platform;

namespace {

// Writes one colour into both copies of a palette image's colours: LogPal and the colour table
// after the header.
void setColour(TDib& dib, int32_t index, uint8_t red, uint8_t green, uint8_t blue) {
  VPaletteEntry& e = dib.LogPal.palPalEntry[index];
  e.peRed = red;
  e.peGreen = green;
  e.peBlue = blue;
  VRgbQuad& q = dib.Info->bmiColors[index];
  q.rgbRed = red;
  q.rgbGreen = green;
  q.rgbBlue = blue;
}

// Colours nobody uses: each channel a multiple of 4, drawn red, green, blue.
void setRandomColours(TDib& dib, int32_t first, int32_t last) {
  for (int32_t i = first; i <= last; ++i) {
    const uint8_t red = uint8_t(Random(256) / 4 * 4);
    const uint8_t green = uint8_t(Random(256) / 4 * 4);
    const uint8_t blue = uint8_t(Random(256) / 4 * 4);
    setColour(dib, i, red, green, blue);
  }
}

// Rebuilds the palette handle from the colours just written.
void finishPalette(TDib& dib) {
  DeleteObject(static_cast<HPALETTE>(dib.Palette));
  dib.Palette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&dib.LogPal));
}

// Percentage at the start of memory row y: the first row 0, the last 100. A picture one row
// high has nothing between first and last: its only row reports 100.
int32_t rowPercent(int32_t y, int32_t height) {
  if (height <= 1) return 100;
  return int32_t(int64_t(y) * 100 / (height - 1));
}

uint8_t nibble(const uint8_t* row, int32_t x) {
  const uint8_t b = row[x / 2];
  return (x % 2 == 0) ? uint8_t(b >> 4) : uint8_t(b & 15);
}

} // namespace

void DepthUpTo(TDib& FSourceDib, int32_t Target, const std::function<void(int32_t)>& SetProStatus,
               const TRowBands& rows) {
  auto progress = [&](int32_t v) {
    if (SetProStatus) SetProStatus(v);
  };
  progress(0);
  if (FSourceDib.Info == nullptr || FSourceDib.Bits == nullptr) {
    progress(0);
    return;
  }
  const int32_t width = DibWidth(FSourceDib), height = DibHeight(FSourceDib);
  const int32_t source = DibBitCount(FSourceDib);
  if (source == 24) {
    progress(0);
    return;
  }

  TDib made;
  newdib(&made, width, height, Target, nullptr, 0);
  if (made.Memory == nullptr) {
    progress(0);
    return;
  }

  const TDib& src = FSourceDib;
  const VPaletteEntry* colours = src.LogPal.palPalEntry;
  bool converted = true;
  // Each row's pixels depend on that row alone. The percentages go out in row order, one per
  // row the calling thread begins, and the rest once all rows are done.
  auto eachPixel = [&](auto&& pixel) {
    const std::thread::id caller = std::this_thread::get_id();
    int32_t reported = 0;
    const std::function<void(int32_t, int32_t)> band = [&](int32_t first, int32_t end) {
      const bool onCaller = std::this_thread::get_id() == caller;
      for (int32_t y = first; y < end; ++y) {
        if (onCaller && reported < height) progress(rowPercent(reported++, height));
        const uint8_t* in = src.Bits + int64_t(y) * src.BytesPerLine;
        uint8_t* out = made.Bits + int64_t(y) * made.BytesPerLine;
        for (int32_t x = 0; x < width; ++x) pixel(x, y, in, out);
      }
    };
    if (rows)
      rows(height, band);
    else
      band(0, height);
    while (reported < height) progress(rowPercent(reported++, height));
  };
  auto writeRgb = [](uint8_t* out, int32_t x, const VPaletteEntry& c) {
    uint8_t* p = out + int64_t(x) * 3;
    p[0] = c.peBlue;
    p[1] = c.peGreen;
    p[2] = c.peRed;
  };

  if (Target == 8 && source == 4) {
    for (int32_t i = 0; i < 16; ++i) setColour(made, i, colours[i].peRed, colours[i].peGreen, colours[i].peBlue);
    setRandomColours(made, 16, 255);
    finishPalette(made);
    eachPixel([&](int32_t x, int32_t, const uint8_t* in, uint8_t* out) { out[x] = nibble(in, x); });
  } else if (Target == 24 && source == 1) {
    eachPixel([&](int32_t x, int32_t y, const uint8_t*, uint8_t*) {
      setpixel(made, x, y, getpixel(src, x, y) == 0 ? 0 : RGB(255, 255, 255));
    });
  } else if (Target == 8 && source == 1) {
    setColour(made, 0, 0, 0, 0);
    setColour(made, 255, 255, 255, 255);
    setRandomColours(made, 1, 254);
    finishPalette(made);
    eachPixel([&](int32_t x, int32_t y, const uint8_t*, uint8_t*) {
      setpixel(made, x, y, getpixel(src, x, y) == 0 ? 0 : 255);
    });
  } else if (Target == 4 && source == 1) {
    setColour(made, 0, 0, 0, 0);
    setColour(made, 15, 255, 255, 255);
    setRandomColours(made, 1, 14);
    finishPalette(made);
    // 255 keeps its low four bits in a 4-bit image: entry 15.
    eachPixel([&](int32_t x, int32_t y, const uint8_t*, uint8_t*) {
      setpixel(made, x, y, getpixel(src, x, y) == 0 ? 0 : 255);
    });
  } else if (Target == 24 && source == 4) {
    eachPixel([&](int32_t x, int32_t, const uint8_t* in, uint8_t* out) {
      writeRgb(out, x, colours[nibble(in, x)]);
    });
  } else if (Target == 24 && source == 8) {
    eachPixel([&](int32_t x, int32_t, const uint8_t* in, uint8_t* out) {
      writeRgb(out, x, colours[in[x]]);
    });
  } else {
    converted = false;
  }

  if (converted) {
    deldib(FSourceDib);
    FSourceDib = made;
  } else {
    deldib(made);
  }
  progress(0);
}
