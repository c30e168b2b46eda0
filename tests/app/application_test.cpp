// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: Qt's dialogs in German, exceptions from event handlers reported, a
// start whose pictures could not be created.
#include "window_fixture.h"

#include "Application.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

#include <dlfcn.h>

#include <stdexcept>

namespace {
int failingNewdibs = 0; // the next this many newdib calls fail as when memory runs out
}

// Stands in for the imaging library's newdib: fails while failingNewdibs is above 0, else
// passes the call on.
extern "C" void newdib(TDib* dest, int32_t width, int32_t height, int32_t bitCount,
                       const VBitmapInfo* paletteSource, int32_t colours) {
  using Fn = void (*)(TDib*, int32_t, int32_t, int32_t, const VBitmapInfo*, int32_t);
  static const Fn library = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "newdib"));
  if (failingNewdibs > 0) {
    --failingNewdibs;
    std::memset(dest, 0, sizeof *dest);
    return;
  }
  library(dest, width, height, bitCount, paletteSource, colours);
}

TEST(Application, QtsOwnButtonsAreGerman) {
  ASSERT_TRUE(TApplication::LoadGermanTranslations()) << "qt6-translations-l10n is not installed";
  QMessageBox box(QMessageBox::Information, "Programm beenden", "x", QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&'), "Abbrechen");
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:").remove('&'), "Dateiname:");
}

TEST_F(WindowTest, AnExceptionInAnEventHandlerIsReportedAndTheWindowStays) {
  TMainForm& f = make();
  f.PaintBox1->OnMouseDown = [](QMouseEvent*) { throw std::runtime_error("Testfehler im Handler"); };
  showPage(1);
  QTest::mousePress(f.PaintBox1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("Testfehler im Handler"), std::string::npos);
  EXPECT_NE(boxes[0].text.find("Fehler aufgetreten"), std::string::npos);
  EXPECT_EQ(boxes[0].flags, platform::MB_OK | platform::MB_ICONERROR);
  EXPECT_TRUE(f.isVisible());
  std::bad_alloc noMemory;
  EXPECT_NE(TApplication::ExceptionText(&noMemory).find("Arbeitsspeicher"), std::string::npos);
}

TEST_F(WindowTest, PicturesThatCouldNotBeCreatedAtStartStayEmpty) {
  failingNewdibs = 2;
  TMainForm& f = make();
  failingNewdibs = 0;
  EXPECT_EQ(f.FSourceDib.Bits, nullptr);
  EXPECT_EQ(f.PaintBox1->size(), QSize(0, 0));
  showPage(1);
  showPage(2);
  f.repaint();
  EXPECT_TRUE(boxes.empty());
}
