// SPDX-License-Identifier: GPL-3.0-or-later
// morphane-replay run as a user runs it: pictures and scripts made here, outputs checked for
// the properties every stroke must keep.
#include "Velbrik.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace {

struct TEntry {
  int32_t X, Y;
  bool operator==(const TEntry&) const = default;
};

struct TRun {
  int status = -1;
  std::string err;
};

class Replay : public ::testing::Test {
protected:
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/replay_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
  std::string Path(const std::string& name) const { return dir + "/" + name; }

  // A 24-bit picture whose pixels all differ, saved as BMP.
  std::string Picture(int32_t w, int32_t h, const std::string& name = "in.bmp") {
    TDib d{};
    newdib(&d, w, h, 24, nullptr, 0);
    for (int32_t r = 0; r < h; ++r)
      for (int32_t j = 0; j < w; ++j) {
        uint8_t* p = d.Bits + r * d.BytesPerLine + j * 3;
        p[0] = uint8_t(j);
        p[1] = uint8_t(r);
        p[2] = uint8_t(j * 7 + r * 13);
      }
    char err[256];
    EXPECT_EQ(SaveDib(d, Path(name).c_str(), err, sizeof err), 1) << err;
    deldib(d);
    return Path(name);
  }
  std::string Script(const std::string& text, const std::string& name = "script.txt") {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  TRun Run(const std::string& args) {
    const std::string errFile = Path("stderr.txt");
    const int rc = std::system((std::string(REPLAY_BINARY) + " " + args + " 2> '" + errFile + "'").c_str());
    TRun r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::ifstream in(errFile);
    std::stringstream ss;
    ss << in.rdbuf();
    r.err = ss.str();
    return r;
  }
  // Runs SCRIPT on a picture, returning the mask (rows bottom-up).
  std::vector<TEntry> MaskAfter(const std::string& picture, const std::string& script, const std::string& extra = "",
                                const std::string& out = "out.bmp") {
    const TRun r = Run(picture + " " + script + " " + Path(out) + " --mask " + Path(out + ".mask") + " " + extra);
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadMask(Path(out + ".mask"));
  }
  static std::vector<TEntry> ReadMask(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<TEntry> m(bytes.size() / 8);
    const auto le = [&](size_t at) {
      return int32_t(uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                     uint32_t(bytes[at + 3]) << 24);
    };
    for (size_t n = 0; n < m.size(); ++n) m[n] = {le(n * 8), le(n * 8 + 4)};
    return m;
  }
  static std::vector<TEntry> Identity(int32_t w, int32_t h) {
    std::vector<TEntry> m;
    for (int32_t r = 0; r < h; ++r)
      for (int32_t j = 0; j < w; ++j) m.push_back({j, r});
    return m;
  }
  static std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Exists(const std::string& name) const { return access(Path(name).c_str(), F_OK) == 0; }
};

// Strokes with every tool, axis and setting, starting and ending beyond the picture's edges.
std::string RandomStrokes(uint32_t seed, int32_t viewW, int32_t viewH, int strokes, const char* axes = nullptr,
                          const char* tools[] = nullptr, int toolCount = 5) {
  static const char* all[] = {"grow", "shrink", "eraser", "smear", "drag"};
  static const char* axisNames[] = {"xy", "x", "y"};
  if (tools == nullptr) tools = all;
  std::mt19937 rng(seed);
  std::ostringstream s;
  for (int n = 0; n < strokes; ++n) {
    s << "tool " << tools[rng() % toolCount] << "\n";
    s << "axes " << (axes ? axes : axisNames[rng() % 3]) << "\n";
    s << "normalize " << (rng() % 2 ? "on" : "off") << "\n";
    s << "strength 0." << 1 + rng() % 9 << "\n";
    s << "radius " << 5 + rng() % 60 << "\n";
    int32_t x = int32_t(rng() % uint32_t(viewW + 40)) - 20, y = int32_t(rng() % uint32_t(viewH + 40)) - 20;
    s << "down " << x << " " << y << "\n";
    for (int m = 0; m < 6; ++m) {
      x += int32_t(rng() % 31) - 15;
      y += int32_t(rng() % 31) - 15;
      s << (rng() % 5 == 0 ? std::string("tick") : "move " + std::to_string(x) + " " + std::to_string(y)) << "\n";
    }
    s << "up " << x << " " << y << "\n";
  }
  return s.str();
}

TEST_F(Replay, RandomStrokesKeepTheMaskInsideAndMatchTheWholePictureSteps) {
  const std::string pic = Picture(83, 61);
  const std::string script = Script("zoom 1.5\n" + RandomStrokes(7, 124, 91, 25) + "zoom 0.3\n" + RandomStrokes(8, 25, 18, 10));
  const auto fast = MaskAfter(pic, script, "", "fast.bmp");
  const auto full = MaskAfter(pic, script, "--full", "full.bmp");
  ASSERT_EQ(fast.size(), 83u * 61u);
  EXPECT_NE(fast, Identity(83, 61));
  for (const TEntry& e : fast) ASSERT_TRUE(e.X >= 0 && e.X < 83 && e.Y >= 0 && e.Y < 61) << e.X << "," << e.Y;
  EXPECT_EQ(fast, full);
  EXPECT_EQ(FileBytes(Path("fast.bmp")), FileBytes(Path("full.bmp")));
}

TEST_F(Replay, LongEraserStrokeRestoresTheIdentityAndThePicture) {
  const std::string pic = Picture(60, 40);
  std::string script = RandomStrokes(3, 60, 40, 15) + "tool eraser\nradius 300\ndown 30 20\n";
  for (int n = 0; n < 40; ++n) script += "tick\n";
  script += "up 30 20\n";
  EXPECT_EQ(MaskAfter(pic, Script(script)), Identity(60, 40));
  // The output is the input, byte for byte (both are this library's 24-bit BMPs).
  EXPECT_EQ(FileBytes(Path("out.bmp")), FileBytes(pic));
}

TEST_F(Replay, UndoAndRedoGiveTheStrokesReplayedWithoutTheUndoneOne) {
  const std::string pic = Picture(83, 61);
  int checked = 0;
  for (uint32_t seed = 40; seed < 80 && checked < 4; ++seed) {
    // A, B and C are one stroke each.
    const std::string A = "zoom 1.5\n" + RandomStrokes(seed, 124, 91, 1), B = RandomStrokes(seed + 100, 124, 91, 1),
                      C = RandomStrokes(seed + 200, 124, 91, 1);
    struct TOut {
      std::vector<TEntry> mask;
      std::string picture;
      bool operator==(const TOut&) const = default;
    };
    int n = 0;
    const auto run = [&](const std::string& text) {
      const std::string name = "s" + std::to_string(seed) + "_" + std::to_string(n++);
      TOut o;
      o.mask = MaskAfter(pic, Script(text, name + ".txt"), "", name + ".bmp");
      o.picture = FileBytes(Path(name + ".bmp"));
      return o;
    };
    const TOut a = run(A), ab = run(A + B), ac = run(A + C);
    if (a == ab || a == ac || a.mask == Identity(83, 61)) continue; // a stroke that changed nothing is no entry
    ++checked;
    EXPECT_EQ(run(A + B + "undo\n"), a) << seed;
    EXPECT_EQ(run(A + B + "undo\nredo\n"), ab) << seed;
    const TOut none = run(A + B + "undo\nundo\nundo\n");
    EXPECT_EQ(none.mask, Identity(83, 61)) << seed;
    EXPECT_EQ(none.picture, FileBytes(pic)) << seed;
    EXPECT_EQ(run(A + B + "undo\n" + C + "redo\n"), ac) << seed;
  }
  EXPECT_EQ(checked, 4);
}

TEST_F(Replay, PressesOutsideThePictureChangeNothing) {
  const std::string pic = Picture(50, 30);
  const std::string script = Script(
      "radius 20\ndown -25 10\nmove -21 40\ntick\nup -21 40\n"
      "tool smear\ndown 10 -21\nmove 60 -30\nup 60 -30\n"
      "zoom 2\ntool shrink\ndown 100 60\nmove 130 70\nup 130 70\n" // one past the last row/column at 20/10
      "down 2147483647 -2147483648\nup 0 0\n");
  EXPECT_EQ(MaskAfter(pic, script), Identity(50, 30));
  EXPECT_EQ(FileBytes(Path("out.bmp")), FileBytes(pic));
}

TEST_F(Replay, XOnlyStrokesLeaveEveryYUnchanged) {
  const std::string pic = Picture(70, 50);
  const char* tools[] = {"grow", "shrink"};
  const auto mask = MaskAfter(pic, Script(RandomStrokes(11, 70, 50, 20, "x", tools, 2)));
  const auto id = Identity(70, 50);
  ASSERT_EQ(mask.size(), id.size());
  bool xChanged = false;
  for (size_t n = 0; n < mask.size(); ++n) {
    ASSERT_EQ(mask[n].Y, id[n].Y) << n;
    xChanged |= mask[n].X != id[n].X;
  }
  EXPECT_TRUE(xChanged);
}

TEST_F(Replay, SettingsAreClampedToTheFieldsRanges) {
  const std::string pic = Picture(90, 70);
  const std::string strokes = "down 40 30\nmove 48 36\nmove 52 30\ntick\nup 52 30\n";
  const auto a = MaskAfter(pic, Script("strength 7.5\nradius 9999\nzoom 0.001\n" + strokes, "a.txt"), "", "a.bmp");
  const auto b = MaskAfter(pic, Script("strength 1\nradius 300\nzoom 0.05\n" + strokes, "b.txt"), "", "b.bmp");
  EXPECT_EQ(a, b);
  const auto c = MaskAfter(pic, Script("strength -3\nradius 2\nzoom 40\n" + strokes, "c.txt"), "", "c.bmp");
  const auto d = MaskAfter(pic, Script("strength 0.1\nradius 5\nzoom 10\n" + strokes, "d.txt"), "", "d.bmp");
  EXPECT_EQ(c, d);
  EXPECT_NE(a, c);
}

TEST_F(Replay, ProtectedDiscStaysReleasedOneMovesPressureScales) {
  const std::string pic = Picture(120, 90);
  const std::string protect = "tool protect\nradius 30\ndown 60 45\nup 60 45\n";
  const std::string grow = "tool grow\nradius 50\nstrength 1\ndown 30 45\nmove 60 45\nmove 90 45\nup 90 45\n";
  const auto kept = MaskAfter(pic, Script(protect + grow, "a.txt"), "", "a.bmp");
  const auto freed = MaskAfter(pic, Script(protect + "tool release\nradius 40\ndown 60 45\nup 60 45\n" + grow, "b.txt"), "", "b.bmp");
  const auto id = Identity(120, 90);
  int changed = 0;
  for (size_t n = 0; n < kept.size(); ++n) {
    const int32_t j = int32_t(n % 120) - 60, r = int32_t(n / 120) - 44;
    if (j * j + r * r <= 15 * 15) { EXPECT_EQ(kept[n], id[n]) << n; }
    changed += !(kept[n] == id[n]);
  }
  EXPECT_GT(changed, 1000);
  EXPECT_NE(freed[size_t(44) * 120 + 65], id[size_t(44) * 120 + 65]);
  const std::string stroke = "tool smear\ndown 30 45\nmove 60 50\nup 60 50\n";
  EXPECT_EQ(MaskAfter(pic, Script("pressure 0.5\n" + stroke, "c.txt"), "", "c.bmp"),
            MaskAfter(pic, Script("strength 0.2\n" + stroke, "d.txt"), "", "d.bmp"));
}

TEST_F(Replay, ScriptSyntaxCommentsTabsAndCrLf) {
  const std::string pic = Picture(40, 30);
  const auto a = MaskAfter(pic, Script("# a comment\r\n\r\n\ttool\tsmear \r\n  down 10 10\r\nmove 18 12\r\nup 18 12\r\n", "a.txt"),
                           "", "a.bmp");
  const auto b = MaskAfter(pic, Script("tool smear\ndown 10 10\nmove 18 12\nup 18 12\n", "b.txt"), "", "b.bmp");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, Identity(40, 30));
}

TEST_F(Replay, MalformedLinesAreReportedWithTheirNumber) {
  const std::string pic = Picture(20, 20);
  const char* bad[] = {"tool hammer", "axes z",      "normalize yes", "strength 0,4", "strength 1e3",
                       "strength",    "radius 5.5",  "radius",        "zoom nan",     "down 1",
                       "move 1 2 3",  "up a b",      "tick 1",        "paint 3 4",    "tool grow grow",
                       "undo 1",      "redo all",    "pressure 1.5", "pressure -0.1", "tool freeze"};
  for (const char* line : bad) {
    const std::string script = Script(std::string("tool smear\n\n# fine so far\n") + line + "\ndown 1 1\n");
    const TRun r = Run(pic + " " + script + " " + Path("x.bmp") + " --mask " + Path("x.mask"));
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_NE(r.err.find("Zeile 4"), std::string::npos) << line << ": " << r.err;
    EXPECT_FALSE(Exists("x.bmp")) << line;
    EXPECT_FALSE(Exists("x.mask")) << line;
  }
}

TEST_F(Replay, UnopenablePictureAndBadArguments) {
  const std::string script = Script("tick\n");
  TRun r = Run(Path("missing.bmp") + " " + script + " " + Path("x.bmp"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.bmp"), std::string::npos) << r.err;
  EXPECT_FALSE(Exists("x.bmp"));

  std::ofstream(Path("junk.bmp")) << "this is no picture";
  r = Run(Path("junk.bmp") + " " + script + " " + Path("x.bmp"));
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(r.err.empty());
  EXPECT_FALSE(Exists("x.bmp"));

  EXPECT_EQ(Run(Path("junk.bmp") + " " + script).status, 2);
  EXPECT_EQ(Run(Picture(4, 4) + " " + script + " " + Path("x.bmp") + " --frobnicate").status, 2);
}

TEST_F(Replay, AFailingPartWritesNoOutputAtAll) {
  // The animation cannot be written (its folder does not exist): neither picture nor mask appear.
  const std::string script = Script("down 2 2\nmove 3 3\nup 3 3\n");
  const TRun r = Run(Picture(8, 8) + " " + script + " " + Path("x.bmp") + " --mask " + Path("x.mask") +
                     " --animate " + Path("fehlt/x.gif"));
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(Exists("x.bmp"));
  EXPECT_FALSE(Exists("x.mask"));
  // Nor does a failing picture leave the mask or the animation, or any temporary file.
  const TRun p = Run(Picture(8, 8) + " " + script + " " + Path("fehlt/x.bmp") + " --mask " + Path("y.mask") +
                     " --animate " + Path("y.gif"));
  EXPECT_EQ(p.status, 1);
  EXPECT_FALSE(Exists("y.mask"));
  EXPECT_FALSE(Exists("y.gif"));
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".morphane-"), std::string::npos) << entry.path();
}

TEST_F(Replay, PalettePicturesArePromotedTo24BitsFirst) {
  TDib d{};
  newdib(&d, 9, 5, 8, nullptr, 0);
  for (int i = 0; i < 256; ++i) d.Info->bmiColors[i] = VRgbQuad{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 0};
  for (int32_t r = 0; r < 5; ++r)
    for (int32_t j = 0; j < 9; ++j) d.Bits[r * d.BytesPerLine + j] = uint8_t(j * 20 + r);
  char err[256];
  ASSERT_EQ(SaveDib(d, Path("pal.bmp").c_str(), err, sizeof err), 1) << err;
  deldib(d);
  const TRun r = Run(Path("pal.bmp") + " " + Script("tick\n") + " " + Path("o.bmp"));
  ASSERT_EQ(r.status, 0) << r.err;
  TDib out{};
  OpenDib(&out, Path("o.bmp").c_str(), 0, nullptr);
  ASSERT_NE(out.Bits, nullptr) << DibErrorText(&out);
  EXPECT_EQ(DibBitCount(out), 24);
  const uint8_t* p = out.Bits + 2 * out.BytesPerLine + 4 * 3; // column 4, row 2: index 82
  EXPECT_EQ(p[0], 82);
  EXPECT_EQ(p[1], 255 - 82);
  EXPECT_EQ(p[2], 41);
  deldib(out);
}

TEST_F(Replay, TimingLine) {
  const std::string pic = Picture(64, 64);
  const TRun r = Run(pic + " " + Script("down 10 10\nmove 11 11\ntick\nup 11 11\nmove 30 30\n") + " " + Path("o.bmp") +
                     " --timing");
  ASSERT_EQ(r.status, 0) << r.err;
  unsigned steps = 0;
  double median = -1, max = -1;
  ASSERT_EQ(std::sscanf(r.err.c_str(), "steps %u, median %lf ms, max %lf ms", &steps, &median, &max), 3) << r.err;
  EXPECT_EQ(steps, 3u); // press, move, tick; the move after the release is no step
  EXPECT_GE(max, median);
}

} // namespace

namespace {

TEST_F(Replay, ProjectGoesOnAsIfNeverSavedAndAppliesToOtherPictures) {
  const std::string pic = Picture(83, 61);
  const std::string a = "tool smear\nzoom 1.5\nstrength 0.7\nradius 15\nsmooth on\n"
                        "down 30 30\nmove 45 40\nup 45 40\ndown 80 50\nmove 70 60\ntick\nup 70 60\n";
  const std::string b = "down 60 20\nmove 50 35\nup 50 35\nundo\nredo\n";
  // A, saved, reopened, B: as A then B in one go (the settings of A still hold for B).
  ASSERT_EQ(Run(pic + " " + Script(a, "a.txt") + " " + Path("a.morphane")).status, 0);
  const auto resumed = MaskAfter(Path("a.morphane"), Script(b, "b.txt"), "", "resumed.bmp");
  const auto direct = MaskAfter(pic, Script(a + b, "ab.txt"), "", "direct.bmp");
  EXPECT_NE(direct, Identity(83, 61));
  EXPECT_EQ(resumed, direct);
  EXPECT_EQ(FileBytes(Path("resumed.bmp")), FileBytes(Path("direct.bmp")));
  // Undo after reopening takes back A's last stroke.
  const auto undone = MaskAfter(Path("a.morphane"), Script("undo\n", "u.txt"), "", "undone.bmp");
  const auto first = MaskAfter(pic, Script(a.substr(0, a.find("down 80")), "a1.txt"), "", "first.bmp");
  EXPECT_EQ(undone, first);
  EXPECT_EQ(FileBytes(Path("undone.bmp")), FileBytes(Path("first.bmp")));
  // Applied to a picture of the project's size: the project's result; to a larger one, scaled.
  const auto applied = MaskAfter(pic, Script("smooth on\n", "s.txt"), "--apply " + Path("a.morphane"), "applied.bmp");
  const auto done = MaskAfter(Path("a.morphane"), Script("", "e.txt"), "", "done.bmp");
  EXPECT_EQ(applied, done);
  EXPECT_EQ(FileBytes(Path("applied.bmp")), FileBytes(Path("done.bmp")));
  const auto bigger = MaskAfter(Picture(166, 122, "big.bmp"), Script("", "e.txt"), "--apply " + Path("a.morphane"));
  ASSERT_EQ(bigger.size(), 166u * 122u);
  EXPECT_NE(bigger, Identity(166, 122));
  // A damaged project is refused with its name and a German reason, and nothing is written.
  std::ofstream(Path("bad.morphane"), std::ios::binary) << "\x8BMPJ\r\n\x1A\n";
  const TRun bad = Run(Path("bad.morphane") + " " + Script("", "e.txt") + " " + Path("never.bmp"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("bad.morphane\xE2\x80\x9C kann nicht ge\xC3\xB6""ffnet werden: Die Datei ist"), std::string::npos) << bad.err;
  EXPECT_FALSE(Exists("never.bmp"));
}

} // namespace
