// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec_support.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace codec_test {

Dib::~Dib() {
  if (ok) deldib(record);
}

uint32_t Dib::index(int x, int yFromTop) const { return getpixel(record, x, height() - 1 - yFromTop); }

Rgb Dib::paletteColour(int i) const {
  const VRgbQuad& q = record.Info->bmiColors[i];
  return {q.rgbRed, q.rgbGreen, q.rgbBlue};
}

Rgb Dib::at(int x, int yFromTop) const {
  const uint32_t v = index(x, yFromTop);
  if (bits() <= 8) return paletteColour(int(v));
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
}

void Decode(Decoder decoder, const Bytes& file, Dib& into) {
  velbrik::Progress progress(nullptr);
  into.ok = decoder(file.data(), file.size(), into.record, progress, into.error);
}

Made::~Made() {
  if (record.Memory != nullptr) deldib(record);
}

void MakeDib(Made& made, int width, int height, int bits) {
  newdib(&made.record, width, height, bits, nullptr, 0);
}

Bytes Truncated(const Bytes& file, size_t keep) {
  return Bytes(file.begin(), file.begin() + std::min(keep, file.size()));
}

// ---- PNG ----

namespace {
void pngAppend(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void pngFlush(png_structp) {}
void pngFail(png_structp, png_const_charp message) { throw std::runtime_error(message); }
} // namespace

Bytes MakePng(const PngSpec& spec, const std::vector<Bytes>& rows) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFail, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, pngAppend, pngFlush);
  png_set_IHDR(png, info, png_uint_32(spec.width), png_uint_32(spec.height), spec.depth,
               spec.colourType, spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> colours;
  for (const Rgb& c : spec.palette) colours.push_back({c.r, c.g, c.b});
  if (!colours.empty()) png_set_PLTE(png, info, colours.data(), int(colours.size()));
  if (!spec.paletteAlpha.empty())
    png_set_tRNS(png, info, spec.paletteAlpha.data(), int(spec.paletteAlpha.size()), nullptr);
  if (!spec.icc.empty())
    png_set_iCCP(png, info, "Profil", PNG_COMPRESSION_TYPE_BASE, spec.icc.data(), png_uint_32(spec.icc.size()));
  png_color_16 key{};
  if (spec.greyKey >= 0) {
    key.gray = png_uint_16(spec.greyKey);
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (const Bytes& row : rows) png_write_row(png, row.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes PngHeaderOnly(uint32_t width, uint32_t height, int colourType, int depth) {
  // Signature, IHDR, a tiny IDAT and IEND, each chunk with its CRC.
  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto chunk = [&](const char* type, const Bytes& body) {
    const uint32_t n = uint32_t(body.size());
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(n >> s));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    const uint32_t crc = uint32_t(crc32(0, typed.data(), unsigned(typed.size())));
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(crc >> s));
  };
  Bytes ihdr;
  for (uint32_t v : {width, height})
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back(uint8_t(v >> s));
  ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(colourType), 0, 0, 0});
  chunk("IHDR", ihdr);
  // A few hundred bytes of zeros: far less than the header promises.
  Bytes zeros(300, 0), packed(400);
  uLongf packedSize = packed.size();
  compress(packed.data(), &packedSize, zeros.data(), zeros.size());
  packed.resize(packedSize);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return out;
}

// ---- JPEG ----

Bytes MakeJpeg(const JpegSpec& spec, const Bytes& samples) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(spec.width);
  cinfo.image_height = JDIMENSION(spec.height);
  cinfo.input_components = spec.components;
  cinfo.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  if (spec.components == 4) {
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    cinfo.write_Adobe_marker = spec.adobe ? TRUE : FALSE;
  }
  jpeg_set_quality(&cinfo, spec.quality, TRUE);
  if (spec.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = spec.arithmetic ? TRUE : FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  if (spec.orientation > 0) {
    // "Exif\0\0", then a little-endian TIFF structure whose first directory holds one entry.
    const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                        0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(spec.orientation), 0, 0, 0, 0, 0, 0, 0};
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
  }
  if (!spec.icc.empty()) jpeg_write_icc_profile(&cinfo, spec.icc.data(), unsigned(spec.icc.size()));
  const size_t stride = size_t(spec.width) * size_t(spec.components);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

// ---- GIF ----

namespace {
int gifAppend(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + n);
  return n;
}

ColorMapObject* makeMap(const std::vector<Rgb>& colours) {
  if (colours.empty()) return nullptr;
  int size = 2;
  while (size < int(colours.size())) size *= 2;
  std::vector<GifColorType> c(size_t(size), GifColorType{0, 0, 0});
  for (size_t i = 0; i < colours.size(); ++i) c[i] = {colours[i].r, colours[i].g, colours[i].b};
  return GifMakeMapObject(size, c.data());
}
} // namespace

Bytes MakeGif(const GifSpec& spec, const Bytes& indexes) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, gifAppend, &error);
  ColorMapObject* global = makeMap(spec.global);
  ColorMapObject* local = makeMap(spec.local);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, spec.screenWidth, spec.screenHeight, 8, spec.background, global);
  if (spec.transparent >= 0) {
    const GifByteType gce[4] = {0x01, 0, 0, GifByteType(spec.transparent)};
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce);
  }
  EGifPutImageDesc(gif, spec.left, spec.top, spec.width, spec.height, spec.interlaced, local);
  // giflib writes rows in the order given: an interlaced frame gets them pass by pass.
  std::vector<int> order;
  if (spec.interlaced) {
    for (int pass = 0; pass < 4; ++pass) {
      static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int y = start[pass]; y < spec.height; y += step[pass]) order.push_back(y);
    }
  } else {
    for (int y = 0; y < spec.height; ++y) order.push_back(y);
  }
  for (int y : order) {
    Bytes row(indexes.begin() + y * spec.width, indexes.begin() + (y + 1) * spec.width);
    EGifPutLine(gif, row.data(), spec.width);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(global);
  GifFreeMapObject(local);
  return out;
}

// ---- TIFF ----

namespace {
struct Growing {
  Bytes data;
  uint64_t pos = 0;
};
tmsize_t tRead(thandle_t h, void* buf, tmsize_t n) {
  auto* g = static_cast<Growing*>(h);
  const uint64_t k = std::min<uint64_t>(uint64_t(n), g->pos < g->data.size() ? g->data.size() - g->pos : 0);
  std::memcpy(buf, g->data.data() + g->pos, size_t(k));
  g->pos += k;
  return tmsize_t(k);
}
tmsize_t tWrite(thandle_t h, void* buf, tmsize_t n) {
  auto* g = static_cast<Growing*>(h);
  if (g->pos + uint64_t(n) > g->data.size()) g->data.resize(size_t(g->pos + uint64_t(n)));
  std::memcpy(g->data.data() + g->pos, buf, size_t(n));
  g->pos += uint64_t(n);
  return n;
}
toff_t tSeek(thandle_t h, toff_t off, int whence) {
  auto* g = static_cast<Growing*>(h);
  g->pos = (whence == SEEK_CUR ? g->pos : whence == SEEK_END ? g->data.size() : 0) + off;
  return g->pos;
}
int tClose(thandle_t) { return 0; }
toff_t tSize(thandle_t h) { return static_cast<Growing*>(h)->data.size(); }
int tMap(thandle_t, void**, toff_t*) { return 0; }
void tUnmap(thandle_t, void*, toff_t) {}
} // namespace

Bytes MakeTiff(const TiffSpec& spec, const std::vector<Bytes>& rows) {
  Growing g;
  TIFF* t = TIFFClientOpen("test", "w", &g, tRead, tWrite, tSeek, tClose, tSize, tMap, tUnmap);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(spec.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(spec.height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, spec.bitsPerSample);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spec.samplesPerPixel);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, spec.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, spec.compression);
  TIFFSetField(t, TIFFTAG_ORIENTATION, spec.orientation);
  if (spec.extraSamples >= 0) {
    const uint16_t extra = uint16_t(spec.extraSamples);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  if (!spec.icc.empty()) TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(spec.icc.size()), spec.icc.data());
  if (!spec.colourMap.empty()) {
    const size_t n = spec.colourMap.size() / 3;
    auto* m = const_cast<uint16_t*>(spec.colourMap.data());
    TIFFSetField(t, TIFFTAG_COLORMAP, m, m + n, m + 2 * n);
  }
  if (spec.tileSize > 0) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, uint32_t(spec.tileSize));
    TIFFSetField(t, TIFFTAG_TILELENGTH, uint32_t(spec.tileSize));
    const size_t pixelBytes = size_t(spec.bitsPerSample / 8 * spec.samplesPerPixel);
    Bytes tile(static_cast<size_t>(TIFFTileSize(t)));
    for (int ty = 0; ty < spec.height; ty += spec.tileSize)
      for (int tx = 0; tx < spec.width; tx += spec.tileSize) {
        std::fill(tile.begin(), tile.end(), 0);
        for (int y = 0; y < spec.tileSize && ty + y < spec.height; ++y)
          for (int x = 0; x < spec.tileSize && tx + x < spec.width; ++x)
            std::memcpy(&tile[(size_t(y) * spec.tileSize + x) * pixelBytes],
                        &rows[size_t(ty + y)][size_t(tx + x) * pixelBytes], pixelBytes);
        TIFFWriteTile(t, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
      }
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP,
                 spec.rowsPerStrip > 0 ? uint32_t(spec.rowsPerStrip) : TIFFDefaultStripSize(t, 0));
    // Fewer rows than the height leave the remaining strips empty.
    for (int y = 0; y < spec.height && y < int(rows.size()); ++y) {
      Bytes row = rows[size_t(y)];
      TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
    }
  }
  TIFFClose(t);
  return g.data;
}

// ---- colour profiles ----

namespace {
Bytes saveProfile(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  Bytes bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}
} // namespace

Bytes WideGamutProfile() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(gamma);
  return saveProfile(profile);
}

Bytes LinearGreyProfile() {
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
  cmsFreeToneCurve(linear);
  return saveProfile(profile);
}

} // namespace codec_test
