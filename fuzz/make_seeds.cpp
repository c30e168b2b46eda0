// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpora of the fuzz targets: small valid files of every depth and variant
// each decoder accepts, made with the same helpers and libraries as the imaging tests.
//
//   fuzz_make_seeds <corpus folder>
//
// writes <corpus folder>/<target>/<name> for bmp, png, jpeg, gif, tiff, heif, webp and jxl, and every file once
// more into <corpus folder>/opendib. Files already there (inputs that once crashed) are kept.
#include "codec_support.h"
#include "file_support.h"
#include "photo_support.h"

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

using codec_test::Bytes;
using codec_test::Rgb;
namespace fs = std::filesystem;

namespace {

fs::path root;
int written = 0;
int failures = 0;

// Seeds are meant to be valid: each one must open.
void save(const std::string& target, const std::string& name, const Bytes& bytes) {
  TDib dib;
  OpenDibMemory(&dib, bytes.data(), bytes.size(), nullptr);
  if (dib.Bits == nullptr) {
    std::fprintf(stderr, "seed %s-%s does not open: %s\n", target.c_str(), name.c_str(), DibErrorText(&dib));
    ++failures;
  } else {
    deldib(dib);
  }
  for (const std::string& folder : {target, std::string("opendib")}) {
    fs::create_directories(root / folder);
    std::ofstream out(root / folder / (target + "-" + name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ++written;
  }
}

// Value of pixel (x, y) in a picture of `levels` colours: a diagonal pattern.
int pattern(int x, int y, int levels) { return (x + 2 * y) % levels; }

std::vector<Rgb> ramp(int n) {
  std::vector<Rgb> colours;
  for (int i = 0; i < n; ++i) colours.push_back({uint8_t(i * 255 / std::max(1, n - 1)), uint8_t(i * 37), uint8_t(255 - i)});
  return colours;
}

Bytes packed(int width, int y, int depth, int levels) {
  Bytes row((size_t(width) * size_t(depth) + 7) / 8, 0);
  for (int x = 0; x < width; ++x) {
    const size_t bit = size_t(x) * size_t(depth);
    row[bit / 8] = uint8_t(row[bit / 8] | (pattern(x, y, levels) << (8 - depth - int(bit % 8))));
  }
  return row;
}

// ---- BMP ----

std::vector<std::array<uint8_t, 3>> bmpPalette(int n) {
  std::vector<std::array<uint8_t, 3>> p;
  for (const Rgb& c : ramp(n)) p.push_back({c.r, c.g, c.b});
  return p;
}

void bmpSeeds() {
  const int w = 7, h = 5;
  for (int bits : {1, 4, 8, 24}) {
    for (uint32_t header : {12u, 40u, 108u, 124u}) {
      vtest::BmpFile f;
      f.headerSize = header;
      f.width = w;
      f.height = h;
      f.bitCount = uint16_t(bits);
      if (bits <= 8) f.palette = bmpPalette(1 << bits);
      f.pixels = vtest::PackRows(w, h, bits, [&](int x, int y) {
        return bits == 24 ? uint32_t(x * 0x102030 + y * 0x0A0B) : uint32_t(pattern(x, y, 1 << bits));
      });
      save("bmp", std::to_string(bits) + "bit-h" + std::to_string(header) + ".bmp", f.bytes());
      if (header == 40) {
        f.height = -h; // top-down
        save("bmp", std::to_string(bits) + "bit-topdown.bmp", f.bytes());
      }
    }
  }
  // 16 and 32 bits: default layouts and bit fields, after the header and inside it.
  struct Fields {
    const char* name;
    uint16_t bits;
    uint32_t header, compression;
    std::vector<uint32_t> masks;
  };
  const std::vector<Fields> fields = {
      {"16bit-555", 16, 40, 0, {}},
      {"16bit-565", 16, 40, 3, {0xF800, 0x07E0, 0x001F}},
      {"16bit-565-h56", 16, 56, 3, {0xF800, 0x07E0, 0x001F, 0}},
      {"32bit", 32, 40, 0, {}},
      {"32bit-fields", 32, 40, 3, {0x00FF0000, 0x0000FF00, 0x000000FF}},
      {"32bit-fields-h52", 32, 52, 3, {0x0000FF00, 0x00FF0000, 0xFF000000}},
      {"32bit-alpha-h56", 32, 56, 6, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
      {"32bit-alpha-h124", 32, 124, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
      {"32bit-alphafields-h40", 32, 40, 6, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
  };
  for (const Fields& fd : fields) {
    vtest::BmpFile f;
    f.headerSize = fd.header;
    f.width = w;
    f.height = h;
    f.bitCount = fd.bits;
    f.compression = fd.compression;
    f.masks = fd.masks;
    f.pixels = vtest::PackRows(w, h, fd.bits, [](int x, int y) { return uint32_t(x * 0x1357 + y * 0x2468ACE); });
    save("bmp", std::string(fd.name) + ".bmp", f.bytes());
  }
  // Run-length pictures: runs, an absolute run, a delta, ends of line and of picture.
  vtest::BmpFile rle8;
  rle8.width = 8;
  rle8.height = 4;
  rle8.bitCount = 8;
  rle8.compression = 1;
  rle8.palette = bmpPalette(16);
  rle8.pixels = {4, 1, 4, 2, 0, 0, 0, 3, 5, 6, 7, 0, 2, 8, 0, 0, 0, 2, 2, 0, 3, 9, 0, 0, 8, 3, 0, 1};
  save("bmp", "rle8.bmp", rle8.bytes());
  vtest::BmpFile rle4 = rle8;
  rle4.bitCount = 4;
  rle4.compression = 2;
  rle4.pixels = {8, 0x12, 0, 0, 0, 4, 0x34, 0x56, 0, 0, 0, 2, 1, 0, 5, 0x77, 0, 0, 8, 0xAB, 0, 1};
  save("bmp", "rle4.bmp", rle4.bytes());
}

// ---- PNG ----

void pngSeeds() {
  const int w = 9, h = 6;
  for (int depth : {1, 2, 4, 8}) {
    codec_test::PngSpec spec;
    spec.width = w;
    spec.height = h;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.depth = depth;
    const int levels = std::min(1 << depth, 16);
    spec.palette = ramp(levels);
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) rows.push_back(packed(w, y, depth, levels));
    save("png", "palette" + std::to_string(depth) + ".png", codec_test::MakePng(spec, rows));
    spec.paletteAlpha = {0, 128};
    spec.interlaced = depth == 2;
    save("png", "palette" + std::to_string(depth) + "-trns.png", codec_test::MakePng(spec, rows));
  }
  struct Kind {
    const char* name;
    int type, depth, samples;
  };
  const std::vector<Kind> kinds = {
      {"grey1", PNG_COLOR_TYPE_GRAY, 1, 1},       {"grey2", PNG_COLOR_TYPE_GRAY, 2, 1},
      {"grey4", PNG_COLOR_TYPE_GRAY, 4, 1},       {"grey8", PNG_COLOR_TYPE_GRAY, 8, 1},
      {"grey16", PNG_COLOR_TYPE_GRAY, 16, 1},     {"greyalpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2},
      {"greyalpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, 2}, {"rgb8", PNG_COLOR_TYPE_RGB, 8, 3},
      {"rgb16", PNG_COLOR_TYPE_RGB, 16, 3},       {"rgba8", PNG_COLOR_TYPE_RGBA, 8, 4},
      {"rgba16", PNG_COLOR_TYPE_RGBA, 16, 4},
  };
  for (const Kind& k : kinds) {
    codec_test::PngSpec spec;
    spec.width = w;
    spec.height = h;
    spec.colourType = k.type;
    spec.depth = k.depth;
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) {
      if (k.depth < 8) {
        rows.push_back(packed(w, y, k.depth, 1 << k.depth));
        continue;
      }
      Bytes row;
      for (int x = 0; x < w * k.samples * (k.depth / 8); ++x) row.push_back(uint8_t(x * 29 + y * 53));
      rows.push_back(row);
    }
    save("png", std::string(k.name) + ".png", codec_test::MakePng(spec, rows));
    if (k.type == PNG_COLOR_TYPE_RGB && k.depth == 8) {
      spec.icc = codec_test::WideGamutProfile();
      save("png", std::string(k.name) + "-profile.png", codec_test::MakePng(spec, rows));
      spec.icc.clear();
    }
    spec.interlaced = true;
    save("png", std::string(k.name) + "-interlaced.png", codec_test::MakePng(spec, rows));
    if (k.type == PNG_COLOR_TYPE_GRAY) {
      spec.interlaced = false;
      spec.greyKey = 0;
      save("png", std::string(k.name) + "-key.png", codec_test::MakePng(spec, rows));
    }
  }
}

// ---- JPEG ----

void jpegSeeds() {
  const int w = 16, h = 12;
  auto samples = [&](int components) {
    Bytes s;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < components; ++c) s.push_back(uint8_t(x * 13 + y * 7 + c * 60));
    return s;
  };
  for (int components : {1, 3, 4}) {
    for (bool progressive : {false, true}) {
      codec_test::JpegSpec spec;
      spec.width = w;
      spec.height = h;
      spec.components = components;
      spec.progressive = progressive;
      const std::string name = std::string(components == 1 ? "grey" : components == 3 ? "colour" : "cmyk-adobe") +
                               (progressive ? "-progressive" : "");
      save("jpeg", name + ".jpg", codec_test::MakeJpeg(spec, samples(components)));
      if (components == 4) {
        spec.adobe = false;
        save("jpeg", "cmyk-plain" + std::string(progressive ? "-progressive" : "") + ".jpg",
             codec_test::MakeJpeg(spec, samples(components)));
      }
    }
  }
  codec_test::JpegSpec odd;
  odd.width = 13; // partial blocks at the right and bottom
  odd.height = 7;
  odd.quality = 40;
  Bytes s;
  for (int i = 0; i < 13 * 7 * 3; ++i) s.push_back(uint8_t(i * 11));
  save("jpeg", "colour-odd.jpg", codec_test::MakeJpeg(odd, s));

  // Turned by EXIF, carrying a colour profile, arithmetic-coded.
  codec_test::JpegSpec shown;
  shown.width = w;
  shown.height = h;
  shown.orientation = 6;
  save("jpeg", "colour-exif6.jpg", codec_test::MakeJpeg(shown, samples(3)));
  shown.orientation = 0;
  shown.icc = codec_test::WideGamutProfile();
  save("jpeg", "colour-profile.jpg", codec_test::MakeJpeg(shown, samples(3)));
  shown.components = 1;
  shown.icc = codec_test::LinearGreyProfile();
  save("jpeg", "grey-profile.jpg", codec_test::MakeJpeg(shown, samples(1)));
  shown.components = 3;
  shown.icc.clear();
  shown.arithmetic = true;
  save("jpeg", "colour-arithmetic.jpg", codec_test::MakeJpeg(shown, samples(3)));
  shown.progressive = true;
  save("jpeg", "colour-arithmetic-progressive.jpg", codec_test::MakeJpeg(shown, samples(3)));
}

// ---- GIF ----

void gifSeeds() {
  auto indexes = [](int w, int h, int levels) {
    Bytes out;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.push_back(uint8_t(pattern(x, y, levels)));
    return out;
  };
  for (int colours : {2, 16, 256}) {
    codec_test::GifSpec spec;
    spec.screenWidth = spec.width = 10;
    spec.screenHeight = spec.height = 9;
    spec.global = ramp(colours);
    save("gif", "global" + std::to_string(colours) + ".gif", codec_test::MakeGif(spec, indexes(10, 9, colours)));
    spec.interlaced = true;
    save("gif", "global" + std::to_string(colours) + "-interlaced.gif",
         codec_test::MakeGif(spec, indexes(10, 9, colours)));
  }
  codec_test::GifSpec framed;
  framed.screenWidth = 12;
  framed.screenHeight = 10;
  framed.left = 2;
  framed.top = 3;
  framed.width = 6;
  framed.height = 5;
  framed.global = ramp(8);
  framed.background = 3;
  framed.transparent = 1;
  save("gif", "frame-on-background.gif", codec_test::MakeGif(framed, indexes(6, 5, 8)));
  framed.local = ramp(4);
  framed.global.clear();
  save("gif", "frame-local-map.gif", codec_test::MakeGif(framed, indexes(6, 5, 4)));
}

// ---- TIFF ----

void tiffSeeds() {
  const int w = 10, h = 8;
  for (int depth : {1, 2, 4, 8}) {
    codec_test::TiffSpec spec;
    spec.width = w;
    spec.height = h;
    spec.bitsPerSample = depth;
    spec.samplesPerPixel = 1;
    spec.photometric = PHOTOMETRIC_PALETTE;
    for (int channel = 0; channel < 3; ++channel)
      for (int i = 0; i < (1 << depth); ++i) spec.colourMap.push_back(uint16_t((i * 41 + channel * 90) % 256 * 257));
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) rows.push_back(packed(w, y, depth, 1 << depth));
    spec.compression = depth == 8 ? COMPRESSION_LZW : COMPRESSION_PACKBITS;
    save("tiff", "palette" + std::to_string(depth) + ".tif", codec_test::MakeTiff(spec, rows));
    spec.colourMap.clear();
    spec.photometric = depth == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    spec.compression = COMPRESSION_NONE;
    save("tiff", "grey" + std::to_string(depth) + ".tif", codec_test::MakeTiff(spec, rows));
  }
  codec_test::TiffSpec fax;
  fax.width = 16;
  fax.height = 4;
  fax.bitsPerSample = 1;
  fax.samplesPerPixel = 1;
  fax.photometric = PHOTOMETRIC_MINISWHITE;
  std::vector<Bytes> faxRows;
  for (int y = 0; y < 4; ++y) faxRows.push_back(packed(16, y, 1, 2));
  for (int c : {COMPRESSION_CCITTRLE, COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4}) {
    fax.compression = c;
    save("tiff", "fax" + std::to_string(c) + ".tif", codec_test::MakeTiff(fax, faxRows));
  }

  auto rgbRows = [&](int samples, int bytesPerSample) {
    std::vector<Bytes> rows;
    for (int y = 0; y < h; ++y) {
      Bytes row;
      for (int x = 0; x < w * samples * bytesPerSample; ++x) row.push_back(uint8_t(x * 17 + y * 31));
      rows.push_back(row);
    }
    return rows;
  };
  struct Kind {
    const char* name;
    int compression, samples, bits, extra, tile, orientation;
  };
  const std::vector<Kind> kinds = {
      {"rgb", COMPRESSION_NONE, 3, 8, -1, 0, ORIENTATION_TOPLEFT},
      {"rgb-lzw", COMPRESSION_LZW, 3, 8, -1, 0, ORIENTATION_TOPLEFT},
      {"rgb-deflate", COMPRESSION_ADOBE_DEFLATE, 3, 8, -1, 0, ORIENTATION_TOPLEFT},
      {"rgb-packbits", COMPRESSION_PACKBITS, 3, 8, -1, 0, ORIENTATION_TOPLEFT},
      {"rgb-jpeg", COMPRESSION_JPEG, 3, 8, -1, 0, ORIENTATION_TOPLEFT},
      {"rgb16", COMPRESSION_NONE, 3, 16, -1, 0, ORIENTATION_TOPLEFT},
      {"rgba", COMPRESSION_LZW, 4, 8, EXTRASAMPLE_UNASSALPHA, 0, ORIENTATION_TOPLEFT},
      {"rgba-premultiplied", COMPRESSION_NONE, 4, 8, EXTRASAMPLE_ASSOCALPHA, 0, ORIENTATION_TOPLEFT},
      {"rgb-tiled", COMPRESSION_NONE, 3, 8, -1, 16, ORIENTATION_TOPLEFT},
      {"rgb-tiled-lzw", COMPRESSION_LZW, 3, 8, -1, 16, ORIENTATION_TOPLEFT},
      {"rgb-bottomup", COMPRESSION_NONE, 3, 8, -1, 0, ORIENTATION_BOTLEFT},
      {"rgb-turned-profile", COMPRESSION_LZW, 3, 8, -1, 0, ORIENTATION_RIGHTTOP},
      {"rgb-tiled-turned", COMPRESSION_NONE, 3, 8, -1, 16, ORIENTATION_LEFTBOT},
      {"grey16-alpha", COMPRESSION_NONE, 2, 16, EXTRASAMPLE_UNASSALPHA, 0, ORIENTATION_TOPLEFT},
      {"cmyk", COMPRESSION_LZW, 4, 8, -1, 0, ORIENTATION_TOPLEFT},
  };
  for (const Kind& k : kinds) {
    codec_test::TiffSpec spec;
    spec.width = w;
    spec.height = h;
    if (k.orientation == ORIENTATION_RIGHTTOP) spec.icc = codec_test::WideGamutProfile();
    spec.compression = k.compression;
    spec.samplesPerPixel = k.samples;
    spec.bitsPerSample = k.bits;
    spec.extraSamples = k.extra;
    spec.tileSize = k.tile;
    spec.orientation = k.orientation;
    spec.rowsPerStrip = k.compression == COMPRESSION_JPEG ? 8 : 3;
    if (k.samples == 2) spec.photometric = PHOTOMETRIC_MINISBLACK;
    if (std::string(k.name) == "cmyk") spec.photometric = PHOTOMETRIC_SEPARATED;
    save("tiff", std::string(k.name) + ".tif", codec_test::MakeTiff(spec, rgbRows(k.samples, k.bits / 8)));
  }
}

// ---- HEIF, AVIF, WebP, JPEG XL: turned, with alpha, 10 bits, animated, with a profile ----

void photoSeeds() {
  using codec_test::Gradient;
  const auto alpha = Gradient(9, 6, 4, 8), deep = Gradient(9, 6, 3, 10), plain = Gradient(9, 6, 3, 8);
  save("webp", "plain.webp", codec_test::MakeWebp({plain}));
  save("webp", "alpha-turned.webp", codec_test::MakeWebp({alpha}, 6, codec_test::WideGamutProfile()));
  save("webp", "animated.webp", codec_test::MakeWebp({alpha, plain}));
  save("jxl", "alpha-turned.jxl", codec_test::MakeJxl(alpha, 6));
  save("jxl", "deep.jxl", codec_test::MakeJxl(deep, 3));
  for (const auto& [format, ext] : {std::pair{heif_compression_HEVC, ".heic"}, std::pair{heif_compression_AV1, ".avif"}}) {
    const auto plainFile = codec_test::MakeHeif(format, plain), alphaFile = codec_test::MakeHeif(format, alpha, 6);
    if (plainFile.empty()) continue; // no encoder for this format
    save("heif", std::string("plain") + ext, plainFile);
    save("heif", std::string("alpha-turned") + ext, alphaFile);
  }
  save("heif", "deep.heic", codec_test::MakeHeif(heif_compression_HEVC, deep, 8));
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  root = argv[1];
  bmpSeeds();
  pngSeeds();
  jpegSeeds();
  gifSeeds();
  tiffSeeds();
  photoSeeds();
  std::printf("wrote %d files under %s\n", written, root.c_str());
  return failures == 0 ? 0 : 1;
}
