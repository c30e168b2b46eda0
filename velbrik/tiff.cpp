// TIFF reading and writing through libtiff, on memory (reading) or an open FILE (writing).
//
// Only the first directory (page) is read. Palette, grey and bilevel pages of 1, 2, 4 or 8 bits
// in strips become palette images; every other page is converted by libtiff's RGBA reader to
// 24 bits, band by band, composed over white. Errors and warnings go to handlers of this
// handle only: libtiff never prints to stderr on our behalf.
#include "decoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <sys/types.h>

namespace velbrik {
namespace {

// Largest single block libtiff may allocate for one file (a decoded strip or tile, tag arrays).
constexpr tmsize_t kMaxTiffAlloc = tmsize_t(512) << 20;
// Rows converted per call of the RGBA reader, rounded up to whole strips or tiles.
constexpr uint32_t kBandRows = 64;

struct Messages {
  std::string first;
};

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
  auto* messages = static_cast<Messages*>(user);
  if (messages != nullptr && messages->first.empty()) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    messages->first = text;
  }
  return 1; // handled: no global handler runs
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TiffDeleter {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffDeleter>;

std::unique_ptr<TIFFOpenOptions, OptionsDeleter> makeOptions(Messages& messages) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (options) {
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, nullptr);
  }
  return options;
}

// ---- reading from memory ----

struct MemoryFile {
  const uint8_t* data;
  uint64_t size;
  uint64_t pos;
};

tmsize_t memRead(thandle_t h, void* target, tmsize_t length) {
  auto* f = static_cast<MemoryFile*>(h);
  if (length <= 0 || f->pos >= f->size) return 0;
  const uint64_t n = std::min<uint64_t>(uint64_t(length), f->size - f->pos);
  std::memcpy(target, f->data + f->pos, size_t(n));
  f->pos += n;
  return tmsize_t(n);
}

tmsize_t memWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t memSeek(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  uint64_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : 0;
  if (offset > UINT64_MAX / 2 || base + offset > UINT64_MAX / 2) return toff_t(-1);
  f->pos = base + offset;
  return f->pos;
}

int memClose(thandle_t) { return 0; }
toff_t memSize(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
// The file image is offered as a mapped file: libtiff reads mapped files without copying and
// never writes to them (it copies where it must change bytes). Reading unmapped uncompressed
// tiles through the RGBA reader also fails in libtiff 4.5.0.
int memMap(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<MemoryFile*>(h);
  *base = const_cast<uint8_t*>(f->data);
  *size = f->size;
  return 1;
}
int noMap(thandle_t, void**, toff_t*) { return 0; }
void noUnmap(thandle_t, void*, toff_t) {}

bool fail(TDib& out, std::string& error, std::string message) {
  error = std::move(message);
  FailDib(out, error);
  return false;
}

bool bottomFirst(uint16_t orientation) {
  return orientation == ORIENTATION_BOTRIGHT || orientation == ORIENTATION_BOTLEFT ||
         orientation == ORIENTATION_RIGHTBOT || orientation == ORIENTATION_LEFTBOT;
}

// Colour maps hold 16-bit values; some old writers put 8-bit values there. If no entry
// exceeds 255 the map is taken as 8-bit.
uint8_t mapValue(uint16_t v, bool eightBit) { return eightBit ? uint8_t(v) : uint8_t((v + 128) / 257); }

// Bilevel, grey and palette pages in strips whose rows a DIB can take as they are.
bool readIndexed(TIFF* tif, uint32_t width, uint32_t height, uint16_t bps, uint16_t photometric,
                 uint16_t orientation, TDib& out, Progress& progress, std::string& error,
                 const Messages& messages) {
  const int bitCount = bps == 1 ? 1 : bps <= 4 ? 4 : 8;
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (lineBytes != tmsize_t((uint64_t(width) * bps + 7) / 8))
    return fail(out, error, "Die TIFF-Datei ist beschädigt.");

  if (!CreateDib(out, int32_t(width), int32_t(height), bitCount, error)) return fail(out, error, error);
  const int levels = 1 << bps;
  if (photometric == PHOTOMETRIC_PALETTE) {
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 1 || !red || !green || !blue)
      return fail(out, error, "Die TIFF-Datei hat keine Farbtabelle.");
    bool eightBit = true;
    for (int i = 0; i < levels; ++i)
      if (red[i] > 255 || green[i] > 255 || blue[i] > 255) eightBit = false;
    for (int i = 0; i < levels; ++i)
      SetDibColour(out, i, mapValue(red[i], eightBit), mapValue(green[i], eightBit),
                   mapValue(blue[i], eightBit));
  } else {
    for (int i = 0; i < levels; ++i) {
      const int grey = i * 255 / (levels - 1);
      const uint8_t v = uint8_t(photometric == PHOTOMETRIC_MINISWHITE ? 255 - grey : grey);
      SetDibColour(out, i, v, v, v);
    }
  }
  FinishPalette(out);

  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  const bool fromBottom = bottomFirst(orientation);
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0)
      return fail(out, error, messages.first.find("end of file") != std::string::npos ||
                                          messages.first.find("Read error") != std::string::npos
                                      ? "Die TIFF-Datei ist unvollständig."
                                      : "Die TIFF-Datei ist beschädigt.");
    uint8_t* target = fromBottom ? DibRow(out, int32_t(y)) : DibRowFromTop(out, int32_t(y));
    if (bps == 2) {
      // Four 2-bit indexes per byte become two bytes of two 4-bit indexes.
      for (uint32_t x = 0; x < width; ++x) {
        const unsigned v = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3u;
        if (x & 1) target[x >> 1] = uint8_t(target[x >> 1] | v);
        else target[x >> 1] = uint8_t(v << 4);
      }
    } else {
      std::memcpy(target, line.data(), line.size());
    }
    progress.rows(int64_t(y) + 1, height);
  }
  return true;
}

struct RgbaImage {
  TIFFRGBAImage image{};
  bool begun = false;
  ~RgbaImage() {
    if (begun) TIFFRGBAImageEnd(&image);
  }
};

// Everything else: libtiff's RGBA conversion, a band of rows at a time, over white.
bool readRgba(TIFF* tif, uint32_t width, uint32_t height, uint16_t orientation, TDib& out,
              Progress& progress, std::string& error, const Messages& messages) {
  char reason[1024] = "";
  if (TIFFRGBAImageOK(tif, reason) != 1)
    return fail(out, error, "Diese Art von TIFF-Datei wird nicht unterstützt.");
  if (!CheckDimensions(width, height, 24, error)) return fail(out, error, error);

  RgbaImage rgba;
  if (TIFFRGBAImageBegin(&rgba.image, tif, 1, reason) != 1)
    return fail(out, error, "Diese Art von TIFF-Datei wird nicht unterstützt.");
  rgba.begun = true;
  const bool fromBottom = bottomFirst(orientation);
  rgba.image.req_orientation = fromBottom ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT;

  // Whole strips or tiles per band, so that none is decoded twice.
  uint32_t unit = 0;
  if (TIFFIsTiled(tif)) TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
  else TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
  if (unit == 0 || unit > height) unit = height;
  const uint32_t band = std::min<uint64_t>(height, (uint64_t(kBandRows) + unit - 1) / unit * unit);

  if (!CreateDib(out, int32_t(width), int32_t(height), 24, error)) return fail(out, error, error);
  std::vector<uint32_t> raster;
  try {
    raster.resize(size_t(width) * band);
  } catch (const std::bad_alloc&) {
    return fail(out, error, "Nicht genug Speicher, um die TIFF-Datei zu lesen.");
  }

  for (uint32_t first = 0; first < height; first += band) {
    const uint32_t rows = std::min(band, height - first);
    rgba.image.row_offset = int(first);
    rgba.image.col_offset = 0;
    if (TIFFRGBAImageGet(&rgba.image, raster.data(), width, rows) != 1)
      return fail(out, error, messages.first.find("end of file") != std::string::npos ||
                                          messages.first.find("Read error") != std::string::npos
                                      ? "Die TIFF-Datei ist unvollständig."
                                      : "Die TIFF-Datei ist beschädigt.");
    // Raster row j is file row first + j; colours are premultiplied by alpha.
    for (uint32_t j = 0; j < rows; ++j) {
      const int32_t fileRow = int32_t(first + j);
      uint8_t* target = fromBottom ? DibRow(out, fileRow) : DibRowFromTop(out, fileRow);
      const uint32_t* src = raster.data() + size_t(j) * width;
      for (uint32_t x = 0; x < width; ++x, target += 3) {
        const uint32_t p = src[x];
        const unsigned white = 255u - TIFFGetA(p);
        target[0] = uint8_t(std::min(255u, TIFFGetB(p) + white));
        target[1] = uint8_t(std::min(255u, TIFFGetG(p) + white));
        target[2] = uint8_t(std::min(255u, TIFFGetR(p) + white));
      }
    }
    progress.rows(int64_t(first) + rows, height);
  }
  return true;
}

// ---- writing to an open FILE ----

struct StdioFile {
  std::FILE* file;
  off_t base; // where the TIFF starts in the file: libtiff's offset 0
};

tmsize_t fileRead(thandle_t h, void* target, tmsize_t length) {
  return tmsize_t(std::fread(target, 1, size_t(length), static_cast<StdioFile*>(h)->file));
}
tmsize_t fileWrite(thandle_t h, void* source, tmsize_t length) {
  return tmsize_t(std::fwrite(source, 1, size_t(length), static_cast<StdioFile*>(h)->file));
}
toff_t fileSeek(thandle_t h, toff_t offset, int whence) {
  auto* f = static_cast<StdioFile*>(h);
  const off_t target = whence == SEEK_SET ? f->base + off_t(offset) : off_t(offset);
  if (fseeko(f->file, target, whence) != 0) return toff_t(-1);
  return toff_t(ftello(f->file) - f->base);
}
toff_t fileSize(thandle_t h) {
  auto* f = static_cast<StdioFile*>(h);
  const off_t here = ftello(f->file);
  fseeko(f->file, 0, SEEK_END);
  const off_t end = ftello(f->file);
  fseeko(f->file, here, SEEK_SET);
  return toff_t(end - f->base);
}
int fileClose(thandle_t) { return 0; } // the caller closes the FILE

} // namespace

bool DecodeTiff(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M')))
    return fail(out, error, "Die Datei ist keine TIFF-Datei.");
  Messages messages;
  auto options = makeOptions(messages);
  if (!options) return fail(out, error, "Nicht genug Speicher, um die TIFF-Datei zu lesen.");
  MemoryFile file{data, size, 0};
  TiffHandle tif(TIFFClientOpenExt("Bild", "r", &file, memRead, memWrite, memSeek, memClose,
                                   memSize, memMap, noUnmap, options.get()));
  if (!tif) {
    const bool notTiff = messages.first.find("Not a TIFF") != std::string::npos;
    return fail(out, error, notTiff ? "Die Datei ist keine TIFF-Datei." : "Die TIFF-Datei ist beschädigt.");
  }

  uint32_t width = 0, height = 0;
  uint16_t bps = 1, spp = 1, photometric = 0, orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  const bool hasPhotometric = TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric) == 1;
  if (!CheckDimensions(width, height, 24, error)) return fail(out, error, error);

  const bool indexed = hasPhotometric && spp == 1 && (bps == 1 || bps == 2 || bps == 4 || bps == 8) &&
                       (photometric == PHOTOMETRIC_PALETTE || photometric == PHOTOMETRIC_MINISBLACK ||
                        photometric == PHOTOMETRIC_MINISWHITE) &&
                       !TIFFIsTiled(tif.get()) &&
                       (orientation == ORIENTATION_TOPLEFT || orientation == ORIENTATION_BOTLEFT);
  if (indexed)
    return readIndexed(tif.get(), width, height, bps, photometric, orientation, out, progress, error,
                       messages);
  return readRgba(tif.get(), width, height, orientation, out, progress, error, messages);
}

bool WriteTiff(const TDib& dib, std::FILE* file, std::string& error) {
  if (dib.Bits == nullptr || dib.Info == nullptr || file == nullptr) {
    error = "Es ist kein Bild zum Speichern da.";
    return false;
  }
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  const int bits = h.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
    error = "Bilder mit " + std::to_string(bits) + " Bit pro Pixel können nicht als TIFF gespeichert werden.";
    return false;
  }
  const std::string failed = "Die TIFF-Datei konnte nicht geschrieben werden.";
  Messages messages;
  auto options = makeOptions(messages);
  StdioFile target{file, ftello(file)};
  if (!options || target.base < 0) {
    error = failed;
    return false;
  }
  TiffHandle tif(TIFFClientOpenExt("Bild", "w", &target, fileRead, fileWrite, fileSeek, fileClose,
                                   fileSize, noMap, noUnmap, options.get()));
  if (!tif) {
    error = failed;
    return false;
  }
  const uint32_t width = uint32_t(h.biWidth), height = uint32_t(h.biHeight);
  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  std::vector<uint16_t> map;
  if (bits == 24) {
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  } else {
    const int count = 1 << bits;
    map.resize(size_t(3 * count));
    for (int i = 0; i < count; ++i) {
      const VRgbQuad& q = dib.Info->bmiColors[i];
      map[size_t(i)] = uint16_t(q.rgbRed * 257);
      map[size_t(count + i)] = uint16_t(q.rgbGreen * 257);
      map[size_t(2 * count + i)] = uint16_t(q.rgbBlue * 257);
    }
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + count, map.data() + 2 * count);
  }
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));

  // libtiff may change a row it is given (the predictor works in place): always hand it a copy.
  const size_t lineBytes = bits == 24 ? size_t(width) * 3 : (size_t(width) * bits + 7) / 8;
  std::vector<uint8_t> line(lineBytes);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = DibRowFromTop(dib, int32_t(y));
    if (bits == 24) {
      for (size_t x = 0; x < width; ++x) {
        line[3 * x] = src[3 * x + 2];
        line[3 * x + 1] = src[3 * x + 1];
        line[3 * x + 2] = src[3 * x];
      }
    } else {
      std::memcpy(line.data(), src, lineBytes);
    }
    if (TIFFWriteScanline(t, line.data(), y, 0) < 0) {
      error = failed;
      return false;
    }
  }
  if (TIFFFlush(t) != 1) {
    error = failed;
    return false;
  }
  tif.reset();
  if (std::fflush(file) != 0 || std::ferror(file) || !messages.first.empty()) {
    error = failed;
    return false;
  }
  return true;
}

} // namespace velbrik
