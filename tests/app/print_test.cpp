// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutBoxUnit.h"
#include "PrintFUnit.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>

namespace {

TPrintOptions Opts(bool full, int w, int h, bool aspect, bool centre) {
  TPrintOptions o;
  o.FullPage = full;
  o.WidthPercent = w;
  o.HeightPercent = h;
  o.KeepAspect = aspect;
  o.Centre = centre;
  return o;
}

TEST(PrintPlacement, EachOptionPutsThePictureWhereTheUserExpects) {
  const QRect area(100, 50, 4000, 6000); // a portrait printable area
  const QSize wide(320, 200);
  // Whole area, proportions kept, centred: full width, 8:5 height, in the middle.
  EXPECT_EQ(PrintPlacement(area, wide, Opts(true, 50, 50, true, true)), QRect(100, 50 + (6000 - 2500) / 2, 4000, 2500));
  // Not centred: at the area's top left.
  EXPECT_EQ(PrintPlacement(area, wide, Opts(true, 50, 50, true, false)), QRect(100, 50, 4000, 2500));
  // Proportions not kept: the whole area.
  EXPECT_EQ(PrintPlacement(area, wide, Opts(true, 50, 50, false, true)), area);
  // Own size: that share of the area, stretched...
  EXPECT_EQ(PrintPlacement(area, wide, Opts(false, 50, 25, false, false)), QRect(100, 50, 2000, 1500));
  EXPECT_EQ(PrintPlacement(area, wide, Opts(false, 50, 25, false, true)), QRect(1100, 2300, 2000, 1500));
  // ... or the largest picture of its proportions inside that share.
  EXPECT_EQ(PrintPlacement(area, wide, Opts(false, 50, 10, true, false)), QRect(100, 50, 960, 600));
  EXPECT_EQ(PrintPlacement(area, wide, Opts(false, 100, 100, true, true)),
            PrintPlacement(area, wide, Opts(true, 1, 1, true, true)));
  // Nothing to place.
  EXPECT_TRUE(PrintPlacement(area, QSize(0, 10), Opts(true, 50, 50, true, true)).isEmpty());
  EXPECT_TRUE(PrintPlacement(QRect(), wide, Opts(true, 50, 50, true, true)).isEmpty());
  // Percentages outside 1..100 are held to it.
  EXPECT_EQ(PrintPlacement(area, wide, Opts(false, 500, 0, false, false)), QRect(100, 50, 4000, 60));
}

class PrintFormTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    TPrintForm::SettingsFile() = dir.path() + "/print.ini";
    make(false);
  }
  void TearDown() override {
    TPrintForm::SettingsFile().clear();
    WindowTest::TearDown();
  }
  QPrinter printer{QPrinter::HighResolution};
};

TEST_F(PrintFormTest, LayoutHasItsControlsPlacesRangesAndStartValues) {
  TPrintForm f(form.get(), form->FResultDib, printer);
  EXPECT_EQ(f.windowTitle(), "Bild drucken...");
  EXPECT_EQ(f.size(), QSize(427, 328));
  EXPECT_EQ(f.Panel1->geometry(), QRect(16, 24, 200, 225));
  EXPECT_EQ(f.PrintPaintBox->geometry(), QRect(4, 17, 190, 190));
  EXPECT_EQ(f.GroupBox1->geometry(), QRect(232, 24, 185, 129));
  EXPECT_EQ(f.GroupBox2->geometry(), QRect(232, 160, 185, 89));
  EXPECT_EQ(f.BreitEdit->parentWidget(), f.GroupBox1);
  EXPECT_EQ(f.HochEdit->parentWidget(), &f);
  EXPECT_EQ(f.HochEdit->geometry(), QRect(312, 120, 89, 22));
  for (QSpinBox* e : {f.BreitEdit, f.HochEdit}) {
    EXPECT_EQ(e->minimum(), 1);
    EXPECT_EQ(e->maximum(), 100);
    EXPECT_EQ(e->value(), 50);
    EXPECT_FALSE(e->isEnabled()); // only for "Benutzerdefiniert"
  }
  EXPECT_TRUE(f.UseFullCheck->isChecked());
  EXPECT_TRUE(f.SverhCheck->isChecked());
  EXPECT_TRUE(f.ZentrCheck->isChecked());
  EXPECT_EQ(f.OkBitBtn1->Caption(), "&OK");
  EXPECT_EQ(f.OkBitBtn1->Kind(), bkOK);
  EXPECT_EQ(f.CancelBitBtn2->Caption(), "A&bbrechen");
  EXPECT_EQ(f.CancelBitBtn2->Kind(), bkCancel);
  EXPECT_EQ(f.PrintSetupBtn->geometry(), QRect(125, 296, 177, 25));
  EXPECT_EQ(f.PrintSetupBtn->NumGlyphs(), 2);

  f.UserdefCheck->click();
  EXPECT_TRUE(f.BreitEdit->isEnabled());
  EXPECT_FALSE(f.Options().FullPage);
}

TEST_F(PrintFormTest, PercentagesAndOptionsAreKeptBetweenRuns) {
  {
    TPrintForm f(form.get(), form->FResultDib, printer);
    f.UserdefCheck->click();
    f.BreitEdit->setValue(70);
    f.HochEdit->setValue(30);
    f.ZentrCheck->click();
    f.open();
    f.CancelBitBtn2->click();
  }
  TPrintForm again(form.get(), form->FResultDib, printer);
  EXPECT_EQ(again.BreitEdit->value(), 70);
  EXPECT_EQ(again.HochEdit->value(), 30);
  EXPECT_FALSE(again.Options().FullPage);
  EXPECT_FALSE(again.Options().Centre);
  EXPECT_TRUE(again.Options().KeepAspect);
}

TEST_F(PrintFormTest, PrinterSetupButtonOpensTheSetup) {
  int asked = 0;
  TPrintForm::PrinterSetupHandler() = [&](QPrinter&) { ++asked; return true; };
  TPrintForm f(form.get(), form->FResultDib, printer);
  f.PrintSetupBtn->click();
  TPrintForm::PrinterSetupHandler() = nullptr;
  EXPECT_EQ(asked, 1);
}

TEST_F(PrintFormTest, PdfPageShowsThePictureWhereTheOptionsPutIt) {
  if (QStandardPaths::findExecutable("pdftoppm").isEmpty()) GTEST_SKIP() << "pdftoppm missing";
  // A red result picture with a blue band along its bottom (rows count from the bottom).
  TDib& r = form->FResultDib;
  for (int y = 0; y < DibHeight(r); ++y)
    for (int x = 0; x < DibWidth(r); ++x) {
      uint8_t* p = r.Bits + y * r.BytesPerLine + x * 3;
      p[0] = y < 20 ? 255 : 0;
      p[1] = 0;
      p[2] = y < 20 ? 0 : 255;
    }
  const QString pdf = dir.path() + "/druck.pdf";
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
  const TPrintOptions options = Opts(false, 50, 50, true, false); // half width, top left
  QString message;
  ASSERT_TRUE(PrintDib(printer, r, options, message)) << message.toStdString();

  QProcess render;
  render.start("pdftoppm", {"-r", "36", "-png", "-singlefile", pdf, dir.path() + "/seite"});
  ASSERT_TRUE(render.waitForFinished(30000));
  const QImage page(dir.path() + "/seite.png");
  ASSERT_FALSE(page.isNull());
  if (!qEnvironmentVariable("MORPHANE_SHOT_DIR").isEmpty())
    page.save(qEnvironmentVariable("MORPHANE_SHOT_DIR") + "/printed_page.png");
  // A4 at 36 dots per inch: 298 x 421; the margin is 20 mm = 28.3 dots.
  EXPECT_NEAR(page.width(), 298, 1);
  const double mm = 36 / 25.4;
  const double left = 20 * mm, top = 20 * mm, width = (210 - 40) * mm * 0.5;
  const double height = width * 200 / 320;
  auto colourAt = [&](double x, double y) { return page.pixelColor(int(x), int(y)); };
  auto reddish = [](QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; };
  auto white = [](QColor c) { return c.red() > 240 && c.green() > 240 && c.blue() > 240; };
  EXPECT_TRUE(reddish(colourAt(left + 3, top + 3)));
  EXPECT_TRUE(reddish(colourAt(left + width - 3, top + height / 2)));
  EXPECT_TRUE(white(colourAt(left - 4, top + 3)));            // the margin stays empty
  EXPECT_TRUE(white(colourAt(left + width + 4, top + 3)));    // right of the picture
  EXPECT_TRUE(white(colourAt(left + 3, top + height + 4)));   // below it
  EXPECT_TRUE(white(colourAt(page.width() / 2.0 + 60, page.height() / 2.0)));
  // The picture is upright: its bottom band (blue) is printed at the bottom.
  const QColor bottom = colourAt(left + width / 2, top + height - 2);
  EXPECT_GT(bottom.blue(), bottom.red()) << bottom.name().toStdString();
}

TEST_F(PrintFormTest, LandscapePictureGetsALandscapePageAndIsSentAtItsOwnSize) {
  for (const char* tool : {"pdfimages", "pdfinfo"})
    if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool << " missing";
  replacePicture(800, 500);
  const QString pdf = dir.path() + "/quer.pdf";
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  TPrintForm::OrientationChosen() = false;
  {
    TPrintForm f(form.get(), form->FResultDib, printer);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape) << "the page follows the picture";
  }
  QString message;
  ASSERT_TRUE(PrintDib(printer, form->FResultDib, TPrintOptions(), message)) << message.toStdString();
  const auto run = [](const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
  };
  const QRegularExpressionMatch page = QRegularExpression(R"(Page size:\s+([\d.]+) x ([\d.]+))").match(run("pdfinfo", {pdf}));
  ASSERT_TRUE(page.hasMatch());
  EXPECT_GT(page.captured(1).toDouble(), page.captured(2).toDouble()) << "a landscape page";
  // "page num type width height ...": one picture of the picture's own size, not upsampled.
  const QStringList images = run("pdfimages", {"-list", pdf}).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(images.size(), 3) << images.join('\n').toStdString();
  const QStringList row = images[2].simplified().split(' ');
  EXPECT_EQ(row[3], "800");
  EXPECT_EQ(row[4], "500");

  // An orientation set by the user in the printer set-up stays, whatever the picture.
  TPrintForm::PrinterSetupHandler() = [](QPrinter& p) { return p.setPageOrientation(QPageLayout::Portrait); };
  {
    TPrintForm f(form.get(), form->FResultDib, printer);
    f.PrintSetupBtn->click();
  }
  TPrintForm::PrinterSetupHandler() = nullptr;
  TPrintForm again(form.get(), form->FResultDib, printer);
  EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
  EXPECT_TRUE(TPrintForm::OrientationChosen());
  TPrintForm::OrientationChosen() = false;
}

} // namespace

namespace {

// Pictures of the two dialogs for a person to look at: MORPHANE_SHOT_DIR=<folder>.
TEST_F(PrintFormTest, ScreenshotsOfTheDialogs) {
  const QString shots = qEnvironmentVariable("MORPHANE_SHOT_DIR");
  if (shots.isEmpty()) GTEST_SKIP() << "MORPHANE_SHOT_DIR not set";
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  TDibImage picture;
  QFile jpeg(":/art/about.jpg");
  ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
  ASSERT_TRUE(picture.LoadFromMemory(jpeg.readAll()));
  TPrintForm f(form.get(), picture.Dib(), printer);
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  EXPECT_TRUE(f.grab().save(shots + "/print_dialog.png"));
  f.UserdefCheck->click();
  f.BreitEdit->setValue(60);
  f.HochEdit->setValue(30);
  f.ZentrCheck->click();
  QApplication::processEvents();
  EXPECT_TRUE(f.grab().save(shots + "/print_dialog_custom.png"));
  f.hide();
  TAboutBox box(form.get());
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  box.BitBtn1->setFocus();
  QApplication::processEvents();
  EXPECT_TRUE(box.grab().save(shots + "/about_dialog.png"));
}

} // namespace
