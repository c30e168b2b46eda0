// SPDX-License-Identifier: GPL-3.0-or-later
#include "StrokeHistory.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace warp {
namespace {

void PutVarint(std::vector<uint8_t>& out, uint64_t v) {
  while (v >= 0x80) {
    out.push_back(uint8_t(v | 0x80));
    v >>= 7;
  }
  out.push_back(uint8_t(v));
}

inline uint64_t GetVarint(const uint8_t*& p) {
  uint64_t v = *p & 0x7f;
  if (*p++ < 0x80) return v;
  for (int shift = 7;; shift += 7) {
    const uint8_t b = *p++;
    v |= uint64_t(b & 0x7f) << shift;
    if (b < 0x80) return v;
  }
}

inline uint64_t ZigZag(int64_t v) { return (uint64_t(v) << 1) ^ uint64_t(v >> 63); }
inline int64_t UnZigZag(uint64_t u) { return int64_t(u >> 1) ^ -int64_t(u & 1); }

// The values of one run: each entry as its difference from the prediction.
void PutValue(std::vector<uint8_t>& out, const TMaskEntry& e, TMaskEntry& predicted) {
  PutVarint(out, ZigZag(int64_t(e.X) - predicted.X));
  PutVarint(out, ZigZag(int64_t(e.Y) - predicted.Y));
  predicted = TMaskEntry{e.X + 1, e.Y};
}

} // namespace

void TStrokeHistory::Clear() {
  baseId_ = ++lastId_;
  undo_.clear();
  redo_.clear();
  bytes_ = 0;
  DropRecording();
}

void TStrokeHistory::DropRecording() {
  recording_ = false;
  failed_ = false;
  tileSlot_.clear();
  tileSlot_.shrink_to_fit();
  touched_.clear();
  touched_.shrink_to_fit();
  tiles_.clear();
  tiles_.shrink_to_fit();
}

void TStrokeHistory::BeginStroke(int32_t width, int32_t height) {
  if (width != width_ || height != height_) {
    // Nothing has changed yet: the present state keeps its number.
    const uint64_t present = StateId();
    Clear();
    baseId_ = present;
  }
  width_ = width;
  height_ = height;
  DropRecording();
  if (width <= 0 || height <= 0) return;
  recording_ = true;
  tilesAcross_ = (width + kTile - 1) / kTile;
  const int32_t tilesUp = (height + kTile - 1) / kTile;
  try {
    tileSlot_.assign(size_t(tilesAcross_) * size_t(tilesUp), -1);
  } catch (const std::bad_alloc&) {
    failed_ = true;
  }
}

void TStrokeHistory::BeforeStep(const TMaskEntry* mask, const TPictureRect& square) {
  if (!recording_ || failed_ || mask == nullptr || square.Empty()) return;
  const int32_t left = std::max(square.Left, 0) / kTile, right = std::min(square.Right, width_ - 1) / kTile;
  const int32_t bottom = std::max(square.Bottom, 0) / kTile, top = std::min(square.Top, height_ - 1) / kTile;
  try {
    for (int32_t tr = bottom; tr <= top; ++tr)
      for (int32_t tc = left; tc <= right; ++tc) {
        const int32_t tile = tr * tilesAcross_ + tc;
        if (tileSlot_[size_t(tile)] >= 0) continue;
        tiles_.emplace_back(size_t(kTile) * kTile);
        touched_.push_back(tile);
        tileSlot_[size_t(tile)] = int32_t(tiles_.size() - 1);
        const int32_t j0 = tc * kTile, cols = std::min(kTile, width_ - j0);
        const int32_t r0 = tr * kTile, rows = std::min(kTile, height_ - r0);
        TMaskEntry* copy = tiles_.back().data();
        for (int32_t i = 0; i < rows; ++i)
          std::memcpy(copy + size_t(i) * kTile, mask + int64_t(r0 + i) * width_ + j0, size_t(cols) * sizeof(TMaskEntry));
      }
  } catch (const std::bad_alloc&) {
    failed_ = true;
    tiles_.clear();
  }
}

void TStrokeHistory::EndStroke(const TMaskEntry* mask) {
  if (!recording_) return;
  if (failed_ || mask == nullptr) {
    Clear();
    return;
  }
  try {
    TEntry entry;
    Encode(mask, entry);
    DropRecording();
    if (entry.runCount > 0) Push(std::move(entry));
  } catch (const std::bad_alloc&) {
    Clear();
  }
}

void TStrokeHistory::Encode(const TMaskEntry* mask, TEntry& entry) const {
  std::vector<int32_t> tiles = touched_;
  std::sort(tiles.begin(), tiles.end()); // tile rows bottom-up, columns left to right
  TPictureRect bounds{width_, height_, -1, -1};
  int32_t lastRow = 0;
  for (size_t first = 0; first < tiles.size();) {
    const int32_t tr = tiles[first] / tilesAcross_;
    size_t end = first;
    while (end < tiles.size() && tiles[end] / tilesAcross_ == tr) ++end;
    const int32_t r0 = tr * kTile, rows = std::min(kTile, height_ - r0);
    for (int32_t i = 0; i < rows; ++i) {
      const int32_t r = r0 + i;
      const TMaskEntry* now = mask + int64_t(r) * width_;
      int32_t runStart = -1, lastEnd = 0; // lastEnd: one past the previous run of this row
      TMaskEntry predictBefore{}, predictAfter{};
      const auto close = [&](int32_t endColumn) {
        const bool newRow = entry.runCount == 0 || r != lastRow;
        PutVarint(entry.runs, uint64_t(newRow ? r - lastRow : 0));
        PutVarint(entry.runs, uint64_t(runStart - (newRow ? 0 : lastEnd)));
        PutVarint(entry.runs, uint64_t(endColumn - runStart - 1));
        ++entry.runCount;
        lastRow = r;
        lastEnd = endColumn;
        bounds.Left = std::min(bounds.Left, runStart);
        bounds.Right = std::max(bounds.Right, endColumn - 1);
        bounds.Bottom = std::min(bounds.Bottom, r);
        bounds.Top = std::max(bounds.Top, r);
        runStart = -1;
      };
      for (size_t k = first; k < end; ++k) {
        const int32_t tc = tiles[k] % tilesAcross_;
        const int32_t j0 = tc * kTile, cols = std::min(kTile, width_ - j0);
        // A gap before this tile ends an open run.
        if (runStart >= 0 && k > first && tiles[k] != tiles[k - 1] + 1) close(int32_t(tiles[k - 1] % tilesAcross_ + 1) * kTile);
        const TMaskEntry* was = tiles_[size_t(tileSlot_[size_t(tiles[k])])].data() + size_t(i) * kTile;
        for (int32_t c = 0; c < cols; ++c) {
          const int32_t j = j0 + c;
          if (was[c] == now[j]) {
            if (runStart >= 0) close(j);
            continue;
          }
          if (runStart < 0) {
            runStart = j;
            predictBefore = predictAfter = TMaskEntry{j, r};
          }
          PutValue(entry.before, was[c], predictBefore);
          PutValue(entry.after, now[j], predictAfter);
        }
      }
      if (runStart >= 0) close(std::min(width_, (tiles[end - 1] % tilesAcross_ + 1) * kTile));
    }
    first = end;
  }
  entry.bounds = entry.runCount > 0 ? bounds : TPictureRect{};
  entry.runs.shrink_to_fit();
  entry.before.shrink_to_fit();
  entry.after.shrink_to_fit();
}

void TStrokeHistory::Push(TEntry&& entry) {
  for (const TEntry& e : redo_) bytes_ -= e.Bytes();
  redo_.clear();
  const size_t size = entry.Bytes();
  if (size > budget_) {
    // Even alone it does not fit: nothing before it can be undone either.
    Clear();
    return;
  }
  entry.id = ++lastId_;
  undo_.push_back(std::move(entry));
  bytes_ += size;
  while (bytes_ > budget_) {
    bytes_ -= undo_.front().Bytes();
    baseId_ = undo_.front().id;
    undo_.pop_front();
  }
}

void TStrokeHistory::Apply(const TEntry& entry, bool after, int32_t width, TMaskEntry* mask, const TSpanFn& span) {
  const uint8_t* runs = entry.runs.data();
  const uint8_t* values = after ? entry.after.data() : entry.before.data();
  int32_t row = 0, lastEnd = 0;
  for (uint32_t n = 0; n < entry.runCount; ++n) {
    const int32_t rowStep = int32_t(GetVarint(runs));
    const int32_t start = int32_t(GetVarint(runs)) + (rowStep == 0 && n > 0 ? lastEnd : 0);
    const int32_t length = int32_t(GetVarint(runs)) + 1;
    row += rowStep;
    TMaskEntry* e = mask + int64_t(row) * width + start;
    int64_t px = start, py = row;
    for (int32_t c = 0; c < length; ++c, ++e) {
      e->X = int32_t(px + UnZigZag(GetVarint(values)));
      e->Y = int32_t(py + UnZigZag(GetVarint(values)));
      px = int64_t(e->X) + 1;
      py = e->Y;
    }
    lastEnd = start + length;
    if (span) span(row, start, lastEnd - 1);
  }
}

TPictureRect TStrokeHistory::Undo(TMaskEntry* mask, const TSpanFn& span) {
  if (undo_.empty() || mask == nullptr || recording_) return TPictureRect{};
  TEntry& entry = undo_.back();
  Apply(entry, false, width_, mask, span);
  const TPictureRect bounds = entry.bounds;
  redo_.push_back(std::move(entry));
  undo_.pop_back();
  return bounds;
}

TPictureRect TStrokeHistory::Redo(TMaskEntry* mask, const TSpanFn& span) {
  if (redo_.empty() || mask == nullptr || recording_) return TPictureRect{};
  TEntry& entry = redo_.back();
  Apply(entry, true, width_, mask, span);
  const TPictureRect bounds = entry.bounds;
  undo_.push_back(std::move(entry));
  redo_.pop_back();
  return bounds;
}

} // namespace warp
