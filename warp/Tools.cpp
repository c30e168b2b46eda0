// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tools.h"

#include "Arith.h"
#include "Worker.h"

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

// The coordinate shifted by the pointer's movement d, weighted by the strength.
WARP_INLINE int32_t ShiftedCoord(const TStepContext& k, int32_t v, int32_t d) {
  return Trunc(Extended(v + d) * k.s + k.oneMinusS * Extended(v));
}

// Shifts one coordinate against the pointer's movement, the full shift at the centre fading
// linearly to none at the rim; drag then relaxes 5 % towards the identity.
WARP_INLINE int32_t SmearCoord(const TStepContext& k, int32_t v, int32_t d, int32_t home, int32_t u, int32_t size) {
  const int32_t h = ShiftedCoord(k, v, d);
  int32_t n = int32_t((int64_t(k.c - u) * h + int64_t(u) * v) / k.c);
  if (k.tool == kToolDrag) n = Trunc(Extended(n) * 0.95L + Extended(home) * 0.05L);
  return Clamp(n, size);
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
  // trunc(sqrt(k)) is u for u^2 <= k < (u + 1)^2: the extended root of u^2 - 1 lies 1 / (2u) below
  // u, far more than the root's rounding error for every radius a step accepts, so filling the
  // table in runs gives exactly the roots, without taking one per element.
  const int64_t last = int64_t(r) * r;
  ints.resize(size_t(last) + 1);
  for (int32_t u = 0; u <= r; ++u) {
    const int64_t from = int64_t(u) * u, to = std::min(last, int64_t(u + 1) * (u + 1) - 1);
    std::fill(ints.begin() + from, ints.begin() + to + 1, u);
  }
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

bool FullBody(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in, const std::vector<double>& frac,
              const std::vector<int32_t>& ints, const TProgressFn& progress) {
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

// Grow and shrink. Each entry reads the mask as it was before the step at its sampling point. When
// every weight lies in 0..1 (grow at the tool bar's strengths) the sampling point lies between the
// centre and the entry, on the entry's side of both axes; when every weight is at least 1 (shrink)
// it lies beyond the entry or on it. Visiting the circle from the rim inwards, resp. from the
// centre outwards, row by row and within a row from both ends, the step then reads only entries
// it has not written yet and needs no copy. Other weights read from a copy of the brush square.
enum class TVisit { FromCopy, Inwards, Outwards };

struct TGrowShrink {
  int32_t x, y, c, width, height;
  bool xAxis, yAxis, normalize;
  const int32_t* ints;
  const double* weight;
  const TSampleOffsets* offsets;
  const TMix<9, 10>* mix;
};

// trunc(sqrt(d2)) from that of a squared distance near it: along a row the distance changes by at
// most one pixel from one entry to the next, so a compare or two replaces the look-up in the big
// table (which, for a big brush, mostly misses the caches).
WARP_INLINE int32_t FollowRoot(int32_t u, int32_t d2) {
  while (u * u > d2) --u;
  while ((u + 1) * (u + 1) <= d2) ++u;
  return u;
}

// One entry at column j of row i, whole-pixel distance u; sample(sx, sy) reads the mask as it was
// before the step.
template <class Sample>
WARP_INLINE void GrowShrinkEntry(const TGrowShrink& g, TMaskEntry* row, int32_t i, int32_t b, int32_t u, int32_t j,
                                 const Sample& sample) {
  const int32_t a = j - g.x;
  const int32_t ox = g.offsets->Offset(a, u), oy = g.offsets->Offset(b, u);
  int32_t sx = g.x + ox, sy = g.y + oy;
  if (ox == TSampleOffsets::kInFull) sx = TSampleOffsets::InFull(a, g.weight[u], g.x);
  if (oy == TSampleOffsets::kInFull) sy = TSampleOffsets::InFull(b, g.weight[u], g.y);
  const TMaskEntry s = sample(Clamp(sx, g.width), Clamp(sy, g.height));
  TMaskEntry& e = row[j];
  if (g.xAxis) e.X = g.normalize ? (*g.mix)(s.X, j) : s.X;
  if (g.yAxis) e.Y = g.normalize ? (*g.mix)(s.Y, i) : s.Y;
}

// The entries of row i on one side of the centre column (right: columns x+1..j1, left: j0..x-1),
// in the order the visit needs, or the centre column's entry alone.
enum class TSide { Right, Left, Centre };

template <TVisit Visit, class Sample>
WARP_INLINE void GrowShrinkSpan(const TGrowShrink& g, TMaskEntry* mask, const TPictureRect& sq, int32_t i, TSide side,
                                const Sample& sample) {
  const int32_t x = g.x, b = i - g.y, dy2 = b * b;
  TMaskEntry* row = mask + int64_t(i) * g.width;
  if (side == TSide::Centre) return GrowShrinkEntry(g, row, i, b, b < 0 ? -b : b, x, sample);
  const int32_t half = g.ints[g.c * g.c - dy2];
  int32_t u = b < 0 ? -b : b; // the distance at the centre column, followed from there
  const auto entry = [&](int32_t j) {
    u = FollowRoot(u, (j - x) * (j - x) + dy2);
    GrowShrinkEntry(g, row, i, b, u, j, sample);
  };
  // The centre column always lies in the row's span.
  if (side == TSide::Right) {
    const int32_t j1 = std::min(sq.Right, x + half);
    if (Visit == TVisit::Inwards) {
      u = g.ints[(j1 - x) * (j1 - x) + dy2];
      for (int32_t j = j1; j > x; --j) entry(j);
    } else {
      for (int32_t j = x + 1; j <= j1; ++j) entry(j);
    }
  } else {
    const int32_t j0 = std::max(sq.Left, x - half);
    if (Visit == TVisit::Inwards) {
      u = g.ints[(j0 - x) * (j0 - x) + dy2];
      for (int32_t j = j0; j < x; ++j) entry(j);
    } else {
      for (int32_t j = x - 1; j >= j0; --j) entry(j);
    }
  }
}

// Progress of a step, reported after each row as if the rows went bottom to top: it counts the
// rows done, the same way whatever order they are visited in and whichever thread did them.
// Only the calling thread reports.
class TRowReports {
public:
  TRowReports(const TStepContext& k, const TPictureRect& sq, const TProgressFn& progress)
      : FK(k), FNext(sq.Bottom), FTop(sq.Top), FProgress(progress) {}
  void RowDone() {
    if (FProgress && FNext <= FTop) FProgress(RowProgress(FK, FNext));
    ++FNext;
  }
  // The rows not reported yet, then 0.
  void Finish() {
    while (FNext <= FTop) RowDone();
    if (FProgress) FProgress(0);
  }

private:
  const TStepContext& FK;
  int32_t FNext, FTop;
  const TProgressFn& FProgress;
};

// Rows of a big brush go out in bands of this many rows: small enough that a thread which
// loses its processor in the middle of a step holds up little.
constexpr int32_t kStepGrain = 4;

// Every row of the brush band once, row(i) reading and writing only row i's entries and entries
// the step does not write. Big brushes share the rows.
template <class Row>
WARP_INLINE void IndependentRows(int32_t c, const TPictureRect& sq, const Row& row, TRowReports& reports) {
  if (c < kSharedRadius) {
    for (int32_t i = sq.Bottom; i <= sq.Top; ++i) {
      row(i);
      reports.RowDone();
    }
  } else {
    ForEachRowBand(sq.Bottom, sq.Top + 1, [&](int32_t first, int32_t end) {
      const bool report = !OnRowHelper();
      for (int32_t i = first; i < end; ++i) {
        row(i);
        if (report) reports.RowDone();
      }
    }, kStepGrain);
  }
  reports.Finish();
}

// Grow and shrink in place. An entry reads only entries on its own side of the centre column and
// of the centre row, or on them (from the rim inwards: nearer the centre; from the centre
// outwards: farther from it), and the entries of the centre column and row read only their own
// line. So the four quarters of the circle without the centre lines are independent parts, each
// visited row by row in the visit's order; the centre column follows them, in the same order,
// and the centre row comes last. Big brushes share the quarters.
template <TVisit Visit, class Sample>
WARP_INLINE void GrowShrinkQuarters(const TGrowShrink& g, TMaskEntry* mask, const TPictureRect& sq,
                                    const Sample& sample, TRowReports& reports) {
  const int32_t y = g.y;
  // Rows of the upper or the lower half, without the centre row, in the visit's order.
  const auto half = [&](bool upper, const auto& row) {
    constexpr bool rimFirst = Visit == TVisit::Inwards;
    if (upper && rimFirst)
      for (int32_t i = sq.Top; i > y; --i) row(i);
    else if (upper)
      for (int32_t i = y + 1; i <= sq.Top; ++i) row(i);
    else if (rimFirst)
      for (int32_t i = sq.Bottom; i < y; ++i) row(i);
    else
      for (int32_t i = y - 1; i >= sq.Bottom; --i) row(i);
  };
  const auto quarters = [&](int32_t first, int32_t end) {
    const bool report = !OnRowHelper();
    for (int32_t q = first; q < end; ++q) {
      const bool upper = q < 2;
      const TSide side = q % 2 == 0 ? TSide::Right : TSide::Left;
      half(upper, [&](int32_t i) {
        GrowShrinkSpan<Visit>(g, mask, sq, i, side, sample);
        if (report && side == TSide::Right) reports.RowDone();
      });
    }
  };
  if (g.c >= kSharedRadius)
    ForEachRowBand(0, 4, quarters, 1);
  else
    quarters(0, 4);
  for (bool upper : {true, false})
    half(upper, [&](int32_t i) { GrowShrinkSpan<Visit>(g, mask, sq, i, TSide::Centre, sample); });
  if (Visit == TVisit::Inwards) {
    GrowShrinkSpan<Visit>(g, mask, sq, y, TSide::Right, sample);
    GrowShrinkSpan<Visit>(g, mask, sq, y, TSide::Left, sample);
    GrowShrinkSpan<Visit>(g, mask, sq, y, TSide::Centre, sample);
  } else {
    GrowShrinkSpan<Visit>(g, mask, sq, y, TSide::Centre, sample);
    GrowShrinkSpan<Visit>(g, mask, sq, y, TSide::Right, sample);
    GrowShrinkSpan<Visit>(g, mask, sq, y, TSide::Left, sample);
  }
  reports.Finish();
}

WARP_INLINE void GrowShrink(const TStepContext& k, TMaskEntry* mask, const TPictureRect& sq,
                            const std::vector<int32_t>& ints, TStepScratch& scratch, const TProgressFn& progress) {
  const int32_t c = k.c;
  std::vector<double>& weight = scratch.weight;
  weight.resize(size_t(c) + 1);
  bool contracting = true, expanding = true;
  for (int32_t u = 0; u <= c; ++u) {
    const double w = Weight(k, u);
    weight[size_t(u)] = w;
    contracting = contracting && w >= 0.0 && w <= 1.0;
    expanding = expanding && w >= 1.0 && std::isfinite(w);
  }
  const bool small = k.width <= TSampleOffsets::kMaxSide && k.height <= TSampleOffsets::kMaxSide;
  scratch.offsets.Prepare(k.tool, k.strength, c, weight, small);
  if (k.normalize) scratch.normalize.Reserve(std::max(k.width, k.height));
  const TGrowShrink g{k.x,         k.y,         c,
                      k.width,     k.height,    k.xAxis,
                      k.yAxis,     k.normalize, ints.data(),
                      weight.data(), &scratch.offsets, &scratch.normalize};
  const auto live = [mask, width = k.width](int32_t sx, int32_t sy) { return mask[int64_t(sy) * width + sx]; };
  TRowReports reports(k, sq, progress);
  if (contracting) return GrowShrinkQuarters<TVisit::Inwards>(g, mask, sq, live, reports);
  if (expanding) return GrowShrinkQuarters<TVisit::Outwards>(g, mask, sq, live, reports);

  // Entries outside the square are never changed by the step, so the live mask still holds
  // what the snapshot would hold there.
  const size_t sw = size_t(sq.Right - sq.Left + 1), sh = size_t(sq.Top - sq.Bottom + 1);
  std::vector<TMaskEntry>& copy = scratch.squareCopy;
  if (copy.size() < sw * sh) copy.resize(sw * sh);
  for (size_t r = 0; r < sh; ++r)
    std::memcpy(&copy[r * sw], mask + (int64_t(sq.Bottom) + int64_t(r)) * k.width + sq.Left, sw * sizeof(TMaskEntry));
  const auto fromCopy = [&copy, sq, sw, sh, live](int32_t sx, int32_t sy) {
    const uint32_t cx = uint32_t(sx - sq.Left), cy = uint32_t(sy - sq.Bottom);
    return cx < sw && cy < sh ? copy[size_t(cy) * sw + cx] : live(sx, sy);
  };
  const auto row = [&](int32_t i) {
    for (TSide side : {TSide::Right, TSide::Left, TSide::Centre})
      GrowShrinkSpan<TVisit::FromCopy>(g, mask, sq, i, side, fromCopy);
  };
  IndependentRows(c, sq, row, reports);
}

// num / c truncated towards zero, for |num / c| below 2^31 and reciprocal = 1.0 / c: the product
// with the reciprocal is off by less than one, so one correction by the remainder makes it exact.
WARP_INLINE int32_t DivideTruncating(int64_t num, int32_t c, double reciprocal) {
  const int64_t m = num < 0 ? -num : num;
  int64_t q = int64_t(double(m) * reciprocal);
  const int64_t r = m - q * c;
  q += int64_t(r >= c) - int64_t(r < 0);
  return int32_t(num < 0 ? -q : q);
}

// The smear's shifted coordinate trunc((v + d) * s + (1 - s) * v) for one axis of a step. Its
// exact value is v + d * s, and for coordinates below 2^21 the extended one lies within 2^-40 of
// it; so unless d * s lies within 2^-39 of a whole number, the truncation is v + floor(d * s) where
// that is positive and v + ceil(d * s) where negative. Otherwise the values for the coordinates
// around the brush (from..to), where nearly all entries of the square point, are tabled, and
// others are computed as they come.
//
// With the closed form the step's weighted mean of h and v, trunc(((c - u) * h + u * v) / c), is
// v + floor((c - u) * above / c) for every v from `plain` on (where the mean is positive and h is
// v + above): that depends on u alone and is tabled as well.
struct TShift {
  std::vector<int32_t>& table;  // kept by the caller between steps
  std::vector<int32_t>& meanOf; // by u, with the closed form
  int32_t d = 0;
  bool closed = false;
  int32_t firstPositive = 0, below = 0, above = 0; // the closed form
  int32_t plain = 0;
  int32_t lo = 0;

  WARP_INLINE void Prepare(const TStepContext& k, int32_t shift, int32_t from, int32_t to, bool small) {
    d = shift;
    const Extended ds = Extended(d) * k.s; // exact: a small whole number times a double
    const Extended fl = std::floor(ds), ce = std::ceil(ds);
    constexpr Extended kMargin = 1.0L / 549755813888.0L; // 2^-39
    closed = small && ds - fl > kMargin && ce - ds > kMargin && std::fabs(ds) < 64.0L;
    if (closed) {
      firstPositive = int32_t(std::floor(-ds)) + 1; // v + ds > 0 from here on
      above = int32_t(fl);
      below = int32_t(ce);
      plain = std::max(firstPositive, above < 0 ? -above : above);
      meanOf.resize(size_t(k.c) + 1);
      for (int32_t u = 0; u <= k.c; ++u) {
        const int32_t num = (k.c - u) * above;
        meanOf[size_t(u)] = num >= 0 ? num / k.c : -((-num + k.c - 1) / k.c);
      }
      return;
    }
    lo = from;
    table.resize(size_t(to - from + 1));
    for (int32_t v = from; v <= to; ++v) table[size_t(v - from)] = ShiftedCoord(k, v, d);
  }
  WARP_INLINE int32_t operator()(const TStepContext& k, int32_t v) const {
    if (closed) return v + (v >= firstPositive ? above : below);
    const uint32_t at = uint32_t(v - lo);
    return at < table.size() ? table[at] : ShiftedCoord(k, v, d);
  }
};

// Eraser, smear and drag over the circle's pixels: they read only the entry they change. The
// same values as EraseCoord and SmearCoord, with the fixed mixes and the shifts from tables.
WARP_INLINE void SmearEraseRows(const TStepContext& k, TMaskEntry* mask, const TPictureRect& sq, const int32_t* ints,
                                TStepScratch& scratch, const TProgressFn& progress) {
  const int32_t x = k.x, y = k.y, c = k.c, width = k.width, tool = k.tool;
  const TMix<4, 5>& erase = scratch.erase;
  const TMix<19, 20>& relax = scratch.relax;
  TShift shiftX{scratch.shiftX, scratch.meanX}, shiftY{scratch.shiftY, scratch.meanY};
  const bool smears = tool == kToolSmear || tool == kToolDrag;
  if (smears) {
    const bool small = width <= TSampleOffsets::kMaxSide && k.height <= TSampleOffsets::kMaxSide;
    shiftX.Prepare(k, k.dX, std::max(0, sq.Left - c), std::min(width - 1, sq.Right + c), small);
    shiftY.Prepare(k, k.dY, std::max(0, sq.Bottom - c), std::min(k.height - 1, sq.Top + c), small);
  }
  const double reciprocal = 1.0 / double(c);
  const auto smear = [&](int32_t v, const TShift& shift, int32_t home, int32_t u, int32_t size) {
    int32_t n;
    if (shift.closed && v >= shift.plain)
      n = v + shift.meanOf[size_t(u)];
    else
      n = DivideTruncating(int64_t(c - u) * shift(k, v) + int64_t(u) * v, c, reciprocal);
    if (tool == kToolDrag) n = relax(n, home);
    return Clamp(n, size);
  };
  const auto row = [&](int32_t i) {
    const int32_t dy2 = (y - i) * (y - i);
    // Columns of this row inside the circle: |x - j| <= trunc(sqrt(c^2 - dy^2)).
    const int32_t half = ints[c * c - dy2];
    const int32_t j0 = std::max(sq.Left, x - half);
    const int32_t j1 = std::min(sq.Right, x + half);
    TMaskEntry* entries = mask + int64_t(i) * width;
    int32_t u = j0 <= j1 ? ints[(x - j0) * (x - j0) + dy2] : 0;
    for (int32_t j = j0; j <= j1; ++j) {
      TMaskEntry& e = entries[j];
      if (tool == kToolEraser) {
        const int32_t ex = erase(e.X, j), ey = erase(e.Y, i);
        e.X = ex == e.X ? j : ex;
        e.Y = ey == e.Y ? i : ey;
      } else if (smears) {
        u = FollowRoot(u, (x - j) * (x - j) + dy2);
        const int32_t nx = smear(e.X, shiftX, j, u, width);
        const int32_t ny = smear(e.Y, shiftY, i, u, k.height);
        e.X = nx;
        e.Y = ny;
      }
    }
  };
  TRowReports reports(k, sq, progress);
  IndependentRows(c, sq, row, reports);
}

TPictureRect FastBody(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                      const std::vector<double>& frac, const std::vector<int32_t>& ints, TStepScratch& scratch,
                      const TProgressFn& progress) {
  const TPictureRect sq = BrushSquare(in, width, height);
  const TStepContext k = MakeContext(width, height, in, frac);
  if (ReadsSnapshot(k.tool)) {
    GrowShrink(k, mask, sq, ints, scratch, progress);
    return sq;
  }
  if (k.tool == kToolEraser) scratch.erase.Reserve(std::max(width, height));
  if (k.tool == kToolDrag) scratch.relax.Reserve(std::max(width, height));
  SmearEraseRows(k, mask, sq, ints.data(), scratch, progress);
  return sq;
}

} // namespace

bool ApplyStepFull(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                   const std::vector<double>& frac, const std::vector<int32_t>& ints, const TProgressFn& progress) {
  return FullBody(mask, width, height, in, frac, ints, progress);
}

TPictureRect ApplyStepFast(TMaskEntry* mask, int32_t width, int32_t height, const TStepInput& in,
                           const std::vector<double>& frac, const std::vector<int32_t>& ints,
                           TStepScratch& scratch, const TProgressFn& progress) {
  return FastBody(mask, width, height, in, frac, ints, scratch, progress);
}

} // namespace warp
