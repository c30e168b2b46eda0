// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF reading and writing through libtiff, on memory (reading) or an open FILE (writing).
//
// Only the first directory (page) is read. Palette, grey and bilevel pages of 1, 2, 4 or 8 bits
// in strips become palette images; every other page is converted by libtiff's RGBA reader to
// 24 bits, band by band, composed over white. Errors and warnings go to handlers of this
// handle only: libtiff never prints to stderr on our behalf.
#include "colour.h"
#include "decoder.h"
#include "upright.h"

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
// Rows converted per call of the RGBA reader: at least this many, rounded up to whole strips or
// tiles, but never more pixels than kBandPixels (a raster of 16 MiB).
constexpr uint32_t kBandRows = 64;
constexpr uint64_t kBandPixels = 4u << 20;

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

// What the first directory says about its pixels.
struct Page {
  uint32_t width = 0, height = 0;
  uint16_t bps = 1, spp = 1, photometric = 0, orientation = ORIENTATION_TOPLEFT;
  uint16_t planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT, inkSet = INKSET_CMYK;
  bool hasPhotometric = false, tiled = false;
  uint16_t extraCount = 0;
  const uint16_t* extra = nullptr;
  const uint8_t* icc = nullptr;
  uint32_t iccSize = 0;
};

Page readPage(TIFF* tif) {
  Page p;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &p.orientation);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &p.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &p.sampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &p.inkSet);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &p.extraCount, &p.extra);
  p.hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric) == 1;
  p.tiled = TIFFIsTiled(tif) != 0;
  void* icc = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &p.iccSize, &icc) == 1 && icc != nullptr)
    p.icc = static_cast<const uint8_t*>(icc);
  else
    p.iccSize = 0;
  return p;
}

std::string readFailure(const Messages& messages) {
  return messages.first.find("end of file") != std::string::npos ||
                 messages.first.find("Read error") != std::string::npos
             ? "Die TIFF-Datei ist unvollständig."
             : "Die TIFF-Datei ist beschädigt.";
}

// Colour maps hold 16-bit values; some old writers put 8-bit values there. If no entry
// exceeds 255 the map is taken as 8-bit.
uint8_t mapValue(uint16_t v, bool eightBit) { return eightBit ? uint8_t(v) : uint8_t((v + 128) / 257); }

// 16-bit samples to 8 bits, rounded to nearest.
inline uint8_t round16(uint16_t v) { return uint8_t((uint32_t(v) * 255 + 32767) / 65535); }

// White behind a partly transparent colour, rounded.
inline uint8_t overWhite(unsigned colour, unsigned alpha) {
  return uint8_t((colour * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// Bilevel, grey and palette pages in strips whose rows a DIB can take as they are.
bool readIndexed(TIFF* tif, const Page& page, TDib& out, Progress& progress, std::string& error,
                 const Messages& messages) {
  const uint32_t width = page.width, height = page.height;
  const uint16_t bps = page.bps;
  const int bitCount = bps == 1 ? 1 : bps <= 4 ? 4 : 8;
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (lineBytes != tmsize_t((uint64_t(width) * bps + 7) / 8))
    return fail(out, error, "Die TIFF-Datei ist beschädigt.");

  UprightWriter upright;
  if (!upright.create(out, width, height, bitCount, page.orientation, error)) return fail(out, error, error);
  const int levels = 1 << bps;
  if (page.photometric == PHOTOMETRIC_PALETTE) {
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
      const uint8_t v = uint8_t(page.photometric == PHOTOMETRIC_MINISWHITE ? 255 - grey : grey);
      SetDibColour(out, i, v, v, v);
    }
  }
  FinishPalette(out);
  ColourProfile profile;
  profile.open(page.icc, page.iccSize,
               page.photometric == PHOTOMETRIC_PALETTE ? ProfileInput::Bgr : ProfileInput::Grey);
  profile.convertPalette(out);

  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return fail(out, error, readFailure(messages));
    uint8_t* target = upright.row(int32_t(y));
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
    upright.commit(int32_t(y));
    progress.rows(int64_t(y) + 1, height);
  }
  return true;
}

// Grey, RGB and CMYK pages of 8 or 16 bits in strips of contiguous samples, with or without
// alpha: read a row at a time (every strip is decoded once, whatever its height) and converted
// here.
struct SampleLayout {
  int colours = 3;    // 1 grey, 3 RGB, 4 CMYK
  int bytes = 1;      // per sample
  int stride = 3;     // samples per pixel
  int alpha = -1;     // EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA, or -1
  bool minIsWhite = false;
};

bool scanlineLayout(TIFF* tif, const Page& page, SampleLayout& layout) {
  if (page.tiled || page.planar != PLANARCONFIG_CONTIG || page.sampleFormat != SAMPLEFORMAT_UINT ||
      (page.bps != 8 && page.bps != 16) || !page.hasPhotometric)
    return false;
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  uint16_t photometric = page.photometric;
  // JPEG-compressed YCbCr is handed over as RGB by libtiff's JPEG codec.
  if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && page.bps == 8 &&
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) == 1)
    photometric = PHOTOMETRIC_RGB;
  switch (photometric) {
  case PHOTOMETRIC_MINISBLACK:
  case PHOTOMETRIC_MINISWHITE: layout.colours = 1; break;
  case PHOTOMETRIC_RGB: layout.colours = 3; break;
  case PHOTOMETRIC_SEPARATED:
    if (page.inkSet != INKSET_CMYK) return false;
    layout.colours = 4;
    break;
  default: return false;
  }
  if (page.spp < layout.colours || page.spp - layout.colours != page.extraCount) return false;
  layout.bytes = page.bps / 8;
  layout.stride = page.spp;
  layout.minIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
  if (page.extraCount > 0 && page.extra != nullptr && layout.colours != 4) {
    const uint16_t kind = page.extra[0];
    if (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA) layout.alpha = kind;
    // As libtiff's own reader does: an unspecified fourth sample of RGB is alpha.
    else if (kind == EXTRASAMPLE_UNSPECIFIED && layout.colours == 3) layout.alpha = EXTRASAMPLE_ASSOCALPHA;
  }
  return true;
}

inline uint8_t sampleAt(const uint8_t* p, int bytes) {
  if (bytes == 1) return *p;
  uint16_t v;
  std::memcpy(&v, p, 2); // libtiff hands samples over in the machine's byte order
  return round16(v);
}

bool readScanlines(TIFF* tif, const Page& page, const SampleLayout& layout, TDib& out,
                   Progress& progress, std::string& error, const Messages& messages) {
  const uint32_t width = page.width, height = page.height;
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (lineBytes != tmsize_t(uint64_t(width) * layout.stride * layout.bytes))
    return fail(out, error, "Die TIFF-Datei ist beschädigt.");
  UprightWriter upright;
  if (!upright.create(out, width, height, 24, page.orientation, error)) return fail(out, error, error);

  ColourProfile profile;
  profile.open(page.icc, page.iccSize,
               layout.colours == 1 ? ProfileInput::Grey
               : layout.colours == 4 ? ProfileInput::Cmyk : ProfileInput::Bgr);
  // Grey levels through a grey profile, looked up: blue, green, red per level.
  uint8_t greyColours[256 * 3];
  for (int i = 0; i < 256; ++i) std::memset(greyColours + 3 * i, i, 3);
  if (layout.colours == 1 && profile.active()) {
    uint8_t levels[256];
    for (int i = 0; i < 256; ++i) levels[i] = uint8_t(i);
    profile.convertGrey(levels, greyColours, 256);
  }
  std::vector<uint8_t> line, cmyk;
  try {
    line.resize(size_t(lineBytes));
    if (layout.colours == 4) cmyk.resize(size_t(width) * 4);
  } catch (const std::bad_alloc&) {
    return fail(out, error, "Nicht genug Speicher, um die TIFF-Datei zu lesen.");
  }
  const int step = layout.stride * layout.bytes;
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) return fail(out, error, readFailure(messages));
    uint8_t* target = upright.row(int32_t(y));
    const uint8_t* src = line.data();
    if (layout.colours == 4) {
      for (uint32_t x = 0; x < width; ++x, src += step)
        for (int c = 0; c < 4; ++c) cmyk[4 * x + c] = sampleAt(src + c * layout.bytes, layout.bytes);
      if (profile.active()) {
        profile.convertCmyk(cmyk.data(), target, int32_t(width));
      } else {
        for (uint32_t x = 0; x < width; ++x) {
          const unsigned white = 255u - cmyk[4 * x + 3];
          for (int c = 0; c < 3; ++c) // blue from yellow, green from magenta, red from cyan
            target[3 * x + c] = uint8_t(((255u - cmyk[4 * x + 2 - c]) * white + 127) / 255);
        }
      }
    } else {
      for (uint32_t x = 0; x < width; ++x, src += step) {
        uint8_t bgr[3];
        if (layout.colours == 1) {
          const uint8_t v = sampleAt(src, layout.bytes);
          bgr[0] = bgr[1] = bgr[2] = layout.minIsWhite ? uint8_t(255 - v) : v;
        } else {
          for (int c = 0; c < 3; ++c) bgr[c] = sampleAt(src + (2 - c) * layout.bytes, layout.bytes);
        }
        if (layout.alpha >= 0) {
          const unsigned a = sampleAt(src + layout.colours * layout.bytes, layout.bytes);
          for (uint8_t& c : bgr)
            c = layout.alpha == EXTRASAMPLE_ASSOCALPHA ? uint8_t(std::min(255u, c + 255u - a))
                                                       : overWhite(c, a);
        }
        if (layout.colours == 1) std::memcpy(target + 3 * x, greyColours + 3 * bgr[0], 3);
        else std::memcpy(target + 3 * x, bgr, 3);
      }
    }
    upright.commit(int32_t(y));
    progress.rows(int64_t(y) + 1, height);
  }
  profile.convertDib(out); // RGB pictures, on the shared row threads
  return true;
}

struct RgbaImage {
  TIFFRGBAImage image{};
  bool begun = false;
  ~RgbaImage() {
    if (begun) TIFFRGBAImageEnd(&image);
  }
};

// Everything else (tiles, YCbCr, Lab, separate planes, other depths): libtiff's RGBA
// conversion, a band of rows at a time, over white. A band is whole strips or tiles where they
// fit the band's fixed buffer; taller strips are read in parts.
bool readRgba(TIFF* tif, const Page& page, TDib& out, Progress& progress, std::string& error,
              const Messages& messages) {
  const uint32_t width = page.width, height = page.height;
  char reason[1024] = "";
  if (TIFFRGBAImageOK(tif, reason) != 1)
    return fail(out, error, "Diese Art von TIFF-Datei wird nicht unterstützt.");
  if (!CheckDimensions(width, height, 24, error)) return fail(out, error, error);

  RgbaImage rgba;
  if (TIFFRGBAImageBegin(&rgba.image, tif, 1, reason) != 1)
    return fail(out, error, "Diese Art von TIFF-Datei wird nicht unterstützt.");
  rgba.begun = true;
  // Rows in the order stored: turning and mirroring are done on the way into the record.
  rgba.image.req_orientation = rgba.image.orientation;

  uint32_t unit = 0;
  if (page.tiled) TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
  else TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
  if (unit == 0 || unit > height) unit = height;
  const uint64_t fitting = std::max<uint64_t>(1, kBandPixels / width);
  uint64_t band = (std::max<uint64_t>(kBandRows, unit) + unit - 1) / unit * unit;
  if (band > fitting) band = fitting;
  band = std::min<uint64_t>(band, height);

  UprightWriter upright;
  if (!upright.create(out, width, height, 24, page.orientation, error)) return fail(out, error, error);
  ColourProfile profile;
  profile.open(page.icc, page.iccSize, ProfileInput::Bgr);
  std::vector<uint32_t> raster;
  try {
    raster.resize(size_t(width) * size_t(band));
  } catch (const std::bad_alloc&) {
    return fail(out, error, "Nicht genug Speicher, um die TIFF-Datei zu lesen.");
  }

  for (uint32_t first = 0; first < height; first += uint32_t(band)) {
    const uint32_t rows = std::min(uint32_t(band), height - first);
    rgba.image.row_offset = int(first);
    rgba.image.col_offset = 0;
    if (TIFFRGBAImageGet(&rgba.image, raster.data(), width, rows) != 1)
      return fail(out, error, readFailure(messages));
    // Raster row j is stored row first + j; colours are premultiplied by alpha.
    for (uint32_t j = 0; j < rows; ++j) {
      const int32_t y = int32_t(first + j);
      uint8_t* target = upright.row(y);
      const uint32_t* src = raster.data() + size_t(j) * width;
      for (uint32_t x = 0; x < width; ++x) {
        const uint32_t p = src[x];
        const unsigned white = 255u - TIFFGetA(p);
        target[3 * x] = uint8_t(std::min(255u, TIFFGetB(p) + white));
        target[3 * x + 1] = uint8_t(std::min(255u, TIFFGetG(p) + white));
        target[3 * x + 2] = uint8_t(std::min(255u, TIFFGetR(p) + white));
      }
      upright.commit(y);
    }
    progress.rows(int64_t(first) + rows, height);
  }
  profile.convertDib(out); // on the shared row threads
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

  Page page = readPage(tif.get());
  if (!CheckDimensions(page.width, page.height, 24, error)) return fail(out, error, error);
  if (!ValidOrientation(page.orientation)) page.orientation = kUpright;

  const bool indexed = page.hasPhotometric && page.spp == 1 &&
                       (page.bps == 1 || page.bps == 2 || page.bps == 4 || page.bps == 8) &&
                       (page.photometric == PHOTOMETRIC_PALETTE || page.photometric == PHOTOMETRIC_MINISBLACK ||
                        page.photometric == PHOTOMETRIC_MINISWHITE) &&
                       !page.tiled;
  if (indexed) return readIndexed(tif.get(), page, out, progress, error, messages);
  SampleLayout layout;
  if (scanlineLayout(tif.get(), page, layout))
    return readScanlines(tif.get(), page, layout, out, progress, error, messages);
  return readRgba(tif.get(), page, out, progress, error, messages);
}

bool WriteTiff(const TDib& dib, std::FILE* file, std::string& error, const platform::TJob* job) {
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
  RowJob rows(job, height);
  for (uint32_t y = 0; y < height; ++y) {
    if (!rows.row(y)) return false;
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
