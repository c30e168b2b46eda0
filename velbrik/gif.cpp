// SPDX-License-Identifier: GPL-3.0-or-later
// GIF reading through giflib: the first frame of the file, as an 8-bit palette image of the
// logical screen's size. Outside the frame's rectangle the picture shows the screen's background
// colour; a transparent colour of the frame is shown as white.
#include "decoder.h"

#include <gif_lib.h>

#include <cstring>
#include <memory>
#include <vector>

namespace velbrik {
namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t pos;
  bool truncated;
};

int readFromMemory(GifFileType* gif, GifByteType* target, int length) {
  auto* source = static_cast<Source*>(gif->UserData);
  if (length < 0) return 0;
  size_t n = size_t(length);
  if (n > source->size - source->pos) {
    n = source->size - source->pos;
    source->truncated = true;
  }
  std::memcpy(target, source->data + source->pos, n);
  source->pos += n;
  return int(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// The transparent index of a graphic control extension, or -1.
int transparentIndex(const GifByteType* block) {
  if (block == nullptr || block[0] < 4) return -1;
  return (block[1] & 0x01) != 0 ? block[4] : -1;
}

// giflib's own refusals, in the user's words.
std::string describe(int code, bool truncated) {
  if (truncated || code == D_GIF_ERR_READ_FAILED || code == D_GIF_ERR_EOF_TOO_SOON)
    return "Die GIF-Datei ist unvollständig.";
  if (code == D_GIF_ERR_NOT_GIF_FILE) return "Die Datei ist keine GIF-Datei.";
  if (code == D_GIF_ERR_NOT_ENOUGH_MEM) return "Nicht genug Speicher, um die GIF-Datei zu lesen.";
  return "Die GIF-Datei ist beschädigt.";
}

// Rows of an interlaced frame arrive in four passes: every 8th row from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1. Returns the frame row of the n-th row received.
int32_t interlacedRow(int32_t n, int32_t height) {
  static const int32_t start[4] = {0, 4, 2, 1};
  static const int32_t step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    const int32_t inPass = height > start[pass] ? (height - start[pass] + step[pass] - 1) / step[pass] : 0;
    if (n < inPass) return start[pass] + n * step[pass];
    n -= inPass;
  }
  return -1;
}

bool fail(TDib& out, std::string& error, std::string message) {
  error = std::move(message);
  FailDib(out, error);
  return false;
}

} // namespace

bool DecodeGif(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  if (size < 6 || std::memcmp(data, "GIF", 3) != 0) return fail(out, error, "Die Datei ist keine GIF-Datei.");
  Source source{data, size, 0, false};
  int code = 0;
  GifHandle gif(DGifOpen(&source, readFromMemory, &code));
  if (!gif) return fail(out, error, describe(code, source.truncated));

  const int32_t screenWidth = gif->SWidth, screenHeight = gif->SHeight;
  if (!CheckDimensions(screenWidth, screenHeight, 8, error)) return fail(out, error, error);

  // Skip extensions up to the first frame, keeping the transparent index that applies to it.
  int transparent = -1;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
      return fail(out, error, describe(gif->Error, source.truncated));
    if (record == TERMINATE_RECORD_TYPE) return fail(out, error, "Die GIF-Datei enthält kein Bild.");
    if (record == IMAGE_DESC_RECORD_TYPE) break;
    if (record != EXTENSION_RECORD_TYPE) return fail(out, error, "Die GIF-Datei ist beschädigt.");
    int extension = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif.get(), &extension, &block) == GIF_ERROR)
      return fail(out, error, describe(gif->Error, source.truncated));
    if (extension == GRAPHICS_EXT_FUNC_CODE) transparent = transparentIndex(block);
    while (block != nullptr)
      if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
        return fail(out, error, describe(gif->Error, source.truncated));
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
    return fail(out, error, describe(gif->Error, source.truncated));

  const GifImageDesc& frame = gif->Image;
  if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0 ||
      int64_t(frame.Left) + frame.Width > screenWidth ||
      int64_t(frame.Top) + frame.Height > screenHeight)
    return fail(out, error, "Die GIF-Datei ist beschädigt: das Bild liegt nicht im Bildschirmbereich.");

  const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (map == nullptr || map->ColorCount <= 0 || map->ColorCount > 256 || map->Colors == nullptr)
    return fail(out, error, "Die GIF-Datei hat keine Farbtabelle.");
  const int colours = map->ColorCount;

  if (!CreateDib(out, screenWidth, screenHeight, 8, error)) return fail(out, error, error);
  for (int i = 0; i < colours; ++i) {
    const GifColorType& c = map->Colors[i];
    if (i == transparent) SetDibColour(out, i, 255, 255, 255);
    else SetDibColour(out, i, c.Red, c.Green, c.Blue);
  }
  FinishPalette(out);

  // The background index refers to the global map; one outside the frame's map shows index 0.
  const int background = gif->SColorMap != nullptr && gif->SBackGroundColor < colours ? gif->SBackGroundColor : 0;
  if (background != 0)
    for (int32_t y = 0; y < screenHeight; ++y) std::memset(DibRow(out, y), background, size_t(screenWidth));

  std::vector<GifPixelType> line(size_t(frame.Width));
  for (int32_t n = 0; n < frame.Height; ++n) {
    if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR)
      return fail(out, error, describe(gif->Error, source.truncated));
    // Indexes beyond the colour map have no colour: they show the map's first colour.
    for (GifPixelType& index : line)
      if (index >= colours) index = 0;
    const int32_t row = frame.Interlace ? interlacedRow(n, frame.Height) : n;
    std::memcpy(DibRowFromTop(out, frame.Top + row) + frame.Left, line.data(), line.size());
    progress.rows(n + 1, frame.Height);
  }
  return true;
}

} // namespace velbrik
