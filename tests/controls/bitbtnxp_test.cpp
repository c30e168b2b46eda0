// SPDX-License-Identifier: GPL-3.0-or-later
#include "ButtonsXP.h"
#include "VisualStyles.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(BitBtnXPKind, OkKindWithEmptyCaptionTakesCaptionGlyphRolesAndResult) {
  QDialog dialog;
  TBitBtnXP button(&dialog);
  button.SetKind(bkOK);
  EXPECT_EQ(button.Caption(), "OK");
  EXPECT_EQ(button.Kind(), bkOK);
  EXPECT_TRUE(button.Default());
  EXPECT_FALSE(button.Cancel());
  EXPECT_EQ(button.ModalResult(), mrOk);
  EXPECT_EQ(button.NumGlyphs(), 2);
  const QImage glyph(":/kinds/BBOKX.bmp");
  ASSERT_FALSE(glyph.isNull());
  EXPECT_EQ(glyph.size(), QSize(36, 18));
  EXPECT_EQ(button.Glyph().Image(), glyph);

  dialog.open();
  ASSERT_TRUE(dialog.isVisible());
  button.click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 1);
}

TEST(BitBtnXPKind, WhileLoadingAKindKeepsTheCaptionAlreadyGiven) {
  TBitBtnXP button;
  button.SetLoading(true);
  button.SetCaption("&OK");
  button.SetKind(bkOK);
  EXPECT_EQ(button.Caption(), "&OK");
  button.SetLoading(false);
  button.SetKind(bkCancel);
  EXPECT_EQ(button.Caption(), "Cancel");
}

TEST(BitBtnXPKind, ChangedRolesResultOrGlyphMakeTheButtonCustomForGood) {
  TBitBtnXP a;
  a.SetKind(bkOK);
  a.SetModalResult(mrCancel);
  EXPECT_EQ(a.Kind(), bkCustom);
  a.SetModalResult(mrOk); // putting it back does not bring the kind back
  EXPECT_EQ(a.Kind(), bkCustom);

  TBitBtnXP b;
  b.SetKind(bkCancel);
  b.SetDefault(true);
  EXPECT_EQ(b.Kind(), bkCustom);

  TBitBtnXP c;
  c.SetKind(bkYes);
  c.SetGlyph(QImage(":/kinds/BBNOX.bmp"));
  EXPECT_EQ(c.Kind(), bkCustom);

  TBitBtnXP d;
  d.SetKind(bkNo);
  EXPECT_EQ(d.Kind(), bkNo);
  EXPECT_EQ(d.ModalResult(), mrNo);
  EXPECT_TRUE(d.Cancel());
}

TEST(BitBtnXPKind, EveryKindHasItsCaptionAndTwoCellGlyph) {
  const struct { TBitBtnXPKind kind; const char* caption; QSize size; } rows[] = {
      {bkOK, "OK", {36, 18}},         {bkCancel, "Cancel", {36, 18}}, {bkHelp, "&Help", {36, 18}},
      {bkYes, "&Yes", {36, 18}},      {bkNo, "&No", {36, 18}},        {bkClose, "&Close", {36, 18}},
      {bkAbort, "Abort", {36, 18}},   {bkRetry, "&Retry", {36, 18}},  {bkIgnore, "&Ignore", {36, 18}},
      {bkAll, "&All", {36, 19}},
  };
  for (const auto& row : rows) {
    TBitBtnXP button;
    button.SetKind(row.kind);
    EXPECT_EQ(button.Caption(), row.caption);
    EXPECT_EQ(button.Glyph().Image().size(), row.size) << row.caption;
    EXPECT_EQ(button.Glyph().Image().depth() > 0, true);
    EXPECT_NE(button.GlyphObject().BuildStateImage(bsUp), -1) << row.caption;
  }
  EXPECT_TRUE(LoadKindGlyph(bkCustom).Empty());
}

TEST(BitBtnXPKind, CancelKindAnswersEscapeWithItsResult) {
  QDialog dialog;
  TBitBtnXP ok(&dialog), cancel(&dialog);
  ok.SetKind(bkOK);
  cancel.SetKind(bkCancel);
  dialog.open();
  QApplication::setActiveWindow(&dialog);
  ok.setFocus();
  QTest::keyClick(&ok, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), mrCancel);
}

TEST(BitBtnXPKind, EnterPressesTheFocusedButtonOutsideADialogToo) {
  TBitBtnXP print;
  int clicks = 0;
  QObject::connect(&print, &QPushButton::clicked, [&] { ++clicks; });
  print.setFocus();
  QTest::keyClick(&print, Qt::Key_Return);
  QTest::keyClick(&print, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(clicks, 2);
}

TEST(BitBtnXPProperties, MarginRefusesValuesBelowMinusOne) {
  TBitBtnXP button;
  EXPECT_EQ(button.Margin(), -1);
  button.SetMargin(3);
  button.SetMargin(-2);
  EXPECT_EQ(button.Margin(), 3);
  button.SetMargin(-1);
  EXPECT_EQ(button.Margin(), -1);
}

TEST(BitBtnXPProperties, DefaultsAndNumGlyphsLimit) {
  TBitBtnXP button;
  EXPECT_EQ(button.Kind(), bkCustom);
  EXPECT_EQ(button.Layout(), blGlyphLeft);
  EXPECT_EQ(button.Spacing(), 4);
  EXPECT_EQ(button.Style(), bsAutoDetect);
  EXPECT_EQ(button.NumGlyphs(), 1);
  button.SetNumGlyphs(9);
  EXPECT_EQ(button.NumGlyphs(), 4);
}

TEST(BitBtnXPProperties, CloseKindClosesItsWindow) {
  QWidget window;
  TBitBtnXP button(&window);
  button.SetKind(bkClose);
  window.show();
  button.click();
  EXPECT_FALSE(window.isVisible());
}

class ClassicPaint : public ::testing::Test {
protected:
  void SetUp() override { uxtheme::SetVisualStylesEnabled(false); }
  void TearDown() override { uxtheme::SetVisualStylesEnabled(true); }
  static QImage Render(TBitBtnXP& b) {
    QImage image(b.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter p(&image);
    b.PaintButton(p);
    return image;
  }
};

TEST_F(ClassicPaint, DefaultButtonGetsDarkFrameWhileFocusIsOnAnEdit) {
  QWidget window;
  QLineEdit edit(&window);
  TBitBtnXP def(&window), other(&window);
  def.setGeometry(10, 40, 90, 25);
  other.setGeometry(110, 40, 90, 25);
  def.SetDefault(true);
  window.show();
  QApplication::setActiveWindow(&window);
  edit.setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(def.ActiveDefault());
  EXPECT_FALSE(other.ActiveDefault());

  const QColor frame = def.GlyphObject().Colours().WindowFrame;
  const QColor highlight = def.GlyphObject().Colours().Highlight;
  const QImage withFrame = Render(def);
  EXPECT_EQ(withFrame.pixel(0, 0), frame.rgb());
  EXPECT_EQ(withFrame.pixel(45, 24), frame.rgb());
  EXPECT_EQ(withFrame.pixel(1, 1), highlight.rgb()); // the raised face starts inside the frame
  const QImage plain = Render(other);
  EXPECT_EQ(plain.pixel(0, 0), highlight.rgb());

  // Focus on another button takes the role away.
  other.setFocus();
  QApplication::processEvents();
  EXPECT_FALSE(def.ActiveDefault());
  EXPECT_TRUE(other.ActiveDefault());
}

TEST_F(ClassicPaint, FocusedButtonShowsDottedFocusRectangleFourPixelsInside) {
  QWidget window;
  TBitBtnXP button(&window);
  button.setGeometry(10, 10, 90, 25);
  window.show();
  QApplication::setActiveWindow(&window);
  button.setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(button.hasFocus());
  const QImage image = Render(button);
  const QColor frame = button.GlyphObject().Colours().WindowFrame;
  EXPECT_EQ(image.pixel(0, 0), frame.rgb());
  EXPECT_EQ(image.pixel(4, 4), frame.rgb());
  EXPECT_NE(image.pixel(5, 4), frame.rgb()); // dotted
  EXPECT_EQ(image.pixel(6, 4), frame.rgb());
}

TEST_F(ClassicPaint, GlyphWithMarginZeroStartsInsideTheTwoPixelEdge) {
  QImage strip(16, 16, QImage::Format_RGB32);
  strip.fill(Qt::red);
  strip.setPixelColor(0, 15, QColor(128, 128, 0)); // the transparent colour
  TBitBtnXP button;
  button.resize(90, 25);
  button.SetGlyph(strip);
  button.SetMargin(0);
  const QImage image = Render(button);
  const QRgb red = QColor(Qt::red).rgb();
  EXPECT_NE(image.pixel(1, 12), red);
  EXPECT_EQ(image.pixel(2, 12), red);
  EXPECT_EQ(image.pixel(17, 12), red);
  EXPECT_NE(image.pixel(18, 12), red);
}

TEST(ThemedPaint, FillsWithButtonColourAndDrawsNoClassicFrame) {
  uxtheme::SetVisualStylesEnabled(true);
  TBitBtnXP button; // the first button loads the styles
  ASSERT_TRUE(uxtheme::VisualStylesActive());
  button.resize(90, 25);
  button.SetCaption("Bild");
  QImage image(button.size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);
  {
    QPainter p(&image);
    button.PaintButton(p);
  }
  // Nothing of the background shows through: the client area is filled first.
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      ASSERT_NE(image.pixelColor(x, y), QColor(Qt::magenta)) << x << "," << y;
}

} // namespace
