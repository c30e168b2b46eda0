// SPDX-License-Identifier: GPL-3.0-or-later
// morphane-replay INPUT SCRIPT OUTPUT [--mask MASKFILE] [--faces FILE] [--timing] [--full] [--apply PROJECT]
//                 [--animate FILE.gif|.mp4|.webp [--frames N] [--size S]]
//
// Opens INPUT as the main window opens a picture, plays the stroke SCRIPT through the editing
// view's own handlers and writes the result picture to OUTPUT (.bmp or .png). --mask also writes
// the mask block (width x height entries, rows bottom-up, X then Y as little-endian signed 32-bit
// integers); --timing prints the step times on stderr; --full runs every step over the whole
// picture instead of only the brush square (same results, for comparisons); --animate also
// writes the deformation as an animation of N frames (24) from the source to the smooth
// result (an animated GIF, an MP4 video or an animated WebP, by the file's extension), the
// frames' longer side at most S pixels (800; 0: the picture's own size); --faces
// writes the faces found in the result, one line each, left to right, 68 pairs "x y" in picture
// pixels from the top-left corner.
// INPUT and OUTPUT may be projects (*.morphane): the work goes on where it was saved, and is
// saved with its history and settings. --apply puts a project's deformation, scaled to INPUT's
// size, on INPUT before the script runs.
//
// --help prints the script commands, --version the build's version.
//
// Exit status: 0 done; 1 the picture could not be opened or a file not written; 2 bad
// arguments or a malformed script line. Nothing is written unless everything succeeded.
#include "Animation.h"
#include "Autosave.h"
#include "Project.h"
#include "ReplayHost.h"
#include "ReplayScript.h"
#include "morphane_version.h"

#include <algorithm>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "Aufruf: morphane-replay EINGABE SKRIPT AUSGABE [--mask MASKENDATEI] [--faces DATEI] [--timing] [--full]\n"
    "                       [--apply PROJEKT]\n"
    "                       [--animate DATEI.gif|.mp4|.webp [--frames N] [--size S]]";

// --help: the same content as the manual page morphane-replay(1), in short.
constexpr const char* kHelp = R"(Usage: morphane-replay INPUT SCRIPT OUTPUT [--mask MASKFILE] [--faces FILE] [--timing] [--full]
                       [--apply PROJECT] [--animate FILE.gif|.mp4|.webp [--frames N] [--size S]]

Opens the picture INPUT as the Morphane window opens it (24 bits per pixel, undeformed, the
settings of a new window: grow, X & Y, Normalize on, strength 0.4, radius 50, zoom 1), plays
the stroke SCRIPT through the editing view's own code and writes the result to OUTPUT, by its
extension (.bmp or .png). Nothing is written unless everything succeeded.
INPUT may be a Morphane project (.morphane): its picture, mask, stroke history (undo
and redo) and settings are taken up where they were saved. OUTPUT ending in .morphane
saves the project (picture, mask, history, settings) instead of the result.

Options:
  --mask MASKFILE  also write the mask: width x height entries, rows bottom-up, each the
                   source column X then row Y as little-endian signed 32-bit integers
  --faces FILE     also write the faces found in the result: one line per face, left
                   to right, 68 pairs "x y" in picture pixels from the top-left corner
                   (needs the landmark model of the Debian package libdlib-data)
  --timing         print "steps N, median M ms, max X ms" on standard error, and
                   "faces N, model M ms, detect D ms" when faces were looked for
  --full           run every step over the whole picture instead of the brush square
                   (the same result, for comparisons)
  --autosave FILE  write the work to the project FILE in the background after every
                   stroke, as the window's autosave does (to measure its cost with --timing)
  --apply PROJECT  put the deformation saved in PROJECT (.morphane), scaled to the
                   picture's size, on INPUT before the script runs (undo takes it back)
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
  tool protect|release                 paint protection (it keeps parts of the picture
                                       in place) or remove it
  axes xy|x|y                          the directions the effect works in
  normalize on|off                     the Normalize check box
  smooth on|off                        the "Glätten" check box: the result rendered
                                       smooth instead of pixel-exact
  strength V                           0.1 .. 1 (decimal point)
  radius N                             5 .. 300 picture pixels at zoom 1 (up to a tenth
                                       of the picture's longer side if that is more)
  pressure P                           a pen's pressure 0 .. 1 for the following steps (1)
  zoom V                               0.05 .. 10; view pixels = picture pixels x zoom
  down X Y | move X Y | up X Y         the mouse button pressed, moved, released at view
                                       pixel X Y (from the top left)
  tick                                 one repeat of the held button (once a second in
                                       the window)
  undo | redo                          the last stroke undone, done again (Ctrl+Z and
                                       Ctrl+Y in the window; ignored during a stroke)
  face eyes|nose|smile|chin|width|caricature V
                                       every face found in the current result changed,
                                       V from -100 to 100 (0: unchanged), as one step
                                       that undo takes back; no face: a message, no change

Exit status: 0 done; 1 the picture could not be opened or a file not written; 2 bad
arguments or a malformed script line (its number is named).
)";

struct TArgs {
  std::string input, script, output, mask, animate, faces, apply, autosave;
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
    else if (s == "--mask" || s == "--animate" || s == "--faces" || s == "--apply" || s == "--autosave") {
      if (i + 1 >= argc) return false;
      (s == "--mask" ? a.mask : s == "--faces" ? a.faces : s == "--apply" ? a.apply : s == "--autosave" ? a.autosave : a.animate) = argv[++i];
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

// The outputs written to temporary files so far; removed unless Commit moves them in place.
// Each stays locked (an open descriptor), so that the clean-up of the saves that follow leaves
// it alone.
struct TStaged {
  std::vector<std::pair<std::string, std::string>> Files; // temporary, target
  std::vector<int> Locks;
  ~TStaged() {
    for (const auto& f : Files) std::remove(f.first.c_str());
    for (int fd : Locks) ::close(fd);
  }
  // A temporary file beside target, staged for it; empty when none can be made.
  std::string Add(const std::string& target) {
    char name[4096 + 64];
    const int fd = CreateSaveTemporary(target.c_str(), name, sizeof name);
    if (fd < 0) return {};
    Locks.push_back(fd);
    Files.emplace_back(name, target);
    return name;
  }
  // Locks the file now at the temporary name anew (a writer renamed its own file over it).
  void Relock(const std::string& temporary) {
    const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    Locks.push_back(fd);
  }
  bool Commit(std::string& error) {
    for (const auto& f : Files)
      if (std::rename(f.first.c_str(), f.second.c_str()) != 0) {
        error = "\"" + f.second + "\" konnte nicht an seinen Platz gebracht werden.";
        return false;
      }
    Files.clear();
    return true;
  }
};

// The mask block, little-endian whatever the machine, through a temporary file beside the target.
bool WriteMask(const warp::TEditorCore& core, const std::string& path, TStaged& staged, std::string& error) {
  const std::string tmp = staged.Add(path);
  std::FILE* f = tmp.empty() ? nullptr : std::fopen(tmp.c_str(), "wb");
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
      std::cout << "morphane-replay (Morphane 2.0) " << MORPHANE_BUILD_VERSION << "\n"
                << "Copyright (C) 2026 the Morphane developers\n"
                << "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
                << "This is free software: you are free to change and redistribute it.\n"
                << "There is NO WARRANTY, to the extent permitted by law.\n";
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
  project::TProject saved;
  const bool fromProject = project::IsProjectName(args.input);
  TDib opened{};
  if (fromProject) {
    if (!project::ReadProject(args.input, saved, error)) {
      std::cerr << error << "\n";
      return 1;
    }
    opened = project::PictureOf(saved);
    if (opened.Bits == nullptr) {
      std::cerr << args.input << ": Nicht genug Speicher für das Bild.\n";
      return 1;
    }
  } else {
    OpenDib(&opened, args.input.c_str(), 0, nullptr);
  }
  if (opened.Bits == nullptr) {
    std::cerr << args.input << ": " << DibErrorText(&opened) << "\n";
    return 1;
  }
  if (!host.Adopt(opened, error)) {
    std::cerr << args.input << ": " << error << "\n";
    return 1;
  }
  if (fromProject) {
    project::ApplySettings(saved.Settings, host.Bar);
    host.SetSmooth(saved.Settings.Smooth);
    host.ZoomEdChanged();
    if (!project::RestoreWork(host, saved, error)) {
      std::cerr << args.input << ": " << error << "\n";
      return 1;
    }
    saved = {};
  }
  if (!args.apply.empty()) {
    project::TProject deformation;
    if (!project::ReadProject(args.apply, deformation, error) ||
        !project::ApplyDeformation(host, deformation, error)) {
      std::cerr << error << "\n";
      return 1;
    }
  }

  std::unique_ptr<project::TAutosaver> autosaver;
  std::vector<double> snapshots; // processor ms of the caller's thread (the machine's load aside)
  if (!args.autosave.empty()) {
    autosaver = std::make_unique<project::TAutosaver>(args.autosave);
    host.OnHistoryChanged = [&] {
      if (host.FStrokeActive) return;
      const auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
      };
      const double t0 = cpu();
      autosaver->Submit(host, 1, project::SettingsOf(host.Bar, host.FSmooth), args.input);
      snapshots.push_back(cpu() - t0);
    };
  }
  for (const replay::TCommand& c : commands) host.Run(c);
  if (autosaver) {
    autosaver->Flush();
    host.OnHistoryChanged = nullptr;
    if (args.timing)
      std::fprintf(stderr, "autosaves %llu written, snapshots: %s\n",
                   static_cast<unsigned long long>(autosaver->Written()), replay::TimingLine(snapshots).c_str() + 6);
  }

  std::string facesText;
  if (!args.faces.empty()) {
    const std::vector<face::TLandmarks> faces = host.FindFaces(error);
    if (!error.empty()) {
      std::cerr << error << "\n";
      return 1;
    }
    char pair[64];
    for (const face::TLandmarks& f : faces) {
      for (size_t i = 0; i < f.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%s%g %g", i ? " " : "", f[i].x, f[i].y);
        facesText += pair;
      }
      facesText += "\n";
    }
  }

  // Everything is written to temporary files first and moved in place only when all succeeded:
  // a failure leaves no output at all.
  TStaged staged;
  if (!args.mask.empty() && !WriteMask(host, args.mask, staged, error)) {
    std::cerr << error << "\n";
    return 1;
  }
  if (!args.faces.empty()) {
    const std::string facesTmp = staged.Add(args.faces);
    std::ofstream out(facesTmp, std::ios::binary | std::ios::trunc);
    out << facesText;
    if (facesTmp.empty() || !out.flush()) {
      std::cerr << "Die Gesichterdatei \"" << args.faces << "\" konnte nicht geschrieben werden.\n";
      return 1;
    }
  }
  if (!args.animate.empty()) {
    // The staged file's name has no extension: the format comes from the target's.
    args.animation.Kind = warp::AnimationKindOf(args.animate);
    const std::string animationTmp = staged.Add(args.animate);
    if (animationTmp.empty()) {
      std::cerr << "Die Datei \"" << args.animate << "\" kann nicht angelegt werden.\n";
      return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    if (!host.WriteAnimation(animationTmp, args.animation, error)) {
      std::cerr << error << "\n";
      return 1;
    }
    staged.Relock(animationTmp);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    if (args.timing) std::fprintf(stderr, "animation %d frames, %.0f ms\n", args.animation.Frames, ms);
  }
  // The picture (or the project) last: it is put in place only when it is complete.
  char saveError[512] = {};
  const bool written = project::IsProjectName(args.output)
                           ? project::SaveCore(host, args.output, project::SettingsOf(host.Bar, host.FSmooth),
                                               fromProject ? std::string() : args.input, error)
                           : SaveDib(host.FResultDib, args.output.c_str(), saveError, sizeof saveError) != 0;
  if (!written) {
    if (saveError[0] != '\0') std::cerr << args.output << ": " << saveError << "\n";
    else std::cerr << error << "\n";
    return 1;
  }
  if (!staged.Commit(error)) {
    std::cerr << error << "\n";
    return 1;
  }
  if (args.timing) std::cerr << replay::TimingLine(host.StepTimes) << "\n";
  if (args.timing && host.Searched) std::cerr << replay::FaceTimingLine(host) << "\n";
  return 0;
}
