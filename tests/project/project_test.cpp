// SPDX-License-Identifier: GPL-3.0-or-later
// The project file: what is saved comes back exactly, a mostly unchanged mask costs little, and
// every damaged or hostile file is refused with a message instead of being read.
#include "Project.h"
#include "TestCore.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using warptest::TTestCore;

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Project : public ::testing::Test {
protected:
  fs::path dir;
  void SetUp() override {
    char tmpl[] = "/tmp/project_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }

  // A protected spot and two strokes on a 90 x 70 picture, saved with some settings.
  std::vector<uint8_t> Saved(TTestCore& core, const std::string& name = "a.morphane") {
    core.Load(90, 70);
    core.Bar.Radius = 12;
    core.FBrush = warp::TEditorCore::TBrush::Protect;
    core.ViewMouseDown(45, 30);
    core.ViewMouseUp(45, 30);
    core.FBrush = warp::TEditorCore::TBrush::Tool;
    for (int s = 0; s < 2; ++s) {
      core.ViewMouseDown(20 + 30 * s, 30);
      core.ViewMouseMove(30 + 30 * s, 36);
      core.ViewMouseUp(30 + 30 * s, 36);
    }
    project::TSettings settings;
    settings.Tool = 3;
    settings.Axes = 2;
    settings.Strength = 0.7L;
    settings.Zoom = 1.66875L;
    std::string error;
    EXPECT_TRUE(project::SaveCore(core, (dir / name).string(), settings, "/bilder/ä.png", error)) << error;
    return ReadAll(dir / name);
  }
};

TEST_F(Project, ReopenedWorkIsTheSameAndUndoesAsBefore) {
  TTestCore a;
  Saved(a);
  project::TProject p;
  std::string error;
  ASSERT_TRUE(project::ReadProject((dir / "a.morphane").string(), p, error)) << error;
  EXPECT_EQ(p.Settings.Tool, 3);
  EXPECT_EQ(p.Settings.Axes, 2);
  EXPECT_EQ(p.Settings.Strength, 0.7L);
  EXPECT_EQ(p.Settings.Zoom, 1.66875L);
  EXPECT_EQ(p.PicturePath, "/bilder/ä.png");

  TTestCore b;
  b.ReleaseAll();
  b.FSourceDib = project::PictureOf(p);
  ASSERT_TRUE(b.AllocMask());
  ASSERT_TRUE(project::RestoreWork(b, p, error)) << error;
  const size_t row = 90 * 3;
  for (int r = 0; r < 70; ++r) {
    ASSERT_EQ(0, std::memcmp(a.FSourceDib.Bits + r * a.FSourceDib.BytesPerLine,
                             b.FSourceDib.Bits + r * b.FSourceDib.BytesPerLine, row));
    ASSERT_EQ(0, std::memcmp(a.FResultDib.Bits + r * a.FResultDib.BytesPerLine,
                             b.FResultDib.Bits + r * b.FResultDib.BytesPerLine, row));
  }
  EXPECT_EQ(a.MaskCopy(), b.MaskCopy());
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(a.Protection() == b.Protection() && !a.Protection().empty());
    a.Undo();
    b.Undo();
    EXPECT_EQ(a.MaskCopy(), b.MaskCopy());
  }
  EXPECT_FALSE(b.CanUndo());
  b.Redo();
  a.Redo();
  EXPECT_EQ(a.MaskCopy(), b.MaskCopy());
}

TEST_F(Project, AnUnchangedMaskCostsAlmostNothing) {
  TTestCore core;
  core.Load(1000, 800);
  std::string error;
  const auto mask = project::MaskChunk(core.FMask, 1000, 800);
  EXPECT_LT(mask.Data.size(), 32u);
  core.At(500, 400) = warp::TMaskEntry{3, 7};
  EXPECT_LT(project::MaskChunk(core.FMask, 1000, 800).Data.size(), 48u);
}

TEST_F(Project, DamagedAndHostileFilesAreRefusedWithAMessage) {
  TTestCore core;
  const std::vector<uint8_t> good = Saved(core);
  project::TProject p;
  std::string error;
  ASSERT_TRUE(project::ReadProjectMemory(good.data(), good.size(), p, error));
  // Every shortened file, and every byte changed, is refused (the checksums see it).
  for (size_t n = 0; n < good.size(); n += 7) {
    EXPECT_FALSE(project::ReadProjectMemory(good.data(), n, p, error)) << n;
    EXPECT_FALSE(error.empty());
  }
  for (size_t k = 0; k < good.size(); k += 5) {
    std::vector<uint8_t> bad = good;
    bad[k] ^= 0x20;
    EXPECT_FALSE(project::ReadProjectMemory(bad.data(), bad.size(), p, error)) << k;
  }
  // A head of 10000 x 10000 pixels and a picture claiming 300 MB from 11 stored bytes: refused
  // before anything of that size is allocated.
  const auto chunk = [](const char* type, uint64_t raw, std::vector<uint8_t> stored) {
    std::vector<uint8_t> c(type, type + 4);
    for (uint64_t v : {raw, uint64_t(stored.size())})
      for (int b = 0; b < 8; ++b) c.push_back(uint8_t(v >> (8 * b)));
    c.insert(c.end(), stored.begin(), stored.end());
    const uLong crc = crc32(0, c.data(), uInt(c.size()));
    for (int b = 0; b < 4; ++b) c.push_back(uint8_t(crc >> (8 * b)));
    return c;
  };
  std::vector<uint8_t> head(good.begin(), good.begin() + 12);
  std::vector<uint8_t> dims = {0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0};
  uLongf size = compressBound(8);
  std::vector<uint8_t> packed(size);
  compress2(packed.data(), &size, dims.data(), 8, 6);
  packed.resize(size);
  std::vector<uint8_t> hostile = head;
  for (const auto& c : {chunk("KOPF", 8, packed), chunk("BILD", 300000000, std::vector<uint8_t>(11, 0))})
    hostile.insert(hostile.end(), c.begin(), c.end());
  EXPECT_FALSE(project::ReadProjectMemory(hostile.data(), hostile.size(), p, error));
  EXPECT_NE(error.find("unmögliche Größe"), std::string::npos) << error;
  // Not a project; not a regular file.
  const std::string text = "GIF89a";
  EXPECT_FALSE(project::ReadProjectMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size(), p, error));
  EXPECT_EQ(error, "Die Datei ist kein Morphane-Projekt.");
  EXPECT_FALSE(project::ReadProject(dir.string(), p, error));
  EXPECT_NE(error.find("keine gewöhnliche Datei"), std::string::npos);

  // The fuzz target's seeds: this file and variants, written where asked.
  if (const char* seeds = std::getenv("MORPHANE_PROJECT_SEEDS")) {
    fs::create_directories(seeds);
    TTestCore plain;
    plain.Load(9, 5);
    ASSERT_TRUE(project::SaveCore(plain, (fs::path(seeds) / "plain.morphane").string(), {}, "", error));
    fs::copy_file(dir / "a.morphane", fs::path(seeds) / "strokes.morphane", fs::copy_options::overwrite_existing);
  }
}

TEST(ProjectMask, ScaledDeformationKeepsTheIdentityAndGrowsInProportion) {
  TTestCore small, big;
  small.Load(100, 50);
  big.Load(200, 100);
  std::vector<warp::TMaskEntry> out(200 * 100);
  project::ScaleMask(small.FMask, 100, 50, out.data(), 200, 100);
  EXPECT_EQ(out, big.MaskCopy());
  // Every entry of the small mask shows the pixel 10 to its left (clamped): twice as far when big.
  for (int32_t r = 0; r < 50; ++r)
    for (int32_t j = 0; j < 100; ++j) small.At(j, r) = warp::TMaskEntry{std::max(j - 10, 0), r};
  project::ScaleMask(small.FMask, 100, 50, out.data(), 200, 100);
  EXPECT_EQ(out[size_t(30) * 200 + 150], (warp::TMaskEntry{130, 30}));
  std::vector<warp::TMaskEntry> same(100 * 50);
  project::ScaleMask(small.FMask, 100, 50, same.data(), 100, 50);
  EXPECT_EQ(same, small.MaskCopy());
}

TEST(ProjectNames, FilterListsProjectsWithThePictures) {
  EXPECT_EQ(project::OpenFilter("Alle Bilder|*.bmp;*.png|PNG-Bild (*.png)|*.png|Alle Dateien (*.*)|*.*"),
            "Alle Bilder|*.bmp;*.png;*.morphane|PNG-Bild (*.png)|*.png|Morphane-Projekt (*.morphane)|*.morphane"
            "|Alle Dateien (*.*)|*.*");
  EXPECT_TRUE(project::IsProjectName("/a/b.MORPHANE"));
  EXPECT_FALSE(project::IsProjectName("/a/.morphane"));
  EXPECT_FALSE(project::IsProjectName("/a/b.morphane.png"));
}

} // namespace
