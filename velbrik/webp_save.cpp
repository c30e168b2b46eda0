// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a picture as a WebP file, lossy at a quality like JPEG's or lossless.
#include "decoder.h"
#include "palette_util.h"

#include <webp/encode.h>

#include <vector>

namespace velbrik {
namespace {

struct TWebpOutput {
  std::FILE* file;
  const platform::TJob* job;
};

int writeChunk(const uint8_t* data, size_t size, const WebPPicture* picture) {
  auto* out = static_cast<TWebpOutput*>(picture->custom_ptr);
  return std::fwrite(data, 1, size, out->file) == size ? 1 : 0;
}

int progressHook(int percent, const WebPPicture* picture) {
  const auto* out = static_cast<const TWebpOutput*>(picture->custom_ptr);
  if (out->job->Cancelled()) return 0;
  out->job->Report(percent);
  return 1;
}

std::string encodeError(WebPEncodingError code) {
  switch (code) {
  case VP8_ENC_ERROR_OUT_OF_MEMORY:
  case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return "Nicht genug Speicher für die WebP-Datei.";
  case VP8_ENC_ERROR_USER_ABORT: return platform::kCancelledText;
  case VP8_ENC_ERROR_BAD_WRITE: return "Die WebP-Datei konnte nicht geschrieben werden.";
  case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
  case VP8_ENC_ERROR_PARTITION_OVERFLOW: return "Das Bild ist zu groß für eine verlustbehaftete WebP-Datei.";
  default: return "Die WebP-Datei konnte nicht erzeugt werden.";
  }
}

} // namespace

bool WriteWebp(const TDib& dib, std::FILE* file, const TWebpSettings& settings, const platform::TJob& job,
               std::string& error) {
  if (dib.Bits == nullptr || dib.Info == nullptr || file == nullptr) {
    error = "Es ist kein Bild zum Speichern da.";
    return false;
  }
  const int bits = dib.Info->bmiHeader.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
    error = "Bilder mit " + std::to_string(bits) + " Bit pro Pixel können nicht als WebP gespeichert werden.";
    return false;
  }
  const int32_t width = dib.Info->bmiHeader.biWidth, height = dib.Info->bmiHeader.biHeight;
  if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION) {
    error = "Das Bild ist zu groß für eine WebP-Datei (höchstens 16383 Pixel je Seite).";
    return false;
  }
  WebPConfig config;
  WebPPicture picture;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) {
    error = "Die WebP-Bibliothek passt nicht zum Programm.";
    return false;
  }
  config.lossless = settings.Lossless ? 1 : 0;
  config.quality = settings.Lossless ? 75.0f : float(settings.Quality < 0 ? 0 : settings.Quality > 100 ? 100 : settings.Quality);
  config.method = 4;
  config.exact = 0;
  picture.use_argb = settings.Lossless ? 1 : 0;
  picture.width = width;
  picture.height = height;

  // The rows top-down as blue, green, red; a palette picture is expanded first.
  std::vector<uint8_t> expanded;
  const uint8_t* top = DibRowFromTop(dib, 0);
  int stride = -int(dib.BytesPerLine);
  if (bits != 24) {
    expanded.resize(size_t(width) * 3 * size_t(height));
    for (int32_t y = 0; y < height; ++y) ExpandPaletteRow(dib, DibRowFromTop(dib, y), &expanded[size_t(y) * size_t(width) * 3]);
    top = expanded.data();
    stride = width * 3;
  }
  // The importer walks the rows with the signed stride, so bottom-up rows need no copy.
  if (!WebPPictureImportBGR(&picture, top, stride)) {
    WebPPictureFree(&picture);
    error = "Nicht genug Speicher für die WebP-Datei.";
    return false;
  }
  expanded = {};
  TWebpOutput out{file, &job};
  picture.writer = writeChunk;
  picture.custom_ptr = &out;
  picture.progress_hook = progressHook;
  const bool ok = WebPEncode(&config, &picture) != 0;
  const WebPEncodingError code = picture.error_code;
  WebPPictureFree(&picture);
  if (!ok) error = encodeError(code);
  return ok;
}

} // namespace velbrik
