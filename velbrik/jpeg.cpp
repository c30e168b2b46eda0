// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG reading and writing through libjpeg-turbo. Pictures are written upright as their EXIF
// orientation says, and converted to sRGB when they carry a colour profile.
//
// libjpeg reports errors through error_exit, which jumps back here with longjmp. As in the PNG
// code, the functions that call setjmp keep only trivially destructible locals; all they
// allocate hangs off a plain job struct and is released on both paths.
#include "colour.h"
#include "decoder.h"
#include "jpeg_meta.h"
#include "photo.h"
#include "palette_util.h"
#include "upright.h"

#include "platform/rows.h"

#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace velbrik {
namespace {

// A progressive file may hold any number of scans, each one a pass over some components of the
// whole picture; real encoders write about ten. More than this is refused.
constexpr int kMaxScans = 300;
// The work of all scans together, in blocks of 8 x 8 samples visited: at most as much as this
// many passes over all three components of the largest picture allowed. The scans' blocks are
// counted from their headers before anything is decoded or allocated.
constexpr int kMaxFullPasses = 30;
constexpr uint64_t kMaxScanBlocks = uint64_t(kMaxFullPasses) * kMaxPixels * 3 / 64;
// Working memory libjpeg may take beyond the output rows (whole-picture coefficient buffers of
// progressive files). Above it libjpeg-turbo, which has no backing store, refuses the file.
constexpr long kMaxJpegMemory = 1536l << 20;

// Stored rows the conversion following the decoding takes at once, at least.
constexpr int32_t kConvertedTogether = 256;
// Whether the rows of the record are converted by a profile while they are decoded.
constexpr int kNotKnownYet = 0, kConvertRows = 1, kNoRowsToConvert = 2;

enum class Failure { None, Corrupt, Truncated, TooManyScans, TooMuchWork, OwnMessage };

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

// Blocks of 8 x 8 samples that one scan over these components visits.
uint64_t componentBlocks(const jpeg_component_info& c) {
  return uint64_t(c.width_in_blocks) * c.height_in_blocks;
}

// The blocks all scans of a file image visit, read from their headers (SOS) without decoding:
// segments are skipped by their length, entropy-coded data up to the next marker.
uint64_t scanBlocks(const uint8_t* data, size_t size, const jpeg_decompress_struct& cinfo) {
  uint64_t total = 0;
  size_t i = 2; // after SOI
  while (i + 1 < size) {
    const void* next = std::memchr(data + i, 0xFF, size - i);
    if (next == nullptr) break;
    i = size_t(static_cast<const uint8_t*>(next) - data);
    if (i + 1 >= size) break;
    const uint8_t marker = data[i + 1];
    // Fill bytes, stuffed zeros and restart markers belong to the data around them.
    if (marker == 0xFF || marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      i += marker == 0xFF ? 1 : 2;
      continue;
    }
    if (marker == 0xD9 || i + 4 > size) break; // end of picture
    const size_t length = size_t(data[i + 2]) << 8 | data[i + 3];
    if (marker == 0xDA && length >= 3 && i + 2 + length <= size) {
      const int inScan = data[i + 4];
      for (int k = 0; k < inScan && size_t(3 + 2 * k) < length; ++k) {
        const int id = data[i + 5 + 2 * k];
        for (int c = 0; c < cinfo.num_components; ++c)
          if (cinfo.comp_info[c].component_id == id) total += componentBlocks(cinfo.comp_info[c]);
      }
    }
    i += 2 + length;
  }
  return total;
}

struct ScanGuard {
  jpeg_progress_mgr base;
  JpegErrors* errors;
  int lastScan;
  uint64_t blocks; // of the scans begun so far
};

// Called before every row of input or output. Checks each new scan against the limits, and
// arithmetic-coded data against ending early: unlike Huffman data, arithmetic data may end
// before the decoder is done (it then reads zeros), but only within the scan's last row of
// blocks; a marker met earlier means the data was cut.
void onProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor == 0) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  auto* guard = reinterpret_cast<ScanGuard*>(cinfo->progress);
  if (d->input_scan_number != guard->lastScan) {
    guard->lastScan = d->input_scan_number;
    for (int i = 0; i < d->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i)
      if (d->cur_comp_info[i] != nullptr) guard->blocks += componentBlocks(*d->cur_comp_info[i]);
    if (d->input_scan_number > kMaxScans) {
      guard->errors->failure = Failure::TooManyScans;
      jumpBack(cinfo);
    }
    if (guard->blocks > kMaxScanBlocks) {
      guard->errors->failure = Failure::TooMuchWork;
      jumpBack(cinfo);
    }
  }
  if (d->arith_code && d->unread_marker != 0 && d->input_iMCU_row + 2 <= d->total_iMCU_rows) {
    guard->errors->failure = Failure::Truncated;
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
  const JpegMeta* meta;
  ColourProfile* profile;
  UprightWriter* upright;
  std::atomic<int>* convertRows; // kConvertRows once the record's rows are to be converted
  bool reduced; // opened at a smaller scale than stored
  uint32_t storedWidth, storedHeight;
};

bool checkSize(JpegReadJob* job, JDIMENSION width, JDIMENSION height, int bitCount) {
  std::string error;
  if (CheckDimensions(width, height, bitCount, error)) return true;
  std::snprintf(job->errors.message, sizeof job->errors.message, "%s", error.c_str());
  job->errors.failure = Failure::OwnMessage;
  return false;
}

// The record in the picture's upright size.
bool createDib(JpegReadJob* job, JDIMENSION width, JDIMENSION height, int bitCount) {
  std::string error;
  if (job->upright->create(*job->out, width, height, bitCount, job->meta->orientation, error))
    return true;
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
  job->scans.lastScan = 0;
  job->scans.blocks = 0;
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
  // Before decompression starts: that is where libjpeg allocates for the whole picture. A
  // picture above the pixel limit is decoded at the largest of libjpeg's scales 1/8 .. 7/8
  // that fits, which costs no more memory than its output rows.
  if (uint64_t(cinfo.image_width) * cinfo.image_height > kMaxPixels) {
    // The message leaves its string before the jump back, which would skip the string's end.
    char message[sizeof job->errors.message] = {};
    {
      std::string error;
      if (!CheckSourceSize(cinfo.image_width, cinfo.image_height, "JPEG", error))
        std::snprintf(message, sizeof message, "%s", error.c_str());
    }
    if (message[0] != '\0') refuse(job, reinterpret_cast<j_common_ptr>(&cinfo), message);
    cinfo.scale_denom = 8;
    for (cinfo.scale_num = 7; cinfo.scale_num > 1; --cinfo.scale_num) {
      const uint64_t w = (uint64_t(cinfo.image_width) * cinfo.scale_num + 7) / 8;
      const uint64_t h = (uint64_t(cinfo.image_height) * cinfo.scale_num + 7) / 8;
      if (w * h <= kMaxPixels) break;
    }
    job->reduced = true;
    job->storedWidth = cinfo.image_width;
    job->storedHeight = cinfo.image_height;
  } else if (!checkSize(job, cinfo.image_width, cinfo.image_height, bitCount)) {
    jumpBack(reinterpret_cast<j_common_ptr>(&cinfo));
  }
  if (jpeg_has_multiple_scans(&cinfo) && scanBlocks(job->data, job->size, cinfo) > kMaxScanBlocks) {
    job->errors.failure = Failure::TooMuchWork;
    jumpBack(reinterpret_cast<j_common_ptr>(&cinfo));
  }

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
  const bool inverted = cinfo.saw_Adobe_marker != 0;
  const ColourProfile& profile = *job->profile;
  if (!job->meta->icc.empty())
    job->profile->open(job->meta->icc.data(), job->meta->icc.size(),
                       grey ? ProfileInput::Grey
                       : cmyk ? (inverted ? ProfileInput::InvertedCmyk : ProfileInput::Cmyk)
                              : ProfileInput::Bgr);
  job->convertRows->store(!grey && !cmyk && profile.active() ? kConvertRows : kNoRowsToConvert,
                          std::memory_order_release);
  if (grey) {
    for (int i = 0; i < 256; ++i) SetDibColour(dib, i, uint8_t(i), uint8_t(i), uint8_t(i));
    FinishPalette(dib);
    profile.convertPalette(dib);
  }

  while (cinfo.output_scanline < height) {
    const JDIMENSION y = cinfo.output_scanline;
    uint8_t* target = job->upright->row(int32_t(y));
    JSAMPROW row = cmyk ? job->cmykRow : target;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
      refuse(job, reinterpret_cast<j_common_ptr>(&cinfo), "Die JPEG-Datei ist unvollständig.");
    if (cmyk && profile.active()) profile.convertCmyk(job->cmykRow, target, int32_t(width));
    else if (cmyk) cmykToBgr(job->cmykRow, target, width, inverted);
    job->upright->commit(int32_t(y));
    job->progress->rows(int64_t(y) + 1, height);
  }
  // A progressive file that ends before some coefficient has had all its scans (the end marker
  // where more scans belong) is as incomplete as one cut inside a scan.
  if (cinfo.progressive_mode && cinfo.coef_bits != nullptr)
    for (int c = 0; c < cinfo.num_components; ++c)
      for (int k = 0; k < DCTSIZE2; ++k)
        if (cinfo.coef_bits[c][k] != 0)
          refuse(job, reinterpret_cast<j_common_ptr>(&cinfo), "Die JPEG-Datei ist unvollständig.");
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
  const platform::TJob* job;
};

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
  RowJob rows(job->job, h.biHeight);
  for (int32_t y = 0; y < h.biHeight; ++y) {
    uint8_t* source = DibRowFromTop(dib, y);
    if (job->row != nullptr) {
      ExpandPaletteRow(dib, source, job->row);
      source = job->row;
    }
    JSAMPROW row = source;
    jpeg_write_scanlines(&cinfo, &row, 1);
    if (!rows.row(y + 1)) {
      jpeg_destroy_compress(&cinfo);
      return false;
    }
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
  const JpegMeta meta = ReadJpegMeta(data, size);
  ColourProfile profile;
  UprightWriter upright;
  JpegReadJob job{};
  job.data = data;
  job.size = size;
  job.out = &out;
  job.progress = &progress;
  job.meta = &meta;
  job.profile = &profile;
  job.upright = &upright;
  std::atomic<int> convertRows{kNotKnownYet};
  std::atomic<bool> finished{false};
  job.convertRows = &convertRows;
  bool decoded = false;
  // Two bands on the shared row threads: the decoding, and the colour conversion of colour
  // pictures following it row by row, so that on two processors the conversion costs no time.
  // Where a single thread takes both, the conversion runs after the decoding. Grey pictures
  // had their palette converted, CMYK ones their rows, while decoding.
  Progress quiet(nullptr);
  platform::ForEachRowBand(0, 2, [&](int32_t band, int32_t) {
    if (band == 0) {
      job.progress = platform::OnRowHelper() ? &quiet : &progress; // the window's messages stay on its thread
      decoded = readJpeg(&job);
      finished.store(true, std::memory_order_release);
      return;
    }
    for (int32_t converted = 0;;) {
      const bool over = finished.load(std::memory_order_acquire);
      const int state = convertRows.load(std::memory_order_acquire);
      if (state == kNoRowsToConvert || (over && state == kNotKnownYet)) return;
      const int32_t placed = state == kConvertRows ? upright.placedRows() : converted;
      // Runs of at least kConvertedTogether pixels where the rows become columns.
      if (placed > converted && (placed - converted >= kConvertedTogether || over)) {
        upright.forEachRun(converted, placed, [&](uint8_t* pixels, int32_t count) { profile.convertRow(pixels, count); });
        converted = placed;
      } else if (over) {
        return;
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  }, 1);
  if (decoded) {
    if (job.reduced) {
      const bool swap = SwapsSides(meta.orientation);
      MarkReduced(out, swap ? job.storedHeight : job.storedWidth, swap ? job.storedWidth : job.storedHeight);
    }
    return true;
  }

  switch (job.errors.failure) {
  case Failure::OwnMessage: error = job.errors.message; break;
  case Failure::Truncated: error = "Die JPEG-Datei ist unvollständig."; break;
  case Failure::TooManyScans:
    error = "Die JPEG-Datei ist beschädigt: sie hat mehr als " + std::to_string(kMaxScans) +
            " Durchgänge.";
    break;
  case Failure::TooMuchWork:
    error = "Die JPEG-Datei wird abgelehnt: ihre Durchgänge machten mehr Arbeit als " +
            std::to_string(kMaxFullPasses) + " Durchgänge über ein Bild von " +
            std::to_string(kMaxPixels / 1000000) + " Megapixeln.";
    break;
  default: error = "Die JPEG-Datei ist beschädigt."; break;
  }
  FailDib(out, error);
  return false;
}

bool WriteJpeg(const TDib& dib, std::FILE* file, int quality, std::string& error, const platform::TJob* runner) {
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
  job.job = runner;
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
