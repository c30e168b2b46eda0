// SPDX-License-Identifier: GPL-3.0-or-later
// The project file ("Morphane-Projekt", *.morphane): the work on one picture, kept to go on with
// it later. It holds the picture exactly as the editor has it (24 bits, after promotion), the
// mask, the tool bar's settings and the stroke history, so that reopening gives the same result,
// mask and undo as before.
//
// Layout (all numbers little-endian):
//   magic   8 bytes  8B 'M' 'P' 'J' 0D 0A 1A 0A
//   version u32      kVersion
//   chunks  type (4 ASCII letters), raw size u64, stored size u64, stored bytes (zlib),
//           CRC-32 u32 of type, both sizes and the stored bytes
// The chunks: KOPF (width, height: u32 each; first), BILD (the picture: rows bottom-up, width x 3
// bytes each, every byte as its difference from the byte one pixel to the left), MASK (the mask
// relative to the identity, see MaskChunk), EINS (settings, "key=value" lines, UTF-8), VERL (the
// stroke history, TStrokeHistory::Serialize) and ENDE (empty; last). A type starting with a small
// letter is optional: a reader that does not know it skips it. "schu" is the protection mask:
// one byte per pixel, rows bottom-up, 0 = free.
//
// Reading checks every size against the picture's and the file's before anything is allocated:
// a damaged or hostile file is refused with a German message.
#pragma once

#include "EditorCore.h"
#include "Mask.h"
#include "platform/job.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace project {

constexpr uint32_t kVersion = 1;
// Largest project file read, in bytes.
constexpr uint64_t kMaxFileBytes = uint64_t(4) << 30;

// The tool bar's settings kept with the work.
struct TSettings {
  int32_t Tool = 0; // warp::kToolGrow .. kToolDrag
  int32_t Axes = 0; // 0 X && Y, 1 X, 2 Y
  bool Normalize = true;
  bool Smooth = false; // "Glätten"
  long double Strength = 0.4L, Radius = 50, Zoom = 1;
  friend bool operator==(const TSettings&, const TSettings&) = default;
};

// A project as read from a file.
struct TProject {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;        // Height rows bottom-up, Width x 3 bytes (blue, green, red)
  std::vector<warp::TMaskEntry> Mask; // Width x Height entries, as in the editor
  std::vector<uint8_t> History;       // TStrokeHistory::Serialize
  TSettings Settings;
  std::string PicturePath;            // the picture the work began with; may be empty
  std::vector<uint8_t> Protection;    // one byte per pixel, or empty
};

// One compressed chunk, ready to be written.
struct TChunk {
  std::array<char, 4> Type{};
  uint64_t RawSize = 0;
  std::vector<uint8_t> Data;
};

// The picture chunk of a 24-bit picture (rows `stride` bytes apart, bottom-up). It is the bulk of
// the file and stays the same while the picture is edited: it can be made once and kept.
TChunk PictureChunk(const uint8_t* bits, size_t stride, int32_t width, int32_t height);
// The mask as its difference from the identity: runs of unchanged entries cost a few bytes, a
// changed entry its displacement's change from its left neighbour.
TChunk MaskChunk(const warp::TMaskEntry* mask, int32_t width, int32_t height);
// The same uncompressed: small for a mostly unchanged mask, and quick to make.
std::vector<uint8_t> MaskDelta(const warp::TMaskEntry* mask, int32_t width, int32_t height);

// What is saved besides the picture.
struct TWork {
  int32_t Width = 0, Height = 0;
  const warp::TMaskEntry* Mask = nullptr;
  const std::vector<uint8_t>* MaskDelta = nullptr; // instead of Mask: MaskDelta's bytes
  const std::vector<uint8_t>* History = nullptr;   // may be null: no history
  TSettings Settings;
  std::string PicturePath;
  const uint8_t* Protection = nullptr;            // Width x Height bytes, or null
};

// Writes the project atomically: a temporary file beside `path`, flushed to the disk and then
// renamed over it; nothing is left behind when that fails. False with a German message.
bool WriteProject(const std::string& path, const TChunk& picture, const TWork& work, std::string& error);

// Reads a project file (a regular file, read in pieces: a file that shrinks or changes while it
// is read is refused, never read past its end). False with a German message naming the file.
bool ReadProject(const std::string& path, TProject& out, std::string& error);
// The same from memory (the fuzz target).
bool ReadProjectMemory(const uint8_t* data, size_t size, TProject& out, std::string& error);

// Whether a name ends in ".morphane" (any case).
bool IsProjectName(const std::string& path);
// The open filter of the imaging library ("Text|masks|Text|masks...") with the project files
// in its first entry ("all pictures") and as an entry of their own before the last one.
std::string OpenFilter(const std::string& pictureFilter);

// ---- The project and the editing engine ----

// The settings as a tool bar shows them.
TSettings SettingsOf(const warp::TToolBarState& bar, bool smooth);
void ApplySettings(const TSettings& settings, warp::TToolBarState& bar);

// The project's picture as a new 24-bit record (release it with deldib); Bits null when the
// memory is not there.
TDib PictureOf(const TProject& project);
// After the project's picture has become the editor's FSourceDib (same size, mask allocated):
// its mask and history become the editor's, the result is rendered anew, HistoryChanged called.
// False with a German message (the editor keeps the identity mask) when the history is damaged.
bool RestoreWork(warp::TEditorCore& core, const TProject& project, std::string& error);
// Saves the editor's work (FSourceDib, FMask, FHistory, protection) with these settings.
bool SaveCore(const warp::TEditorCore& core, const std::string& path, const TSettings& settings,
              const std::string& picturePath, std::string& error);

// The editor's work copied, to be written on another thread while the editing goes on.
struct TWorkCopy {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;     // Height rows bottom-up, Width x 3 bytes
  std::vector<uint8_t> MaskDelta;  // MaskDelta's bytes
  std::vector<uint8_t> History;    // TStrokeHistory::Serialize
  std::vector<uint8_t> Protection; // empty: nothing protected
  TSettings Settings;
  std::string PicturePath;
};
// False with a German message naming `path` when there is no picture or no memory.
bool CopyWork(const warp::TEditorCore& core, const std::string& path, const TSettings& settings,
              const std::string& picturePath, TWorkCopy& copy, std::string& error);
// Writes the copy as a project; the job hears of the picture compressed (50 %), and a job
// cancelled by then stops before anything is written (platform::kCancelledText).
bool WriteWorkCopy(const TWorkCopy& copy, const std::string& path, const platform::TJob& job, std::string& error);

// The deformation of a project's mask scaled to a picture of another size: every entry of `to`
// moves as far from its own position, in proportion, as the nearest entry of `from` does (the
// identity stays the identity), clamped to the picture. The same size copies the mask.
void ScaleMask(const warp::TMaskEntry* from, int32_t fromWidth, int32_t fromHeight, warp::TMaskEntry* to,
               int32_t toWidth, int32_t toHeight);
// Applies a project's deformation to the editor's picture as one stroke (undo takes it back):
// the mask scaled to the picture, the result rendered, HistoryChanged called. False with a
// German message when there is no picture or no memory.
bool ApplyDeformation(warp::TEditorCore& core, const TProject& project, std::string& error);

} // namespace project
