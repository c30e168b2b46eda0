// SPDX-License-Identifier: GPL-3.0-or-later
// Faces on the astronaut portrait: found as the full-size search finds them, and each face
// change read back by finding the landmarks again on the changed result.
#include "FaceWarp.h"
#include "ReplayHost.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace {

constexpr const char* kPortrait = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";

using face::TLandmarks;

class Faces : public ::testing::Test {
protected:
  static std::shared_ptr<face::TFaceFinder> finder;
  static void SetUpTestSuite() {
    struct stat st {};
    if (stat(face::kModelPath, &st) != 0 || stat(kPortrait, &st) != 0) return;
    finder = std::make_shared<face::TFaceFinder>();
    std::string error;
    ASSERT_TRUE(finder->Load(face::kModelPath, error)) << error;
  }
  void SetUp() override {
    if (finder == nullptr) GTEST_SKIP() << "libdlib-data or python3-skimage not installed";
    host.Finder = finder;
    TDib opened{};
    OpenDib(&opened, kPortrait, 0, nullptr);
    ASSERT_NE(opened.Bits, nullptr);
    std::string error;
    ASSERT_TRUE(host.Adopt(opened, error)) << error;
  }
  void Run(const std::string& script) {
    std::istringstream in(script);
    std::vector<replay::TCommand> commands;
    std::string error;
    ASSERT_TRUE(replay::ParseScript(in, commands, error)) << error;
    for (const auto& c : commands) host.Run(c);
  }
  TLandmarks OnlyFace() {
    std::string error;
    const std::vector<TLandmarks> faces = host.FindFaces(error);
    EXPECT_EQ(faces.size(), 1u) << error;
    return faces.empty() ? TLandmarks{} : faces[0];
  }
  std::vector<uint8_t> State() const {
    const size_t w = size_t(host.PictureWidth()), h = size_t(host.PictureHeight());
    std::vector<uint8_t> s(w * h * sizeof(warp::TMaskEntry) + h * size_t(host.FResultDib.BytesPerLine));
    std::memcpy(s.data(), host.FMask, w * h * sizeof(warp::TMaskEntry));
    std::memcpy(s.data() + w * h * sizeof(warp::TMaskEntry), host.FResultDib.Bits, h * size_t(host.FResultDib.BytesPerLine));
    return s;
  }
  replay::TReplayHost host;
};
std::shared_ptr<face::TFaceFinder> Faces::finder;

double Dist(face::TPoint a, face::TPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }
face::TPoint Centre(const TLandmarks& f, int first, int last) {
  face::TPoint c;
  for (int i = first; i <= last; ++i) c.x += f[size_t(i)].x / (last - first + 1), c.y += f[size_t(i)].y / (last - first + 1);
  return c;
}
double EyeSize(const TLandmarks& f) {
  double s = 0;
  for (const int first : {36, 42})
    for (int i = first; i < first + 6; ++i) s += Dist(f[size_t(i)], Centre(f, first, first + 5)) / 12;
  return s;
}
double JawSpread(const TLandmarks& f) {
  const double mid = Centre(f, 0, 16).x;
  double s = 0;
  for (int i = 0; i <= 16; ++i) s += std::abs(f[size_t(i)].x - mid) / 17;
  return s;
}
// Root mean square distance from the fitted average face, in units of the face's width.
double Deviation(const TLandmarks& f) {
  const TLandmarks a = face::FitAverage(f);
  double s = 0;
  for (int i = 0; i < face::kLandmarks; ++i) s += std::pow(Dist(f[size_t(i)], a[size_t(i)]), 2) / face::kLandmarks;
  return std::sqrt(s) / Dist(a[0], a[16]);
}

TEST_F(Faces, FoundLikeTheFullSizeSearch) {
  const TLandmarks found = OnlyFace();
  const std::vector<TLandmarks> reference = finder->Find(face::GrayOf(host.FResultDib), {}, nullptr, true);
  ASSERT_EQ(reference.size(), 1u);
  const double eyes = Dist(Centre(reference[0], 36, 41), Centre(reference[0], 42, 47));
  for (int i = 0; i < face::kLandmarks; ++i)
    EXPECT_LT(Dist(found[size_t(i)], reference[0][size_t(i)]), 0.05 * eyes) << "landmark " << i;
}

TEST_F(Faces, ChangesReadBackAndUndoExactly) {
  const TLandmarks before = OnlyFace();
  const std::vector<uint8_t> original = State();
  const double faceWidth = Dist(before[0], before[16]);
  const auto change = [&](const std::string& line) {
    Run(line);
    EXPECT_TRUE(host.CanUndo()) << line;
    const TLandmarks after = OnlyFace();
    Run("undo");
    EXPECT_TRUE(State() == original) << line << ": undo must give the picture and mask back byte for byte";
    return after;
  };
  for (const auto& [line, lo, hi] : {std::tuple{"face eyes 100", 1.15, 1.6}, std::tuple{"face eyes -100", 0.6, 0.9}}) {
    const TLandmarks f = change(line);
    EXPECT_GT(EyeSize(f) / EyeSize(before), lo) << line;
    EXPECT_LT(EyeSize(f) / EyeSize(before), hi) << line;
    for (int i = 0; i <= 16; ++i) EXPECT_LT(Dist(f[size_t(i)], before[size_t(i)]), 0.05 * faceWidth) << line << ", jaw " << i;
  }
  const TLandmarks wide = change("face width 100");
  EXPECT_GT(JawSpread(wide) / JawSpread(before), 1.10);
  EXPECT_LT(JawSpread(wide) / JawSpread(before), 1.30);
  const TLandmarks smile = change("face smile 100");
  const double mouth = Centre(smile, 48, 67).y, mouthBefore = Centre(before, 48, 67).y;
  for (const int corner : {48, 54}) EXPECT_LT(smile[size_t(corner)].y - mouth, before[size_t(corner)].y - mouthBefore - 1);
  EXPECT_GT(Deviation(change("face caricature 100")), Deviation(before) * 1.2);
}

TEST_F(Faces, PreviewCancelsExactlyAndCommitsOneStep) {
  const std::vector<uint8_t> original = State();
  std::string error;
  const std::vector<TLandmarks> faces = host.FindFaces(error);
  face::TFaceSliders a, b;
  a.Value = {80, -40, 60, 0, 30, 100};
  b.Value = {-50, 0, 0, 70, -60, 0};
  {
    face::TFacePreview preview(host, faces);
    preview.Show(a);
    preview.Show(b);
    EXPECT_FALSE(State() == original);
    preview.Cancel();
    EXPECT_TRUE(State() == original);
    EXPECT_FALSE(host.CanUndo());
    preview.Show(a);
    EXPECT_TRUE(preview.Commit(b));
  }
  const std::vector<uint8_t> committed = State();
  Run("undo");
  EXPECT_TRUE(State() == original);
  EXPECT_FALSE(host.CanUndo());
  ASSERT_TRUE(face::ApplyFaceChange(host, faces, b));
  EXPECT_TRUE(State() == committed) << "the preview's OK differs from the change applied directly";
}

TEST_F(Faces, ProtectedEntriesKeepTheirPlaceUnderAFaceChange) {
  const TLandmarks f = OnlyFace();
  const int32_t w = host.PictureWidth(), h = host.PictureHeight();
  const auto index = [&](face::TPoint p, int dx, int dy) { return size_t(h - 1 - int(p.y) + dy) * size_t(w) + size_t(int(p.x) + dx); };
  const face::TPoint left = Centre(f, 36, 41), right = Centre(f, 42, 47);
  std::vector<uint8_t> weights(size_t(w) * size_t(h), 0);
  for (int d = -100; d <= 100; ++d) weights[index(left, d % 10, d / 10)] = 255; // a square on the left eye
  ASSERT_TRUE(host.SetProtection(weights));
  const std::vector<warp::TMaskEntry> before(host.FMask, host.FMask + size_t(w) * size_t(h));
  Run("face eyes 100");
  for (int d = -100; d <= 100; ++d) EXPECT_EQ(host.FMask[index(left, d % 10, d / 10)].X, before[index(left, d % 10, d / 10)].X);
  EXPECT_NE(host.FMask[index(right, 5, 5)].X, before[index(right, 5, 5)].X);
}

TEST_F(Faces, NothingChangesWithoutAFaceOrAValue) {
  const std::vector<uint8_t> original = State();
  Run("face chin 0");
  EXPECT_FALSE(host.CanUndo());
  EXPECT_TRUE(State() == original);
  // A plain grey picture has no face.
  TDib blank{};
  newdib(&blank, 300, 200, 24, nullptr, 0);
  std::memset(blank.Bits, 200, size_t(blank.BytesPerLine) * 200);
  std::string error;
  ASSERT_TRUE(host.Adopt(blank, error));
  const std::vector<uint8_t> empty = State();
  testing::internal::CaptureStderr();
  Run("face smile 50");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Kein Gesicht gefunden"), std::string::npos);
  EXPECT_TRUE(State() == empty);
  EXPECT_FALSE(host.CanUndo());
}

TEST_F(Faces, EveryFieldStaysOneToOne) {
  const TLandmarks f = OnlyFace();
  const int32_t w = host.PictureWidth(), h = host.PictureHeight();
  for (const int32_t v : {100, -100}) {
    face::TFaceSliders all;
    all.Value.fill(v);
    const face::TFaceField field = face::BuildField({f}, all, face::FaceArea({f}, w, h), w, h);
    ASSERT_FALSE(field.Empty());
    double smallest = 1;
    for (int32_t j = 0; j + 1 < field.Rows; ++j)
      for (int32_t i = 0; i + 1 < field.Cols; ++i) {
        const size_t k = size_t(j) * size_t(field.Cols) + size_t(i);
        const double ux = (field.U[k + 1] - field.U[k]) / field.Step, uy = (field.U[k + size_t(field.Cols)] - field.U[k]) / field.Step;
        const double vx = (field.V[k + 1] - field.V[k]) / field.Step, vy = (field.V[k + size_t(field.Cols)] - field.V[k]) / field.Step;
        smallest = std::min(smallest, (1 + ux) * (1 + vy) - uy * vx);
      }
    EXPECT_GT(smallest, 0.0) << "all sliders at " << v << " fold the picture";
    // The field vanishes at the area's edges: no seam.
    for (int32_t i = 0; i < field.Cols; ++i) EXPECT_EQ(field.U[size_t(i)], 0.f);
  }
}

} // namespace
