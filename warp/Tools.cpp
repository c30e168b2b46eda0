#include "Tools.h"

#include "Arith.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace warp {
namespace {

// What every entry of one step shares.
struct TStepContext {
  int32_t width, height;
  int32_t x, y, c;
  int32_t tool;
  bool xAxis, yAxis, normalize;
  double strength;
  Extended s, oneMinusS;
  int32_t dX, dY; // pointer movement for smear and drag, limited to -10..10
  const double* frac;
};

TStepContext MakeContext(int32_t width, int32_t height, const TStepInput& in, const std::vector<double>& frac) {
  TStepContext k{};
  k.width = width;
  k.height = height;
  k.x = in.x;
  k.y = in.y;
  k.c = in.radius;
  k.tool = in.tool;
  k.xAxis = in.xAxis;
  k.yAxis = in.yAxis;
  k.normalize = in.normalize;
  k.strength = in.strength;
  k.s = Extended(in.strength);
  k.oneMinusS = 1.0L - k.s;
  // The view's Y grows downwards while rows count upwards: with the two opposite orders of
  // subtraction the picture content follows the pointer on both axes.
  k.dX = int32_t(std::clamp<int64_t>(int64_t(in.lastX) - in.curX, -10, 10));
  k.dY = int32_t(std::clamp<int64_t>(int64_t(in.curY) - in.lastY, -10, 10));
  k.frac = frac.data();
  return k;
}

WARP_INLINE int32_t Clamp(int32_t v, int32_t size) { return v < 0 ? 0 : (v < size ? v : size - 1); }

// Shifts one coordinate against the pointer's movement, the full shift at the centre fading
// linearly to none at the rim; drag then relaxes 5 % towards the identity.
WARP_INLINE int32_t SmearCoord(const TStepContext& k, int32_t v, int32_t d, int32_t home, int32_t u, int32_t size) {
  const int32_t h = Trunc(Extended(v + d) * k.s + k.oneMinusS * Extended(v));
  int32_t n = int32_t((int64_t(k.c - u) * h + int64_t(u) * v) / k.c);
  if (k.tool == kToolDrag) n = Trunc(Extended(n) * 0.95L + Extended(home) * 0.05L);
  return n < 0 ? 0 : (n > size - 1 ? size - 1 : n);
}

// A fifth of the way back to the identity, snapping to it when that step would not move.
WARP_INLINE int32_t EraseCoord(int32_t v, int32_t home) {
  const int32_t e = Trunc(Extended(v) * 0.8L + Extended(home) * 0.2L);
  return e == v ? home : e;
}

WARP_INLINE double WeightOf(int32_t tool, double sqrtFrac, Extended s) {
  if (tool == kToolGrow) return double((Extended(sqrtFrac) * s + 1.0L) - s);
  if (tool == kToolShrink) return double((1.0L - Extended(sqrtFrac)) * s + 1.0L);
  return 1.0;
}

WARP_INLINE double Weight(const TStepContext& k, int32_t u) { return WeightOf(k.tool, k.frac[u], k.s); }

// One entry E at row i, column j, whole-pixel distance u from the centre. `sample(sx, sy)`
// yields the entry grow and shrink read: the mask as it was before the step.
template <class Sample>
WARP_INLINE void ApplyEntry(const TStepContext& k, TMaskEntry& e, int32_t j, int32_t i, int32_t u, const Sample& sample) {
  switch (k.tool) {
  case kToolGrow:
  case kToolShrink: {
    const Extended w = Weight(k, u);
    const int32_t sx = Clamp(Round(Extended(j - k.x) * w + Extended(k.x)), k.width);
    const int32_t sy = Clamp(Round(Extended(i - k.y) * w + Extended(k.y)), k.height);
    const TMaskEntry s = sample(sx, sy);
    if (k.xAxis) {
      int32_t v = s.X;
      if (k.normalize) v = Trunc(Extended(v) * 0.9L + Extended(j) * 0.1L);
      e.X = v;
    }
    if (k.yAxis) {
      int32_t v = s.Y;
      if (k.normalize) v = Trunc(Extended(v) * 0.9L + Extended(i) * 0.1L);
      e.Y = v;
    }
    break;
  }
  case kToolEraser:
    e.X = EraseCoord(e.X, j);
    e.Y = EraseCoord(e.Y, i);
    break;
  case kToolSmear:
  case kToolDrag: {
    const int32_t nx = SmearCoord(k, e.X, k.dX, j, u, k.width);
    const int32_t ny = SmearCoord(k, e.Y, k.dY, i, u, k.height);
    e.X = nx;
    e.Y = ny;
    break;
  }
  default: break; // unknown tool codes change nothing
  }
}

inline bool ReadsSnapshot(int32_t tool) { return tool == kToolGrow || tool == kToolShrink; }

WARP_INLINE int32_t RowProgress(const TStepContext& k, int32_t i) { return ((i - k.y + k.c) * 100) / (2 * k.c); }

} // namespace

double ToolWeight(int32_t tool, double sqrtFrac, double strength) {
  return WeightOf(tool, sqrtFrac, Extended(strength));
}

void BuildSqrtTables(int32_t r, std::vector<double>& frac, std::vector<int32_t>& ints) {
  frac.resize(size_t(r) + 1);
  for (int32_t i = 0; i <= r; ++i) frac[size_t(i)] = double(std::sqrt(Extended(i) / Extended(r)));
  const int64_t last = int64_t(r) * r;
  ints.resize(size_t(last) + 1);
  for (int64_t k = 0; k <= last; ++k) ints[size_t(k)] = Trunc(std::sqrt(Extended(k)));
}

bool StepApplies(const TStepInput& in, int32_t width, int32_t height) {
  if (in.x < 0 || in.y < 0 || in.x > width - 1 || in.y > height - 1) return false;
  return in.radius >= 1 && in.radius <= kMaxRadius;
}

TPictureRect BrushSquare(const TStepInput& in, int32_t width, int32_t height) {
  TPictureRect r;
  r.Left = std::max(0, in.x - in.radius);
  r.Right = std::min(width - 1, in.x + in.radius);
  r.Bottom = std::max(0, in.y - in.radius);
  r.Top = std::min(height - 1, in.y + in.radius);
  return r;
}

namespace {

template <int Variant>
WARP_INLINE bool FullBody(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                          const std::vector<double>& frac, const std::vector<int32_t>& ints,
                          const TProgressFn& progress) {
  const size_t count = size_t(width) * size_t(height);
  std::unique_ptr<TMaskEntry[]> snapshot(new (std::nothrow) TMaskEntry[count]);
  if (!snapshot) return false;
  std::memcpy(snapshot.get(), mask, count * sizeof(TMaskEntry));
  const TMaskEntry* snap = snapshot.get();
  const auto sample = [snap, width](int32_t sx, int32_t sy) { return snap[int64_t(sy) * width + sx]; };

  const TStepContext k = MakeContext(width, height, in, frac);
  const int32_t x = k.x, y = k.y, c = k.c;
  TMaskEntry* row = mask;
  for (int32_t i = 0; i < height; ++i, row += width) {
    if (i < y - c || i > y + c) continue;
    for (int32_t j = 0; j < width; ++j) {
      if (j < x - c || j > x + c) continue;
      const int32_t d2 = (x - j) * (x - j) + (y - i) * (y - i);
      if (d2 > c * c) continue;
      const int32_t u = d2 != 0 ? ints[size_t(d2)] : 0;
      ApplyEntry(k, row[j], j, i, u, sample);
    }
    if (progress) progress(RowProgress(k, i));
  }
  if (progress) progress(0);
  return true;
}

// The normalising mix trunc(v * 0.9 + home * 0.1) in extended precision, for a home below 2^22.
// For 0 <= v < 2^24 the extended value lies within 2^-37 of (9v + home) / 10, so unless that is a
// whole number its truncation is the integer quotient; a whole number may come out just below
// itself and is computed in full.
WARP_INLINE int32_t NormalizeMix(int32_t v, int32_t home) {
  if (uint32_t(v) < (1u << 24)) {
    const int32_t n = 9 * v + home;
    const int32_t q = n / 10;
    if (n != q * 10) return q;
  }
  return Trunc(Extended(v) * 0.9L + Extended(home) * 0.1L);
}

// Grow and shrink over the circle's pixels, reading the samples from the copy of the brush square
// (or from the mask outside it) and the sampling coordinates from the offset table. Everything the
// loop uses is held in locals: the mask entries it writes are integers like the context's fields,
// so the compiler would read those again after every store.
template <bool Shortcuts>
WARP_INLINE void GrowShrinkRows(const TStepContext& k, TMaskEntry* mask, const TPictureRect& sq,
                                const TMaskEntry* copy, const int32_t* ints, const double* weight,
                                const TSampleOffsets& offsets, const TProgressFn& progress) {
  const int32_t x = k.x, y = k.y, c = k.c, width = k.width, height = k.height;
  const bool xAxis = k.xAxis, yAxis = k.yAxis, normalize = k.normalize;
  const int32_t left = sq.Left, right = sq.Right, bottom = sq.Bottom, top = sq.Top;
  const uint32_t sw = uint32_t(right - left + 1), sh = uint32_t(top - bottom + 1);
  for (int32_t i = bottom; i <= top; ++i) {
    const int32_t b = i - y;
    const int32_t dy2 = b * b;
    const int32_t half = ints[c * c - dy2];
    const int32_t j0 = std::max(left, x - half);
    const int32_t j1 = std::min(right, x + half);
    TMaskEntry* row = mask + int64_t(i) * width;
    for (int32_t j = j0; j <= j1; ++j) {
      const int32_t a = j - x;
      const int32_t u = ints[a * a + dy2];
      const int16_t* offset = offsets.Row(u);
      const int32_t ox = offset[a], oy = offset[b];
      int32_t sx = x + ox, sy = y + oy;
      if (ox == TSampleOffsets::kInFull) sx = TSampleOffsets::InFull(a, weight[u], x);
      if (oy == TSampleOffsets::kInFull) sy = TSampleOffsets::InFull(b, weight[u], y);
      sx = Clamp(sx, width);
      sy = Clamp(sy, height);
      const uint32_t cx = uint32_t(sx - left), cy = uint32_t(sy - bottom);
      const TMaskEntry s = cx < sw && cy < sh ? copy[size_t(cy) * sw + cx] : mask[int64_t(sy) * width + sx];
      TMaskEntry& e = row[j];
      if (!normalize) {
        if (xAxis) e.X = s.X;
        if (yAxis) e.Y = s.Y;
      } else if (Shortcuts) {
        if (xAxis) e.X = NormalizeMix(s.X, j);
        if (yAxis) e.Y = NormalizeMix(s.Y, i);
      } else {
        if (xAxis) e.X = Trunc(Extended(s.X) * 0.9L + Extended(j) * 0.1L);
        if (yAxis) e.Y = Trunc(Extended(s.Y) * 0.9L + Extended(i) * 0.1L);
      }
    }
    if (progress) progress(RowProgress(k, i));
  }
  if (progress) progress(0);
}

WARP_INLINE void GrowShrink(const TStepContext& k, TMaskEntry* mask, const TPictureRect& sq,
                            const std::vector<int32_t>& ints, TStepScratch& scratch, const TProgressFn& progress) {
  const int32_t c = k.c;
  scratch.weight.resize(size_t(c) + 1);
  for (int32_t u = 0; u <= c; ++u) scratch.weight[size_t(u)] = Weight(k, u);
  // The table and NormalizeMix both need small coordinates.
  const bool shortcuts = k.width <= TSampleOffsets::kMaxSide && k.height <= TSampleOffsets::kMaxSide;
  scratch.offsets.Prepare(k.tool, k.strength, c, scratch.weight, shortcuts);
  if (shortcuts)
    GrowShrinkRows<true>(k, mask, sq, scratch.squareCopy.data(), ints.data(), scratch.weight.data(), scratch.offsets,
                         progress);
  else
    GrowShrinkRows<false>(k, mask, sq, scratch.squareCopy.data(), ints.data(), scratch.weight.data(), scratch.offsets,
                          progress);
}

template <int Variant>
WARP_INLINE TPictureRect FastBody(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                                  const std::vector<double>& frac, const std::vector<int32_t>& ints,
                                  TStepScratch& scratch, const TProgressFn& progress) {
  const TPictureRect sq = BrushSquare(in, width, height);
  const TStepContext k = MakeContext(width, height, in, frac);
  if (ReadsSnapshot(k.tool)) {
    // Entries outside the square are never changed by the step, so the live mask still holds
    // what the snapshot would hold there.
    const size_t sw = size_t(sq.Right - sq.Left + 1), sh = size_t(sq.Top - sq.Bottom + 1);
    std::vector<TMaskEntry>& copy = scratch.squareCopy;
    if (copy.size() < sw * sh) copy.resize(sw * sh);
    for (size_t r = 0; r < sh; ++r)
      std::memcpy(&copy[r * sw], mask + (int64_t(sq.Bottom) + int64_t(r)) * width + sq.Left, sw * sizeof(TMaskEntry));
    GrowShrink(k, mask, sq, ints, scratch, progress);
    return sq;
  }
  // The other tools read only the entry they change.
  const auto noSample = [](int32_t, int32_t) { return TMaskEntry{}; };
  const int32_t x = k.x, y = k.y, c = k.c;
  for (int32_t i = sq.Bottom; i <= sq.Top; ++i) {
    const int32_t dy2 = (y - i) * (y - i);
    // Columns of this row inside the circle: |x - j| <= trunc(sqrt(c^2 - dy^2)).
    const int32_t half = ints[size_t(c * c - dy2)];
    const int32_t j0 = std::max(sq.Left, x - half);
    const int32_t j1 = std::min(sq.Right, x + half);
    TMaskEntry* row = mask + int64_t(i) * width;
    for (int32_t j = j0; j <= j1; ++j) {
      const int32_t d2 = (x - j) * (x - j) + dy2;
      ApplyEntry(k, row[j], j, i, ints[size_t(d2)], noSample);
    }
    if (progress) progress(RowProgress(k, i));
  }
  if (progress) progress(0);
  return sq;
}

// Conversions of extended values to integers dominate the steps. Without SSE3 each one switches
// the x87 rounding mode twice; with it one instruction truncates. Both copies are the same
// source, so they compute the same values.
#define WARP_FULL_ARGS                                                                             \
  TMaskEntry *mask, int32_t width, int32_t height, const TStepInput &in,                           \
      const std::vector<double> &frac, const std::vector<int32_t> &ints, const TProgressFn &progress
#define WARP_FAST_ARGS                                                                             \
  TMaskEntry *mask, int32_t width, int32_t height, const TStepInput &in,                           \
      const std::vector<double> &frac, const std::vector<int32_t> &ints,                           \
      TStepScratch &scratch, const TProgressFn &progress

bool FullPlain(WARP_FULL_ARGS) { return FullBody<0>(mask, width, height, in, frac, ints, progress); }
TPictureRect FastPlain(WARP_FAST_ARGS) {
  return FastBody<0>(mask, width, height, in, frac, ints, scratch, progress);
}
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("sse3")]] bool FullSse3(WARP_FULL_ARGS) {
  return FullBody<1>(mask, width, height, in, frac, ints, progress);
}
[[gnu::target("sse3")]] TPictureRect FastSse3(WARP_FAST_ARGS) {
  return FastBody<1>(mask, width, height, in, frac, ints, scratch, progress);
}
bool gPortable = false;
bool HasSse3() {
  static const bool has = __builtin_cpu_supports("sse3");
  return has && !gPortable;
}
#else
bool FullSse3(WARP_FULL_ARGS) { return FullPlain(mask, width, height, in, frac, ints, progress); }
TPictureRect FastSse3(WARP_FAST_ARGS) { return FastPlain(mask, width, height, in, frac, ints, scratch, progress); }
bool gPortable = false;
bool HasSse3() { return false; }
#endif

} // namespace

void UsePortableConversions(bool on) { gPortable = on; }

bool ApplyStepFull(WARP_FULL_ARGS) {
  return HasSse3() ? FullSse3(mask, width, height, in, frac, ints, progress)
                   : FullPlain(mask, width, height, in, frac, ints, progress);
}

TPictureRect ApplyStepFast(WARP_FAST_ARGS) {
  return HasSse3() ? FastSse3(mask, width, height, in, frac, ints, scratch, progress)
                   : FastPlain(mask, width, height, in, frac, ints, scratch, progress);
}

} // namespace warp
