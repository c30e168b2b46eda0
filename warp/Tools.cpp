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

// Grow and shrink over the circle's pixels. The sampling row depends only on the row and the
// whole-pixel distance u, the sampling column only on the column and u; along a row and down a
// column u changes slowly, so each is kept until u changes instead of being computed anew.
template <class Sample>
WARP_INLINE void GrowShrinkRows(const TStepContext& k, TMaskEntry* mask, const TPictureRect& sq,
                                const std::vector<int32_t>& ints, const Sample& sample, const TProgressFn& progress) {
  const int32_t x = k.x, y = k.y, c = k.c;
  std::vector<double> weight(size_t(c) + 1);
  for (int32_t u = 0; u <= c; ++u) weight[size_t(u)] = Weight(k, u);
  // Per column offset a = j - x (index a - (sq.Left - x)): the u the column's sample was made for.
  const int32_t cols = sq.Right - sq.Left + 1;
  std::vector<int32_t> colU(size_t(cols), -1), colSx(size_t(cols), 0);
  std::vector<Extended> colTenth(static_cast<size_t>(cols)); // j * 0.1 of the normalising mix
  for (int32_t j = sq.Left; j <= sq.Right; ++j) colTenth[size_t(j - sq.Left)] = Extended(j) * 0.1L;
  for (int32_t i = sq.Bottom; i <= sq.Top; ++i) {
    const int32_t b = i - y;
    const int32_t dy2 = b * b;
    const int32_t half = ints[size_t(c * c - dy2)];
    const int32_t j0 = std::max(sq.Left, x - half);
    const int32_t j1 = std::min(sq.Right, x + half);
    TMaskEntry* row = mask + int64_t(i) * k.width;
    const Extended rowTenth = Extended(i) * 0.1L;
    int32_t rowU = -1, sy = 0;
    for (int32_t j = j0; j <= j1; ++j) {
      const int32_t a = j - x;
      const int32_t d2 = a * a + dy2;
      const int32_t u = d2 != 0 ? ints[size_t(d2)] : 0;
      if (u != rowU) {
        rowU = u;
        sy = Clamp(Round(Extended(b) * Extended(weight[size_t(u)]) + Extended(y)), k.height);
      }
      const size_t col = size_t(j - sq.Left);
      if (colU[col] != u) {
        colU[col] = u;
        colSx[col] = Clamp(Round(Extended(a) * Extended(weight[size_t(u)]) + Extended(x)), k.width);
      }
      const TMaskEntry s = sample(colSx[col], sy);
      TMaskEntry& e = row[j];
      if (k.xAxis) e.X = k.normalize ? Trunc(Extended(s.X) * 0.9L + colTenth[col]) : s.X;
      if (k.yAxis) e.Y = k.normalize ? Trunc(Extended(s.Y) * 0.9L + rowTenth) : s.Y;
    }
    if (progress) progress(RowProgress(k, i));
  }
  if (progress) progress(0);
}

template <int Variant>
WARP_INLINE TPictureRect FastBody(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                                  const std::vector<double>& frac, const std::vector<int32_t>& ints,
                                  std::vector<TMaskEntry>& squareCopy, const TProgressFn& progress) {
  const TPictureRect sq = BrushSquare(in, width, height);
  const int32_t sw = sq.Right - sq.Left + 1;
  const int32_t sh = sq.Top - sq.Bottom + 1;
  if (ReadsSnapshot(in.tool)) {
    if (squareCopy.size() < size_t(sw) * size_t(sh)) squareCopy.resize(size_t(sw) * size_t(sh));
    for (int32_t r = 0; r < sh; ++r)
      std::memcpy(&squareCopy[size_t(r) * size_t(sw)], mask + int64_t(sq.Bottom + r) * width + sq.Left,
                  size_t(sw) * sizeof(TMaskEntry));
  }
  // Entries outside the square are never changed by the step, so the live mask still holds
  // what the snapshot would hold there.
  const TMaskEntry* copy = squareCopy.data();
  const auto sample = [&](int32_t sx, int32_t sy) {
    if (sx >= sq.Left && sx <= sq.Right && sy >= sq.Bottom && sy <= sq.Top)
      return copy[int64_t(sy - sq.Bottom) * sw + (sx - sq.Left)];
    return mask[int64_t(sy) * width + sx];
  };

  const TStepContext k = MakeContext(width, height, in, frac);
  const int32_t x = k.x, y = k.y, c = k.c;
  if (ReadsSnapshot(k.tool)) {
    GrowShrinkRows(k, mask, sq, ints, sample, progress);
    return sq;
  }
  for (int32_t i = sq.Bottom; i <= sq.Top; ++i) {
    const int32_t dy2 = (y - i) * (y - i);
    // Columns of this row inside the circle: |x - j| <= trunc(sqrt(c^2 - dy^2)).
    const int32_t half = ints[size_t(c * c - dy2)];
    const int32_t j0 = std::max(sq.Left, x - half);
    const int32_t j1 = std::min(sq.Right, x + half);
    TMaskEntry* row = mask + int64_t(i) * width;
    for (int32_t j = j0; j <= j1; ++j) {
      const int32_t d2 = (x - j) * (x - j) + dy2;
      const int32_t u = d2 != 0 ? ints[size_t(d2)] : 0;
      ApplyEntry(k, row[j], j, i, u, sample);
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
      std::vector<TMaskEntry> &squareCopy, const TProgressFn &progress

bool FullPlain(WARP_FULL_ARGS) { return FullBody<0>(mask, width, height, in, frac, ints, progress); }
TPictureRect FastPlain(WARP_FAST_ARGS) {
  return FastBody<0>(mask, width, height, in, frac, ints, squareCopy, progress);
}
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("sse3")]] bool FullSse3(WARP_FULL_ARGS) {
  return FullBody<1>(mask, width, height, in, frac, ints, progress);
}
[[gnu::target("sse3")]] TPictureRect FastSse3(WARP_FAST_ARGS) {
  return FastBody<1>(mask, width, height, in, frac, ints, squareCopy, progress);
}
bool gPortable = false;
bool HasSse3() {
  static const bool has = __builtin_cpu_supports("sse3");
  return has && !gPortable;
}
#else
bool FullSse3(WARP_FULL_ARGS) { return FullPlain(mask, width, height, in, frac, ints, progress); }
TPictureRect FastSse3(WARP_FAST_ARGS) { return FastPlain(mask, width, height, in, frac, ints, squareCopy, progress); }
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
  return HasSse3() ? FastSse3(mask, width, height, in, frac, ints, squareCopy, progress)
                   : FastPlain(mask, width, height, in, frac, ints, squareCopy, progress);
}

} // namespace warp
