// SPDX-License-Identifier: GPL-3.0-or-later
#include "Landmarks.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <new>

namespace face {
namespace {

// The reduced copy the faces are first looked for in holds at most this many pixels: a search
// there takes about 0.1 s.
constexpr double kSearchPixels = 1.0e6;
// The detector finds faces from about 80 pixels on; a face found smaller than 1.5 times that
// may have neighbours too small for it, so the picture is searched again at twice the size.
constexpr long kSmallFace = 120;
// The detector's confidence below which a find is dropped. Its own default, 0, keeps weak finds
// such as the round mission patch on the sleeve in the astronaut portrait (0.06).
constexpr double kMinConfidence = 0.2;
// The model file is about 100 MB; anything far bigger is not the model.
constexpr off_t kMaxModelBytes = off_t(400) << 20;

using TImage = dlib::array2d<unsigned char>;

double MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// `g` at width x height: an average over each target pixel's box when reducing, bilinear when
// enlarging.
void Resample(const TGray& g, long width, long height, TImage& out) {
  out.set_size(height, width);
  if (width == g.Width && height == g.Height) {
    for (long y = 0; y < height; ++y)
      std::copy_n(g.Pixels.data() + size_t(y) * size_t(g.Width), size_t(width), &out[y][0]);
    return;
  }
  if (width <= g.Width && height <= g.Height) {
    std::vector<long> x0(size_t(width) + 1);
    for (long x = 0; x <= width; ++x) x0[size_t(x)] = long(int64_t(x) * g.Width / width);
    for (long y = 0; y < height; ++y) {
      const long ya = long(int64_t(y) * g.Height / height), yb = std::max(ya + 1, long(int64_t(y + 1) * g.Height / height));
      for (long x = 0; x < width; ++x) {
        const long xa = x0[size_t(x)], xb = std::max(xa + 1, x0[size_t(x) + 1]);
        uint32_t sum = 0;
        for (long r = ya; r < yb; ++r) {
          const uint8_t* row = g.Pixels.data() + size_t(r) * size_t(g.Width);
          for (long c = xa; c < xb; ++c) sum += row[c];
        }
        const uint32_t n = uint32_t((yb - ya) * (xb - xa));
        out[y][x] = uint8_t((sum + n / 2) / n);
      }
    }
    return;
  }
  for (long y = 0; y < height; ++y) {
    const double fy = std::clamp((y + 0.5) * g.Height / height - 0.5, 0.0, double(g.Height - 1));
    const long ya = long(fy), yb = std::min<long>(ya + 1, g.Height - 1);
    const double wy = fy - ya;
    for (long x = 0; x < width; ++x) {
      const double fx = std::clamp((x + 0.5) * g.Width / width - 0.5, 0.0, double(g.Width - 1));
      const long xa = long(fx), xb = std::min<long>(xa + 1, g.Width - 1);
      const double wx = fx - xa;
      const auto at = [&](long r, long c) { return double(g.Pixels[size_t(r) * size_t(g.Width) + size_t(c)]); };
      const double v = (at(ya, xa) * (1 - wx) + at(ya, xb) * wx) * (1 - wy) + (at(yb, xa) * (1 - wx) + at(yb, xb) * wx) * wy;
      out[y][x] = uint8_t(std::lround(v));
    }
  }
}

double Overlap(const dlib::rectangle& a, const dlib::rectangle& b) {
  const dlib::rectangle i = a.intersect(b);
  if (i.is_empty()) return 0;
  return double(i.area()) / double(std::min(a.area(), b.area()));
}

} // namespace

struct TFaceFinder::TModel {
  dlib::frontal_face_detector detector;
  dlib::shape_predictor predictor;
};

TGray GrayOf(const TDib& picture) {
  TGray g;
  if (picture.Info == nullptr || picture.Bits == nullptr || DibBitCount(picture) != 24) return g;
  g.Width = DibWidth(picture);
  g.Height = DibHeight(picture);
  g.Pixels.resize(size_t(g.Width) * size_t(g.Height));
  for (int32_t y = 0; y < g.Height; ++y) {
    const uint8_t* src = picture.Bits + int64_t(g.Height - 1 - y) * picture.BytesPerLine;
    uint8_t* dst = g.Pixels.data() + size_t(y) * size_t(g.Width);
    for (int32_t x = 0; x < g.Width; ++x, src += 3) dst[x] = uint8_t((unsigned(src[0]) + src[1] + src[2]) / 3);
  }
  return g;
}

TFaceFinder::TFaceFinder() = default;
TFaceFinder::~TFaceFinder() = default;

bool TFaceFinder::Load(const std::string& path, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto t0 = std::chrono::steady_clock::now();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = kNoModelText;
    return false;
  }
  if (st.st_size > kMaxModelBytes) {
    error = "Die Datei \"" + path + "\" ist kein Gesichtsmodell.";
    return false;
  }
  auto model = std::make_unique<TModel>();
  try {
    model->detector = dlib::get_frontal_face_detector();
    std::ifstream in(path, std::ios::binary);
    dlib::deserialize(model->predictor, in);
  } catch (const std::bad_alloc&) {
    error = "Nicht genug Speicher für das Gesichtsmodell.";
    return false;
  } catch (const std::exception&) {
    error = "Die Datei \"" + path + "\" ist kein Gesichtsmodell.";
    return false;
  }
  if (model->predictor.num_parts() != kLandmarks) {
    error = "Die Datei \"" + path + "\" ist kein Gesichtsmodell mit 68 Punkten.";
    return false;
  }
  model_ = std::move(model);
  loadMs_ = MsSince(t0);
  return true;
}

bool TFaceFinder::Loaded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_ != nullptr;
}

double TFaceFinder::LoadMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return loadMs_;
}

std::vector<TLandmarks> TFaceFinder::Find(const TGray& picture, const platform::TJob& job, TFindStats* stats,
                                          bool reference) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<TLandmarks> faces;
  if (model_ == nullptr || picture.Width <= 0 || picture.Height <= 0 ||
      picture.Pixels.size() != size_t(picture.Width) * size_t(picture.Height))
    return faces;
  TImage full;
  Resample(picture, picture.Width, picture.Height, full);
  job.Report(5);

  // Each pass: the picture at `scale` (search size / picture size), the boxes found mapped back.
  std::vector<dlib::rectangle> boxes;
  long smallest = 0;
  int32_t passes = 0;
  const auto pass = [&](double scale) {
    ++passes;
    std::vector<dlib::rect_detection> found;
    if (scale == 1.0) {
      model_->detector(full, found, kMinConfidence);
    } else {
      TImage search;
      Resample(picture, std::max(1L, std::lround(picture.Width * scale)), std::max(1L, std::lround(picture.Height * scale)),
               search);
      model_->detector(search, found, kMinConfidence);
    }
    for (const dlib::rect_detection& d : found) {
      const dlib::rectangle& f = d.rect;
      smallest = smallest == 0 ? long(f.width()) : std::min(smallest, long(f.width()));
      const dlib::rectangle b(std::lround(f.left() / scale), std::lround(f.top() / scale), std::lround(f.right() / scale),
                              std::lround(f.bottom() / scale));
      if (std::none_of(boxes.begin(), boxes.end(), [&](const dlib::rectangle& o) { return Overlap(o, b) > 0.3; }))
        boxes.push_back(b);
    }
  };
  const double pixels = double(picture.Width) * double(picture.Height);
  const double scale = reference ? 1.0 : std::min(1.0, std::sqrt(kSearchPixels / pixels));
  pass(scale);
  job.Report(50);
  if (job.Cancelled()) return faces;
  if (!reference && (boxes.empty() || smallest < kSmallFace)) pass(scale * 2);
  job.Report(90);
  if (job.Cancelled()) return faces;

  std::sort(boxes.begin(), boxes.end(), [](const dlib::rectangle& a, const dlib::rectangle& b) {
    return a.left() != b.left() ? a.left() < b.left() : a.top() < b.top();
  });
  for (const dlib::rectangle& b : boxes) {
    const dlib::full_object_detection shape = model_->predictor(full, b);
    TLandmarks points;
    for (int i = 0; i < kLandmarks; ++i) points[size_t(i)] = TPoint{double(shape.part(unsigned(i)).x()), double(shape.part(unsigned(i)).y())};
    faces.push_back(points);
  }
  job.Report(100);
  if (stats != nullptr) {
    stats->DetectMs = MsSince(t0);
    stats->Passes = passes;
  }
  return faces;
}

} // namespace face
