// SPDX-License-Identifier: GPL-3.0-or-later
// Face changes as edits of the mask: bigger or smaller eyes, a wider or narrower nose, a smile,
// a longer or shorter chin, a wider or narrower face and a caricature, each a slider from -100
// to 100 (0: unchanged).
//
// A change is a smooth displacement u defined by the landmarks of each face, zero outside an
// ellipse around the face. The new mask entry of picture pixel p is the old entry at p + u(p),
// rounded to the nearest pixel. The gradient of u is kept below 0.9 everywhere (the whole field
// is scaled down when sliders together would exceed it), so p -> p + u(p) stays one-to-one: no
// fold and no tear for any slider values. The field is computed on a grid of nodes a few pixels
// apart and interpolated bilinearly in between; the interpolation keeps the gradient's bound.
//
// Picture coordinates here count rows from the top (as the landmarks do); the mask's rows count
// from the bottom and are converted where the mask is read and written.
#pragma once

#include "EditorCore.h"
#include "Landmarks.h"
#include "Mask.h"

#include <array>
#include <cstdint>
#include <vector>

namespace face {

enum TFeature : int { kEyes, kNose, kSmile, kChin, kWidth, kCaricature, kFeatureCount };
// Script words (eyes nose smile chin width caricature) and the dialog's German captions.
extern const std::array<const char*, kFeatureCount> kFeatureWords;
extern const std::array<const char*, kFeatureCount> kFeatureCaptions;

// One value per feature, each -100..100 (clamped where used).
struct TFaceSliders {
  std::array<int32_t, kFeatureCount> Value{};
  bool Any() const;
};

// The average face: the landmarks of a frontal face in a unit box (the model's mean shape).
extern const std::array<TPoint, kLandmarks> kAverageFace;
// The average face fitted onto `face` by a shift, a rotation and a uniform scale (least squares).
TLandmarks FitAverage(const TLandmarks& face);

// The displacement of a face change over a rectangle of the picture.
struct TFaceField {
  warp::TPictureRect Area;           // the mask entries it may change (rows bottom-up)
  int32_t Step = 1;                  // pixels between grid nodes
  int32_t Cols = 0, Rows = 0;        // grid nodes across and down
  std::vector<float> U, V;           // offset to the sampled position per node, x and y (y down)
  double Scale = 1;                  // how much it was scaled down to keep the gradient bound
  bool Empty() const { return Area.Empty() || Cols == 0; }
};

// The part of the picture the faces' fields may change (one rectangle around all of them).
warp::TPictureRect FaceArea(const std::vector<TLandmarks>& faces, int32_t width, int32_t height);
// The field of `sliders` for every face in `faces`, over `area` (from FaceArea).
TFaceField BuildField(const std::vector<TLandmarks>& faces, const TFaceSliders& sliders,
                      const warp::TPictureRect& area, int32_t width, int32_t height);

// A copy of the mask's entries inside an area.
struct TMaskCopy {
  warp::TPictureRect Area;
  std::vector<warp::TMaskEntry> Entries; // rows bottom-up, Area's width each
};
TMaskCopy CopyArea(const warp::TMaskEntry* mask, int32_t width, const warp::TPictureRect& area);
void RestoreArea(const TMaskCopy& copy, warp::TMaskEntry* mask, int32_t width);

// Writes the entries of field.Area: each the entry of `before` (or, outside before.Area, of the
// mask itself) at the pixel's displaced position. Rows are shared among threads; the result
// does not depend on how many. Entries with a protection weight (width x height, or null) move
// only part of the way, as under the tools.
void ApplyField(const TFaceField& field, const TMaskCopy& before, warp::TMaskEntry* mask, int32_t width,
                int32_t height, const uint8_t* protection = nullptr);

// The change as one step of the editing engine's history: mask changed, the result rendered
// where it changes, the view repainted. False (nothing changed) when every slider is 0, there
// is no face or mask, or a stroke is active.
bool ApplyFaceChange(warp::TEditorCore& core, const std::vector<TLandmarks>& faces, const TFaceSliders& sliders);

// A change shown while its sliders move, before it is confirmed: the mask inside the faces'
// area is written from a copy taken at the start, so each showing starts from the same entries.
class TFacePreview {
public:
  TFacePreview(warp::TEditorCore& core, std::vector<TLandmarks> faces);
  // Shows the faces changed by `sliders` (all 0: as they were).
  void Show(const TFaceSliders& sliders);
  // Puts the mask and the result back exactly as they were at the start.
  void Cancel();
  // Puts them back and applies `sliders` as one step of the history. False when nothing changes.
  bool Commit(const TFaceSliders& sliders);
  const warp::TPictureRect& Area() const { return before_.Area; }

private:
  void Render();
  warp::TEditorCore& core_;
  std::vector<TLandmarks> faces_;
  TMaskCopy before_;
  bool shown_ = false;
};

} // namespace face
