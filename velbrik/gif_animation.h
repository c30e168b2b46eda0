// SPDX-License-Identifier: GPL-3.0-or-later
// Writing an animated GIF frame by frame: every frame with a colour table of its own and its
// delay, shown in a loop without end. The file is written to a temporary file beside the target
// and renamed over it only when the last frame is in, as every saved picture is.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct GifFileType;

namespace velbrik {

class TGifAnimationWriter {
public:
  TGifAnimationWriter() = default;
  TGifAnimationWriter(const TGifAnimationWriter&) = delete;
  TGifAnimationWriter& operator=(const TGifAnimationWriter&) = delete;
  // Removes the temporary file unless Finish succeeded.
  ~TGifAnimationWriter();

  // Starts the file for frames of width x height (1..65535 each). False with a German message.
  bool Open(const std::string& path, int32_t width, int32_t height, std::string& error);
  // One frame: width x height indexes into `palette` (colours entries of red, green, blue;
  // 1..256), rows top-down; shown for delay hundredths of a second (0..65535).
  bool AddFrame(const uint8_t* indexes, const uint8_t* palette, int32_t colours, int32_t delay, std::string& error);
  // Ends the file and puts it in place of the target.
  bool Finish(std::string& error);

private:
  bool Failed(const std::string& reason, std::string& error);
  void Discard();

  std::string FPath, FTemp;
  std::FILE* FFile = nullptr;
  GifFileType* FGif = nullptr;
  int32_t FWidth = 0, FHeight = 0;
  int FWriteErrno = 0; // the first failed write's errno
};

} // namespace velbrik
