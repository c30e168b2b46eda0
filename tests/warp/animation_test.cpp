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
#include <webp/demux.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
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

// Standard output of a command; empty when it fails.
std::string Output(const std::string& command) {
  std::string out;
  if (std::FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    if (::pclose(p) != 0) out.clear();
  }
  return out;
}

// Of RGB rows `a` against pixels of `channels` bytes (RGB or RGBA).
double Psnr(const std::vector<uint8_t>& a, const uint8_t* b, size_t channels) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - b[i / 3 * channels + i % 3];
    sum += d * d;
  }
  return 10 * std::log10(255.0 * 255.0 * double(a.size()) / std::max(sum, 1e-9));
}

TEST_F(AnimationTest, VideoAndWebpHoldTheFramesFromThePhotoAndBeatTheGif) {
  if (Output("ffprobe -version").empty()) GTEST_SKIP() << "ffprobe missing";
  warp::TAnimationOptions o;
  o.Frames = 6;
  o.BackAgain = true; // ten frames
  std::string error;
  std::map<std::string, uintmax_t> sizes;
  for (const char* ext : {"gif", "mp4", "webp"}) {
    const std::string path = (dir / (std::string("a.") + ext)).string();
    ASSERT_TRUE(core.WriteAnimation(path, o, error)) << error;
    sizes[ext] = std::filesystem::file_size(path);
  }
  EXPECT_LE(sizes["mp4"] * 3, sizes["gif"]);
  EXPECT_LE(sizes["webp"] * 3, sizes["gif"]);

  std::vector<uint8_t> photo;
  imaging::AreaScaleToRgb(core.FSourceDib, 90, 60, photo);
  const std::string mp4 = (dir / "a.mp4").string();
  EXPECT_EQ(Output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,width,height,pix_fmt,nb_read_frames -of csv=p=0 " + mp4),
            "h264,90,60,yuv420p,10\n");
  const std::string first = Output("ffmpeg -v error -i " + mp4 + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
  ASSERT_EQ(first.size(), photo.size());
  EXPECT_GE(Psnr(photo, reinterpret_cast<const uint8_t*>(first.data()), 3), 30);

  const std::string webp = Output("cat " + (dir / "a.webp").string());
  WebPData data{reinterpret_cast<const uint8_t*>(webp.data()), webp.size()};
  WebPAnimDecoderOptions options;
  ASSERT_TRUE(WebPAnimDecoderOptionsInit(&options));
  options.color_mode = MODE_RGBA;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  ASSERT_NE(decoder, nullptr);
  WebPAnimInfo info;
  ASSERT_TRUE(WebPAnimDecoderGetInfo(decoder, &info));
  EXPECT_EQ(info.frame_count, 10u);
  EXPECT_EQ(info.loop_count, 0u) << "endless";
  uint8_t* rgba = nullptr;
  int timestamp = 0;
  ASSERT_TRUE(WebPAnimDecoderGetNext(decoder, &rgba, &timestamp));
  EXPECT_GE(Psnr(photo, rgba, 4), 30);
  WebPAnimDecoderDelete(decoder);

  // Odd sides are made even for the video; a cancel or an unknown type writes nothing.
  o.LongerSide = 45;
  ASSERT_TRUE(core.WriteAnimation((dir / "klein.mp4").string(), o, error)) << error;
  EXPECT_EQ(Output("ffprobe -v error -show_entries stream=width,height -of csv=p=0 " + (dir / "klein.mp4").string()),
            "44,30\n");
  std::atomic<bool> cancel{true};
  platform::TJob job;
  job.Cancel = &cancel;
  EXPECT_FALSE(warp::WriteAnimation(core.FSourceDib, core.FMask, o, (dir / "weg.mp4").string(), job, error));
  EXPECT_EQ(error, platform::kCancelledText);
  EXPECT_FALSE(core.WriteAnimation((dir / "a.avi").string(), o, error));
  EXPECT_NE(error.find("MP4"), std::string::npos) << error;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 4);
}

} // namespace
