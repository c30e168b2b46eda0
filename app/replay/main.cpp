// SPDX-License-Identifier: GPL-3.0-or-later
// morphane-replay INPUT SCRIPT OUTPUT [--mask MASKFILE] [--timing] [--full]
//                 [--animate FILE.gif|.mp4|.webp [--frames N] [--size S]]
//
// Opens INPUT as the main window opens a picture, plays the stroke SCRIPT through the editing
// view's own handlers and writes the result picture to OUTPUT (.bmp or .png). --mask also writes
// the mask block (width x height entries, rows bottom-up, X then Y as little-endian signed 32-bit
// integers); --timing prints the step times on stderr; --full runs every step over the whole
// picture instead of only the brush square (same results, for comparisons); --animate also
// writes the deformation as an animation of N frames (24) from the source to the smooth
// result (an animated GIF, an MP4 video or an animated WebP, by the file's extension), the frames' longer side at most S pixels (800; 0: the picture's own size).
//
// --help prints the script commands, --version the build's version.
//
// Exit status: 0 done; 1 the picture could not be opened or a file not written; 2 bad
// arguments or a malformed script line. Nothing is written unless everything succeeded.
#include "Animation.h"
#include "ReplayHost.h"
#include "ReplayScript.h"
#include "morphane_version.h"

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "Aufruf: morphane-replay EINGABE SKRIPT AUSGABE [--mask MASKENDATEI] [--timing] [--full]\n"
    "                       [--animate DATEI.gif|.mp4|.webp [--frames N] [--size S]]";

// --help: the same content as the manual page morphane-replay(1), in short.
constexpr const char* kHelp = R"(Usage: morphane-replay INPUT SCRIPT OUTPUT [--mask MASKFILE] [--timing] [--full]
                       [--animate FILE.gif|.mp4|.webp [--frames N] [--size S]]

Opens the picture INPUT as the Morphane window opens it (24 bits per pixel, undeformed, the
settings of a new window: grow, X & Y, Normalize on, strength 0.4, radius 50, zoom 1), plays
the stroke SCRIPT through the editing view's own code and writes the result to OUTPUT, by its
extension (.bmp or .png). Nothing is written unless everything succeeded.

Options:
  --mask MASKFILE  also write the mask: width x height entries, rows bottom-up, each the
                   source column X then row Y as little-endian signed 32-bit integers
  --timing         print "steps N, median M ms, max X ms" on standard error
  --full           run every step over the whole picture instead of the brush square
                   (the same result, for comparisons)
  --animate FILE   also write the deformation as an animation, from the picture to the
                   smooth result: an animated GIF (.gif), an H.264 video (.mp4) or an
                   animated WebP (.webp), by the extension
  --frames N       frames of the animation, 2 .. 250 (24)
  --size S         the frames' longer side at most S pixels (800; 0: the picture's size)
  --help           show this text
  --version        show the version

Script: one command a line, words separated by blanks; "#" starts a comment line.
  tool grow|shrink|eraser|smear|drag   the tool (grow: bulge, shrink: pinch,
                                       eraser: back to the original)
  axes xy|x|y                          the directions the effect works in
  normalize on|off                     the Normalize check box
  smooth on|off                        the "Glätten" check box: the result rendered
                                       smooth instead of pixel-exact
  strength V                           0.1 .. 1 (decimal point)
  radius N                             5 .. 300 picture pixels at zoom 1
  zoom V                               0.05 .. 10; view pixels = picture pixels x zoom
  down X Y | move X Y | up X Y         the mouse button pressed, moved, released at view
                                       pixel X Y (from the top left)
  tick                                 one repeat of the held button (once a second in
                                       the window)
  undo | redo                          the last stroke undone, done again (Ctrl+Z and
                                       Ctrl+Y in the window; ignored during a stroke)

Exit status: 0 done; 1 the picture could not be opened or a file not written; 2 bad
arguments or a malformed script line (its number is named).
)";

struct TArgs {
  std::string input, script, output, mask, animate;
  bool timing = false, full = false;
  warp::TAnimationOptions animation;
};

// A whole number within lo..hi.
bool ParseCount(const char* text, int32_t lo, int32_t hi, int32_t& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  out = int32_t(v);
  return true;
}

bool ParseArgs(int argc, char** argv, TArgs& a) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string s = argv[i];
    if (s == "--timing") a.timing = true;
    else if (s == "--full") a.full = true;
    else if (s == "--mask" || s == "--animate") {
      if (i + 1 >= argc) return false;
      (s == "--mask" ? a.mask : a.animate) = argv[++i];
    } else if (s == "--frames") {
      if (i + 1 >= argc || !ParseCount(argv[++i], warp::kMinFrames, warp::kMaxFrames, a.animation.Frames)) return false;
    } else if (s == "--size") {
      if (i + 1 >= argc || !ParseCount(argv[++i], 0, warp::kMaxLongerSide, a.animation.LongerSide)) return false;
    } else if (s.size() > 1 && s[0] == '-' && s[1] == '-') return false;
    else positional.push_back(s);
  }
  if (positional.size() != 3) return false;
  a.input = positional[0];
  a.script = positional[1];
  a.output = positional[2];
  return true;
}

// The mask block, little-endian whatever the machine, through a temporary file beside the target.
bool WriteMask(const warp::TEditorCore& core, const std::string& path, std::string& tmp, std::string& error) {
  tmp = path + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) {
    error = "Die Maskendatei \"" + path + "\" kann nicht angelegt werden.";
    return false;
  }
  const size_t count = size_t(core.PictureWidth()) * size_t(core.PictureHeight());
  std::vector<uint8_t> buf;
  buf.reserve(64 * 1024);
  bool ok = true;
  for (size_t n = 0; n < count && ok; ++n) {
    for (int32_t v : {core.FMask[n].X, core.FMask[n].Y}) {
      const uint32_t u = uint32_t(v);
      for (int b = 0; b < 4; ++b) buf.push_back(uint8_t(u >> (8 * b)));
    }
    if (buf.size() >= 64 * 1024 - 8 || n + 1 == count) {
      ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
      buf.clear();
    }
  }
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(tmp.c_str());
    error = "Die Maskendatei \"" + path + "\" konnte nicht geschrieben werden.";
  }
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string s = argv[i];
    if (s == "--help") {
      std::cout << kHelp;
      return 0;
    }
    if (s == "--version") {
      std::cout << "morphane-replay (Morphane 2.0) " << MORPHANE_BUILD_VERSION << "\n";
      return 0;
    }
  }
  TArgs args;
  if (!ParseArgs(argc, argv, args)) {
    std::cerr << kUsage << "\n";
    return 2;
  }

  std::ifstream scriptFile(args.script, std::ios::binary);
  if (!scriptFile) {
    std::cerr << args.script << ": Das Skript kann nicht gelesen werden.\n";
    return 2;
  }
  std::vector<replay::TCommand> commands;
  std::string error;
  if (!replay::ParseScript(scriptFile, commands, error)) {
    std::cerr << args.script << ": " << error << "\n";
    return 2;
  }

  replay::TReplayHost host;
  host.FFastPath = !args.full;
  TDib opened{};
  OpenDib(&opened, args.input.c_str(), 0, nullptr);
  if (opened.Bits == nullptr) {
    std::cerr << args.input << ": " << DibErrorText(&opened) << "\n";
    return 1;
  }
  if (!host.Adopt(opened, error)) {
    std::cerr << args.input << ": " << error << "\n";
    return 1;
  }

  for (const replay::TCommand& c : commands) host.Run(c);

  std::string maskTmp;
  if (!args.mask.empty() && !WriteMask(host, args.mask, maskTmp, error)) {
    std::cerr << error << "\n";
    return 1;
  }
  char saveError[512] = {};
  if (!SaveDib(host.FResultDib, args.output.c_str(), saveError, sizeof saveError)) {
    if (!maskTmp.empty()) std::remove(maskTmp.c_str());
    std::cerr << args.output << ": " << saveError << "\n";
    return 1;
  }
  if (!maskTmp.empty() && std::rename(maskTmp.c_str(), args.mask.c_str()) != 0) {
    std::remove(maskTmp.c_str());
    std::cerr << "Die Maskendatei \"" << args.mask << "\" konnte nicht geschrieben werden.\n";
    return 1;
  }
  if (!args.animate.empty()) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!host.WriteAnimation(args.animate, args.animation, error)) {
      std::cerr << error << "\n";
      return 1;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (args.timing) std::fprintf(stderr, "animation %d frames, %.0f ms\n", args.animation.Frames, ms);
  }
  if (args.timing) std::cerr << replay::TimingLine(host.StepTimes) << "\n";
  return 0;
}
