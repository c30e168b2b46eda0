// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's start-up state, the close confirmation, the bottom bar and the wheel.
#include "window_fixture.h"

#include <QCheckBox>
#include <QPushButton>
#include <QScreen>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

namespace {

bool allBytes(const TDib& dib, uint8_t value) {
  const int32_t rowBytes = DibWidth(dib) * 3;
  for (int32_t y = 0; y < DibHeight(dib); ++y)
    for (int32_t i = 0; i < rowBytes; ++i)
      if (dib.Bits[y * dib.BytesPerLine + i] != value) return false;
  return true;
}

} // namespace

TEST_F(WindowTest, StartsWithBlankWhitePicturesAtOneToOne) {
  TMainForm& f = make();
  EXPECT_EQ(f.windowTitle(), "Morphane 2.0");
  EXPECT_EQ(f.frameGeometry().size(), QSize(638, 512));
  EXPECT_EQ(f.PageControl2->currentIndex(), 0);
  EXPECT_EQ(f.PageControl2->count(), 3);
  EXPECT_EQ(f.PageControl2->tabText(0), "Motiv laden");
  EXPECT_EQ(f.PageControl2->tabText(1), "Gesicht operieren");
  EXPECT_EQ(f.PageControl2->tabText(2), "Ergebnis verarbeiten");

  ASSERT_NE(f.FSourceDib.Bits, nullptr);
  ASSERT_NE(f.FResultDib.Bits, nullptr);
  EXPECT_EQ(DibWidth(f.FResultDib), 320);
  EXPECT_EQ(DibHeight(f.FResultDib), 200);
  EXPECT_EQ(DibBitCount(f.FResultDib), 24);
  EXPECT_TRUE(allBytes(f.FSourceDib, 255));
  EXPECT_TRUE(allBytes(f.FResultDib, 255));
  ASSERT_NE(f.FMask, nullptr);
  EXPECT_EQ(f.FMask[0].X, 0);
  EXPECT_EQ(f.FMask[199 * 320 + 319].X, 319);
  EXPECT_EQ(f.FMask[199 * 320 + 319].Y, 199);
  EXPECT_EQ(f.FZoomNum, 1);
  EXPECT_EQ(f.FZoomDen, 1);
  EXPECT_EQ(f.PaintBox1->size(), QSize(320, 200));
  EXPECT_EQ(f.FProgress, 0);
  EXPECT_FALSE(f.FStrokeActive);
  EXPECT_FALSE(f.Timer1->isActive());
  EXPECT_EQ(f.Timer1->interval(), 1000);
  EXPECT_EQ(f.SaveDialog1.InitialDir.toStdString(), f.FProgramDir);
  EXPECT_TRUE(f.SaveDialog1.OverwritePrompt);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, ToolBarStartsAsLaidOut) {
  TMainForm& f = make();
  EXPECT_TRUE(f.WachsenBtn->Down());
  for (auto* b : {f.SchrumpfenBtn, f.SchmierenBtn, f.ZerrenBtn, f.RadiererBtn}) EXPECT_FALSE(b->Down());
  // One exclusive group.
  f.ZerrenBtn->click();
  EXPECT_TRUE(f.ZerrenBtn->Down());
  EXPECT_FALSE(f.WachsenBtn->Down());
  EXPECT_EQ(f.ZerrenBtn->geometry(), QRect(3, 120, 78, 36));
  EXPECT_EQ(f.SchmierenBtn->toolTip(), "SchmierenBtn");
  EXPECT_EQ(f.WachsenBtn->toolTip(), "Wachsen");
  EXPECT_EQ(f.xyCheck->text(), "X && Y");
  EXPECT_TRUE(f.xyCheck->isChecked());
  EXPECT_TRUE(f.NormalizeCheck->isChecked());
  EXPECT_EQ(f.StarkED->Value(), 0.4L);
  EXPECT_EQ(f.RadiusED->Value(), 50);
  EXPECT_EQ(f.ZoomEd->Value(), 1);
  EXPECT_EQ(f.ZoomEd->size(), QSize(73, 22));
  EXPECT_EQ(f.RadiusED->Increment(), 5);
  // Hints are shown only on the tool bar; elsewhere they are kept but not shown.
  EXPECT_EQ(f.ZoomEd->toolTip(), "Stellt das Bild größer oder kleiner da");
  EXPECT_EQ(comp::Hint(f.endebtn), "Hiermit verlassen Sie das Programm");
  EXPECT_EQ(f.endebtn->geometry(), QRect(104, 8, 101, 30));
  EXPECT_EQ(f.SaveAsBtn->geometry(), QRect(8, 8, 145, 25));
  EXPECT_EQ(f.PrintBtn->text(), "Bild &drucken...");
  EXPECT_TRUE(f.endebtn->toolTip().isEmpty());
}

TEST_F(WindowTest, SpinEditsClampAndReadTheirTextInExtendedPrecision) {
  TMainForm& f = make(false);
  f.ZoomEd->SetText("0.1");
  EXPECT_EQ(f.ZoomEd->Value(), 0.1L);
  f.ZoomEd->SetText("25");
  EXPECT_EQ(f.ZoomEd->Value(), 10);
  f.ZoomEd->SetText("0,5");
  EXPECT_EQ(f.ZoomEd->Value(), 0.5L);
  f.RadiusED->SetText("2");
  EXPECT_EQ(f.RadiusED->Value(), 5);
  f.RadiusED->stepBy(2);
  EXPECT_EQ(f.RadiusED->Text(), "15");
  f.StarkED->stepBy(1);
  EXPECT_EQ(f.StarkED->Text(), "0,5");
  long double v = 0;
  EXPECT_FALSE(comp::TSpinEdit::ParseNumber("1e5", v));
  EXPECT_FALSE(comp::TSpinEdit::ParseNumber("", v));
  EXPECT_FALSE(comp::TSpinEdit::ParseNumber("abc", v));
}

TEST_F(WindowTest, SpinEditsShowTheValueUsedOnceEditingEndsWithTheDecimalComma) {
  TMainForm& f = make();
  showPage(1);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  EXPECT_EQ(f.StarkED->Text(), "0,4");
  EXPECT_EQ(f.RadiusED->Text(), "50");
  EXPECT_EQ(f.ZoomEd->Text(), "1");
  const auto type = [](comp::TSpinEdit* edit, const char* keys) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, keys);
  };

  // A typed point shows as the comma at once; Enter ends the editing.
  type(f.StarkED, "0.70");
  EXPECT_EQ(f.StarkED->Text(), "0,70");
  EXPECT_EQ(f.StarkED->Value(), 0.7L);
  QTest::keyClick(f.StarkED, Qt::Key_Return);
  EXPECT_EQ(f.StarkED->Text(), "0,7");

  // While typing the value is clamped already; the text follows when the focus leaves.
  type(f.RadiusED, "400");
  EXPECT_EQ(f.RadiusED->Value(), 300);
  f.RadiusED->clearFocus();
  EXPECT_EQ(f.RadiusED->Text(), "300");
  type(f.ZoomEd, "25");
  QTest::mouseClick(f.PaintBox1, Qt::LeftButton, {}, QPoint(5, 5)); // takes the focus
  EXPECT_EQ(f.ZoomEd->Text(), "10");
  EXPECT_EQ(f.FZoomNum / f.FZoomDen, 10);
  type(f.ZoomEd, "");
  QTest::keyClick(f.ZoomEd, Qt::Key_Delete);
  f.ZoomEd->clearFocus();
  EXPECT_EQ(f.ZoomEd->Text(), "0,05");

  // A text the program set keeps its form when the focus merely passes through.
  f.ZoomEd->SetText("1.50");
  EXPECT_EQ(f.ZoomEd->Text(), "1,50");
  f.ZoomEd->setFocus();
  QTest::keyClick(f.ZoomEd, Qt::Key_Return);
  f.ZoomEd->clearFocus();
  EXPECT_EQ(f.ZoomEd->Text(), "1,50");
}

TEST_F(WindowTest, ProgramDirIsTheProgramsFolderWithOneSlash) {
  TMainForm& f = make(false);
  EXPECT_EQ(f.FProgramDir, dir.path().toStdString() + "/");
  form.reset();
  TMainForm root("/morphane");
  EXPECT_EQ(root.FProgramDir, "/");
}

TEST_F(WindowTest, CancelInTheCloseQuestionKeepsEverything) {
  TMainForm& f = make();
  showPage(1);
  const uint8_t* bits = f.FSourceDib.Bits;
  const warp::TMaskEntry* mask = f.FMask;
  answer = platform::IDCANCEL;
  EXPECT_FALSE(f.close());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Hiermit beenden Sie Morphane!");
  EXPECT_EQ(boxes[0].caption, "Programm beenden");
  EXPECT_EQ(boxes[0].flags, 65u);
  EXPECT_EQ(boxes[0].owner, static_cast<platform::HWND>(&f));
  // The close box asks the same question.
  f.windowHandle()->close();
  QApplication::processEvents();
  EXPECT_EQ(boxes.size(), 2u);
  f.EndeBtnClick(nullptr);
  EXPECT_EQ(boxes.size(), 3u);
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.FSourceDib.Bits, bits);
  EXPECT_EQ(f.FMask, mask);
  EXPECT_EQ(f.PageControl2->currentIndex(), 1);
}

TEST_F(WindowTest, OkInTheCloseQuestionClosesTheWindow) {
  TMainForm& f = make();
  answer = platform::IDOK;
  // Let the deferred first resize settle, so that the click lands on the button.
  QTest::qWait(50);
  QTest::mouseClick(f.endebtn, Qt::LeftButton, {}, f.endebtn->rect().center());
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(f.isVisible());
  make();
  form->windowHandle()->close();
  QApplication::processEvents();
  EXPECT_FALSE(form->isVisible());
}

TEST_F(WindowTest, DestroyingReleasesPicturesAndMask) {
  TMainForm& f = make(false);
  f.FormDestroy(nullptr);
  EXPECT_EQ(f.FSourceDib.Bits, nullptr);
  EXPECT_EQ(f.FResultDib.Bits, nullptr);
  EXPECT_EQ(f.FMask, nullptr);
  form.reset(); // the destructor releases nothing a second time
}

TEST_F(WindowTest, WebButtonOpensTheMakersPage) {
  TMainForm& f = make();
  EXPECT_EQ(f.wwwBtn->text(), "www.morphane.example");
  f.wwwBtn->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].operation, "open");
  EXPECT_EQ(opened[0].file, "http://www.morphane.example");
  EXPECT_EQ(opened[0].parameters, "");
  EXPECT_EQ(opened[0].directory, "");
  EXPECT_EQ(opened[0].showCommand, platform::SW_SHOW);
  EXPECT_EQ(opened[0].owner, static_cast<platform::HWND>(&f));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowTest, WheelScrollsTheEditingViewTwentyPixelsANotch) {
  TMainForm& f = make();
  showPage(1);
  f.ZoomEd->SetText("10"); // a 3200 x 2000 view, seen from its top-left corner
  f.ScrollBox1->SetHorzPosition(0);
  f.ScrollBox1->SetVertPosition(0);
  QApplication::processEvents();
  ASSERT_GT(f.ScrollBox1->verticalScrollBar()->maximum(), 100);
  wheelOver(f.PaintBox1, -120);
  EXPECT_EQ(f.ScrollBox1->VertPosition(), 20);
  wheelOver(f.SpeedBar1, -240); // two notches at once, over another control of the page
  EXPECT_EQ(f.ScrollBox1->VertPosition(), 60);
  wheelOver(f.PaintBox1, 120);
  EXPECT_EQ(f.ScrollBox1->VertPosition(), 40);
  wheelOver(f.PaintBox1, 60); // half a notch does nothing yet
  EXPECT_EQ(f.ScrollBox1->VertPosition(), 40);
  wheelOver(f.PaintBox1, 60);
  EXPECT_EQ(f.ScrollBox1->VertPosition(), 20);
  wheelOver(f.ScrollBox1->viewport(), 1200);
  EXPECT_EQ(f.ScrollBox1->VertPosition(), 0);
  EXPECT_EQ(f.ScrollBox1->HorzPosition(), 0);
  EXPECT_EQ(f.ZoomEd->Value(), 10);
}

TEST_F(WindowTest, WheelScrollsTheResultPageAndNothingOnTheFirstPage) {
  TMainForm& f = make();
  replacePicture(1200, 1000);
  showPage(2);
  ASSERT_EQ(f.ErgPaintBox->size(), QSize(1200, 1000));
  wheelOver(f.ErgPaintBox, -120);
  EXPECT_EQ(f.ErgScrollBox->VertPosition(), 20);
  wheelOver(f.ErgPaintBox, 120);
  wheelOver(f.ErgPaintBox, 120);
  EXPECT_EQ(f.ErgScrollBox->VertPosition(), 0);

  f.ErgScrollBox->SetVertPosition(40);
  f.ScrollBox1->SetVertPosition(0);
  showPage(0);
  wheelOver(f.TabSheetMotivLaden, -120);
  wheelOver(f.PageControl2->tabBar(), -120);
  EXPECT_EQ(f.PageControl2->currentIndex(), 0);
  EXPECT_EQ(f.ErgScrollBox->VertPosition(), 40);
  EXPECT_EQ(f.ScrollBox1->VertPosition(), 0);
}

// Pictures of the three pages as the screen shows them, for looking at the window by eye:
// run under a real display with MORPHANE_SHOTS set to a folder.
TEST_F(WindowTest, ScreenshotsOfThePages) {
  const QString out = qEnvironmentVariable("MORPHANE_SHOTS");
  if (out.isEmpty()) GTEST_SKIP() << "MORPHANE_SHOTS is not set";
  TMainForm& f = make();
  QTest::qWait(500);
  for (int page = 0; page < 3; ++page) {
    showPage(page);
    if (page == 1) {
      f.PaintBox1MouseMove(f.PaintBox1, {}, 160, 100); // the brush outline over the view
    }
    QTest::qWait(300);
    const QPixmap shot = f.screen()->grabWindow(0);
    EXPECT_TRUE(shot.save(out + QString("/page%1.png").arg(page)));
  }
}

TEST_F(WindowTest, ControlsAreAlignedToTheEdgesAsLaidOut) {
  TMainForm& f = make();
  showPage(1);
  QWidget* client = f.centralWidget();
  // Status bar at the very bottom, the bottom bar above it, the pages fill the rest.
  EXPECT_EQ(f.StatusBar1->geometry(), QRect(0, client->height() - 19, client->width(), 19));
  EXPECT_EQ(f.Panel7->geometry(), QRect(0, client->height() - 19 - 41, client->width(), 41));
  EXPECT_EQ(f.OuterPanel->geometry(), QRect(0, 0, client->width(), client->height() - 60));
  EXPECT_EQ(f.Panel8->geometry(), QRect(f.Panel7->width() - 206, 0, 206, 41));
  // Header across the page; the tool bar left of the scroll box, both under it.
  EXPECT_EQ(f.Panel6->geometry(), QRect(0, 0, f.TabSheet2->width(), 33));
  EXPECT_EQ(f.Panel43->y(), 33);
  // Inside a panel with one raised bevel, aligned children start one pixel in.
  EXPECT_EQ(f.SpeedBar1->geometry(), QRect(1, 1, 84, f.Panel43->height() - 2));
  EXPECT_EQ(f.ScrollBox1->geometry(), QRect(85, 1, f.Panel43->width() - 86, f.Panel43->height() - 2));
  EXPECT_EQ(f.RxLabel9->pos(), QPoint(16, 10));
  EXPECT_EQ(f.Panel6->Color(), QColor(240, 202, 166));
  EXPECT_EQ(f.Panel6->BevelOuter(), comp::TBevel::Lowered);
  EXPECT_EQ(f.Panel6->BevelInner(), comp::TBevel::Raised);

  showPage(2);
  EXPECT_EQ(f.Panel21->geometry(), QRect(0, 33, 209, f.TabSheet4->height() - 33));
  EXPECT_EQ(f.Panel21->Color(), QColor(192, 220, 192));
  EXPECT_EQ(f.Panel22->geometry(), QRect(7, 7, 195, 284));
  EXPECT_EQ(f.Image1->geometry(), QRect(1, 1, 193, 282));
  EXPECT_EQ(f.Panel23->geometry(), QRect(8, 8, 177, 73));
  EXPECT_EQ(f.RxLabel27->geometry(), QRect(8, 8, 161, 57));
  EXPECT_TRUE(f.RxLabel27->wordWrap());
  EXPECT_EQ(f.Panel17->geometry(), QRect(1, 1, f.Panel1->width() - 2, 49));
  EXPECT_EQ(f.ErgScrollBox->y(), 50);
  EXPECT_EQ(f.ErgPaintBox->pos(), QPoint(0, 0));
  EXPECT_EQ(f.ErgPaintBox->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(WindowTest, SizeFieldsOfTheFirstPageShowTheirInitialTexts) {
  TMainForm& f = make(false);
  if (!f.Breit || !f.Hoch || !f.Tief) GTEST_SKIP() << "the first page has no size fields yet";
  // Fixed texts, not computed from the blank start picture.
  EXPECT_EQ(f.Breit->text(), "320 Pixels");
  EXPECT_EQ(f.Hoch->text(), "200 Pixels");
  EXPECT_EQ(f.Tief->text(), "256");
}
