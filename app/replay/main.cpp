// morphane-replay INPUT SCRIPT OUTPUT [--mask MASKFILE] [--timing] [--full]
//                 [--animate FILE.gif [--frames N] [--size S]]
//
// Opens INPUT as the main window opens a picture, plays the stroke SCRIPT through the editing
// view's own handlers and writes the result picture to OUTPUT (.bmp or .png). --mask also writes
// the mask block (width x height entries, rows bottom-up, X then Y as little-endian signed 32-bit
// integers); --timing prints the step times on stderr; --full runs every step over the whole
// picture instead of only the brush square (same results, for comparisons); --animate also
// writes the deformation as an animated GIF of N frames (24) from the source to the smooth
// result, the frames' longer side at most S pixels (800; 0: the picture's own size).
//
// Exit status: 0 done; 1 the picture could not be opened or a file not written; 2 bad
// arguments or a malformed script line. Nothing is written unless everything succeeded.
#include "Animation.h"
#include "ReplayHost.h"
#include "ReplayScript.h"

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "Aufruf: morphane-replay EINGABE SKRIPT AUSGABE [--mask MASKENDATEI] [--timing] [--full]\n"
    "                       [--animate DATEI.gif [--frames N] [--size S]]";

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
