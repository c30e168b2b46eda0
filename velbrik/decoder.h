// SPDX-License-Identifier: GPL-3.0-or-later
// Internal interface of the imaging library: the record helpers every decoder and encoder uses,
// and one decode and one encode function per file format.
#pragma once

#include "velbrik.h"
#include "platform/job.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace velbrik {

// Largest picture opened or created, in pixels; larger headers are refused before allocating.
constexpr uint64_t kMaxPixels = MORPHANE_MAX_PIXELS;
// Largest side of a picture: keeps every row and offset computation inside 32 bits.
constexpr int32_t kMaxSide = 65535 * 4;
// Largest file opened (mapped, or read where it cannot be mapped), in bytes.
constexpr uint64_t kMaxFileBytes = 1ull << 30;

// Sends WM_USER with a percentage to the window given to OpenDib, once per change of value.
class Progress {
public:
  explicit Progress(void* window) : window_(window) {}
  void report(int percent);
  // Rows done of a total, as a percentage 0..100.
  void rows(int64_t done, int64_t total);

private:
  void* window_;
  int last_ = -1;
};

// Checks width, height and bit count against the limits; on refusal returns false with a German
// message in `error`. Allowed bit counts: 1, 4, 8, 24.
bool CheckDimensions(int64_t width, int64_t height, int bitCount, std::string& error);

// newdib after CheckDimensions; false with a German message when refused or out of memory.
bool CreateDib(TDib& out, int32_t width, int32_t height, int32_t bitCount, std::string& error);

// Sets one colour of a palette image: the colour table behind Info and LogPal alike. Call
// FinishPalette once all colours are set, to rebuild the palette handle.
void SetDibColour(TDib& dib, int index, uint8_t red, uint8_t green, uint8_t blue);
void FinishPalette(TDib& dib);

// Row r of the image counted from the bottom, as stored.
inline uint8_t* DibRow(const TDib& dib, int32_t rowFromBottom) {
  return dib.Bits + int64_t(rowFromBottom) * dib.BytesPerLine;
}
// Row counted from the top, as most file formats store them.
inline uint8_t* DibRowFromTop(const TDib& dib, int32_t rowFromTop) {
  return DibRow(dib, dib.Info->bmiHeader.biHeight - 1 - rowFromTop);
}

// A message cut to at most `room` bytes. When it is too long, the first quoted name in it
// ("\u201E...\u201C") is shortened in its middle with "\u2026", so the reason after the name stays;
// only when that is not enough is the end cut. Never cuts inside a UTF-8 sequence.
std::string FitErrorText(const std::string& message, size_t room);

// A 1-bit picture whose first colour is lighter than its second gets both swapped, and every
// pixel's index with them, so that index 0 is the darker colour (promotion shows index 0 black).
void DarkIndexFirst(TDib& dib);

// Marks a record as failed: releases what it refers to, clears Info, Memory and Bits and stores
// the message (fitted with FitErrorText) where the error text belongs.
void FailDib(TDib& dib, const std::string& message);

// Decoders: read a whole file image from memory into `out` (uninitialised on entry; DecodeAny
// clears it first, so an early FailDib finds no stale pointers). On failure
// they release whatever they created, return false and put a German message into `error`.
bool DecodeBmp(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);
bool DecodePng(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);
bool DecodeJpeg(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);
bool DecodeGif(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);
bool DecodeTiff(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);
// HEIF (HEIC) and AVIF alike.
bool DecodeHeif(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);
bool DecodeWebp(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);
bool DecodeJxl(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);

// Chooses the decoder by the file's signature; an unknown signature is refused with a message.
bool DecodeAny(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error);

// Encoders: write the image (24 bits, or a palette image) to an open file. With a job they report
// the rows done and stop between rows when it is cancelled (false; the caller tells why).
bool WriteBmp(const TDib& dib, std::FILE* file, std::string& error, const platform::TJob* job = nullptr);
bool WritePng(const TDib& dib, std::FILE* file, std::string& error, const platform::TJob* job = nullptr);
bool WriteJpeg(const TDib& dib, std::FILE* file, int quality, std::string& error,
               const platform::TJob* job = nullptr);
bool WriteTiff(const TDib& dib, std::FILE* file, std::string& error, const platform::TJob* job = nullptr);

// An encoder's rows against its job: the percentage on each change; false once cancelled.
class RowJob {
public:
  RowJob(const platform::TJob* job, int64_t total) : job_(job), total_(total > 0 ? total : 1) {}
  bool row(int64_t done) {
    if (job_ == nullptr) return true;
    const int percent = int(done * 100 / total_);
    if (percent != last_) job_->Report(last_ = percent);
    return !job_->Cancelled();
  }

private:
  const platform::TJob* job_;
  int64_t total_;
  int last_ = -1;
};
struct TWebpSettings {
  int Quality = 92;      // 0..100, as for JPEG; not used when lossless
  bool Lossless = false; // every pixel exactly as it is
};
// Reports the encoder's progress to `job` and stops with kCancelledText when it is cancelled.
bool WriteWebp(const TDib& dib, std::FILE* file, const TWebpSettings& settings, const platform::TJob& job,
               std::string& error);

// Saves `dib` to `path` as SaveDib does (the format by the extension, through a temporary file
// renamed into place); `lossless` makes a .webp file lossless. The encoders that can report
// progress and stop early (WebP) do so through `job`.
bool SaveImage(const TDib& dib, const std::string& path, bool lossless, const platform::TJob& job,
               std::string& error);

// The flush of a saved file to the disk; tests replace it to make a full disk. Returns the
// previous function; nullptr restores fsync.
using SyncFunction = int (*)(int fd);
SyncFunction SetSaveSyncFunction(SyncFunction f);

} // namespace velbrik
