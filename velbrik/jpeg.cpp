// JPEG reading and writing through libjpeg-turbo.
//
// libjpeg reports errors through error_exit, which jumps back here with longjmp. As in the PNG
// code, the functions that call setjmp keep only trivially destructible locals; all they
// allocate hangs off a plain job struct and is released on both paths.
#include "decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace velbrik {
namespace {

// A progressive file may hold any number of scans, each one a full pass over the picture;
// real encoders write about ten. More than this is refused.
constexpr int kMaxScans = 300;
// Working memory libjpeg may take beyond the output rows (whole-picture coefficient buffers of
// progressive files). Above it libjpeg-turbo, which has no backing store, refuses the file.
constexpr long kMaxJpegMemory = 1536l << 20;

enum class Failure { None, Corrupt, Truncated, TooManyScans, OwnMessage };

struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  Failure failure;
  char message[160];
};

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  std::longjmp(errors->jump, 1);
}

void onErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  if (errors->failure == Failure::None) errors->failure = Failure::Corrupt;
  jumpBack(cinfo);
}

// Warnings (level -1) are corrupt data libjpeg would paper over. A file whose data ends early
// (at the end of the file or at a marker inside a scan) is refused rather than shown with grey
// rows: that is also what a small file promising a huge picture looks like. Other warnings are
// ignored. Nothing goes to stderr.
void onEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER) {
    reinterpret_cast<JpegErrors*>(cinfo->err)->failure = Failure::Truncated;
    jumpBack(cinfo);
  }
}

void onOutputMessage(j_common_ptr) {}

void installErrors(JpegErrors& errors) {
  jpeg_std_error(&errors.base);
  errors.base.error_exit = onErrorExit;
  errors.base.emit_message = onEmitMessage;
  errors.base.output_message = onOutputMessage;
  errors.failure = Failure::None;
  errors.message[0] = '\0';
}

struct ScanGuard {
  jpeg_progress_mgr base;
  JpegErrors* errors;
};

void onProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor == 0) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) {
    reinterpret_cast<ScanGuard*>(cinfo->progress)->errors->failure = Failure::TooManyScans;
    jumpBack(cinfo);
  }
}

struct JpegReadJob {
  const uint8_t* data;
  size_t size;
  TDib* out;
  Progress* progress;
  JpegErrors errors;
  ScanGuard scans;
  uint8_t* cmykRow;
};

bool checkSize(JpegReadJob* job, JDIMENSION width, JDIMENSION height, int bitCount) {
  std::string error;
  if (CheckDimensions(width, height, bitCount, error)) return true;
  std::snprintf(job->errors.message, sizeof job->errors.message, "%s", error.c_str());
  job->errors.failure = Failure::OwnMessage;
  return false;
}

bool createDib(JpegReadJob* job, JDIMENSION width, JDIMENSION height, int bitCount) {
  std::string error;
  if (CreateDib(*job->out, int32_t(width), int32_t(height), bitCount, error)) return true;
  std::snprintf(job->errors.message, sizeof job->errors.message, "%s", error.c_str());
  job->errors.failure = Failure::OwnMessage;
  return false;
}

void refuse(JpegReadJob* job, j_common_ptr cinfo, const char* message) {
  std::snprintf(job->errors.message, sizeof job->errors.message, "%s", message);
  job->errors.failure = Failure::OwnMessage;
  jumpBack(cinfo);
}

// Ink values to blue, green, red. Adobe writes CMYK inverted (0 = full ink), which libjpeg
// passes through unchanged.
void cmykToBgr(const uint8_t* src, uint8_t* dst, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, src += 4, dst += 3) {
    unsigned c = src[0], m = src[1], y = src[2], k = src[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    dst[0] = uint8_t((y * k + 127) / 255);
    dst[1] = uint8_t((m * k + 127) / 255);
    dst[2] = uint8_t((c * k + 127) / 255);
  }
}

bool readJpeg(JpegReadJob* job) {
  jpeg_decompress_struct cinfo;
  cinfo.err = &job->errors.base;
  installErrors(job->errors);
  if (setjmp(job->errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::free(job->cmykRow);
    job->cmykRow = nullptr;
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxJpegMemory;
  job->scans.base.progress_monitor = onProgress;
  job->scans.errors = &job->errors;
  cinfo.progress = &job->scans.base;

  jpeg_mem_src(&cinfo, job->data, static_cast<unsigned long>(job->size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
    refuse(job, reinterpret_cast<j_common_ptr>(&cinfo), "Die JPEG-Datei enthält kein Bild.");

  bool grey = false, cmyk = false;
  switch (cinfo.jpeg_color_space) {
  case JCS_GRAYSCALE: grey = true; cinfo.out_color_space = JCS_GRAYSCALE; break;
  case JCS_YCbCr:
  case JCS_RGB: cinfo.out_color_space = JCS_EXT_BGR; break;
  case JCS_CMYK:
  case JCS_YCCK: cmyk = true; cinfo.out_color_space = JCS_CMYK; break;
  default:
    refuse(job, reinterpret_cast<j_common_ptr>(&cinfo),
           "Der Farbraum dieser JPEG-Datei wird nicht unterstützt.");
  }
  const int bitCount = grey ? 8 : 24;
  // Before decompression starts: that is where libjpeg allocates for the whole picture.
  if (!checkSize(job, cinfo.image_width, cinfo.image_height, bitCount))
    jumpBack(reinterpret_cast<j_common_ptr>(&cinfo));

  jpeg_start_decompress(&cinfo);
  const JDIMENSION width = cinfo.output_width, height = cinfo.output_height;
  if (!checkSize(job, width, height, bitCount)) jumpBack(reinterpret_cast<j_common_ptr>(&cinfo));
  if (cmyk) {
    job->cmykRow = static_cast<uint8_t*>(std::malloc(size_t(width) * 4));
    if (job->cmykRow == nullptr) refuse(job, reinterpret_cast<j_common_ptr>(&cinfo),
                                        "Nicht genug Speicher, um die JPEG-Datei zu lesen.");
  }
  if (!createDib(job, width, height, bitCount)) jumpBack(reinterpret_cast<j_common_ptr>(&cinfo));
  TDib& dib = *job->out;
  if (grey) {
    for (int i = 0; i < 256; ++i) SetDibColour(dib, i, uint8_t(i), uint8_t(i), uint8_t(i));
    FinishPalette(dib);
  }

  const bool inverted = cinfo.saw_Adobe_marker != 0;
  while (cinfo.output_scanline < height) {
    const JDIMENSION y = cinfo.output_scanline;
    uint8_t* target = DibRowFromTop(dib, int32_t(y));
    JSAMPROW row = cmyk ? job->cmykRow : target;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
      refuse(job, reinterpret_cast<j_common_ptr>(&cinfo), "Die JPEG-Datei ist unvollständig.");
    if (cmyk) cmykToBgr(job->cmykRow, target, width, inverted);
    job->progress->rows(int64_t(y) + 1, height);
  }
  // What follows the last row (markers after the picture) is not needed and not checked.
  jpeg_destroy_decompress(&cinfo);
  std::free(job->cmykRow);
  job->cmykRow = nullptr;
  return true;
}

struct JpegWriteJob {
  const TDib* dib;
  std::FILE* file;
  int quality;
  JpegErrors errors;
  uint8_t* row; // palette rows expanded to blue, green, red
};

void expandPaletteRow(const TDib& dib, const uint8_t* src, uint8_t* dst) {
  const int bits = dib.Info->bmiHeader.biBitCount;
  const int32_t width = dib.Info->bmiHeader.biWidth;
  const unsigned mask = (1u << bits) - 1u;
  for (int32_t x = 0; x < width; ++x) {
    const int64_t bit = int64_t(x) * bits;
    const unsigned index = (src[bit >> 3] >> (8 - bits - (bit & 7))) & mask;
    const VRgbQuad& q = dib.Info->bmiColors[index];
    dst[3 * x] = q.rgbBlue;
    dst[3 * x + 1] = q.rgbGreen;
    dst[3 * x + 2] = q.rgbRed;
  }
}

bool writeJpeg(JpegWriteJob* job) {
  jpeg_compress_struct cinfo;
  cinfo.err = &job->errors.base;
  installErrors(job->errors);
  if (setjmp(job->errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, job->file);
  const TDib& dib = *job->dib;
  const VBitmapInfoHeader& h = dib.Info->bmiHeader;
  cinfo.image_width = JDIMENSION(h.biWidth);
  cinfo.image_height = JDIMENSION(h.biHeight);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, job->quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  for (int32_t y = 0; y < h.biHeight; ++y) {
    uint8_t* source = DibRowFromTop(dib, y);
    if (job->row != nullptr) {
      expandPaletteRow(dib, source, job->row);
      source = job->row;
    }
    JSAMPROW row = source;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

} // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  std::memset(&out, 0, sizeof out);
  if (size < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) {
    error = "Die Datei ist keine JPEG-Datei.";
    FailDib(out, error);
    return false;
  }
  JpegReadJob job{};
  job.data = data;
  job.size = size;
  job.out = &out;
  job.progress = &progress;
  if (readJpeg(&job)) return true;

  switch (job.errors.failure) {
  case Failure::OwnMessage: error = job.errors.message; break;
  case Failure::Truncated: error = "Die JPEG-Datei ist unvollständig."; break;
  case Failure::TooManyScans:
    error = "Die JPEG-Datei ist beschädigt: sie hat mehr als " + std::to_string(kMaxScans) +
            " Durchgänge.";
    break;
  default: error = "Die JPEG-Datei ist beschädigt."; break;
  }
  FailDib(out, error);
  return false;
}

bool WriteJpeg(const TDib& dib, std::FILE* file, int quality, std::string& error) {
  if (dib.Bits == nullptr || dib.Info == nullptr || file == nullptr) {
    error = "Es ist kein Bild zum Speichern da.";
    return false;
  }
  const int bits = dib.Info->bmiHeader.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
    error = "Bilder mit " + std::to_string(bits) + " Bit pro Pixel können nicht als JPEG gespeichert werden.";
    return false;
  }
  const int32_t width = dib.Info->bmiHeader.biWidth;
  if (width > JPEG_MAX_DIMENSION || dib.Info->bmiHeader.biHeight > JPEG_MAX_DIMENSION) {
    error = "Das Bild ist zu groß für eine JPEG-Datei (höchstens 65500 Pixel je Seite).";
    return false;
  }
  std::vector<uint8_t> row;
  JpegWriteJob job{};
  job.dib = &dib;
  job.file = file;
  job.quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
  if (bits != 24) {
    row.resize(size_t(width) * 3);
    job.row = row.data();
  }
  if (!writeJpeg(&job) || std::fflush(file) != 0 || std::ferror(file)) {
    error = "Die JPEG-Datei konnte nicht geschrieben werden.";
    return false;
  }
  return true;
}

} // namespace velbrik
