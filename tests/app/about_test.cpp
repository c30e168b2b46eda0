// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutBoxUnit.h"
#include "window_fixture.h"

#include <QLabel>
#include <QTimer>

namespace {

TEST(AboutYear, FirstPlaceholderTakesTheYear) {
  EXPECT_EQ(InsertYear("(c) 2004-XXXX", 2031), "(c) 2004-2031");
  EXPECT_EQ(InsertYear("XXXX und XXXX", 987), "987 und XXXX");
  EXPECT_EQ(InsertYear("ohne Platzhalter", 2031), "ohne Platzhalter");
}

class AboutBoxTest : public WindowTest {};

TEST_F(AboutBoxTest, DialogShowsYearPictureAndItsButtons) {
  TAboutBox::CurrentYear() = [] { return 2031; };
  TAboutBox box(nullptr);
  TAboutBox::CurrentYear() = nullptr;
  EXPECT_EQ(box.windowTitle(), "Info");
  EXPECT_EQ(box.size(), QSize(664, 453));
  EXPECT_TRUE(box.Copyright->text().contains("2031"));
  EXPECT_FALSE(box.Copyright->text().contains("XXXX"));
  EXPECT_EQ(box.Copyright->geometry().topLeft(), QPoint(336, 40));
  EXPECT_EQ(box.Panel1->geometry(), QRect(8, 8, 649, 385));
  // Bevelled: lowered outside, raised inside, around the header colour.
  const QImage panel = box.Panel1->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRgb dark = QApplication::palette().color(QPalette::Dark).rgb();
  const QRgb light = QApplication::palette().color(QPalette::Light).rgb();
  EXPECT_EQ(panel.pixel(0, 0), dark);
  EXPECT_EQ(panel.pixel(648, 384), light);
  EXPECT_EQ(panel.pixel(1, 1), light);
  EXPECT_EQ(panel.pixel(647, 383), dark);
  EXPECT_EQ(panel.pixel(2, 200), qRgb(240, 202, 166));
  EXPECT_EQ(box.ProgramIcon->geometry(), QRect(16, 40, 306, 322));
  ASSERT_NE(box.ProgramIcon->Dib().Bits, nullptr); // the JPEG went through the imaging library
  EXPECT_EQ(DibWidth(box.ProgramIcon->Dib()), 306);
  EXPECT_EQ(DibHeight(box.ProgramIcon->Dib()), 322);
  EXPECT_EQ(box.BitBtn1->geometry(), QRect(241, 404, 181, 37));
  EXPECT_EQ(box.BitBtn1->Kind(), bkOK);
  EXPECT_EQ(box.BitBtnXP1->geometry(), QRect(336, 240, 169, 25));
  EXPECT_EQ(box.BitBtnXP1->Caption(), "www.morphane.example");

  box.BitBtnXP1->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].owner, static_cast<platform::HWND>(&box));
  EXPECT_EQ(opened[0].operation, "open");
  EXPECT_EQ(opened[0].file, "http://www.morphane.example");
  EXPECT_EQ(opened[0].showCommand, platform::SW_SHOW);
}

TEST_F(AboutBoxTest, AboutButtonShowsANewModalDialogEachTimeAndFreesIt) {
  TMainForm& form = make();
  int shown = 0;
  for (int round = 0; round < 2; ++round) {
    QTimer::singleShot(0, [&] {
      ASSERT_NE(AboutBox, nullptr);
      EXPECT_TRUE(AboutBox->isModal());
      EXPECT_EQ(AboutBox->parent(), &form);
      ++shown;
      AboutBox->BitBtn1->click();
    });
    form.ueberbtnClick(nullptr);
    EXPECT_EQ(AboutBox, nullptr);
  }
  EXPECT_EQ(shown, 2);
}

} // namespace
