// SPDX-License-Identifier: GPL-3.0-or-later
#include "StretchDraw.h"
#include "picture_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace platform;

namespace {

constexpr COLORREF kBackground = RGB(1, 2, 3);

void DrawWhole(HDC dc, const TDib& dib, int32_t destWidth, int32_t destHeight) {
  StretchDrawDib(dc, 0, 0, destWidth, destHeight, dib, 0, 0, DibWidth(dib), DibHeight(dib), true,
                 SRCCOPY, true, nullptr);
}

// Every pixel of the device's rectangle equals expected(x, y).
void ExpectPixels(const TMemoryDeviceContext& dc, int32_t w, int32_t h,
                  const std::function<COLORREF(int32_t, int32_t)>& expected) {
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      ASSERT_EQ(dc.GetPixel(x, y), expected(x, y)) << "at " << x << "," << y;
}

class StretchDrawTest : public ::testing::Test {
protected:
  TScreenAndMessages env{32};
  long gdiObjects = LiveGdiObjectCount();
  long contexts = LiveDeviceContextCount();
  void TearDown() override {
    EXPECT_EQ(LiveGdiObjectCount(), gdiObjects) << "GDI objects leaked";
    EXPECT_EQ(LiveDeviceContextCount(), contexts) << "device contexts leaked";
  }
};

TEST_F(StretchDrawTest, EnlargingRepeatsColumnsAndResendsRowsWithoutCopying) {
  TOwnedDib pic(Make24(2, 2));
  TMemoryDeviceContext dc(4, 4, kBackground);
  // Once a row has been sent, spoil the picture row it came from: the next destination row
  // shows the same source row, and only a copy made anew would pick up the spoiled bytes.
  dc.afterSetDIBitsToDevice = [&](HPALETTE) {
    const int sent = dc.Counts().setDIBitsToDevice;
    if (sent == 1) std::memset(pic->Bits + pic->BytesPerLine, 0xEE, size_t(pic->BytesPerLine));
    if (sent == 3) std::memset(pic->Bits, 0xEE, size_t(pic->BytesPerLine));
  };
  DrawWhole(&dc, *pic, 4, 4);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice, 4);
  EXPECT_EQ(dc.Counts().stretchDIBits, 0);
  EXPECT_EQ(dc.GetStretchBltMode(), COLORONCOLOR);
  ExpectPixels(dc, 4, 4, [](int32_t x, int32_t y) { return TestColour(x / 2, y / 2); });
}

TEST_F(StretchDrawTest, HalfSizeTakesEverySecondColumnAndRowFromTheTop) {
  TOwnedDib pic(Make24(6, 4));
  TMemoryDeviceContext dc(5, 5, kBackground);
  DrawWhole(&dc, *pic, 3, 2);
  ExpectPixels(dc, 5, 5, [](int32_t x, int32_t y) {
    return (x < 3 && y < 2) ? TestColour(2 * x, 2 * y) : kBackground;
  });
}

TEST_F(StretchDrawTest, EightBitPicturesGoRowByRowThroughTheirColourTable) {
  const std::vector<COLORREF> colours{RGB(10, 20, 30), RGB(200, 100, 50), RGB(0, 255, 7)};
  TOwnedDib pic(MakePalette(3, 2, 8, colours, [](int32_t x, int32_t y) { return uint32_t((x + y) % 3); }));
  TMemoryDeviceContext dc(3, 2, kBackground);
  DrawWhole(&dc, *pic, 3, 2);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice, 2);
  ExpectPixels(dc, 3, 2, [&](int32_t x, int32_t y) { return colours[size_t((x + y) % 3)]; });
}

TEST_F(StretchDrawTest, SourceRectanglePastAnEdgeIsCutInProportion) {
  TOwnedDib pic(Make24(100, 3));
  TMemoryDeviceContext right(230, 3, kBackground), left(230, 3, kBackground);
  StretchDrawDib(&right, 0, 0, 220, 3, *pic, 0, 0, 110, 3, true, SRCCOPY, true, nullptr);
  StretchDrawDib(&left, 0, 0, 220, 3, *pic, -10, 0, 110, 3, true, SRCCOPY, true, nullptr);
  ExpectPixels(right, 230, 3, [](int32_t x, int32_t y) {
    return x < 200 ? TestColour(x / 2, y) : kBackground;
  });
  ExpectPixels(left, 230, 3, [](int32_t x, int32_t y) {
    return (x >= 20 && x < 220) ? TestColour((x - 20) / 2, y) : kBackground;
  });
}

TEST_F(StretchDrawTest, RowsCutAtTheTopMoveTheDestinationDownAndAtTheBottomKeepIt) {
  TOwnedDib pic(Make24(2, 10));
  // SrcY + SrcHeight reaches 2 rows above the picture: those 4 destination rows are dropped
  // at the top.
  TMemoryDeviceContext top(2, 24, kBackground);
  StretchDrawDib(&top, 0, 0, 2, 24, *pic, 0, 0, 2, 12, true, SRCCOPY, true, nullptr);
  ExpectPixels(top, 2, 24, [](int32_t x, int32_t y) {
    return (y >= 4 && y < 24) ? TestColour(x, (y - 4) / 2) : kBackground;
  });
  // SrcY below the picture: the cut rows are at the bottom, the top stays.
  TMemoryDeviceContext bottom(2, 24, kBackground);
  StretchDrawDib(&bottom, 0, 0, 2, 24, *pic, 0, -2, 2, 12, true, SRCCOPY, true, nullptr);
  ExpectPixels(bottom, 2, 24, [](int32_t x, int32_t y) {
    return y < 20 ? TestColour(x, y / 2) : kBackground;
  });
}

TEST_F(StretchDrawTest, RowsOutsideThePictureAreDrawnBlack) {
  TOwnedDib pic(Make24(2, 2));
  TMemoryDeviceContext dc(2, 4, kBackground);
  DrawRows24(&dc, 0, 0, 2, 4, *pic, 0, -1, 2, 4);
  ExpectPixels(dc, 2, 4, [](int32_t x, int32_t y) {
    return (y == 1 || y == 2) ? TestColour(x, y - 1) : RGB(0, 0, 0);
  });
}

TEST_F(StretchDrawTest, EmptyOrOutsideRectanglesDrawNothing) {
  TOwnedDib pic(Make24(4, 4));
  TMemoryDeviceContext dc(4, 4, kBackground);
  StretchDrawDib(&dc, 0, 0, 0, 4, *pic, 0, 0, 4, 4, true, SRCCOPY, true, nullptr);
  StretchDrawDib(&dc, 0, 0, 4, 4, *pic, 0, 0, 0, 4, true, SRCCOPY, true, nullptr);
  StretchDrawDib(&dc, 0, 0, 4, 4, *pic, 10, 0, 4, 4, true, SRCCOPY, true, nullptr);
  StretchDrawDib(nullptr, 0, 0, 4, 4, *pic, 0, 0, 4, 4, true, SRCCOPY, true, nullptr);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice + dc.Counts().stretchDIBits, 0);
  ExpectPixels(dc, 4, 4, [](int32_t, int32_t) { return kBackground; });
}

TEST_F(StretchDrawTest, PaletteScreensGetTheHalftonedCopyUnlessHalftoneIsOff) {
  env.SetDepth(8);
  TOwnedDib pic(Make24(8, 6));
  TOwnedDib probe;
  DIBHalftoneDIB(&*probe, *pic);
  const bool halftoneMade = probe->Bits != nullptr;
  probe.reset();

  TMemoryDeviceContext dc(8, 6, kBackground);
  HPALETTE before = dc.CurrentPalette();
  HPALETTE seen = nullptr;
  dc.afterStretchDIBits = [&](HPALETTE p) { seen = p; };
  for (const auto& [dw, dh] : {std::pair{8, 6}, std::pair{4, 3}}) {
    dc.ResetCounts();
    DrawWhole(&dc, *pic, dw, dh);
    EXPECT_EQ(dc.Counts().setDIBitsToDevice, 0);
    EXPECT_EQ(dc.Counts().stretchDIBits, halftoneMade ? 1 : 0);
    // The picture does not ask for its palette, yet the halftone path selects it and puts back
    // the one it replaced.
    EXPECT_EQ(dc.Counts().selectPalette, 2);
    EXPECT_EQ(dc.CurrentPalette(), before);
    if (halftoneMade) {
      EXPECT_EQ(seen, static_cast<HPALETTE>(pic->Palette));
    }
  }

  dc.ResetCounts();
  StretchDrawDib(&dc, 0, 0, 8, 6, *pic, 0, 0, 8, 6, false, SRCCOPY, true, nullptr);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice, 6);
  EXPECT_EQ(dc.Counts().selectPalette, 0);
  ExpectPixels(dc, 8, 6, TestColour);
}

TEST_F(StretchDrawTest, LowDepthPicturesAndPrintersGoThroughStretchDIBits) {
  const std::vector<COLORREF> two{RGB(250, 0, 0), RGB(0, 0, 250)};
  TOwnedDib one(MakePalette(9, 3, 1, two, [](int32_t x, int32_t y) { return uint32_t((x + y) & 1); }));
  std::vector<COLORREF> sixteen;
  for (int i = 0; i < 16; ++i) sixteen.push_back(RGB(uint8_t(i * 16), uint8_t(255 - i * 16), 9));
  TOwnedDib four(MakePalette(5, 3, 4, sixteen, [](int32_t x, int32_t y) { return uint32_t(x * 3 + y); }));

  TMemoryDeviceContext dc(9, 3, kBackground);
  DrawWhole(&dc, *one, 9, 3);
  EXPECT_EQ(dc.Counts().stretchDIBits, 1);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice, 0);
  ExpectPixels(dc, 9, 3, [&](int32_t x, int32_t y) { return two[size_t((x + y) & 1)]; });

  dc.ResetCounts();
  DrawWhole(&dc, *four, 5, 3);
  EXPECT_EQ(dc.Counts().stretchDIBits, 1);
  ExpectPixels(dc, 5, 3, [&](int32_t x, int32_t y) { return sixteen[size_t(x * 3 + y)]; });

  TMemoryDcOptions printer;
  printer.technology = DT_RASPRINTER;
  TMemoryDeviceContext paper(6, 4, kBackground, printer);
  TOwnedDib pic(Make24(3, 2));
  DrawWhole(&paper, *pic, 6, 4);
  EXPECT_EQ(paper.Counts().stretchDIBits, 1);
  EXPECT_EQ(paper.Counts().setDIBitsToDevice, 0);
  ExpectPixels(paper, 6, 4, [](int32_t x, int32_t y) { return TestColour(x / 2, y / 2); });
}

TEST_F(StretchDrawTest, RefusedStretchingFallsBackToHandResamplingWithMeetingCorners) {
  TMemoryDcOptions options;
  options.technology = DT_RASPRINTER; // 24-bit pictures reach the general path on printers
  options.refuseStretchDIBits = true;
  TMemoryDeviceContext dc(4, 3, kBackground, options);
  TOwnedDib pic(Make24(3, 2));
  DrawWhole(&dc, *pic, 4, 3);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice, 1);
  EXPECT_EQ(dc.Counts().createCompatibleBitmap, 0);
  EXPECT_TRUE(env.texts.empty());
  // Columns 0..3 take 0, 0, 1, 2 (2 x i div 3); memory rows 0..2 take 0, 0, 1 (1 x j div 2),
  // so only the top destination row shows the top picture row: the corners meet exactly.
  const int32_t col[4] = {0, 0, 1, 2};
  ExpectPixels(dc, 4, 3, [&](int32_t x, int32_t y) { return TestColour(col[x], y == 0 ? 0 : 1); });
}

TEST_F(StretchDrawTest, HandResamplingToOnePixelTakesTheMiddleOfTheSource) {
  TMemoryDcOptions options;
  options.technology = DT_RASPRINTER; // 24-bit pictures reach the general path on printers
  options.refuseStretchDIBits = true;
  TMemoryDeviceContext dc(1, 1, kBackground, options);
  TOwnedDib pic(Make24(5, 3));
  DrawWhole(&dc, *pic, 1, 1);
  EXPECT_EQ(dc.GetPixel(0, 0), TestColour(2, 1));
}

TEST_F(StretchDrawTest, HandResamplingKeepsFourBitNibbles) {
  TMemoryDcOptions options;
  options.refuseStretchDIBits = true;
  TMemoryDeviceContext dc(7, 2, kBackground, options);
  std::vector<COLORREF> sixteen;
  for (int i = 0; i < 16; ++i) sixteen.push_back(RGB(uint8_t(i * 15), 3, uint8_t(240 - i * 15)));
  TOwnedDib four(MakePalette(7, 2, 4, sixteen, [](int32_t x, int32_t y) { return uint32_t(x + 7 * y) % 16; }));
  DrawWhole(&dc, *four, 7, 2);
  ExpectPixels(dc, 7, 2, [&](int32_t x, int32_t y) { return sixteen[size_t(x + 7 * y) % 16]; });
}

TEST_F(StretchDrawTest, DevicesWithoutDibSupportDrawThroughABitmap) {
  TMemoryDcOptions options;
  options.technology = DT_RASPRINTER; // 24-bit pictures reach the general path on printers
  options.refuseStretchDIBits = true;
  options.rasterCaps = RC_BITBLT | RC_STRETCHBLT;
  TMemoryDeviceContext dc(6, 4, kBackground, options);
  TOwnedDib pic(Make24(3, 4));
  // A source band above the bottom: the bitmap's rows count from the top.
  StretchDrawDib(&dc, 0, 0, 6, 2, *pic, 0, 1, 3, 2, true, SRCCOPY, true, nullptr);
  EXPECT_EQ(dc.Counts().setDIBitsToDevice, 0);
  EXPECT_EQ(dc.Counts().createCompatibleBitmap, 1);
  EXPECT_EQ(dc.Counts().setDIBits, 1);
  EXPECT_EQ(dc.Counts().stretchBlt, 1);
  EXPECT_TRUE(env.texts.empty());
  ExpectPixels(dc, 6, 4, [](int32_t x, int32_t y) {
    return y < 2 ? TestColour(x / 2, y + 1) : kBackground;
  });
}

TEST_F(StretchDrawTest, EachRefusalOfTheBitmapFallbackShowsItsMessage) {
  struct Case {
    void (*refuse)(TMemoryDcOptions&);
    const char* text;
    int stretchBlts;
  };
  const Case cases[] = {
      {[](TMemoryDcOptions& o) { o.refuseCreateCompatibleBitmap = true; },
       "Konnte Bitmap nicht erzeugen!", 0},
      {[](TMemoryDcOptions& o) { o.refuseSetDIBits = true; },
       "Das Gerät unterstützt die Funtkion setdibits nicht!", 0},
      {[](TMemoryDcOptions& o) { o.refuseStretchBlt = true; },
       "Das Gerät unterstützt die Funktion StretchBlt nicht!", 1},
  };
  const std::vector<COLORREF> two{RGB(0, 0, 0), RGB(255, 255, 255)};
  TOwnedDib one(MakePalette(4, 4, 1, two, [](int32_t x, int32_t) { return uint32_t(x & 1); }));
  for (const Case& c : cases) {
    // A device that takes DIBs but whose hand-resampled transfer fails too.
    TMemoryDcOptions options;
    options.refuseStretchDIBits = true;
    options.refuseSetDIBitsToDevice = true;
    c.refuse(options);
    TMemoryDeviceContext dc(4, 4, kBackground, options);
    HPALETTE before = dc.CurrentPalette();
    env.texts.clear();
    env.captions.clear();
    env.flags.clear();
    DrawWhole(&dc, *one, 4, 4);
    ASSERT_EQ(env.texts.size(), 1u);
    EXPECT_EQ(env.texts[0], c.text);
    EXPECT_EQ(env.captions[0], "");
    EXPECT_EQ(env.flags[0], MB_OK);
    EXPECT_EQ(dc.Counts().stretchBlt, c.stretchBlts);
    EXPECT_EQ(dc.CurrentPalette(), before);
    ExpectPixels(dc, 4, 4, [](int32_t, int32_t) { return kBackground; });
  }
}

TEST_F(StretchDrawTest, TheChosenPaletteIsSelectedWhileDrawingAndPutBackAfter) {
  const std::vector<COLORREF> colours{RGB(1, 1, 1), RGB(2, 2, 2)};
  TOwnedDib pic(MakePalette(2, 2, 8, colours, [](int32_t x, int32_t) { return uint32_t(x); }));
  ASSERT_EQ(pic->UsePalette, 1);
  PALETTEENTRY entry{9, 9, 9, 0};
  LOGPALETTE log{0x300, 1, {entry}};
  HPALETTE external = CreatePalette(&log);

  TMemoryDeviceContext dc(2, 2, kBackground);
  HPALETTE entryPalette = dc.CurrentPalette();
  std::vector<HPALETTE> during;
  dc.afterSetDIBitsToDevice = [&](HPALETTE p) { during.push_back(p); };
  DrawWhole(&dc, *pic, 2, 2);
  StretchDrawDib(&dc, 0, 0, 2, 2, *pic, 0, 0, 2, 2, true, SRCCOPY, false, external);
  ASSERT_EQ(during.size(), 4u);
  EXPECT_EQ(during[0], static_cast<HPALETTE>(pic->Palette));
  EXPECT_EQ(during[2], external);
  EXPECT_EQ(dc.CurrentPalette(), entryPalette);
  EXPECT_EQ(dc.Counts().realizePalette, 2);

  // A picture that asks for no palette leaves the device's palette alone.
  dc.ResetCounts();
  TOwnedDib plain(Make24(2, 2));
  DrawWhole(&dc, *plain, 2, 2);
  EXPECT_EQ(dc.Counts().selectPalette, 0);
  DeleteObject(external);
}

TEST_F(StretchDrawTest, RoundingOfTheCutHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(2.5L), 2);
  EXPECT_EQ(RoundHalfEven(3.5L), 4);
  EXPECT_EQ(RoundHalfEven(-2.5L), -2);
  EXPECT_EQ(RoundHalfEven(2.4999L), 2);
  // Width 5, SrcWidth 4 of a 3-wide picture: 5 x 3 / 4 = 3.75 -> 4 columns.
  TOwnedDib pic(Make24(3, 1));
  TMemoryDeviceContext dc(6, 1, kBackground);
  StretchDrawDib(&dc, 0, 0, 5, 1, *pic, 0, 0, 4, 1, true, SRCCOPY, true, nullptr);
  EXPECT_NE(dc.GetPixel(3, 0), kBackground);
  EXPECT_EQ(dc.GetPixel(4, 0), kBackground);
  // 2 x 3 / 4 = 1.5 -> 2 (even), 6 x 1 / 4 = 1.5 -> 2.
  TMemoryDeviceContext half(3, 1, kBackground);
  StretchDrawDib(&half, 0, 0, 2, 1, *pic, 0, 0, 4, 1, true, SRCCOPY, true, nullptr);
  EXPECT_NE(half.GetPixel(1, 0), kBackground);
  EXPECT_EQ(half.GetPixel(2, 0), kBackground);
}

} // namespace
