// SPDX-License-Identifier: GPL-3.0-or-later
// Reading Windows bitmap files of every supported variant, and refusing broken ones.
#include "decoder.h"
#include "file_support.h"

#include "platform/palette.h"

#include <gtest/gtest.h>

#include <cstring>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using vtest::BmpFile;
using vtest::PackRows;
using vtest::PixelRgbTop;

// A 5 x 3 test picture: colour of (x, row from the top).
uint32_t sample(int x, int y) { return uint32_t((x * 50) << 16 | (y * 100) << 8 | (x + y) * 20); }

// A record that opened, released at the end of the scope.
struct Opened {
  TDib dib;
  explicit Opened(const std::vector<uint8_t>& bytes) : dib(vtest::OpenBytes(bytes)) {}
  ~Opened() {
    if (dib.Bits != nullptr) deldib(dib);
  }
  bool ok() const { return dib.Bits != nullptr; }
  std::string error() const { return DibErrorText(&dib); }
  int bits() const { return dib.Info->bmiHeader.biBitCount; }
};

BmpFile palettePicture(int bits, bool topDown) {
  BmpFile f;
  f.width = 5;
  f.height = topDown ? -3 : 3;
  f.bitCount = uint16_t(bits);
  const int n = 1 << bits;
  for (int i = 0; i < n; ++i) f.palette.push_back({uint8_t(i * 7), uint8_t(255 - i), uint8_t(i)});
  // Index at (x, y from the top) is (x + 2y) mod n; stored rows run bottom-up unless top-down.
  f.pixels = PackRows(5, 3, bits, [&](int x, int r) {
    const int y = topDown ? r : 2 - r;
    return uint32_t((x + 2 * y) % n);
  });
  return f;
}

TEST(BmpRead, PaletteDepthsBothRowOrders) {
  for (int bits : {1, 4, 8})
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + (topDown ? " top-down" : " bottom-up"));
      BmpFile f = palettePicture(bits, topDown);
      // Stray bits beyond the width in the last byte of each 1-bit row.
      if (bits == 1)
        for (size_t r = 0; r < 3; ++r) f.pixels[4 * r] |= 0x07;
      Opened o(f.bytes());
      ASSERT_TRUE(o.ok()) << o.error();
      EXPECT_EQ(o.bits(), bits);
      EXPECT_EQ(o.dib.Info->bmiHeader.biHeight, 3); // stored bottom-up whatever the file did
      const int n = 1 << bits;
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
          const int i = (x + 2 * y) % n;
          EXPECT_EQ(PixelRgbTop(o.dib, x, y), uint32_t((i * 7) << 16 | (255 - i) << 8 | i));
        }
      // The colours are in LogPal too, and the palette handle was made from them.
      EXPECT_EQ(o.dib.LogPal.palPalEntry[1].peRed, 7);
      EXPECT_EQ(o.dib.LogPal.palNumEntries, n);
      ASSERT_NE(o.dib.Palette, nullptr);
      platform::PALETTEENTRY e{};
      platform::GetPaletteEntries(static_cast<platform::HPALETTE>(o.dib.Palette), 1, 1, &e);
      EXPECT_EQ(e.peGreen, 254);
      // Bits beyond the width in the last byte of a row are cleared.
      if (bits == 1) {
        for (int r = 0; r < 3; ++r) EXPECT_EQ(o.dib.Bits[r * o.dib.BytesPerLine] & 0x07, 0);
      }
    }
}

TEST(BmpRead, TrueColourAndCoreHeaders) {
  for (int topDown : {0, 1}) {
    BmpFile f;
    f.width = 5;
    f.height = topDown ? -3 : 3;
    f.pixels = PackRows(5, 3, 24, [&](int x, int r) { return sample(x, topDown ? r : 2 - r); });
    Opened o(f.bytes());
    ASSERT_TRUE(o.ok()) << o.error();
    EXPECT_EQ(o.bits(), 24);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelRgbTop(o.dib, x, y), sample(x, y));
  }
  // 12-byte header: 16-bit sizes, 3-byte palette entries.
  BmpFile core = palettePicture(4, false);
  core.headerSize = 12;
  Opened o(core.bytes());
  ASSERT_TRUE(o.ok()) << o.error();
  EXPECT_EQ(PixelRgbTop(o.dib, 3, 1), uint32_t((5 * 7) << 16 | 250 << 8 | 5));
}

TEST(BmpRead, LargerInfoHeadersAndShortPalettes) {
  for (uint32_t hs : {52u, 56u, 108u, 124u}) {
    BmpFile f = palettePicture(8, false);
    f.headerSize = hs;
    Opened o(f.bytes());
    ASSERT_TRUE(o.ok()) << hs << ": " << o.error();
    EXPECT_EQ(PixelRgbTop(o.dib, 4, 2), uint32_t((8 * 7) << 16 | 247 << 8 | 8));
  }
  // biClrUsed = 3: only three colours stored; the others are black.
  BmpFile f = palettePicture(8, false);
  f.palette.resize(3);
  f.clrUsed = 3;
  f.pixels = PackRows(5, 3, 8, [](int x, int) { return uint32_t(x); });
  Opened o(f.bytes());
  ASSERT_TRUE(o.ok()) << o.error();
  EXPECT_EQ(PixelRgbTop(o.dib, 2, 0), uint32_t(14 << 16 | 253 << 8 | 2));
  EXPECT_EQ(PixelRgbTop(o.dib, 4, 0), 0u);
}

TEST(BmpRead, SixteenAndThirtyTwoBitsBecomeTwentyFour) {
  // Default 5-5-5 layout.
  BmpFile f16;
  f16.width = 2;
  f16.height = 1;
  f16.bitCount = 16;
  f16.pixels = PackRows(2, 1, 16, [](int x, int) { return x == 0 ? 0x7C00u : 0x001Fu; });
  Opened a(f16.bytes());
  ASSERT_TRUE(a.ok()) << a.error();
  EXPECT_EQ(a.bits(), 24);
  EXPECT_EQ(PixelRgbTop(a.dib, 0, 0), 0xFF0000u);
  EXPECT_EQ(PixelRgbTop(a.dib, 1, 0), 0x0000FFu);

  // 5-6-5 bit fields after a 40-byte header, and inside a 124-byte header.
  for (uint32_t hs : {40u, 124u}) {
    BmpFile f = f16;
    f.headerSize = hs;
    f.compression = 3;
    f.masks = {0xF800, 0x07E0, 0x001F};
    f.pixels = PackRows(2, 1, 16, [](int x, int) { return x == 0 ? 0x07E0u : 0x8410u; });
    Opened o(f.bytes());
    ASSERT_TRUE(o.ok()) << o.error();
    EXPECT_EQ(PixelRgbTop(o.dib, 0, 0), 0x00FF00u);
    // Half-way values of each channel: 16/31 and 32/63 of 255, rounded.
    EXPECT_EQ(PixelRgbTop(o.dib, 1, 0), uint32_t(132 << 16 | 130 << 8 | 132));
  }

  // 32 bits, plain (x8r8g8b8) and with swapped masks.
  BmpFile f32;
  f32.width = 1;
  f32.height = 1;
  f32.bitCount = 32;
  f32.pixels = PackRows(1, 1, 32, [](int, int) { return 0xAA123456u; });
  Opened b(f32.bytes());
  ASSERT_TRUE(b.ok()) << b.error();
  EXPECT_EQ(PixelRgbTop(b.dib, 0, 0), 0x123456u);
  f32.compression = 3;
  f32.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
  Opened c(f32.bytes());
  ASSERT_TRUE(c.ok()) << c.error();
  EXPECT_EQ(PixelRgbTop(c.dib, 0, 0), 0x563412u);
}

BmpFile rlePicture(int bits, std::vector<uint8_t> stream, int width = 6, int height = 3) {
  BmpFile f;
  f.width = width;
  f.height = height;
  f.bitCount = uint16_t(bits);
  f.compression = bits == 8 ? 1 : 2;
  for (int i = 0; i < (1 << bits); ++i) f.palette.push_back({uint8_t(i), uint8_t(i), uint8_t(i)});
  f.pixels = std::move(stream);
  return f;
}

// Palette index of (x, row from the bottom), colours being grey levels equal to the index.
int indexAt(const TDib& d, int x, int row) { return int(vtest::PixelRgb(d, x, row) & 0xFF); }

TEST(BmpRead, Rle8RunsDeltasAndAbsoluteRuns) {
  Opened o(rlePicture(8, {
                              3, 9,             // row 0: 9 9 9
                              0, 3, 1, 2, 3, 0, // absolute 1 2 3 (padded)
                              0, 0,             // end of line
                              0, 2, 2, 1,       // delta: x+2, row 2
                              2, 7,             // 7 7
                              0, 1,             // end of bitmap
                          })
               .bytes());
  ASSERT_TRUE(o.ok()) << o.error();
  const int want0[6] = {9, 9, 9, 1, 2, 3};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(indexAt(o.dib, x, 0), want0[x]);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(indexAt(o.dib, x, 1), 0); // skipped row
  const int want2[6] = {0, 0, 7, 7, 0, 0}; // the delta moved to x = 2
  for (int x = 0; x < 6; ++x) EXPECT_EQ(indexAt(o.dib, x, 2), want2[x]);
}

TEST(BmpRead, Rle4AlternatesNibbles) {
  Opened o(rlePicture(4, {
                              5, 0x12,          // 1 2 1 2 1
                              0, 0,             // end of line
                              0, 3, 0xAB, 0xC0, // absolute A B C, padded to a word
                              0, 1,
                          })
               .bytes());
  ASSERT_TRUE(o.ok()) << o.error();
  const int want0[5] = {1, 2, 1, 2, 1};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(indexAt(o.dib, x, 0), want0[x]);
  EXPECT_EQ(indexAt(o.dib, 0, 1), 0xA);
  EXPECT_EQ(indexAt(o.dib, 1, 1), 0xB);
  EXPECT_EQ(indexAt(o.dib, 2, 1), 0xC);
}

TEST(BmpRead, RleRunsAndDeltasPastThePictureAreClipped) {
  // Runs wider than the picture, an absolute run overflowing the row, a delta far beyond the
  // top: nothing may be written outside the 4 x 2 picture (the sanitizers watch), and what lies
  // inside is kept.
  Opened o(rlePicture(8, {
                              255, 5,                   // 255 pixels into a 4-pixel row
                              0, 6, 1, 2, 3, 4, 5, 6,   // absolute run at x=255
                              0, 0,
                              0, 8, 1, 2, 3, 4, 5, 6, 7, 8,
                              0, 2, 200, 200,           // delta out of the picture
                              3, 3,
                          },
                          4, 2)
               .bytes());
  ASSERT_TRUE(o.ok()) << o.error();
  for (int x = 0; x < 4; ++x) EXPECT_EQ(indexAt(o.dib, x, 0), 5);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(indexAt(o.dib, x, 1), x + 1);
  // Rows end at 4 pixels, the padding stays zero.
  EXPECT_EQ(o.dib.BytesPerLine, 4);
}

TEST(BmpRead, BrokenFilesAreRefusedWithAGermanMessage) {
  const long gdiBefore = platform::LiveGdiObjectCount();
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* expect; // a part of the message
  };
  std::vector<Case> cases;
  auto base = [] { return palettePicture(8, false); };
  {
    auto b = base().bytes();
    b.resize(10);
    cases.push_back({"cut inside the file header", b, "beschädigt"});
  }
  {
    BmpFile f = base();
    f.headerSize = 20;
    cases.push_back({"impossible header size", f.bytes(), "Kopfgröße"});
  }
  {
    auto b = base().bytes();
    b.resize(40);
    cases.push_back({"cut inside the info header", b, "beschädigt"});
  }
  {
    BmpFile f = base();
    f.clrUsed = 300;
    cases.push_back({"more colours than the depth allows", f.bytes(), "Farbtabelle"});
  }
  {
    BmpFile f = base();
    f.palette.resize(10);
    f.pixels.clear();
    f.clrUsed = 200;
    f.offBits = 14 + 40 + 40; // the pixel offset is inside the file; the palette is not
    auto b = f.bytes();
    b.resize(14 + 40 + 100);
    cases.push_back({"palette beyond the end", b, "Farbtabelle"});
  }
  {
    auto b = base().bytes();
    b.resize(b.size() - 5);
    cases.push_back({"pixel rows cut short", b, "unvollständig"});
  }
  {
    BmpFile f = base();
    f.offBits = 100000;
    cases.push_back({"pixel offset beyond the end", f.bytes(), "außerhalb"});
  }
  {
    BmpFile f = base();
    f.offBits = 20;
    cases.push_back({"pixel offset inside the header", f.bytes(), "außerhalb"});
  }
  {
    BmpFile f = base();
    f.bitCount = 7;
    cases.push_back({"odd depth", f.bytes(), "7 Bit"});
  }
  {
    BmpFile f = base();
    f.compression = 2;
    cases.push_back({"RLE4 on an 8-bit picture", f.bytes(), "Kompression"});
  }
  {
    BmpFile f = base();
    f.compression = 4;
    cases.push_back({"embedded JPEG", f.bytes(), "Kompression"});
  }
  {
    BmpFile f = base();
    f.width = 0;
    cases.push_back({"zero width", f.bytes(), "Größe"});
  }
  {
    BmpFile f = base();
    f.height = INT32_MIN;
    cases.push_back({"most negative height", f.bytes(), "Pixel"});
  }
  {
    BmpFile f = rlePicture(8, {3, 1, 0, 0, 3});
    cases.push_back({"RLE stream cut short", f.bytes(), "vorzeitig"});
  }
  {
    BmpFile f = rlePicture(4, {0, 9, 0x12});
    cases.push_back({"RLE absolute run cut short", f.bytes(), "vorzeitig"});
  }
  {
    BmpFile f;
    f.width = 20000;
    f.height = 20000;
    cases.push_back({"over the pixel limit", f.bytes(), "zu groß"});
  }
  for (const Case& c : cases) {
    Opened o(c.bytes);
    EXPECT_FALSE(o.ok()) << c.what;
    EXPECT_EQ(o.dib.Memory, nullptr) << c.what;
    EXPECT_NE(o.error().find(c.expect), std::string::npos) << c.what << ": " << o.error();
  }
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

#if defined(__SANITIZE_ADDRESS__)
#  define VTEST_UNDER_ASAN 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define VTEST_UNDER_ASAN 1
#  endif
#endif

TEST(BmpRead, TinyFilePromisingAHugePictureAllocatesNothingLarge) {
#ifdef VTEST_UNDER_ASAN
  GTEST_SKIP() << "address space limits do not work under the address sanitizer";
#else
  // 9000 x 9000 x 24 bits is under the pixel limit but needs 243 MB; the file holds 6 bytes of
  // pixels. In a child process whose address space is capped 64 MB above its current use, the
  // file must be refused with the truncation message, not by running out of memory.
  BmpFile f;
  f.width = 9000;
  f.height = 9000;
  f.pixels = {1, 2, 3, 4, 5, 6};
  const auto bytes = f.bytes();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t cap = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (64u << 20);
    const rlimit lim{cap, cap};
    setrlimit(RLIMIT_AS, &lim);
    TDib d;
    OpenDibMemory(&d, bytes.data(), bytes.size(), nullptr);
    const bool refused = d.Bits == nullptr &&
                         std::strstr(DibErrorText(&d), "unvollständig") != nullptr;
    _exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST(BmpRead, ReportsProgressPerRow) {
  vtest::ProgressRecorder window;
  BmpFile f;
  f.width = 2;
  f.height = 200;
  f.pixels = PackRows(2, 200, 24, [](int, int) { return 0u; });
  TDib d = vtest::OpenBytes(f.bytes(), &window);
  ASSERT_NE(d.Bits, nullptr);
  deldib(d);
  ASSERT_GE(window.values.size(), 100u);
  EXPECT_EQ(window.values.front(), 0);
  EXPECT_EQ(window.values.back(), 0); // the bar is emptied at the end
  bool reached100 = false;
  for (size_t i = 1; i + 1 < window.values.size(); ++i) {
    EXPECT_GE(window.values[i], window.values[i - 1]);
    reached100 = reached100 || window.values[i] == 100;
  }
  EXPECT_TRUE(reached100);
}

} // namespace

namespace {

TEST(BmpRead, CorruptedFilesNeverCrashOrLeak) {
  // Deterministic random corruption of valid files of several variants: every outcome must be
  // either a complete picture or a failed record with a message (the sanitizers watch reads
  // and writes; the palette count shows leaks).
  const long gdiBefore = platform::LiveGdiObjectCount();
  std::vector<std::vector<uint8_t>> seeds = {
      palettePicture(1, false).bytes(), palettePicture(4, true).bytes(),
      palettePicture(8, false).bytes(),
      rlePicture(8, {3, 9, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 7, 0, 1}).bytes(),
      rlePicture(4, {5, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1}).bytes()};
  BmpFile fields;
  fields.width = 3;
  fields.height = 2;
  fields.bitCount = 16;
  fields.compression = 3;
  fields.masks = {0xF800, 0x07E0, 0x001F};
  fields.pixels = PackRows(3, 2, 16, [](int x, int r) { return uint32_t(x * 1000 + r); });
  seeds.push_back(fields.bytes());
  uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u, state >> 8; };
  int opened = 0, refused = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<uint8_t> b = seeds[size_t(round) % seeds.size()];
    const int edits = 1 + int(next() % 4);
    for (int e = 0; e < edits; ++e) {
      // Mostly the headers and the palette's start, where the numbers are.
      const size_t at = next() % 3 ? next() % std::min<size_t>(b.size(), 70) : next() % b.size();
      b[at] = uint8_t(next());
    }
    if (next() % 8 == 0) b.resize(next() % b.size() + 1);
    TDib d = vtest::OpenBytes(b);
    if (d.Bits != nullptr) {
      ++opened;
      deldib(d);
    } else {
      ++refused;
      EXPECT_GT(std::strlen(DibErrorText(&d)), 5u);
    }
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
  EXPECT_EQ(platform::LiveGdiObjectCount(), gdiBefore);
}

} // namespace

TEST(BmpRead, AlphaIsComposedOverWhiteUnlessAllTransparent) {
  // Opaque red, half-transparent black, fully transparent green; alpha in the top byte.
  const uint32_t pixels[3] = {0xFFFF0000u, 0x80000000u, 0x0000FF00u};
  for (auto [header, compression] : {std::pair{124u, 3u}, {108u, 3u}, {56u, 3u}, {40u, 6u}}) {
    SCOPED_TRACE(header);
    BmpFile f;
    f.headerSize = header;
    f.width = 3;
    f.bitCount = 32;
    f.compression = compression;
    f.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    f.pixels = PackRows(3, 1, 32, [&](int x, int) { return pixels[x]; });
    Opened o(f.bytes());
    ASSERT_TRUE(o.ok()) << o.error();
    EXPECT_EQ(PixelRgbTop(o.dib, 0, 0), 0xFF0000u);
    EXPECT_EQ(PixelRgbTop(o.dib, 1, 0), 0x7F7F7Fu);
    EXPECT_EQ(PixelRgbTop(o.dib, 2, 0), 0xFFFFFFu);

    // Writers that leave alpha at 0 everywhere mean an opaque picture.
    f.pixels = PackRows(3, 1, 32, [&](int x, int) { return pixels[x] & 0xFFFFFFu; });
    Opened opaque(f.bytes());
    ASSERT_TRUE(opaque.ok()) << opaque.error();
    EXPECT_EQ(PixelRgbTop(opaque.dib, 1, 0), 0x000000u);
    EXPECT_EQ(PixelRgbTop(opaque.dib, 2, 0), 0x00FF00u);
  }
}
