// SPDX-License-Identifier: GPL-3.0-or-later
// The animated GIF of a deformation, read back with giflib: frame count and order, the endless
// loop, the delays, the first frame the photo and the last of the way the smooth result.
#include "Animation.h"
#include "AreaScale.h"
#include "Quantizer.h"
#include "SmoothRender.h"
#include "TestCore.h"

#include "../common/photo_like.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

using warptest::TTestCore;

namespace {

struct TGifCloser {
  void operator()(GifFileType* g) const {
    int ignored = 0;
    DGifCloseFile(g, &ignored);
  }
};
using TGif = std::unique_ptr<GifFileType, TGifCloser>;

TGif Slurp(const std::string& path) {
  int error = 0;
  TGif gif(DGifOpenFileName(path.c_str(), &error));
  if (gif && DGifSlurp(gif.get()) != GIF_OK) gif.reset();
  return gif;
}

// The frame as an indexed frame, for FramePsnr against true colours.
imaging::TIndexedFrame Frame(const GifFileType& gif, int n) {
  const SavedImage& image = gif.SavedImages[n];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif.SColorMap;
  imaging::TIndexedFrame f;
  f.Width = image.ImageDesc.Width;
  f.Height = image.ImageDesc.Height;
  f.Colours = map->ColorCount;
  for (int i = 0; i < map->ColorCount; ++i)
    f.Palette.insert(f.Palette.end(), {map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  f.Index.assign(image.RasterBits, image.RasterBits + size_t(f.Width) * size_t(f.Height));
  return f;
}

class AnimationTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("morphane_anim_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    core.ReleaseAll();
    ASSERT_TRUE(testpics::MakePhotoLike(core.FSourceDib, 90, 60));
    ASSERT_TRUE(core.AllocMask());
    core.InitMask();
    core.SetSmooth(true);
    core.Bar.Radius = 25;
    core.ViewMouseDown(45, 30);
    for (int i = 0; i < 4; ++i) core.TimerTick();
    core.ViewMouseUp(45, 30);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
  TTestCore core;
};

TEST_F(AnimationTest, FramesRunFromThePhotoToTheSmoothResultAndLoop) {
  warp::TAnimationOptions o;
  o.Frames = 5;
  o.DurationMs = 1000;
  o.BackAgain = true;
  const std::string path = (dir / "a.gif").string();
  std::string error;
  core.Progress.clear();
  ASSERT_TRUE(core.WriteAnimation(path, o, error)) << error;
  EXPECT_EQ(core.Progress.back(), 0);
  EXPECT_EQ(core.Progress[core.Progress.size() - 2], 100);
  TGif gif = Slurp(path);
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->ImageCount, 8); // five there, three back
  EXPECT_EQ(gif->SWidth, 90);

  bool loops = false;
  int delay = 0;
  for (int n = 0; n < gif->ImageCount; ++n) {
    const SavedImage& image = gif->SavedImages[n];
    for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e)
      if (image.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE &&
          image.ExtensionBlocks[e].ByteCount == 11 &&
          std::memcmp(image.ExtensionBlocks[e].Bytes, "NETSCAPE2.0", 11) == 0) {
        const ExtensionBlock& sub = image.ExtensionBlocks[e + 1];
        loops = sub.ByteCount == 3 && sub.Bytes[0] == 1 && sub.Bytes[1] == 0 && sub.Bytes[2] == 0;
      }
    GraphicsControlBlock gcb{};
    ASSERT_EQ(DGifSavedExtensionToGCB(gif.get(), n, &gcb), GIF_OK);
    if (n < 5) delay += gcb.DelayTime;
  }
  EXPECT_TRUE(loops) << "endless loop";
  EXPECT_EQ(delay, 100) << "the way there takes the duration";

  std::vector<uint8_t> rgb;
  imaging::AreaScaleToRgb(core.FSourceDib, 90, 60, rgb);
  EXPECT_GE(imaging::FramePsnr(rgb.data(), Frame(*gif, 0)), 30);
  imaging::AreaScaleToRgb(core.FResultDib, 90, 60, rgb);
  EXPECT_GE(imaging::FramePsnr(rgb.data(), Frame(*gif, 4)), 30);
  // On the way back the frames come again in reverse.
  EXPECT_EQ(Frame(*gif, 5).Index, Frame(*gif, 3).Index);
  EXPECT_EQ(Frame(*gif, 7).Index, Frame(*gif, 1).Index);
}

TEST_F(AnimationTest, FramesScaledDownAndFailuresLeaveNothing) {
  warp::TAnimationOptions o;
  o.Frames = 2;
  o.LongerSide = 30;
  std::string error;
  const std::string path = (dir / "small.gif").string();
  ASSERT_TRUE(core.WriteAnimation(path, o, error)) << error;
  TGif gif = Slurp(path);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->ImageCount, 2);
  EXPECT_EQ(gif->SWidth, 30);
  EXPECT_EQ(gif->SHeight, 20);

  EXPECT_FALSE(core.WriteAnimation((dir / "missing" / "a.gif").string(), o, error));
  EXPECT_NE(error.find("Der Ordner existiert nicht."), std::string::npos) << error;
  // The old file stays whole when a new one cannot be written over it.
  std::filesystem::create_directory(dir / "busy.gif");
  EXPECT_FALSE(core.WriteAnimation((dir / "busy.gif").string(), o, error));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no temporary file left";
}

} // namespace
