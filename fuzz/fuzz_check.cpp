// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz_check.h"

#include "platform/palette.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzzcheck {
namespace {

[[noreturn]] void broken(const char* what) {
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

// Touches the first and last byte of every row, so that the sanitizer sees a short buffer.
void checkImage(const TDib& dib) {
  if (dib.Bits == nullptr || dib.Info == nullptr || dib.Memory == nullptr) broken("success without pixels");
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  const int bits = h.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) broken("unexpected depth");
  if (h.biWidth <= 0 || h.biHeight <= 0 || uint64_t(h.biWidth) * uint64_t(h.biHeight) > velbrik::kMaxPixels)
    broken("size outside the limits");
  if (int64_t(dib.BytesPerLine) * 8 < int64_t(h.biWidth) * bits || dib.BytesPerLine % 4 != 0)
    broken("row length too short");
  volatile uint8_t sink = 0;
  for (int32_t y = 0; y < h.biHeight; ++y) {
    const uint8_t* row = velbrik::DibRow(dib, y);
    sink = sink ^ row[0] ^ row[dib.BytesPerLine - 1];
  }
  if (bits <= 8) sink = sink ^ dib.Info->bmiColors[(1 << bits) - 1].rgbRed;
  (void)sink;
}

void checkRefusal(const TDib& dib) {
  if (dib.Bits != nullptr || dib.Memory != nullptr) broken("refusal with an image");
  const char* text = DibErrorText(&dib);
  const size_t room = sizeof dib.LogPal.palPalEntry;
  if (strnlen(text, room) == room) broken("error text not terminated");
  if (text[0] == '\0') broken("refusal without a message");
}

} // namespace

void RunDecoder(Decoder decoder, const uint8_t* data, size_t size) {
  const long gdi = platform::LiveGdiObjectCount();
  {
    TDib dib;
    std::memset(&dib, 0xA5, sizeof dib); // decoders get an uninitialised record
    std::string error;
    velbrik::Progress progress(nullptr);
    if (decoder(data, size, dib, progress, error)) {
      checkImage(dib);
      deldib(dib);
    } else {
      if (error.empty()) broken("decoder refused without a message");
      checkRefusal(dib);
    }
  }
  if (platform::LiveGdiObjectCount() != gdi) broken("palette handle leaked");
}

void RunOpenDibMemory(const uint8_t* data, size_t size) {
  const long gdi = platform::LiveGdiObjectCount();
  TDib dib;
  std::memset(&dib, 0x5A, sizeof dib);
  OpenDibMemory(&dib, data, size, nullptr);
  if (dib.Bits != nullptr) {
    checkImage(dib);
    deldib(dib);
  } else {
    checkRefusal(dib);
  }
  if (platform::LiveGdiObjectCount() != gdi) broken("palette handle leaked");
}

} // namespace fuzzcheck
