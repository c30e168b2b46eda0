// SPDX-License-Identifier: GPL-3.0-or-later
// WebP reading through libwebp: the still picture, or the first frame of an animation (through
// WebPDemux) on its canvas. Alpha is composed over white, an ICC profile (ICCP chunk) converted
// to sRGB, an EXIF orientation applied. Pictures above the pixel limit are scaled by libwebp
// while decoding.
#include "colour.h"
#include "decoder.h"
#include "jpeg_meta.h"
#include "photo.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace velbrik {
namespace {

struct DemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

bool fail(TDib& out, std::string& error, const std::string& message) {
  error = message;
  FailDib(out, error);
  return false;
}

} // namespace

bool DecodeWebp(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WEBP", 4) != 0)
    return fail(out, error, "Die Datei ist keine WebP-Datei.");
  const WebPData whole = {data, size};
  WebPDemuxState state = WEBP_DEMUX_PARSING_HEADER;
  std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&whole, &state));
  if (!demux || state == WEBP_DEMUX_PARSE_ERROR) return fail(out, error, "Die WebP-Datei ist beschädigt.");
  const int64_t canvasWidth = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
  const int64_t canvasHeight = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
  if (!CheckSourceSize(canvasWidth, canvasHeight, "WebP", error)) return fail(out, error, error);

  WebPIterator frame;
  if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) {
    return fail(out, error, state == WEBP_DEMUX_DONE ? "Die WebP-Datei enthält kein Bild."
                                                     : "Die WebP-Datei ist unvollständig.");
  }
  const bool complete = frame.complete != 0;
  const WebPData bits = frame.fragment;
  const int64_t frameX = frame.x_offset, frameY = frame.y_offset;
  const int64_t frameWidth = frame.width, frameHeight = frame.height;
  WebPDemuxReleaseIterator(&frame);
  if (!complete) return fail(out, error, "Die WebP-Datei ist unvollständig.");
  if (frameWidth <= 0 || frameHeight <= 0 || frameX + frameWidth > canvasWidth || frameY + frameHeight > canvasHeight)
    return fail(out, error, "Die WebP-Datei ist beschädigt: das erste Bild liegt außerhalb der Fläche.");

  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return fail(out, error, "Die WebP-Bibliothek passt nicht zu diesem Programm.");
  if (WebPGetFeatures(bits.bytes, bits.size, &config.input) != VP8_STATUS_OK ||
      config.input.width != frameWidth || config.input.height != frameHeight)
    return fail(out, error, "Die WebP-Datei ist beschädigt.");

  // The canvas at the size it is opened: the frame is scaled by the canvas's factor.
  int32_t width = 0, height = 0;
  ReducedSize(canvasWidth, canvasHeight, width, height);
  const bool reduced = width != canvasWidth || height != canvasHeight;
  const int64_t x0 = frameX * width / canvasWidth, y0 = frameY * height / canvasHeight;
  const int64_t x1 = (frameX + frameWidth) * width / canvasWidth, y1 = (frameY + frameHeight) * height / canvasHeight;
  if (x1 <= x0 || y1 <= y0) return fail(out, error, "Die WebP-Datei ist beschädigt.");
  const bool alpha = config.input.has_alpha != 0;
  const int channels = alpha ? 4 : 3;
  const size_t stride = size_t(x1 - x0) * size_t(channels);
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[stride * size_t(y1 - y0)]);
  if (!pixels) return fail(out, error, "Nicht genug Speicher, um die WebP-Datei zu lesen.");
  config.options.use_threads = 1;
  if (reduced) {
    config.options.use_scaling = 1;
    config.options.scaled_width = int(x1 - x0);
    config.options.scaled_height = int(y1 - y0);
  }
  config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = pixels.get();
  config.output.u.RGBA.stride = int(stride);
  config.output.u.RGBA.size = stride * size_t(y1 - y0);
  progress.report(10);
  const VP8StatusCode status = WebPDecode(bits.bytes, bits.size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status == VP8_STATUS_NOT_ENOUGH_DATA) return fail(out, error, "Die WebP-Datei ist unvollständig.");
  if (status == VP8_STATUS_OUT_OF_MEMORY) return fail(out, error, "Nicht genug Speicher, um die WebP-Datei zu lesen.");
  if (status != VP8_STATUS_OK) return fail(out, error, "Die WebP-Datei ist beschädigt.");
  progress.report(60);

  // Where the frame does not cover the canvas, the canvas is transparent: white.
  int orientation = kUpright;
  WebPChunkIterator chunk;
  if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &chunk)) {
    std::vector<uint8_t> exif(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    if (exif.size() < 6 || std::memcmp(exif.data(), "Exif\0\0", 6) != 0) exif.insert(exif.begin(), {'E', 'x', 'i', 'f', 0, 0});
    orientation = ExifOrientation(exif.data(), exif.size());
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  std::unique_ptr<uint8_t[]> canvas;
  DecodedRows rows{pixels.get(), stride, width, height, channels, 8};
  if (x0 != 0 || y0 != 0 || x1 != width || y1 != height) {
    const size_t canvasStride = size_t(width) * size_t(channels);
    canvas.reset(new (std::nothrow) uint8_t[canvasStride * size_t(height)]);
    if (!canvas) return fail(out, error, "Nicht genug Speicher, um die WebP-Datei zu lesen.");
    std::memset(canvas.get(), channels == 4 ? 0 : 255, canvasStride * size_t(height));
    for (int64_t y = y0; y < y1; ++y)
      std::memcpy(canvas.get() + size_t(y) * canvasStride + size_t(x0) * size_t(channels),
                  pixels.get() + size_t(y - y0) * stride, stride);
    pixels.reset();
    rows = {canvas.get(), canvasStride, width, height, channels, 8};
  }
  if (!WritePicture(rows, orientation, out, progress, error)) return fail(out, error, error);
  if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
    ColourProfile profile;
    profile.open(chunk.chunk.bytes, chunk.chunk.size, ProfileInput::Bgr);
    WebPDemuxReleaseChunkIterator(&chunk);
    profile.convertDib(out);
  }
  if (reduced) {
    const bool swap = SwapsSides(orientation);
    MarkReduced(out, swap ? canvasHeight : canvasWidth, swap ? canvasWidth : canvasHeight);
  }
  return true;
}

} // namespace velbrik
