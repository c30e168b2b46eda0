// SPDX-License-Identifier: GPL-3.0-or-later
// Faces found in a picture, each with the 68 landmarks of the common face model (jaw 0..16,
// brows 17..26, nose 27..35, eyes 36..47, mouth 48..67), in picture pixels counted from the
// top-left corner (rows top-down, unlike the mask).
//
// The finder loads the landmark model once (about 1.5 s, 100 MB) and then looks for frontal
// faces on a reduced grey copy of the picture (a second time at twice that size when a face may
// be small), and fits the landmarks on the full-size grey picture, where they are precise. It
// spreads nothing over threads: the same picture gives the same faces on every machine.
//
// This is the one unit that includes the face library's headers; everything else uses this.
#pragma once

#include "Velbrik.h"
#include "platform/job.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace face {

struct TPoint {
  double x = 0, y = 0; // picture pixels, y downwards from the top row
};
constexpr int kLandmarks = 68;
using TLandmarks = std::array<TPoint, kLandmarks>;

// A grey picture, rows top-down, one byte per pixel: (red + green + blue) / 3.
struct TGray {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;
};
// The grey copy of a 24-bit picture (rows turned to top-down). Empty for anything else.
TGray GrayOf(const TDib& picture);

// Where Debian's package libdlib-data installs the model.
constexpr const char* kModelPath = "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";
// The German hint shown where the face functions need the model and it is not installed.
constexpr const char* kNoModelText =
    "Das Gesichtsmodell fehlt: bitte das Debian-Paket libdlib-data installieren.";

// What one search found out, for the timing line and the window.
struct TFindStats {
  double DetectMs = 0;   // finding the faces and their landmarks, milliseconds
  int32_t Passes = 0;    // 1, or 2 when the picture was searched again at twice the size
};

class TFaceFinder {
public:
  TFaceFinder();
  ~TFaceFinder();
  TFaceFinder(const TFaceFinder&) = delete;
  TFaceFinder& operator=(const TFaceFinder&) = delete;

  // Loads the model file (kModelPath by default). False with a German message when the file is
  // missing or not a landmark model of 68 points. May run on any thread; Find waits for it.
  bool Load(const std::string& path, std::string& error);
  bool Loaded() const;
  // Milliseconds the last Load took.
  double LoadMs() const;

  // Every frontal face of `picture`, left to right (by the left edge of its box). `reference`
  // searches the full-size picture, enlarged once, and nothing else (slow; for comparisons).
  // Empty when nothing is found, the model is not loaded or the job was cancelled.
  std::vector<TLandmarks> Find(const TGray& picture, const platform::TJob& job = {}, TFindStats* stats = nullptr,
                               bool reference = false);

private:
  struct TModel;
  std::unique_ptr<TModel> model_;
  mutable std::mutex mutex_; // one search or load at a time
  double loadMs_ = 0;
};

} // namespace face
