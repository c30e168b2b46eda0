// SPDX-License-Identifier: GPL-3.0-or-later
#include "photo_support.h"

#include <jxl/encode_cxx.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>

namespace codec_test {

Samples Gradient(int width, int height, int channels, int bits) {
  Samples s{width, height, channels, bits, std::vector<uint16_t>(size_t(width) * size_t(height) * size_t(channels))};
  const int top = (1 << bits) - 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      s.at(x, y, 0) = uint16_t(top * x / std::max(1, width - 1));
      s.at(x, y, 1) = uint16_t(top * y / std::max(1, height - 1));
      s.at(x, y, 2) = uint16_t(top / 4);
      if (channels == 4) s.at(x, y, 3) = uint16_t(top);
    }
  return s;
}

namespace {

Bytes rgba8(const Samples& s) {
  Bytes out(size_t(s.width) * size_t(s.height) * 4, 255);
  for (size_t i = 0, n = size_t(s.width) * size_t(s.height); i < n; ++i)
    for (int c = 0; c < s.channels; ++c) out[i * 4 + size_t(c)] = uint8_t(s.values[i * size_t(s.channels) + size_t(c)]);
  return out;
}

void addChunk(WebPMux* mux, const char* name, const Bytes& bytes) {
  const WebPData data{bytes.data(), bytes.size()};
  WebPMuxSetChunk(mux, name, &data, 1);
}

} // namespace

Bytes MakeWebp(const std::vector<Samples>& frames, int orientation, const Bytes& icc) {
  WebPData assembled{nullptr, 0};
  WebPMux* mux = nullptr;
  if (frames.size() > 1) {
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(frames[0].width, frames[0].height, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int time = 0;
    for (const Samples& s : frames) {
      WebPPicture picture;
      WebPPictureInit(&picture);
      picture.use_argb = 1;
      picture.width = s.width;
      picture.height = s.height;
      const Bytes rgba = rgba8(s);
      WebPPictureImportRGBA(&picture, rgba.data(), s.width * 4);
      WebPAnimEncoderAdd(encoder, &picture, time, &config);
      WebPPictureFree(&picture);
      time += 100;
    }
    WebPAnimEncoderAdd(encoder, nullptr, time, nullptr);
    WebPAnimEncoderAssemble(encoder, &assembled);
    WebPAnimEncoderDelete(encoder);
    mux = WebPMuxCreate(&assembled, 1);
  } else {
    const Bytes rgba = rgba8(frames[0]);
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(rgba.data(), frames[0].width, frames[0].height, frames[0].width * 4, &out);
    assembled = {out, size};
    mux = WebPMuxCreate(&assembled, 1);
  }
  const uint8_t o = uint8_t(orientation);
  if (orientation != 1) addChunk(mux, "EXIF", {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0x12, 0, 3, 0, 0, 0, 1, 0, o, 0, 0, 0, 0, 0, 0});
  if (!icc.empty()) addChunk(mux, "ICCP", icc);
  WebPDataClear(&assembled);
  WebPMuxAssemble(mux, &assembled);
  WebPMuxDelete(mux);
  Bytes file(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return file;
}

Bytes MakeHeif(heif_compression_format format, const Samples& s, int orientation) {
  if (!heif_have_encoder_for_format(format)) return {};
  const bool alpha = s.channels == 4, wide = s.bits > 8;
  const heif_chroma chroma = wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                  : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  heif_image* image = nullptr;
  heif_image_create(s.width, s.height, heif_colorspace_RGB, chroma, &image);
  heif_image_add_plane(image, heif_channel_interleaved, s.width, s.height, s.bits);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < s.height; ++y)
    for (int i = 0; i < s.width * s.channels; ++i) {
      const uint16_t v = s.values[size_t(y) * size_t(s.width * s.channels) + size_t(i)];
      if (wide) {
        plane[size_t(y) * size_t(stride) + size_t(i) * 2] = uint8_t(v & 0xFF);
        plane[size_t(y) * size_t(stride) + size_t(i) * 2 + 1] = uint8_t(v >> 8);
      } else {
        plane[size_t(y) * size_t(stride) + size_t(i)] = uint8_t(v);
      }
    }
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_context_get_encoder_for_format(context, format, &encoder);
  heif_encoder_set_lossy_quality(encoder, 95);
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = heif_orientation(orientation);
  const heif_error e = heif_context_encode_image(context, image, encoder, options, nullptr);
  heif_encoding_options_free(options);
  heif_encoder_release(encoder);
  heif_image_release(image);
  Bytes file;
  heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* user) {
                       auto* out = static_cast<Bytes*>(user);
                       out->insert(out->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
                       return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                     }};
  if (e.code == heif_error_Ok) heif_context_write(context, &writer, &file);
  heif_context_free(context);
  return file;
}

Bytes MakeJxl(const Samples& s, int orientation) {
  JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = uint32_t(s.width);
  info.ysize = uint32_t(s.height);
  info.bits_per_sample = uint32_t(s.bits);
  info.num_color_channels = 3;
  info.alpha_bits = s.channels == 4 ? uint32_t(s.bits) : 0;
  info.num_extra_channels = s.channels == 4 ? 1 : 0;
  info.uses_original_profile = JXL_TRUE;
  info.orientation = JxlOrientation(orientation);
  JxlEncoderSetBasicInfo(encoder.get(), &info);
  JxlColorEncoding srgb;
  JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
  JxlEncoderSetColorEncoding(encoder.get(), &srgb);
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
  JxlEncoderSetFrameLossless(settings, JXL_TRUE);
  const JxlPixelFormat format{uint32_t(s.channels), s.bits > 8 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  Bytes bytes;
  if (s.bits > 8) {
    // libjxl takes 16-bit samples at full scale.
    std::vector<uint16_t> full(s.values);
    for (uint16_t& v : full) v = uint16_t((uint32_t(v) * 65535 + ((1u << s.bits) - 1) / 2) / ((1u << s.bits) - 1));
    JxlEncoderAddImageFrame(settings, &format, full.data(), full.size() * 2);
  } else {
    const Bytes b = [&] { Bytes v; for (uint16_t x : s.values) v.push_back(uint8_t(x)); return v; }();
    JxlEncoderAddImageFrame(settings, &format, b.data(), b.size());
  }
  JxlEncoderCloseInput(encoder.get());
  Bytes file(1 << 16);
  uint8_t* next = file.data();
  size_t avail = file.size();
  while (JxlEncoderProcessOutput(encoder.get(), &next, &avail) == JXL_ENC_NEED_MORE_OUTPUT) {
    const size_t used = size_t(next - file.data());
    file.resize(file.size() * 2);
    next = file.data() + used;
    avail = file.size() - used;
  }
  file.resize(size_t(next - file.data()));
  return file;
}

} // namespace codec_test
