// SPDX-License-Identifier: GPL-3.0-or-later
// PNG reading and writing through libpng.
//
// libpng reports errors by longjmp. Every function that calls setjmp here has only trivially
// destructible locals, and all state the error path needs lives in a plain job struct, so that
// the jump never skips a destructor and everything allocated is released on either path.
#include "colour.h"
#include "decoder.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace velbrik {
namespace {

// Ancillary chunks whose data libpng would hold in memory (text, profiles): at most this many
// and at most this large, so that a file cannot make it buffer more than a few megabytes.
constexpr png_uint_32 kChunkCacheMax = 1000;
constexpr png_alloc_size_t kChunkMallocMax = 8u << 20;

struct PngReadJob {
  const uint8_t* data;
  size_t size;
  size_t pos;
  bool truncated;
  bool ownMessage; // message is already German and final
  bool outOfMemory;
  bool overUserLimit;
  char message[160];
  TDib* out;
  Progress* progress;
  uint8_t* buffer; // one transformed row
  ColourProfile* profile;
  uint8_t levels[256];
  uint8_t greyColours[256 * 3];
};

void onError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngReadJob*>(png_get_error_ptr(png));
  if (job != nullptr && job->message[0] == '\0')
    std::snprintf(job->message, sizeof job->message, "%s", message);
  png_longjmp(png, 1);
}

// libpng names an oversized header in a warning and then fails with "Invalid IHDR data".
void onWarning(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngReadJob*>(png_get_error_ptr(png));
  if (job != nullptr && std::strstr(message, "exceeds user limit") != nullptr) job->overUserLimit = true;
}

void onWriteWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep target, png_size_t length) {
  auto* job = static_cast<PngReadJob*>(png_get_io_ptr(png));
  if (length > job->size - job->pos) {
    job->truncated = true;
    png_error(png, "unexpected end of file");
  }
  std::memcpy(target, job->data + job->pos, length);
  job->pos += length;
}

// White behind a partly transparent colour, in 8-bit steps, rounded.
inline uint8_t overWhite(unsigned colour, unsigned alpha) {
  return uint8_t((colour * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// Palette pictures: the DIB takes the palette; transparent entries are composed over white.
void takePalette(png_structp png, png_infop info, TDib& dib) {
  png_colorp colours = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &colours, &count) != PNG_INFO_PLTE) png_error(png, "no palette");
  png_bytep alpha = nullptr;
  int alphaCount = 0;
  png_color_16p ignored = nullptr;
  if (png_get_tRNS(png, info, &alpha, &alphaCount, &ignored) != PNG_INFO_tRNS) alphaCount = 0;
  for (int i = 0; i < count && i < 256; ++i) {
    const unsigned a = i < alphaCount ? alpha[i] : 255u;
    SetDibColour(dib, i, overWhite(colours[i].red, a), overWhite(colours[i].green, a),
                 overWhite(colours[i].blue, a));
  }
  FinishPalette(dib);
}

// One row of palette indexes (one byte each after png_set_packing) into a DIB row.
void packIndexes(const uint8_t* src, uint8_t* dst, int32_t width, int bitCount) {
  if (bitCount == 8) {
    std::memcpy(dst, src, size_t(width));
    return;
  }
  const int perByte = 8 / bitCount;
  const unsigned mask = (1u << bitCount) - 1u;
  for (int32_t x = 0; x < width; x += perByte) {
    unsigned byte = 0;
    for (int k = 0; k < perByte; ++k) {
      const unsigned v = x + k < width ? (src[x + k] & mask) : 0u;
      byte = (byte << bitCount) | v;
    }
    dst[x / perByte] = uint8_t(byte);
  }
}

// One palette index into column x of a DIB row of 1, 4 or 8 bits.
void putIndex(uint8_t* row, uint32_t x, int bitCount, unsigned index) {
  if (bitCount == 8) {
    row[x] = uint8_t(index);
    return;
  }
  const uint32_t bit = x * uint32_t(bitCount);
  const int shift = 8 - bitCount - int(bit & 7);
  const unsigned mask = ((1u << bitCount) - 1u) << shift;
  uint8_t& b = row[bit >> 3];
  b = uint8_t((b & ~mask) | ((index << shift) & mask));
}

// One RGBA pixel into blue, green, red over white.
inline void composeOne(const uint8_t* src, uint8_t* dst) {
  const unsigned a = src[3];
  dst[0] = overWhite(src[2], a);
  dst[1] = overWhite(src[1], a);
  dst[2] = overWhite(src[0], a);
}

// One row of RGBA bytes into a 24-bit DIB row (blue, green, red), over white.
void composeRgba(const uint8_t* src, uint8_t* dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x, src += 4, dst += 3) composeOne(src, dst);
}

// The file's colour profile, if it has one that fits its pixels.
void openProfile(png_structp png, png_infop info, bool grey, ColourProfile& profile) {
  png_charp name = nullptr;
  int compression = 0;
  png_bytep icc = nullptr;
  png_uint_32 size = 0;
  if (png_get_iCCP(png, info, &name, &compression, &icc, &size) == PNG_INFO_iCCP)
    profile.open(icc, size, grey ? ProfileInput::Grey : ProfileInput::Bgr);
}

// A finished 24-bit row of a grey picture into sRGB, by its levels.
void convertGreyRow(const ColourProfile& profile, const uint8_t* greyColours, uint8_t* row, int32_t width) {
  if (!profile.active()) return;
  for (int32_t x = 0; x < width; ++x, row += 3) std::memcpy(row, greyColours + 3 * row[1], 3);
}

// These two keep their C++ temporaries out of the function that calls setjmp.
bool checkSize(PngReadJob* job, png_uint_32 width, png_uint_32 height, int bitCount) {
  std::string error;
  if (CheckDimensions(width, height, bitCount, error)) return true;
  std::snprintf(job->message, sizeof job->message, "%s", error.c_str());
  job->ownMessage = true;
  return false;
}

bool createDib(PngReadJob* job, png_uint_32 width, png_uint_32 height, int bitCount) {
  std::string error;
  if (CreateDib(*job->out, int32_t(width), int32_t(height), bitCount, error)) return true;
  std::snprintf(job->message, sizeof job->message, "%s", error.c_str());
  job->ownMessage = true;
  return false;
}

// Returns true with job->out filled; false with job->message (or a flag) set.
bool readPng(PngReadJob* job) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, onError, onWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(job->buffer);
    job->buffer = nullptr;
    return false;
  }

  png_set_read_fn(png, job, readFromMemory);
  png_set_user_limits(png, png_uint_32(kMaxSide), png_uint_32(kMaxSide));
  png_set_chunk_cache_max(png, kChunkCacheMax);
  png_set_chunk_malloc_max(png, kChunkMallocMax);
  // Chunks this decoder has no use for are skipped as they are read, never held in memory,
  // whatever length they claim.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  static const png_byte kProfileChunk[] = "iCCP";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kProfileChunk, 1);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);

  const bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
  // 2-bit palettes have no DIB depth of their own and become 4 bits.
  const int bitCount = !palette ? 24 : depth == 1 ? 1 : depth <= 4 ? 4 : 8;
  if (!checkSize(job, width, height, bitCount)) png_longjmp(png, 1);

  if (palette) {
    png_set_packing(png);
  } else {
    png_set_expand(png); // grey below 8 bits, tRNS colour keys -> alpha
    png_set_scale_16(png); // rounded to nearest, as (v * 255 + 32767) / 65535
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  }
  // Interlaced pictures are read pass by pass without libpng's own deinterlacing, which would
  // need a buffer of the whole picture: each pass's pixels go straight to their places.
  const bool interlaced = interlace != PNG_INTERLACE_NONE;
  png_read_update_info(png, info);

  const size_t rowBytes = png_get_rowbytes(png, info);
  const size_t expected = palette ? size_t(width) : size_t(width) * 4;
  if (rowBytes != expected) png_error(png, "unexpected row layout");
  job->buffer = static_cast<uint8_t*>(std::malloc(rowBytes));
  if (job->buffer == nullptr) {
    job->outOfMemory = true;
    png_longjmp(png, 1);
  }
  if (!createDib(job, width, height, bitCount)) png_longjmp(png, 1);
  TDib& dib = *job->out;
  if (palette) takePalette(png, info, dib);
  const bool grey = (colourType & PNG_COLOR_MASK_COLOR) == 0;
  openProfile(png, info, grey, *job->profile);
  const ColourProfile& profile = *job->profile;
  if (palette) profile.convertPalette(dib);
  // Grey levels through a grey profile, looked up: blue, green, red per level.
  uint8_t* greyColours = job->greyColours;
  if (grey && profile.active()) {
    for (int i = 0; i < 256; ++i) job->levels[i] = uint8_t(i);
    profile.convertGrey(job->levels, greyColours, 256);
  }

  uint8_t* row = job->buffer;
  if (!interlaced) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, row, nullptr);
      uint8_t* target = DibRowFromTop(dib, int32_t(y));
      if (palette) packIndexes(row, target, int32_t(width), bitCount);
      else composeRgba(row, target, int32_t(width));
      if (grey) convertGreyRow(profile, greyColours, target, int32_t(width));
      job->progress->rows(int64_t(y) + 1, height);
    }
  } else {
    // libpng skips passes that are empty for the picture's size.
    auto passRows = [&](int pass) -> png_uint_32 {
      return PNG_PASS_COLS(width, pass) == 0 ? 0 : PNG_PASS_ROWS(height, pass);
    };
    int64_t total = 0, done = 0;
    for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass) total += passRows(pass);
    for (int pass = 0; pass < PNG_INTERLACE_ADAM7_PASSES; ++pass) {
      const png_uint_32 cols = PNG_PASS_COLS(width, pass), rows = passRows(pass);
      for (png_uint_32 r = 0; r < rows; ++r) {
        png_read_row(png, row, nullptr);
        uint8_t* target = DibRowFromTop(dib, int32_t(PNG_ROW_FROM_PASS_ROW(r, pass)));
        for (png_uint_32 c = 0; c < cols; ++c) {
          const png_uint_32 x = PNG_COL_FROM_PASS_COL(c, pass);
          if (palette) putIndex(target, x, bitCount, row[c]);
          else composeOne(row + 4 * size_t(c), target + 3 * size_t(x));
        }
        job->progress->rows(++done, total);
      }
    }
    if (grey && profile.active())
      for (png_uint_32 y = 0; y < height; ++y)
        convertGreyRow(profile, greyColours, DibRowFromTop(dib, int32_t(y)), int32_t(width));
  }
  // Colour pictures are converted once decoded, on the shared row threads.
  if (!palette && !grey) profile.convertDib(dib);
  // The end of the file (text chunks after the pixels) is not needed and is not read.
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(job->buffer);
  job->buffer = nullptr;
  return true;
}

struct PngWriteJob {
  const TDib* dib;
  std::FILE* file;
  const platform::TJob* job;
  char message[160];
};

// Saving speed against size: zlib level 2 with only the "up" filter writes a 12-megapixel photo
// in a fraction of the time of the defaults (level 6, every filter tried per row), at a size a few
// per cent larger.
constexpr int kPngCompressionLevel = 2;
constexpr int kPngFilters = PNG_FILTER_UP;

void onWriteError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngWriteJob*>(png_get_error_ptr(png));
  if (job != nullptr && job->message[0] == '\0')
    std::snprintf(job->message, sizeof job->message, "%s", message);
  png_longjmp(png, 1);
}

bool writePng(PngWriteJob* job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, onWriteError, onWriteWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  const TDib& dib = *job->dib;
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  const int bits = h.biBitCount;
  png_init_io(png, job->file);
  if (bits == 24) {
    png_set_IHDR(png, info, png_uint_32(h.biWidth), png_uint_32(h.biHeight), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  } else {
    png_set_IHDR(png, info, png_uint_32(h.biWidth), png_uint_32(h.biHeight), bits,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color colours[256];
    const int count = 1 << bits;
    for (int i = 0; i < count; ++i) {
      colours[i].red = dib.Info->bmiColors[i].rgbRed;
      colours[i].green = dib.Info->bmiColors[i].rgbGreen;
      colours[i].blue = dib.Info->bmiColors[i].rgbBlue;
    }
    png_set_PLTE(png, info, colours, count);
  }
  png_set_compression_level(png, kPngCompressionLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, bits == 24 ? kPngFilters : PNG_FILTER_NONE);
  png_write_info(png, info);
  // DIB rows are blue, green, red and bottom-up; palette rows pack their indexes as PNG does.
  if (bits == 24) png_set_bgr(png);
  RowJob rows(job->job, h.biHeight);
  for (int32_t y = 0; y < h.biHeight; ++y) {
    png_write_row(png, DibRowFromTop(dib, y));
    if (!rows.row(y + 1)) {
      png_destroy_write_struct(&png, &info);
      return false;
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

} // namespace

bool DecodePng(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
    error = "Die Datei ist keine PNG-Datei.";
    FailDib(out, error);
    return false;
  }
  ColourProfile profile;
  PngReadJob job{};
  job.profile = &profile;
  job.data = data;
  job.size = size;
  job.out = &out;
  job.progress = &progress;
  if (readPng(&job)) return true;

  if (job.ownMessage) error = job.message;
  else if (job.overUserLimit)
    error = "Bild ist zu groß: höchstens " + std::to_string(kMaxSide) + " Pixel je Seite.";
  else if (job.truncated) error = "Die PNG-Datei ist unvollständig.";
  else if (job.outOfMemory || job.message[0] == '\0')
    error = "Nicht genug Speicher, um die PNG-Datei zu lesen.";
  else error = "Die PNG-Datei ist beschädigt.";
  FailDib(out, error);
  return false;
}

bool WritePng(const TDib& dib, std::FILE* file, std::string& error, const platform::TJob* runner) {
  if (dib.Bits == nullptr || dib.Info == nullptr || file == nullptr) {
    error = "Es ist kein Bild zum Speichern da.";
    return false;
  }
  const int bits = dib.Info->bmiHeader.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
    error = "Bilder mit " + std::to_string(bits) + " Bit pro Pixel können nicht als PNG gespeichert werden.";
    return false;
  }
  PngWriteJob job{};
  job.dib = &dib;
  job.file = file;
  job.job = runner;
  if (!writePng(&job) || std::fflush(file) != 0 || std::ferror(file)) {
    error = "Die PNG-Datei konnte nicht geschrieben werden.";
    return false;
  }
  return true;
}

} // namespace velbrik
