// SPDX-License-Identifier: GPL-3.0-or-later
#include "StrokeHistory.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
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

// Copies the kTile x kTile tiles of `square` not copied yet in this stroke; slot[tile] = index
// into tiles (-1 = not copied). Throws std::bad_alloc.
template <class T>
void CopyTiles(const T* data, int32_t width, int32_t height, int32_t tile, int32_t tilesAcross,
               const TPictureRect& square, std::vector<int32_t>& slot, std::vector<int32_t>& touched,
               std::vector<std::vector<T>>& tiles) {
  const int32_t left = std::max(square.Left, 0) / tile, right = std::min(square.Right, width - 1) / tile;
  const int32_t bottom = std::max(square.Bottom, 0) / tile, top = std::min(square.Top, height - 1) / tile;
  for (int32_t tr = bottom; tr <= top; ++tr)
    for (int32_t tc = left; tc <= right; ++tc) {
      const int32_t t = tr * tilesAcross + tc;
      if (slot[size_t(t)] >= 0) continue;
      tiles.emplace_back(size_t(tile) * tile);
      touched.push_back(t);
      slot[size_t(t)] = int32_t(tiles.size() - 1);
      const int32_t j0 = tc * tile, cols = std::min(tile, width - j0);
      const int32_t r0 = tr * tile, rows = std::min(tile, height - r0);
      T* copy = tiles.back().data();
      for (int32_t i = 0; i < rows; ++i)
        std::memcpy(copy + size_t(i) * tile, data + int64_t(r0 + i) * width + j0, size_t(cols) * sizeof(T));
    }
}

// A varint read with its end checked; false when it runs past `end` or is longer than 64 bits.
bool ReadVarint(const uint8_t*& p, const uint8_t* end, uint64_t& v) {
  v = 0;
  for (int shift = 0; shift < 64 && p < end; shift += 7) {
    const uint8_t b = *p++;
    v |= uint64_t(b & 0x7f) << shift;
    if (b < 0x80) return true;
  }
  return false;
}

} // namespace

std::vector<uint8_t> TStrokeHistory::Serialize() const {
  std::vector<uint8_t> out;
  size_t size = 64;
  const auto bytesOf = [](const TEntry& e) {
    return e.runs.size() + e.before.size() + e.after.size() + e.weightRuns.size() + e.weightsBefore.size() +
           e.weightsAfter.size() + 80;
  };
  for (const TEntry& e : undo_) size += bytesOf(e);
  for (const TEntry& e : redo_) size += bytesOf(e);
  out.reserve(size); // one block, written once
  PutVarint(out, uint64_t(std::max(width_, 0)));
  PutVarint(out, uint64_t(std::max(height_, 0)));
  PutVarint(out, undo_.size());
  PutVarint(out, redo_.size());
  // Per stroke: the mask's runs and values, then the protection's (counts of zero when the
  // stroke changed none of them).
  const auto put = [&out](const TEntry& e) {
    PutVarint(out, e.runCount);
    for (const std::vector<uint8_t>* part : {&e.runs, &e.before, &e.after}) {
      PutVarint(out, part->size());
      out.insert(out.end(), part->begin(), part->end());
    }
    PutVarint(out, e.weightRunCount);
    for (const std::vector<uint8_t>* part : {&e.weightRuns, &e.weightsBefore, &e.weightsAfter}) {
      PutVarint(out, part->size());
      out.insert(out.end(), part->begin(), part->end());
    }
  };
  for (const TEntry& e : undo_) put(e);
  for (const TEntry& e : redo_) put(e);
  return out;
}

bool TStrokeHistory::Deserialize(const uint8_t* data, size_t size, int32_t width, int32_t height, std::string& error) {
  Clear();
  const uint8_t* p = data;
  const uint8_t* const end = data + size;
  const auto fail = [&](const char* what) {
    Clear();
    error = std::string("Der Verlauf der Striche ist beschädigt: ") + what;
    return false;
  };
  uint64_t w = 0, h = 0, undoCount = 0, redoCount = 0;
  if (!ReadVarint(p, end, w) || !ReadVarint(p, end, h) || !ReadVarint(p, end, undoCount) ||
      !ReadVarint(p, end, redoCount))
    return fail("Der Kopf fehlt.");
  if (undoCount + redoCount == 0) {
    width_ = width;
    height_ = height;
    return p == end ? true : fail("Nach dem Ende folgen weitere Daten.");
  }
  if (w != uint64_t(width) || h != uint64_t(height) || width <= 0 || height <= 0)
    return fail("Er gehört zu einem Bild anderer Größe.");
  // Every stroke takes at least four bytes: no count can exceed what is there.
  if (undoCount > size / 4 || redoCount > size / 4 || undoCount + redoCount > size / 4)
    return fail("Die Zahl der Striche passt nicht zur Länge.");
  width_ = width;
  height_ = height;
  const auto readEntry = [&](TEntry& e) -> bool {
    const auto readParts = [&](uint64_t& count, std::initializer_list<std::vector<uint8_t>*> parts) {
      if (!ReadVarint(p, end, count)) return false;
      for (std::vector<uint8_t>* part : parts) {
        uint64_t length = 0;
        if (!ReadVarint(p, end, length) || length > uint64_t(end - p)) return false;
        part->assign(p, p + length);
        p += length;
      }
      // Each run takes three bytes at least.
      return count <= parts.begin()[0]->size() / 3;
    };
    uint64_t runCount = 0, weightRunCount = 0;
    if (!readParts(runCount, {&e.runs, &e.before, &e.after}) ||
        !readParts(weightRunCount, {&e.weightRuns, &e.weightsBefore, &e.weightsAfter}))
      return false;
    if (runCount == 0 && weightRunCount == 0) return false;
    e.runCount = uint32_t(runCount);
    e.weightRunCount = uint32_t(weightRunCount);
    TPictureRect bounds{width, height, -1, -1};
    // The protection's runs: row, column and length of changed weights, the weights themselves.
    const uint8_t* wr = e.weightRuns.data();
    const uint8_t* const wrEnd = wr + e.weightRuns.size();
    uint64_t weights = 0;
    for (uint64_t n = 0; n < weightRunCount; ++n) {
      uint64_t row = 0, start = 0, length = 0;
      if (!ReadVarint(wr, wrEnd, row) || !ReadVarint(wr, wrEnd, start) || !ReadVarint(wr, wrEnd, length)) return false;
      if (row >= uint64_t(height) || start >= uint64_t(width) || length == 0 || length > uint64_t(width) - start)
        return false;
      weights += length;
      bounds.Left = std::min<int32_t>(bounds.Left, int32_t(start));
      bounds.Right = std::max<int32_t>(bounds.Right, int32_t(start + length - 1));
      bounds.Bottom = std::min<int32_t>(bounds.Bottom, int32_t(row));
      bounds.Top = std::max<int32_t>(bounds.Top, int32_t(row));
    }
    if (wr != wrEnd || e.weightsBefore.size() != weights || e.weightsAfter.size() != weights) return false;
    const uint8_t* r = e.runs.data();
    const uint8_t* const rEnd = r + e.runs.size();
    const uint8_t* sides[2] = {e.before.data(), e.after.data()};
    const uint8_t* const sideEnds[2] = {sides[0] + e.before.size(), sides[1] + e.after.size()};
    int64_t row = 0, lastEnd = 0;
    for (uint64_t n = 0; n < runCount; ++n) {
      uint64_t rowStep = 0, start = 0, length = 0;
      if (!ReadVarint(r, rEnd, rowStep) || !ReadVarint(r, rEnd, start) || !ReadVarint(r, rEnd, length)) return false;
      if (rowStep >= uint64_t(height) || start >= uint64_t(width) || length >= uint64_t(width)) return false;
      row += int64_t(rowStep);
      const int64_t first = int64_t(start) + (rowStep == 0 && n > 0 ? lastEnd : 0);
      const int64_t count = int64_t(length) + 1;
      if (row >= height || first + count > width) return false;
      for (int s = 0; s < 2; ++s) {
        int64_t px = first, py = row;
        for (int64_t c = 0; c < count; ++c) {
          uint64_t dx = 0, dy = 0;
          if (!ReadVarint(sides[s], sideEnds[s], dx) || !ReadVarint(sides[s], sideEnds[s], dy)) return false;
          const int64_t x = px + UnZigZag(dx), y = py + UnZigZag(dy);
          if (x < 0 || x >= width || y < 0 || y >= height) return false;
          px = x + 1;
          py = y;
        }
      }
      bounds.Left = std::min<int32_t>(bounds.Left, int32_t(first));
      bounds.Right = std::max<int32_t>(bounds.Right, int32_t(first + count - 1));
      bounds.Bottom = std::min<int32_t>(bounds.Bottom, int32_t(row));
      bounds.Top = std::max<int32_t>(bounds.Top, int32_t(row));
      lastEnd = first + count;
    }
    e.bounds = bounds;
    return r == rEnd && sides[0] == sideEnds[0] && sides[1] == sideEnds[1];
  };
  try {
    for (uint64_t n = 0; n < undoCount + redoCount; ++n) {
      TEntry e;
      if (!readEntry(e)) return fail("Ein Strich liegt nicht im Bild oder ist unvollständig.");
      e.id = ++lastId_;
      bytes_ += e.Bytes();
      if (n < undoCount) undo_.push_back(std::move(e));
      else redo_.push_back(std::move(e));
    }
  } catch (const std::bad_alloc&) {
    return fail("Nicht genug Speicher.");
  }
  if (p != end) return fail("Nach dem Ende folgen weitere Daten.");
  while (bytes_ > budget_ && !undo_.empty()) {
    bytes_ -= undo_.front().Bytes();
    undo_.pop_front();
  }
  return true;
}

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
  weightSlot_.clear();
  weightSlot_.shrink_to_fit();
  weightTouched_.clear();
  weightTouched_.shrink_to_fit();
  weightTiles_.clear();
  weightTiles_.shrink_to_fit();
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
  try {
    CopyTiles(mask, width_, height_, kTile, tilesAcross_, square, tileSlot_, touched_, tiles_);
  } catch (const std::bad_alloc&) {
    failed_ = true;
    tiles_.clear();
  }
}

void TStrokeHistory::BeforeProtectionStep(const uint8_t* protection, const TPictureRect& square) {
  if (!recording_ || failed_ || protection == nullptr || square.Empty()) return;
  try {
    if (weightSlot_.empty()) weightSlot_.assign(tileSlot_.size(), -1);
    CopyTiles(protection, width_, height_, kTile, tilesAcross_, square, weightSlot_, weightTouched_, weightTiles_);
  } catch (const std::bad_alloc&) {
    failed_ = true;
    weightTiles_.clear();
  }
}

void TStrokeHistory::EndStroke(const TMaskEntry* mask, const uint8_t* protection) {
  if (!recording_) return;
  if (failed_ || mask == nullptr) {
    Clear();
    return;
  }
  try {
    TEntry entry;
    Encode(mask, entry);
    if (protection != nullptr && !weightTouched_.empty()) {
      TPictureRect bounds = entry.runCount > 0 ? entry.bounds : TPictureRect{width_, height_, -1, -1};
      EncodeWeights(protection, entry, bounds);
      if (entry.weightRunCount > 0) entry.bounds = bounds;
    }
    DropRecording();
    if (entry.runCount > 0 || entry.weightRunCount > 0) Push(std::move(entry));
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

void TStrokeHistory::EncodeWeights(const uint8_t* protection, TEntry& entry, TPictureRect& bounds) const {
  std::vector<int32_t> tiles = weightTouched_;
  std::sort(tiles.begin(), tiles.end());
  for (const int32_t t : tiles) {
    const int32_t j0 = (t % tilesAcross_) * kTile, cols = std::min(kTile, width_ - j0);
    const int32_t r0 = (t / tilesAcross_) * kTile, rows = std::min(kTile, height_ - r0);
    const uint8_t* tile = weightTiles_[size_t(weightSlot_[size_t(t)])].data();
    for (int32_t i = 0; i < rows; ++i) {
      const uint8_t* was = tile + size_t(i) * kTile;
      const uint8_t* now = protection + int64_t(r0 + i) * width_ + j0;
      for (int32_t c = 0; c < cols;) {
        if (was[c] == now[c]) {
          ++c;
          continue;
        }
        int32_t end = c + 1;
        while (end < cols && was[end] != now[end]) ++end;
        PutVarint(entry.weightRuns, uint64_t(r0 + i));
        PutVarint(entry.weightRuns, uint64_t(j0 + c));
        PutVarint(entry.weightRuns, uint64_t(end - c));
        entry.weightsBefore.insert(entry.weightsBefore.end(), was + c, was + end);
        entry.weightsAfter.insert(entry.weightsAfter.end(), now + c, now + end);
        ++entry.weightRunCount;
        bounds.Left = std::min(bounds.Left, j0 + c);
        bounds.Right = std::max(bounds.Right, j0 + end - 1);
        bounds.Bottom = std::min(bounds.Bottom, r0 + i);
        bounds.Top = std::max(bounds.Top, r0 + i);
        c = end;
      }
    }
  }
  entry.weightRuns.shrink_to_fit();
  entry.weightsBefore.shrink_to_fit();
  entry.weightsAfter.shrink_to_fit();
}

void TStrokeHistory::ApplyWeights(const TEntry& entry, bool after, std::vector<uint8_t>* protection) const {
  if (entry.weightRunCount == 0 || protection == nullptr) return;
  if (protection->empty()) {
    try {
      protection->assign(size_t(width_) * size_t(height_), 0);
    } catch (const std::bad_alloc&) {
      return;
    }
  }
  const uint8_t* runs = entry.weightRuns.data();
  const uint8_t* values = after ? entry.weightsAfter.data() : entry.weightsBefore.data();
  for (uint32_t n = 0; n < entry.weightRunCount; ++n) {
    const int64_t row = int64_t(GetVarint(runs));
    const int64_t start = int64_t(GetVarint(runs));
    const size_t length = size_t(GetVarint(runs));
    std::memcpy(protection->data() + row * width_ + start, values, length);
    values += length;
  }
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

TPictureRect TStrokeHistory::Undo(TMaskEntry* mask, const TSpanFn& span, std::vector<uint8_t>* protection) {
  if (undo_.empty() || mask == nullptr || recording_) return TPictureRect{};
  TEntry& entry = undo_.back();
  Apply(entry, false, width_, mask, span);
  ApplyWeights(entry, false, protection);
  const TPictureRect bounds = entry.bounds;
  redo_.push_back(std::move(entry));
  undo_.pop_back();
  return bounds;
}

TPictureRect TStrokeHistory::Redo(TMaskEntry* mask, const TSpanFn& span, std::vector<uint8_t>* protection) {
  if (redo_.empty() || mask == nullptr || recording_) return TPictureRect{};
  TEntry& entry = redo_.back();
  Apply(entry, true, width_, mask, span);
  ApplyWeights(entry, true, protection);
  const TPictureRect bounds = entry.bounds;
  undo_.push_back(std::move(entry));
  redo_.pop_back();
  return bounds;
}

} // namespace warp
