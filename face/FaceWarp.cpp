// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaceWarp.h"

#include "Protection.h"
#include "Worker.h"

#include <algorithm>
#include <cmath>

namespace face {

const std::array<const char*, kFeatureCount> kFeatureWords = {"eyes", "nose", "smile", "chin", "width", "caricature"};
const std::array<const char*, kFeatureCount> kFeatureCaptions = {"Augen",  "Nase",           "Lächeln",
                                                                 "Kinn",   "Gesichtsbreite", "Karikatur"};

// The landmark model's mean shape (its starting shape for every face), rounded to 1/1000 of the
// face box: x across, y down.
const std::array<TPoint, kLandmarks> kAverageFace = {{
    {0.029, 0.322}, {0.033, 0.446}, {0.046, 0.570}, {0.072, 0.692}, {0.120, 0.805}, {0.195, 0.903},
    {0.286, 0.985}, {0.386, 1.050}, {0.500, 1.070}, {0.614, 1.050}, {0.714, 0.985}, {0.805, 0.903},
    {0.880, 0.805}, {0.928, 0.692}, {0.954, 0.570}, {0.967, 0.446}, {0.971, 0.322}, {0.119, 0.231},
    {0.178, 0.178}, {0.260, 0.163}, {0.345, 0.175}, {0.425, 0.208}, {0.575, 0.208}, {0.655, 0.175},
    {0.740, 0.163}, {0.823, 0.178}, {0.881, 0.231}, {0.500, 0.306}, {0.500, 0.386}, {0.500, 0.465},
    {0.500, 0.547}, {0.405, 0.602}, {0.450, 0.619}, {0.500, 0.634}, {0.550, 0.619}, {0.596, 0.602},
    {0.214, 0.316}, {0.265, 0.286}, {0.326, 0.287}, {0.379, 0.328}, {0.322, 0.338}, {0.261, 0.337},
    {0.621, 0.328}, {0.674, 0.287}, {0.735, 0.286}, {0.786, 0.316}, {0.739, 0.337}, {0.678, 0.338},
    {0.317, 0.751}, {0.384, 0.724}, {0.453, 0.710}, {0.500, 0.722}, {0.547, 0.710}, {0.616, 0.724},
    {0.683, 0.751}, {0.618, 0.817}, {0.552, 0.846}, {0.500, 0.852}, {0.448, 0.846}, {0.382, 0.817},
    {0.345, 0.755}, {0.452, 0.750}, {0.500, 0.755}, {0.548, 0.750}, {0.655, 0.755}, {0.549, 0.786},
    {0.500, 0.792}, {0.451, 0.786},
}};

namespace {

// The largest gradient (Frobenius norm) the displacement may have: below 1 keeps it one-to-one.
constexpr double kMaxGradient = 0.9;

struct TVec {
  double x = 0, y = 0;
};
TVec operator+(TVec a, TVec b) { return {a.x + b.x, a.y + b.y}; }
TVec operator-(TVec a, TVec b) { return {a.x - b.x, a.y - b.y}; }
TVec operator*(double k, TVec a) { return {k * a.x, k * a.y}; }
double Length(TVec a) { return std::hypot(a.x, a.y); }
TVec At(const TLandmarks& f, int i) { return {f[size_t(i)].x, f[size_t(i)].y}; }
TVec Mean(const TLandmarks& f, int first, int last) {
  TVec m;
  for (int i = first; i <= last; ++i) m = m + At(f, i);
  return (1.0 / (last - first + 1)) * m;
}

// 1 at t = 0 falling smoothly to 0 at t = 1 (flat at both ends), 0 beyond.
double Bump(double t) {
  if (t >= 1) return 0;
  const double q = 1 - t * t;
  return q * q;
}
double SmoothStep(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// One face in its own frame: origin at the landmarks' centre, x along the line between the
// eyes, y down across it. Sizes in picture pixels.
struct TFrame {
  TVec origin, ax{1, 0}; // ax: unit x axis in picture coordinates
  TLandmarks local{};    // the landmarks in the frame
  double width = 1, height = 1; // jaw span 0..16, brows to chin
  TVec centre;           // centre of the envelope (local)
  double rx = 1, ry = 1; // radii of the envelope (local)

  TVec ToLocal(TVec p) const {
    const TVec d = p - origin;
    return {d.x * ax.x + d.y * ax.y, -d.x * ax.y + d.y * ax.x};
  }
  TVec ToPicture(TVec v) const { return {v.x * ax.x - v.y * ax.y, v.x * ax.y + v.y * ax.x}; } // a direction
};

TFrame FrameOf(const TLandmarks& f) {
  TFrame fr;
  fr.origin = Mean(f, 0, kLandmarks - 1);
  const TVec eyes = Mean(f, 42, 47) - Mean(f, 36, 41);
  const double d = Length(eyes);
  if (d > 0) fr.ax = (1.0 / d) * eyes;
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  for (int i = 0; i < kLandmarks; ++i) {
    const TVec q = fr.ToLocal(At(f, i));
    fr.local[size_t(i)] = TPoint{q.x, q.y};
    x0 = std::min(x0, q.x), x1 = std::max(x1, q.x), y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
  }
  fr.width = std::max(1.0, Length(At(fr.local, 16) - At(fr.local, 0)));
  fr.height = std::max(1.0, y1 - y0);
  // The envelope reaches well beyond the jaw (the face's width changes there) and below the
  // chin (its length does).
  fr.centre = {(x0 + x1) / 2, (y0 + y1) / 2 + 0.08 * fr.height};
  fr.rx = 0.5 * (x1 - x0) * 1.75;
  fr.ry = 0.5 * fr.height * 1.6;
  return fr;
}

// The displacement of one face at local point q, before the envelope; sampling offsets (the
// picture moves the other way).
TVec FaceOffset(const TFrame& fr, const TLandmarks& face, const TLandmarks& fitted, const TFaceSliders& sl, TVec q,
                TVec p) {
  const TLandmarks& L = fr.local;
  TVec u;
  const auto value = [&](TFeature k) { return std::clamp(sl.Value[size_t(k)], -100, 100) / 100.0; };
  if (const double s = value(kEyes); s != 0) {
    // Magnification 2 at the centre at 100, 1/1.55 at -100, fading out at 2.6 eye radii.
    const double a = s > 0 ? 0.5 * s : 0.55 * s;
    for (const int first : {36, 42}) {
      const TVec c = Mean(L, first, first + 5);
      double r = 0;
      for (int i = first; i < first + 6; ++i) r += Length(At(L, i) - c);
      r = std::max(1.0, r / 6);
      const TVec d = q - c;
      u = u - (a * Bump(Length(d) / (2.6 * r))) * d;
    }
  }
  if (const double s = value(kNose); s != 0) {
    const TVec c{Mean(L, 31, 35).x, (L[30].y + L[33].y) / 2};
    const double rx = std::max(1.0, 1.1 * std::abs(L[35].x - L[31].x));
    const double ry = std::max(1.0, 0.9 * std::abs(L[33].y - L[27].y));
    const double t = std::hypot((q.x - c.x) / rx, (q.y - c.y) / ry);
    u.x -= 0.35 * s * (q.x - c.x) * Bump(t);
  }
  if (const double s = value(kSmile); s != 0) {
    const double mw = std::max(1.0, Length(At(L, 54) - At(L, 48)));
    for (const int corner : {48, 54}) {
      const TVec c = At(L, corner);
      const double out = corner == 48 ? -1 : 1;
      const TVec move{0.03 * mw * s * out, -0.16 * mw * s}; // up and a little outwards
      u = u - Bump(Length(q - c) / (0.5 * mw)) * move;
    }
  }
  if (const double s = value(kChin); s != 0) {
    // Pixels between the lower lip and the chin move down more and more, those below the chin
    // all the way, fading out below it.
    const double lip = L[57].y, chin = L[8].y;
    const double len = std::max(1.0, chin - L[33].y);
    const double down = 0.15 * s * len;
    const double along = q.y <= chin ? SmoothStep((q.y - lip) / std::max(1.0, chin - lip))
                                     : Bump((q.y - chin) / (0.8 * len));
    u.y -= down * along * Bump(std::abs(q.x - L[8].x) / (0.55 * fr.width));
  }
  if (const double s = value(kWidth); s != 0) {
    // Horizontal, odd about the face's middle, small in the middle, largest at the jaw.
    const double hw = fr.width / 2, cx = (L[0].x + L[16].x) / 2;
    const double sx = (q.x - cx) / hw, S = 1.8;
    const double g = std::abs(sx) < S ? sx * sx * sx * Bump(std::abs(sx) / S) : 0;
    const double cy = (L[0].y + L[16].y) / 2 * 0.35 + L[8].y * 0.65;
    const double hy = 1.05 * (L[8].y - (L[0].y + L[16].y) / 2);
    u.x -= 0.45 * s * hw * g * Bump(std::abs(q.y - cy) / std::max(1.0, hy));
  }
  if (const double s = value(kCaricature); s != 0) {
    // Each landmark's deviation from the fitted average face, 0.6 times more at 100, spread
    // over the picture with Gaussian weights; a virtual still point keeps it local.
    const double sigma = 0.09 * fr.width, k = 0.6 * s;
    TVec sum;
    double weight = std::exp(-2.0);
    for (int i = 0; i < kLandmarks; ++i) {
      const TVec d = p - At(face, i);
      const double w = std::exp(-(d.x * d.x + d.y * d.y) / (2 * sigma * sigma));
      sum = sum + (w * k) * (At(face, i) - At(fitted, i));
      weight += w;
    }
    const TVec pic = (1.0 / weight) * sum;
    // In the frame's axes, as the other offsets.
    u = u - TVec{pic.x * fr.ax.x + pic.y * fr.ax.y, -pic.x * fr.ax.y + pic.y * fr.ax.x};
  }
  return u;
}

// The envelope: 1 inside 0.7 of the ellipse, 0 at its edge.
double Envelope(const TFrame& fr, TVec q) {
  const double t = std::hypot((q.x - fr.centre.x) / fr.rx, (q.y - fr.centre.y) / fr.ry);
  return 1 - SmoothStep((t - 0.7) / 0.3);
}

int32_t RowFromTop(int32_t r, int32_t height) { return height - 1 - r; }

} // namespace

bool TFaceSliders::Any() const {
  return std::any_of(Value.begin(), Value.end(), [](int32_t v) { return v != 0; });
}

TLandmarks FitAverage(const TLandmarks& face) {
  // Procrustes with complex numbers: face ~ a * avg + b, a = scale and rotation.
  TVec mf = Mean(face, 0, kLandmarks - 1), ma;
  for (const TPoint& p : kAverageFace) ma = ma + TVec{p.x, p.y};
  ma = (1.0 / kLandmarks) * ma;
  double re = 0, im = 0, norm = 0;
  for (int i = 0; i < kLandmarks; ++i) {
    const TVec a = TVec{kAverageFace[size_t(i)].x, kAverageFace[size_t(i)].y} - ma, f = At(face, i) - mf;
    re += a.x * f.x + a.y * f.y;
    im += a.x * f.y - a.y * f.x;
    norm += a.x * a.x + a.y * a.y;
  }
  re /= norm, im /= norm;
  TLandmarks out;
  for (int i = 0; i < kLandmarks; ++i) {
    const TVec a = TVec{kAverageFace[size_t(i)].x, kAverageFace[size_t(i)].y} - ma;
    out[size_t(i)] = TPoint{mf.x + re * a.x - im * a.y, mf.y + im * a.x + re * a.y};
  }
  return out;
}

warp::TPictureRect FaceArea(const std::vector<TLandmarks>& faces, int32_t width, int32_t height) {
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  for (const TLandmarks& f : faces) {
    const TFrame fr = FrameOf(f);
    for (const TVec corner : {TVec{-1, -1}, TVec{1, -1}, TVec{-1, 1}, TVec{1, 1}}) {
      const TVec local{fr.centre.x + corner.x * fr.rx, fr.centre.y + corner.y * fr.ry};
      const TVec p = fr.origin + fr.ToPicture(local);
      x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    }
  }
  if (faces.empty() || width <= 0 || height <= 0) return warp::TPictureRect{};
  const int32_t left = int32_t(std::clamp(std::floor(x0), 0.0, double(width - 1)));
  const int32_t right = int32_t(std::clamp(std::ceil(x1), 0.0, double(width - 1)));
  const int32_t top = int32_t(std::clamp(std::floor(y0), 0.0, double(height - 1)));
  const int32_t bottom = int32_t(std::clamp(std::ceil(y1), 0.0, double(height - 1)));
  if (right <= left || bottom <= top) return warp::TPictureRect{};
  return warp::TPictureRect{left, RowFromTop(bottom, height), right, RowFromTop(top, height)};
}

TFaceField BuildField(const std::vector<TLandmarks>& faces, const TFaceSliders& sliders,
                      const warp::TPictureRect& area, int32_t /*width*/, int32_t height) {
  TFaceField field;
  field.Area = area;
  if (area.Empty() || faces.empty()) return field;
  std::vector<TFrame> frames;
  std::vector<TLandmarks> fitted;
  double smallest = 1e300;
  for (const TLandmarks& f : faces) {
    frames.push_back(FrameOf(f));
    fitted.push_back(FitAverage(f));
    smallest = std::min(smallest, frames.back().width);
  }
  // About 40 nodes across the smallest face: the features' fall-offs span several nodes.
  field.Step = std::clamp(int32_t(smallest / 40), 2, 32);
  const int32_t top = RowFromTop(area.Top, height);
  field.Cols = (area.Right - area.Left + field.Step - 1) / field.Step + 2;
  field.Rows = (area.Top - area.Bottom + field.Step - 1) / field.Step + 2;
  field.U.assign(size_t(field.Cols) * size_t(field.Rows), 0.f);
  field.V.assign(field.U.size(), 0.f);
  std::vector<double> u(field.U.size()), v(field.U.size());
  for (int32_t j = 0; j < field.Rows; ++j)
    for (int32_t i = 0; i < field.Cols; ++i) {
      const TVec p{double(area.Left + i * field.Step), double(top + j * field.Step)};
      TVec sum;
      for (size_t n = 0; n < frames.size(); ++n) {
        const TVec q = frames[n].ToLocal(p);
        const double env = Envelope(frames[n], q);
        if (env <= 0) continue;
        sum = sum + env * frames[n].ToPicture(FaceOffset(frames[n], faces[n], fitted[n], sliders, q, p));
      }
      const size_t k = size_t(j) * size_t(field.Cols) + size_t(i);
      u[k] = sum.x;
      v[k] = sum.y;
    }
  // The bilinear interpolation's partial derivatives inside a cell lie between those along its
  // edges: bound each by the largest edge difference.
  double worst = 0;
  const auto at = [&](const std::vector<double>& a, int32_t i, int32_t j) { return a[size_t(j) * size_t(field.Cols) + size_t(i)]; };
  for (int32_t j = 0; j + 1 < field.Rows; ++j)
    for (int32_t i = 0; i + 1 < field.Cols; ++i) {
      double g2 = 0;
      for (const auto* a : {&u, &v}) {
        const double dx = std::max(std::abs(at(*a, i + 1, j) - at(*a, i, j)), std::abs(at(*a, i + 1, j + 1) - at(*a, i, j + 1)));
        const double dy = std::max(std::abs(at(*a, i, j + 1) - at(*a, i, j)), std::abs(at(*a, i + 1, j + 1) - at(*a, i + 1, j)));
        g2 += dx * dx + dy * dy;
      }
      worst = std::max(worst, std::sqrt(g2) / field.Step);
    }
  field.Scale = worst > kMaxGradient ? kMaxGradient / worst : 1.0;
  for (size_t k = 0; k < u.size(); ++k) {
    field.U[k] = float(u[k] * field.Scale);
    field.V[k] = float(v[k] * field.Scale);
  }
  return field;
}

TMaskCopy CopyArea(const warp::TMaskEntry* mask, int32_t width, const warp::TPictureRect& area) {
  TMaskCopy copy;
  copy.Area = area;
  if (area.Empty() || mask == nullptr) return copy;
  const int32_t w = area.Right - area.Left + 1;
  copy.Entries.resize(size_t(w) * size_t(area.Top - area.Bottom + 1));
  for (int32_t r = area.Bottom; r <= area.Top; ++r)
    std::copy_n(mask + size_t(r) * size_t(width) + size_t(area.Left), size_t(w),
                copy.Entries.begin() + ptrdiff_t(size_t(r - area.Bottom) * size_t(w)));
  return copy;
}

void RestoreArea(const TMaskCopy& copy, warp::TMaskEntry* mask, int32_t width) {
  if (copy.Area.Empty() || mask == nullptr) return;
  const int32_t w = copy.Area.Right - copy.Area.Left + 1;
  for (int32_t r = copy.Area.Bottom; r <= copy.Area.Top; ++r)
    std::copy_n(copy.Entries.begin() + ptrdiff_t(size_t(r - copy.Area.Bottom) * size_t(w)), size_t(w),
                mask + size_t(r) * size_t(width) + size_t(copy.Area.Left));
}

void ApplyField(const TFaceField& field, const TMaskCopy& before, warp::TMaskEntry* mask, int32_t width,
                int32_t height, const uint8_t* protection) {
  if (field.Empty() || mask == nullptr) return;
  const warp::TPictureRect& a = field.Area;
  const warp::TPictureRect& b = before.Area;
  const int32_t bw = b.Right - b.Left + 1;
  const int32_t top = RowFromTop(a.Top, height);
  const double inv = 1.0 / field.Step;
  warp::ForEachRowBand(a.Bottom, a.Top + 1, [&](int32_t first, int32_t end) {
    for (int32_t r = first; r < end; ++r) {
      const int32_t y = RowFromTop(r, height);
      const double fy = (y - top) * inv;
      const int32_t j = std::min(int32_t(fy), field.Rows - 2);
      const double ty = fy - j;
      const float* u0 = field.U.data() + size_t(j) * size_t(field.Cols);
      const float* v0 = field.V.data() + size_t(j) * size_t(field.Cols);
      const float* u1 = u0 + field.Cols;
      const float* v1 = v0 + field.Cols;
      warp::TMaskEntry* out = mask + size_t(r) * size_t(width);
      for (int32_t x = a.Left; x <= a.Right; ++x) {
        const double fx = (x - a.Left) * inv;
        const int32_t i = std::min(int32_t(fx), field.Cols - 2);
        const double tx = fx - i;
        const double du = (u0[i] * (1 - tx) + u0[i + 1] * tx) * (1 - ty) + (u1[i] * (1 - tx) + u1[i + 1] * tx) * ty;
        const double dv = (v0[i] * (1 - tx) + v0[i + 1] * tx) * (1 - ty) + (v1[i] * (1 - tx) + v1[i + 1] * tx) * ty;
        const int32_t sx = int32_t(std::clamp(std::floor(x + du + 0.5), 0.0, double(width - 1)));
        const int32_t sy = int32_t(std::clamp(std::floor(y + dv + 0.5), 0.0, double(height - 1)));
        const int32_t sr = RowFromTop(sy, height);
        if (sx >= b.Left && sx <= b.Right && sr >= b.Bottom && sr <= b.Top)
          out[x] = before.Entries[size_t(sr - b.Bottom) * size_t(bw) + size_t(sx - b.Left)];
        else
          out[x] = mask[size_t(sr) * size_t(width) + size_t(sx)];
        const int32_t weight = protection ? protection[size_t(r) * size_t(width) + size_t(x)] : 0;
        if (weight > 0 && r >= b.Bottom && r <= b.Top && x >= b.Left && x <= b.Right) {
          // Protected entries move only part of the way, as under the tools.
          const warp::TMaskEntry& old = before.Entries[size_t(r - b.Bottom) * size_t(bw) + size_t(x - b.Left)];
          out[x] = warp::TMaskEntry{warp::KeepBlend(old.X, out[x].X, weight), warp::KeepBlend(old.Y, out[x].Y, weight)};
        }
      }
    }
  });
}

namespace {

const uint8_t* ProtectionOf(const warp::TEditorCore& core) {
  return core.Protection().empty() ? nullptr : core.Protection().data();
}

void RenderAndRepaint(warp::TEditorCore& core, const warp::TPictureRect& area) {
  if (area.Empty()) return;
  if (core.RenderArea(area)) {
    const warp::TRect view = core.ViewRectOf(core.RenderReach(area));
    if (!view.Empty()) core.RepaintViewRect(view);
  } else {
    core.RepaintView();
  }
}

} // namespace

bool ApplyFaceChange(warp::TEditorCore& core, const std::vector<TLandmarks>& faces, const TFaceSliders& sliders) {
  if (!sliders.Any() || faces.empty() || core.FMask == nullptr || core.FStrokeActive) return false;
  const int32_t w = core.PictureWidth(), h = core.PictureHeight();
  const warp::TPictureRect area = FaceArea(faces, w, h);
  if (area.Empty()) return false;
  const TFaceField field = BuildField(faces, sliders, area, w, h);
  const TMaskCopy before = CopyArea(core.FMask, w, area);
  core.FHistory.BeginStroke(w, h);
  core.FHistory.BeforeStep(core.FMask, area);
  ApplyField(field, before, core.FMask, w, h, ProtectionOf(core));
  core.FHistory.EndStroke(core.FMask);
  core.HistoryChanged();
  RenderAndRepaint(core, area);
  return true;
}

TFacePreview::TFacePreview(warp::TEditorCore& core, std::vector<TLandmarks> faces)
    : core_(core), faces_(std::move(faces)) {
  if (core_.FMask != nullptr)
    before_ = CopyArea(core_.FMask, core_.PictureWidth(), FaceArea(faces_, core_.PictureWidth(), core_.PictureHeight()));
}

void TFacePreview::Show(const TFaceSliders& sliders) {
  if (before_.Area.Empty() || core_.FMask == nullptr || core_.FStrokeActive) return;
  if (!sliders.Any()) {
    Cancel();
    return;
  }
  const int32_t w = core_.PictureWidth(), h = core_.PictureHeight();
  ApplyField(BuildField(faces_, sliders, before_.Area, w, h), before_, core_.FMask, w, h, ProtectionOf(core_));
  shown_ = true;
  RenderAndRepaint(core_, before_.Area);
}

void TFacePreview::Cancel() {
  if (!shown_ || core_.FMask == nullptr) return;
  RestoreArea(before_, core_.FMask, core_.PictureWidth());
  shown_ = false;
  RenderAndRepaint(core_, before_.Area);
}

bool TFacePreview::Commit(const TFaceSliders& sliders) {
  if (shown_ && core_.FMask != nullptr) RestoreArea(before_, core_.FMask, core_.PictureWidth());
  const bool wasShown = shown_;
  shown_ = false;
  if (ApplyFaceChange(core_, faces_, sliders)) return true;
  if (wasShown) RenderAndRepaint(core_, before_.Area);
  return false;
}

} // namespace face
