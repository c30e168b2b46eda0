// SPDX-License-Identifier: GPL-3.0-or-later
#include "ButtonsXP.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

const QColor kOlive(128, 128, 0);

QImage Strip(int w, int h, QColor fill = kOlive) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(fill);
  return image;
}

TButtonColours TestColours() {
  TButtonColours c;
  c.Face = QColor(212, 208, 200);
  c.Highlight = QColor(250, 250, 250);
  c.Shadow = QColor(100, 100, 110);
  c.Text = Qt::black;
  c.WindowFrame = Qt::black;
  return c;
}

TEST(GlyphCells, StripWidthDecidesTheNumberOfCells) {
  TButtonGlyph glyph;
  glyph.SetGlyph(Strip(64, 16));
  EXPECT_EQ(glyph.NumGlyphs(), 4);
  glyph.SetGlyph(Strip(80, 16)); // five cells would be too many: one wide glyph
  EXPECT_EQ(glyph.NumGlyphs(), 1);
  glyph.SetNumGlyphs(2);
  glyph.SetGlyph(Strip(50, 16)); // not a whole multiple: the old value stays
  EXPECT_EQ(glyph.NumGlyphs(), 2);
  glyph.SetNumGlyphs(0);
  EXPECT_EQ(glyph.NumGlyphs(), 2);
}

TEST(GlyphCells, TransparentColourIsTheBottomLeftPixelUnlessFixed) {
  QImage image = Strip(32, 16, Qt::white);
  image.setPixelColor(0, 15, QColor(0, 128, 128));
  TButtonGlyph glyph;
  glyph.SetGlyph(image);
  EXPECT_EQ(glyph.TransparentColor(), QColor(0, 128, 128));
  TBitmap fixed(image);
  fixed.SetTransparentColor(Qt::white);
  glyph.SetGlyph(fixed);
  EXPECT_EQ(glyph.TransparentColor(), QColor(Qt::white));
}

TEST(GlyphCells, ChangesFireTheNotification) {
  TButtonGlyph glyph;
  int changes = 0;
  glyph.OnChange = [&] { ++changes; };
  glyph.SetGlyph(Strip(32, 16));
  EXPECT_GE(changes, 1);
  const int before = changes;
  glyph.SetNumGlyphs(glyph.NumGlyphs()); // same value: nothing
  EXPECT_EQ(changes, before);
  glyph.SetNumGlyphs(1);
  EXPECT_EQ(changes, before + 1);
}

class GlyphLayout : public ::testing::Test {
protected:
  void SetUp() override {
    font.setPixelSize(11);
    glyph.SetGlyph(Strip(16, 16));
  }
  QFont font{"DejaVu Sans"};
  TButtonGlyph glyph;
};

TEST_F(GlyphLayout, AutomaticMarginCentresGlyphAndCaptionAsAGroup) {
  const QFontMetrics fm(font);
  const QRect client(0, 0, 120, 30);
  const auto l = glyph.LayoutGlyphAndText(fm, client, "Drucken", blGlyphLeft, -1, 4, 0);
  const int t = l.TextBounds.width();
  ASSERT_GT(t, 0);
  const int margin = (120 - (16 + 4 + t) + 1) / 2;
  EXPECT_EQ(l.GlyphPos, QPoint(margin, (30 - 16 + 1) / 2));
  EXPECT_EQ(l.TextBounds.left(), margin + 16 + 4);
  EXPECT_EQ(l.TextBounds.top(), (30 - l.TextBounds.height() + 1) / 2);
  // Left and right margins differ by at most one pixel.
  EXPECT_LE(std::abs((120 - l.TextBounds.right() - 1) - l.GlyphPos.x()), 1);
}

TEST_F(GlyphLayout, WithoutCaptionTheGlyphAloneIsCentred) {
  const QFontMetrics fm(font);
  const auto l = glyph.LayoutGlyphAndText(fm, QRect(2, 3, 100, 30), "", blGlyphLeft, -1, 4, 0);
  EXPECT_EQ(l.GlyphPos, QPoint(2 + (100 - 16 + 1) / 2, 3 + (30 - 16 + 1) / 2));
  EXPECT_TRUE(l.TextBounds.isEmpty());
}

TEST_F(GlyphLayout, RightToLeftSwapsSidesAndTopLayoutStacks) {
  const QFontMetrics fm(font);
  const QRect client(0, 0, 120, 60);
  const auto rtl = glyph.LayoutGlyphAndText(fm, client, "Ende", blGlyphLeft, 5, 4, DT_RIGHT);
  EXPECT_EQ(rtl.GlyphPos.x(), 120 - 5 - 16);
  EXPECT_EQ(rtl.TextBounds.right() + 1, rtl.GlyphPos.x() - 4);

  const auto top = glyph.LayoutGlyphAndText(fm, client, "Ende", blGlyphTop, 2, -1, 0);
  EXPECT_EQ(top.GlyphPos, QPoint((120 - 16 + 1) / 2, 2));
  const int h = top.TextBounds.height();
  EXPECT_EQ(top.TextBounds.top(), 2 + 16 + (60 - (2 + 16) - h) / 2);

  const auto even = glyph.LayoutGlyphAndText(fm, client, "Ende", blGlyphLeft, -1, -1, 0);
  const int m = (120 - (16 + even.TextBounds.width())) / 3;
  EXPECT_EQ(even.GlyphPos.x(), m);
  EXPECT_EQ(even.TextBounds.left(), m + 16 + m);
}

TEST(GlyphStates, UpImageIsTransparentWhereTheBottomLeftColourIs) {
  QImage strip = Strip(32, 16);
  strip.setPixelColor(3, 3, Qt::red);
  TButtonGlyph glyph;
  glyph.SetColours(TestColours());
  glyph.SetGlyph(strip);
  const QImage up = glyph.StateImage(bsUp);
  ASSERT_EQ(up.size(), QSize(16, 16));
  EXPECT_EQ(qAlpha(up.pixel(0, 0)), 0);
  EXPECT_EQ(up.pixelColor(3, 3), QColor(Qt::red));
  // Two cells: the down state shares the up image.
  EXPECT_EQ(glyph.BuildStateImage(bsDown), glyph.BuildStateImage(bsUp));
}

TEST(GlyphStates, DisabledCellIsRecolouredToTheDesktopsColours) {
  QImage strip = Strip(32, 16);
  strip.setPixelColor(16 + 2, 2, Qt::white);
  strip.setPixelColor(16 + 4, 4, QColor(128, 128, 128));
  strip.setPixelColor(16 + 6, 6, Qt::red);
  strip.setPixelColor(0, 0, Qt::blue); // the up cell is not used
  TButtonGlyph glyph;
  glyph.SetColours(TestColours());
  glyph.SetGlyph(strip);
  const QImage d = glyph.StateImage(bsDisabled);
  EXPECT_EQ(d.pixelColor(2, 2), TestColours().Highlight);
  EXPECT_EQ(d.pixelColor(4, 4), TestColours().Shadow);
  EXPECT_EQ(d.pixelColor(6, 6), QColor(Qt::red));
  EXPECT_EQ(qAlpha(d.pixel(0, 0)), 0); // olive became face, and the face is see-through
  EXPECT_EQ(qAlpha(d.pixel(10, 15)), 0);
}

TEST(GlyphStates, SingleCellGlyphIsEmbossedWhenDisabled) {
  QImage strip = Strip(16, 16, Qt::white);
  strip.setPixelColor(5, 5, Qt::black);
  strip.setPixelColor(8, 8, QColor(255, 255, 0)); // other colours drop out, light ...
  strip.setPixelColor(10, 2, QColor(0, 0, 128));   // ... and dark alike
  TButtonGlyph glyph;
  glyph.SetColours(TestColours());
  glyph.SetGlyph(strip);
  ASSERT_EQ(glyph.NumGlyphs(), 1);
  const QImage d = glyph.StateImage(bsDisabled);
  EXPECT_EQ(d.pixelColor(5, 5), TestColours().Shadow);
  EXPECT_EQ(d.pixelColor(6, 6), TestColours().Highlight);
  EXPECT_EQ(qAlpha(d.pixel(8, 8)), 0);
  EXPECT_EQ(qAlpha(d.pixel(10, 2)), 0);
  EXPECT_EQ(qAlpha(d.pixel(11, 3)), 0);
  EXPECT_EQ(qAlpha(d.pixel(0, 15)), 0);

  // A two-colour glyph embosses its pixels that are not black.
  QImage mono(16, 16, QImage::Format_Mono);
  mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  mono.fill(0);
  mono.setPixel(3, 4, 1);
  glyph.SetGlyph(mono);
  const QImage m = glyph.StateImage(bsDisabled);
  EXPECT_EQ(m.pixelColor(3, 4), TestColours().Shadow);
  EXPECT_EQ(m.pixelColor(4, 5), TestColours().Highlight);
  EXPECT_EQ(qAlpha(m.pixel(9, 9)), 0);
}

TEST(GlyphCache, ListsAreSharedBySizeAndFreedWhenUnused) {
  auto* first = new TButtonGlyph;
  auto* second = new TButtonGlyph;
  first->SetGlyph(Strip(32, 16));
  second->SetGlyph(Strip(32, 16));
  first->BuildStateImage(bsUp);
  second->BuildStateImage(bsUp);
  ASSERT_NE(first->GlyphList(), nullptr);
  EXPECT_EQ(first->GlyphList(), second->GlyphList());
  TGlyphList* list = first->GlyphList();
  EXPECT_EQ(list->Count(), 2);
  const int freed = first->ImageIndex(bsUp);
  first->ReleaseImages();
  EXPECT_EQ(list->Count(), 1);
  first->BuildStateImage(bsDisabled);
  EXPECT_EQ(first->ImageIndex(bsDisabled), freed); // the freed slot is used again
  EXPECT_EQ(list->Capacity(), 2);
  delete first;
  delete second;
  EXPECT_EQ(SharedGlyphCache(), nullptr);
}

TEST(GlyphDraw, DrawsGlyphTransparentlyAndCaptionBesideIt) {
  QImage strip = Strip(16, 16);
  for (int i = 4; i < 12; ++i) strip.setPixelColor(i, 8, Qt::blue);
  TButtonGlyph glyph;
  glyph.SetColours(TestColours());
  glyph.SetGlyph(strip);
  QImage canvas(120, 30, QImage::Format_RGB32);
  canvas.fill(Qt::green);
  QPainter p(&canvas);
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  p.setFont(font);
  const QRect text = glyph.Draw(p, canvas.rect(), "Info", blGlyphLeft, -1, 4, bsUp, 0);
  p.end();
  const auto l = glyph.LayoutGlyphAndText(QFontMetrics(font), canvas.rect(), "Info", blGlyphLeft, -1, 4, 0);
  EXPECT_EQ(canvas.pixelColor(l.GlyphPos + QPoint(6, 8)), QColor(Qt::blue));
  EXPECT_EQ(canvas.pixelColor(l.GlyphPos), QColor(Qt::green)); // olive is see-through
  bool inked = false;
  for (int y = text.top(); y <= text.bottom(); ++y)
    for (int x = text.left(); x <= text.right(); ++x)
      inked = inked || canvas.pixelColor(x, y) != QColor(Qt::green);
  EXPECT_TRUE(inked);
}

} // namespace
