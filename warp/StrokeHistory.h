// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of whole strokes. While a stroke runs, the history keeps a copy of every tile of
// the mask a step is about to touch; when the stroke ends, only the entries that really changed
// are kept, with their values before and after, compactly coded. Undo writes the before values
// back, redo the after values; the caller re-renders exactly the entries written.
//
// A stroke of the protection brush is kept the same way, with the protection weights it changed.
//
// The history belongs to one mask: whoever replaces or resets the mask clears it.
#pragma once

#include "Mask.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace warp {

// Memory the kept strokes may take together; the oldest are dropped first beyond it. A stroke of
// radius 50 costs some tens of kilobytes, so thousands of strokes fit.
constexpr size_t kHistoryBudget = size_t(512) << 20;

// Row r, columns left..right (bottom-up row, as in the mask).
using TSpanFn = std::function<void(int32_t r, int32_t left, int32_t right)>;

class TStrokeHistory {
public:
  explicit TStrokeHistory(size_t budget = kHistoryBudget) : budget_(budget) {}

  // ---- Recording one stroke ----

  // Starts recording a stroke on this width x height mask. A history kept for a mask of another
  // size is dropped.
  void BeginStroke(int32_t width, int32_t height);
  // Before a step that may change entries inside `square` (inside the picture): copies the tiles
  // of the square not copied yet in this stroke.
  void BeforeStep(const TMaskEntry* mask, const TPictureRect& square);
  // The same for a step that may change the protection weights (width x height) inside `square`.
  void BeforeProtectionStep(const uint8_t* protection, const TPictureRect& square);
  // Ends the stroke. When it changed entries, they become the newest stroke and whatever could
  // be redone is dropped; a stroke that changed nothing leaves the history as it was. When the
  // memory for recording was not available the whole history is dropped (older strokes could no
  // longer be undone exactly).
  // `protection` is the weights the stroke painted, when it painted any.
  void EndStroke(const TMaskEntry* mask, const uint8_t* protection = nullptr);
  bool Recording() const { return recording_; }

  // ---- Undo and redo ----

  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // Writes the newest stroke's before values into the mask (of the recorded size) and calls
  // `span` for every run of entries written, after writing it. Returns the rectangle around them
  // (empty when there was nothing to undo). A stroke of the protection brush writes its weights
  // into `protection` instead, which is made width x height zeros first when it is empty.
  TPictureRect Undo(TMaskEntry* mask, const TSpanFn& span, std::vector<uint8_t>* protection = nullptr);
  // The same with the after values of the stroke undone last.
  TPictureRect Redo(TMaskEntry* mask, const TSpanFn& span, std::vector<uint8_t>* protection = nullptr);

  // ---- Keeping the strokes in a file ----

  // The kept strokes (those that can be undone, then those that can be redone) as bytes.
  std::vector<uint8_t> Serialize() const;
  // Replaces the history by the strokes of Serialize's bytes, for a width x height mask. Every
  // run and every value is checked against that size before anything is kept: damaged bytes
  // give false with a German message and an empty history. Beyond the budget the oldest strokes
  // are dropped, as when they were made.
  bool Deserialize(const uint8_t* data, size_t size, int32_t width, int32_t height, std::string& error);

  // Forgets every stroke and any recording in progress.
  void Clear();
  // Bytes taken by the kept strokes.
  size_t Bytes() const { return bytes_; }
  size_t UndoCount() const { return undo_.size(); }
  // A number for the mask's present state among the states this history can reach: undoing
  // back to a state gives its number again; a new stroke or Clear gives a number never seen.
  uint64_t StateId() const { return undo_.empty() ? baseId_ : undo_.back().id; }
  size_t RedoCount() const { return redo_.size(); }

private:
  // The changed entries of one stroke. `runs` holds per run of changed entries in one row
  // (runs in row order, then column order) the row step, the column and the length; `before`
  // and `after` hold the values of the runs' entries as differences from a prediction (the
  // identity at a run's start, the previous entry one column on inside it), zigzag varints.
  // Changed protection weights: per run row, column and length as varints in `weightRuns`, the
  // weights themselves in `weightsBefore` and `weightsAfter`.
  struct TEntry {
    std::vector<uint8_t> runs, before, after;
    uint32_t runCount = 0;
    std::vector<uint8_t> weightRuns, weightsBefore, weightsAfter;
    uint32_t weightRunCount = 0;
    uint64_t id = 0; // StateId after the stroke
    TPictureRect bounds;
    size_t Bytes() const {
      return runs.capacity() + before.capacity() + after.capacity() + weightRuns.capacity() +
             weightsBefore.capacity() + weightsAfter.capacity() + sizeof(TEntry);
    }
  };
  static constexpr int32_t kTile = 32; // side of the tiles copied while a stroke runs

  void Encode(const TMaskEntry* mask, TEntry& entry) const;
  void EncodeWeights(const uint8_t* protection, TEntry& entry, TPictureRect& bounds) const;
  static void Apply(const TEntry& entry, bool after, int32_t width, TMaskEntry* mask, const TSpanFn& span);
  void ApplyWeights(const TEntry& entry, bool after, std::vector<uint8_t>* protection) const;
  void Push(TEntry&& entry);
  void DropRecording();

  size_t budget_;
  size_t bytes_ = 0;
  int32_t width_ = 0, height_ = 0; // of the mask the strokes belong to
  std::deque<TEntry> undo_;         // oldest first
  std::vector<TEntry> redo_;        // the stroke undone last at the back
  uint64_t lastId_ = 0;             // the last state number given out
  uint64_t baseId_ = 0;             // of the state before the oldest kept stroke

  bool recording_ = false;
  bool failed_ = false; // memory ran out during this recording
  int32_t tilesAcross_ = 0;
  std::vector<int32_t> tileSlot_;   // per tile: index into tiles_, -1 = not copied
  std::vector<int32_t> touched_;    // tiles copied in this stroke
  std::vector<std::vector<TMaskEntry>> tiles_; // kTile x kTile copies, rows bottom-up
  std::vector<int32_t> weightSlot_, weightTouched_; // the same for the protection weights
  std::vector<std::vector<uint8_t>> weightTiles_;
};

} // namespace warp
