// SPDX-License-Identifier: GPL-3.0-or-later
// Page "Motiv laden": choosing and loading pictures, the fields, zoom and radius after loading,
// the preview, the failure messages and the favourite folders.
#include "window_fixture.h"

#include "CommandLine.h"
#include "MainLoading.h"
#include "Project.h"
#include "ShellControls.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>
#include <QScrollBar>
#include <QTabWidget>

#include <cstring>
#include <ostream>
#include <fstream>
#include <functional>
#include <sstream>

// Readable failure messages.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

void Put16(QByteArray& b, uint16_t v) {
  b.append(char(v & 0xFF));
  b.append(char(v >> 8));
}
void Put32(QByteArray& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

// An uncompressed BMP file. pixel(x, y) with y from the top gives a palette index (1, 8 bits)
// or 0xRRGGBB (24 bits).
QByteArray Bmp(int32_t w, int32_t h, int bits, const std::function<uint32_t(int, int)>& pixel,
               const std::vector<uint32_t>& palette = {}) {
  const uint32_t stride = uint32_t((w * bits + 31) / 32 * 4);
  const uint32_t offBits = 14 + 40 + 4 * uint32_t(palette.size());
  QByteArray b("BM");
  Put32(b, offBits + stride * uint32_t(h));
  Put32(b, 0);
  Put32(b, offBits);
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, uint16_t(bits));
  Put32(b, 0);
  Put32(b, stride * uint32_t(h));
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, uint32_t(palette.size()));
  Put32(b, 0);
  for (uint32_t rgb : palette) Put32(b, rgb); // blue, green, red, 0 in file order
  for (int row = 0; row < h; ++row) {
    const int y = h - 1 - row; // rows bottom-up
    QByteArray line(int(stride), '\0');
    for (int x = 0; x < w; ++x) {
      const uint32_t v = pixel(x, y);
      if (bits == 24) {
        line[3 * x] = char(v & 0xFF);
        line[3 * x + 1] = char((v >> 8) & 0xFF);
        line[3 * x + 2] = char((v >> 16) & 0xFF);
      } else if (bits == 8) {
        line[x] = char(v);
      } else if (v) {
        line[x / 8] = char(uchar(line[x / 8]) | (0x80 >> (x % 8)));
      }
    }
    b += line;
  }
  return b;
}

QByteArray Solid24(int32_t w, int32_t h, uint32_t rgb) {
  return Bmp(w, h, 24, [rgb](int, int) { return rgb; });
}

std::string Slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

uint32_t SourcePixel(const TDib& dib, int32_t x, int32_t yFromBottom) {
  const uint8_t* p = dib.Bits + yFromBottom * dib.BytesPerLine + 3 * x;
  return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

class LoadingTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(pics.isValid());
    picDir = QDir::cleanPath(pics.path());
  }
  void TearDown() override {
    loading::SetOpenDibFunction({});
    loading::SetMaskLimit(savedLimit);
    WindowTest::TearDown();
  }
  std::string prog() const { return form->FProgramDir; }
  std::string picFolder() const { return picDir.toStdString() + "/"; }

  void Write(const QString& name, const QByteArray& bytes) {
    QFile file(picDir + "/" + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  // Turns the tree to `folder` and waits until the list shows `name` there.
  void Browse(const QString& folder, const QString& name) {
    form->JamShellTree1->SetSelectedFolder(folder);
    ASSERT_EQ(form->JamShellList1->Folder(), QDir::cleanPath(folder));
    const QString path = QDir(folder).filePath(name);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const QModelIndex i = form->JamShellList1->Model()->index(path);
          return i.isValid() && form->JamShellList1->visualRect(i).isValid();
        },
        5000));
  }
  void Select(const QString& name) {
    const QModelIndex i = form->JamShellList1->Model()->index(QDir(form->JamShellList1->Folder()).filePath(name));
    ASSERT_TRUE(i.isValid());
    form->JamShellList1->setCurrentIndex(i);
  }
  void DoubleClickSelected() {
    TJamShellList* list = form->JamShellList1;
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->currentIndex()).center());
  }
  // Loads picDir/name by double-clicking it in the file list.
  void Load(const QString& name) {
    Browse(picDir, name);
    Select(name);
    DoubleClickSelected();
  }
  QStringList Favourites() const {
    QStringList items;
    for (int i = 0; i < form->PrefListBox->count(); ++i) items << form->PrefListBox->item(i)->text();
    return items;
  }
  // Makes the editing view's client width `width` (the window grows or shrinks by the difference).
  void SetClientWidth(int width) {
    showPage(1);
    form->setMinimumSize(0, 0); // below the designed size, which is otherwise the smallest
    for (int attempt = 0; attempt < 3 && form->ScrollBox1->viewport()->width() != width; ++attempt) {
      form->resize(form->width() + width - form->ScrollBox1->viewport()->width(), form->height());
      QApplication::processEvents();
    }
    ASSERT_EQ(form->ScrollBox1->viewport()->width(), width);
    showPage(0);
  }

  QTemporaryDir pics;
  QString picDir;
  uint64_t savedLimit = loading::MaskLimit();
};

} // namespace

TEST_F(LoadingTest, DoubleClickOrEnterOnAFileLoadsIt) {
  make();
  Write("rot.bmp", Solid24(40, 30, 0xFF0000));
  Write("grau.bmp", Solid24(12, 7, 0x808080));
  EXPECT_EQ(form->PageControl2->currentIndex(), 0);

  Load("rot.bmp");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(DibWidth(form->FSourceDib), 40);
  EXPECT_EQ(DibHeight(form->FSourceDib), 30);
  EXPECT_EQ(SourcePixel(form->FSourceDib, 5, 5), 0xFF0000u);
  EXPECT_EQ(form->Breit->text(), "40 Pixels");
  EXPECT_EQ(form->Hoch->text(), "30 Pixels");
  EXPECT_EQ(form->PageControl2->currentIndex(), 1);
  EXPECT_EQ(Favourites(), QStringList{picDir + "/"});
  EXPECT_EQ(Slurp(prog() + "folders.dat"), picFolder() + "\r\n");

  // Enter on another file of the same folder: loaded, the folder stays the only favourite.
  showPage(0);
  Browse(picDir, "grau.bmp");
  Select("grau.bmp");
  QTest::keyClick(form->JamShellList1, Qt::Key_Return);
  EXPECT_EQ(DibWidth(form->FSourceDib), 12);
  EXPECT_EQ(form->Breit->text(), "12 Pixels");
  EXPECT_EQ(form->PageControl2->currentIndex(), 1);
  EXPECT_EQ(Favourites(), QStringList{picDir + "/"});
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LoadingTest, DoubleClickOrEnterOnAFolderOpensIt) {
  make();
  ASSERT_TRUE(QDir(picDir).mkpath("Urlaub/Strand"));
  Write("Urlaub/bild.bmp", Solid24(4, 4, 0));
  Browse(picDir, "Urlaub");
  Select("Urlaub");
  DoubleClickSelected();
  EXPECT_EQ(form->JamShellList1->Folder(), picDir + "/Urlaub");
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), picDir + "/Urlaub");

  Browse(picDir + "/Urlaub", "Strand");
  Select("Strand");
  QTest::keyClick(form->JamShellList1, Qt::Key_Enter);
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), picDir + "/Urlaub/Strand");

  // No picture was loaded, nothing joined the favourites, the page is still the first.
  EXPECT_EQ(DibWidth(form->FSourceDib), 320);
  EXPECT_EQ(form->PrefListBox->count(), 0);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(prog() + "folders.dat")));
  EXPECT_EQ(form->PageControl2->currentIndex(), 0);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LoadingTest, NothingSelectedOrANameBeingEditedLoadsNothing) {
  make();
  Write("a.bmp", Solid24(4, 4, 0));
  Browse(picDir, "a.bmp");
  form->JamShellList1->clearSelection();
  char key = 13;
  form->JamShellList1KeyPress(form->JamShellList1, key);
  form->JamShellList1DblClick(form->JamShellList1);
  EXPECT_EQ(form->PageControl2->currentIndex(), 0);

  Select("a.bmp");
  QTest::keyClick(form->JamShellList1, Qt::Key_F2);
  ASSERT_TRUE(form->JamShellList1->IsEditing());
  key = 13;
  form->JamShellList1KeyPress(form->JamShellList1, key);
  EXPECT_EQ(key, 13); // not swallowed: the editor takes it
  EXPECT_EQ(DibWidth(form->FSourceDib), 320);
  EXPECT_EQ(form->PrefListBox->count(), 0);
  EXPECT_EQ(form->PageControl2->currentIndex(), 0);
}

TEST_F(LoadingTest, FailedLoadShowsTheLibraryMessageAndStillMovesTheFolderUp) {
  make();
  form->AddToPrefFolders("/anderer/");
  // A BMP signature with an impossible depth: the library explains what is wrong.
  Write("kaputt.bmp", Bmp(4, 4, 7, [](int, int) { return 0u; }));
  const uint8_t* bitsBefore = form->FSourceDib.Bits;
  Load("kaputt.bmp");

  ASSERT_EQ(boxes.size(), 1u);
  const std::string file = picFolder() + "kaputt.bmp";
  // The decoder's reason does not name the file: the text does it first.
  const std::string named = "Die Datei \xE2\x80\x9E" + file + "\xE2\x80\x9C konnte nicht geladen werden.\n";
  EXPECT_EQ(boxes[0].text.rfind(named + "BMP-Dateien mit 7 Bit", 0), 0u) << boxes[0].text;
  EXPECT_EQ(boxes[0].caption, "Fehler");
  EXPECT_EQ(boxes[0].flags, platform::MB_OK);
  EXPECT_EQ(boxes[0].owner, static_cast<platform::HWND>(form.get()));
  // The picture and its fields stay; the folder is on top and the editing page is shown.
  EXPECT_EQ(form->FSourceDib.Bits, bitsBefore);
  EXPECT_EQ(form->Breit->text(), "320 Pixels");
  EXPECT_EQ(form->Tief->text(), "256");
  EXPECT_EQ(Favourites(), (QStringList{picDir + "/", "/anderer/"}));
  EXPECT_EQ(Slurp(prog() + "folders.dat"), picFolder() + "\r\n/anderer/\r\n");
  EXPECT_EQ(form->PageControl2->currentIndex(), 1);
}

TEST_F(LoadingTest, EveryErrorTextNamesTheFile) {
  make();
  std::string message;
  loading::SetOpenDibFunction([&](TDib* dest, const char*, int32_t option, void* window) {
    EXPECT_EQ(option, 0);
    EXPECT_EQ(window, static_cast<void*>(static_cast<platform::HWND>(form.get())));
    std::memset(dest, 0, sizeof *dest);
    std::strcpy(const_cast<char*>(DibErrorText(dest)), message.c_str());
  });
  const std::string file = "/irgendwo/bild.xyz";
  const std::string s = "Fehler: Die Datei " + file + " konnte nicht geladen werden!";
  const std::string named = "Die Datei \xE2\x80\x9E" + file + "\xE2\x80\x9C konnte nicht geladen werden.\n";
  const std::string naming = "\xE2\x80\x9E" + file + "\xE2\x80\x9C ist kaputt.";
  struct Case {
    std::string message, text, caption;
  };
  const Case cases[] = {
      {"", s, "Fehler"},
      {"abcde", s, "Fehler"},
      {"abcdef", named + "abcdef", "Fehler"},
      {"Fehlä", s, "Fehler"}, // five characters, six bytes
      {naming, naming, s},    // the library's text names the file already
  };
  for (const Case& c : cases) {
    boxes.clear();
    message = c.message;
    form->openfilenow(file);
    ASSERT_EQ(boxes.size(), 1u) << c.message;
    EXPECT_EQ(boxes[0].text, c.text) << c.message;
    EXPECT_EQ(boxes[0].caption, c.caption) << c.message;
    EXPECT_EQ(boxes[0].flags, platform::MB_OK);
  }
  EXPECT_EQ(form->Breit->text(), "320 Pixels");
  EXPECT_EQ(DibWidth(form->FSourceDib), 320);
}

TEST_F(LoadingTest, EveryDepthEndsAt24BitsWithFreshMaskAndFields) {
  make();
  // 1 bit: a coloured palette still gives black (index 0) and white (index 1).
  Write("eins.bmp", Bmp(17, 5, 1, [](int x, int y) { return uint32_t((x + y) % 2); }, {0x0000FF, 0x00FF00}));
  std::vector<uint32_t> grey(256);
  for (uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101u;
  grey[5] = 0x123456;
  Write("acht.bmp", Bmp(10, 9, 8, [](int x, int) { return x == 0 ? 5u : 200u; }, grey));
  Write("voll.bmp", Bmp(7, 3, 24, [](int x, int y) { return uint32_t(x * 16 + y); }));

  struct Case {
    QString name;
    int32_t w, h;
    uint32_t bottomLeft, bottomNext;
  };
  const Case cases[] = {
      {"eins.bmp", 17, 5, 0x000000, 0xFFFFFF}, // top-left (0,0) is index 0; bottom row y = 4
      {"acht.bmp", 10, 9, 0x123456, 0xC8C8C8},
      {"voll.bmp", 7, 3, 2, 18},
  };
  for (const Case& c : cases) {
    showPage(0);
    Load(c.name);
    SCOPED_TRACE(c.name.toStdString());
    ASSERT_EQ(DibBitCount(form->FSourceDib), 24);
    ASSERT_EQ(DibWidth(form->FSourceDib), c.w);
    ASSERT_EQ(DibHeight(form->FSourceDib), c.h);
    EXPECT_EQ(SourcePixel(form->FSourceDib, 0, 0), c.bottomLeft);
    EXPECT_EQ(SourcePixel(form->FSourceDib, 1, 0), c.bottomNext);
    EXPECT_EQ(form->Breit->text(), QString::number(c.w) + " Pixels");
    EXPECT_EQ(form->Hoch->text(), QString::number(c.h) + " Pixels");
    EXPECT_EQ(form->Tief->text(), "16777216");
    ASSERT_NE(form->FMask, nullptr);
    EXPECT_EQ(form->FMask[c.w * c.h - 1].X, c.w - 1);
    EXPECT_EQ(form->FMask[c.w * c.h - 1].Y, c.h - 1);
    ASSERT_NE(form->FResultDib.Bits, nullptr);
    EXPECT_EQ(DibWidth(form->FResultDib), c.w);
    EXPECT_EQ(SourcePixel(form->FResultDib, 1, 0), c.bottomNext);
    EXPECT_EQ(form->PaintBox1->width(), c.w * form->FZoomNum / form->FZoomDen);
    EXPECT_EQ(form->PaintBox1->height(), c.h * form->FZoomNum / form->FZoomDen);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST(LoadingArithmetic, ZoomRadiusAndPreviewSize) {
  EXPECT_EQ(loading::FitZoom(534, 320), 1.66875L);
  EXPECT_EQ(loading::FitZoom(534, 4000), 534.0L / 4000.0L);
  EXPECT_EQ(loading::FitZoom(534, 10), 53.4L);
  EXPECT_EQ(loading::FitRadius(320, 534), 29);
  EXPECT_EQ(loading::FitRadius(4000, 534), 374);
  EXPECT_EQ(loading::FitRadius(10, 534), 0);
  // No division by a client width of 0: the radius takes its limit, the zoom is 0.
  EXPECT_GT(loading::FitRadius(320, 0), 300);
  EXPECT_EQ(loading::FitZoom(0, 320), 0.0L);
  // width * 50 passes 2^31 for wide pictures.
  EXPECT_EQ(loading::FitRadius(50000000, 534), 4681647);

  const auto size = [](int32_t W, int32_t H, int32_t w, int32_t h) {
    const loading::TPreviewSize s = loading::PreviewSize(W, H, w, h);
    return std::pair(s.Width, s.Height);
  };
  EXPECT_EQ(size(242, 226, 320, 200), std::pair(242, 151));
  EXPECT_EQ(size(242, 226, 200, 320), std::pair(141, 226));
  EXPECT_EQ(size(242, 226, 242, 226), std::pair(242, 226));
  EXPECT_EQ(size(242, 226, 1, 100000000), std::pair(0, 226));
  EXPECT_EQ(size(242, 226, 100000000, 1), std::pair(242, 0));
  EXPECT_EQ(size(242, 226, 0, 5), std::pair(0, 0));
}

TEST_F(LoadingTest, ZoomAndRadiusFitTheEditingView) {
  make();
  SetClientWidth(534);
  Write("b320.bmp", Solid24(320, 20, 0));
  Write("b4000.bmp", Solid24(4000, 1, 0));
  Write("b10.bmp", Solid24(10, 1, 0));
  struct Case {
    QString name, zoom;
    long double radius;
  };
  // 4000 pixels wide: the range reaches 400, so the brush of about 50 screen pixels fits.
  const Case cases[] = {{"b320.bmp", "1,67", 29}, {"b4000.bmp", "0,13", 374}, {"b10.bmp", "10,00", 5}};
  for (const Case& c : cases) {
    showPage(0);
    ASSERT_EQ(form->ScrollBox1->viewport()->width(), 534);
    Load(c.name);
    EXPECT_EQ(form->ZoomEd->Text(), c.zoom) << c.name.toStdString();
    EXPECT_EQ(form->RadiusED->Value(), c.radius) << c.name.toStdString();
    // The zoom field's change set the ratio and the view's size.
    EXPECT_EQ(form->PaintBox1->width(), DibWidth(form->FSourceDib) * form->FZoomNum / form->FZoomDen);
  }

  // A view without width divides nothing by zero (the fixed width keeps the layout from
  // widening it again).
  showPage(0);
  form->ScrollBox1->setFixedWidth(0);
  Load("b320.bmp");
  EXPECT_EQ(form->ZoomEd->Text(), "0,05");
  EXPECT_EQ(form->RadiusED->Value(), 300);
}

TEST_F(LoadingTest, ZoomFitsTheViewEvenBeforeItsPageWasShown) {
  make();
  Write("b320.bmp", Solid24(320, 20, 0));
  Load("b320.bmp"); // the editing page has never been shown before this load
  const QString first = form->ZoomEd->Text();
  showPage(1);
  const int width = form->ScrollBox1->viewport()->width();
  ASSERT_GT(width, 320);
  EXPECT_EQ(first, QString::asprintf("%.2Lf", loading::FitZoom(width, 320)).replace('.', ','));

  // The window grows while the first page is shown: the next load fits the new width.
  showPage(0);
  form->resize(form->width() + 60, form->height());
  QApplication::processEvents();
  Load("b320.bmp");
  const QString second = form->ZoomEd->Text();
  showPage(1);
  EXPECT_EQ(form->ScrollBox1->viewport()->width(), width + 60);
  EXPECT_EQ(second, QString::asprintf("%.2Lf", loading::FitZoom(width + 60, 320)).replace('.', ','));
}

TEST_F(LoadingTest, ANewPictureStartsAtTheTopLeftOfBothViews) {
  make();
  // Tall: at the fitted zoom 10 taller than the editing view, unscaled taller than the result
  // view. Wide: at the smallest zoom still wider than the editing view.
  Write("tall.bmp", Solid24(50, 1000, 0));
  Write("wide.bmp", Solid24(12000, 40, 0));
  for (const bool vertical : {true, false}) {
    const QString name = vertical ? "tall.bmp" : "wide.bmp";
    Load(name);
    for (int page : {1, 2}) {
      showPage(page);
      comp::TScrollBox* box = page == 1 ? form->ScrollBox1 : form->ErgScrollBox;
      if (vertical) box->SetVertPosition(300);
      else box->SetHorzPosition(30);
      ASSERT_GT(vertical ? box->VertPosition() : box->HorzPosition(), 0) << page;
    }
    showPage(0);
    Load(name);
    for (comp::TScrollBox* box : {form->ScrollBox1, form->ErgScrollBox}) {
      EXPECT_EQ(box->HorzPosition(), 0) << name.toStdString();
      EXPECT_EQ(box->VertPosition(), 0) << name.toStdString();
    }
  }
}

TEST_F(LoadingTest, PreviewShowsThePictureTopLeftWithItsAspect) {
  make();
  Write("quer.bmp", Solid24(320, 200, 0xFF0000));
  Write("hoch.bmp", Solid24(200, 320, 0x00FF00));
  const auto render = [&] {
    form->DibPrevPaint->setGeometry(0, 0, 242, 226);
    QImage image(242, 226, QImage::Format_RGB32);
    image.fill(Qt::blue);
    form->DibPrevPaint->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
  };
  Load("quer.bmp");
  QImage image = render();
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(241, 150), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(241, 151), qRgb(0, 0, 255));

  showPage(0);
  Load("hoch.bmp");
  image = render();
  EXPECT_EQ(image.pixel(140, 225), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(141, 225), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(141, 0), qRgb(0, 0, 255));
}

TEST_F(LoadingTest, MaskOutOfMemoryFallsBackToTheBlankPicture) {
  make();
  Write("gross.bmp", Solid24(20, 20, 0x102030));
  loading::SetMaskLimit(20 * 20 - 1);
  Load("gross.bmp");

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("Arbeitsspeicher"), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("20 x 20"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].caption, "Fehler");
  // A white 320 x 200 picture with a mask of its own, rendered.
  ASSERT_EQ(DibWidth(form->FSourceDib), 320);
  ASSERT_EQ(DibHeight(form->FSourceDib), 200);
  EXPECT_EQ(SourcePixel(form->FSourceDib, 7, 9), 0xFFFFFFu);
  ASSERT_NE(form->FMask, nullptr);
  EXPECT_EQ(form->FMask[320 * 200 - 1].X, 319);
  EXPECT_EQ(form->FMask[320 * 200 - 1].Y, 199);
  ASSERT_NE(form->FResultDib.Bits, nullptr);
  EXPECT_EQ(DibWidth(form->FResultDib), 320);
  EXPECT_EQ(SourcePixel(form->FResultDib, 319, 199), 0xFFFFFFu);
  EXPECT_EQ(form->Breit->text(), "320 Pixels");
  EXPECT_EQ(Favourites(), QStringList{picDir + "/"});

  // Within the limit again, the picture loads.
  loading::SetMaskLimit(20 * 20);
  showPage(0);
  Load("gross.bmp");
  EXPECT_EQ(DibWidth(form->FSourceDib), 20);
  EXPECT_EQ(SourcePixel(form->FSourceDib, 3, 3), 0x102030u);
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(LoadingTest, TreeShowsTheProgramFolderAtStartBelowManyFolders) {
  // Forty folders sort before the program's: its row lies far below the first screenful.
  QDir top(picDir);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(top.mkdir(QString::asprintf("a%02d", i)));
  ASSERT_TRUE(top.mkdir("zprog"));
  form = std::make_unique<TMainForm>((picDir + "/zprog/morphane").toStdString());
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  TJamShellTree* tree = form->JamShellTree1;
  ASSERT_EQ(tree->SelectedFolder(), picDir + "/zprog");
  const auto inView = [tree](const QModelIndex& index) {
    return tree->viewport()->rect().contains(tree->visualRect(index));
  };
  // Shown once the folders above it are read, and still shown a while later.
  const auto firstSibling = [&] { return tree->Model()->index(picDir + "/a00"); };
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return tree->visualRect(firstSibling()).isValid() && inView(tree->currentIndex()); }, 5000));
  QTest::qWait(300);
  EXPECT_TRUE(inView(tree->currentIndex()));
  EXPECT_FALSE(inView(firstSibling()));
}

TEST_F(LoadingTest, PageStartsOnTheProgramFolderWithTheFirstFileType) {
  make();
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), QDir::cleanPath(dir.path()));
  EXPECT_EQ(form->JamShellList1->Folder(), QDir::cleanPath(dir.path()));
  EXPECT_EQ(form->FilterComboBox1->currentIndex(), 0);
  EXPECT_EQ(form->FilterComboBox1->Filter(), QString::fromLocal8Bit(project::OpenFilter(GetDIBOpenFilter())));
  EXPECT_EQ(form->JamShellList1->Filter(), form->FilterComboBox1->Mask());
  EXPECT_TRUE(form->JamShellList1->Filter().contains("*.bmp"));
  EXPECT_EQ(form->FilterComboBox1->geometry(), QRect(188, 3, 185, 21));
  EXPECT_EQ(comp::Hint(form->FilterComboBox1), "Hier können Sie die angezeigten Dateitypen wählen");
  EXPECT_EQ(form->Breit->text(), "320 Pixels");
  EXPECT_EQ(form->Hoch->text(), "200 Pixels");
  EXPECT_EQ(form->Tief->text(), "256");
  EXPECT_TRUE(form->Tief->isReadOnly());
  EXPECT_EQ(form->Panel15->Color(), comp::AppWorkspace());
  // The aligned panels keep their sizes through the first layout passes of the window.
  EXPECT_EQ(form->Panel5->height(), 33);
  EXPECT_EQ(form->Panel3->height(), 33);
  EXPECT_EQ(form->Panel18->width(), 121);
  EXPECT_EQ(form->Panel9->width(), 373);
  EXPECT_EQ(form->JamShellTree1->width(), 185);
  EXPECT_EQ(form->Panel11->height(), 25);
  EXPECT_EQ(form->Panel13->height(), 17);
  EXPECT_EQ(form->Panel14->height(), 79);

  // Picking another file type narrows the list at once.
  form->FilterComboBox1->setCurrentIndex(2);
  EXPECT_EQ(form->JamShellList1->Filter(), form->FilterComboBox1->Mask());
  EXPECT_NE(form->JamShellList1->Filter(), form->FilterComboBox1->Filter().split('|')[1]);
}

// ---------------------------------------------------------------------------------------------
// Favourite folders

TEST_F(LoadingTest, FavouritesComeFromTheFileAndGoBackByteForByte) {
  std::ofstream(programFile().substr(0, programFile().rfind('/')) + "/folders.dat", std::ios::binary)
      << "/X/\r\n/Y/\r\n/X/\r\n";
  make(false);
  EXPECT_EQ(Favourites(), (QStringList{"/X/", "/Y/", "/X/"}));
  form->AddToPrefFolders("/X/");
  EXPECT_EQ(Favourites(), (QStringList{"/X/", "/X/", "/Y/"}));
  EXPECT_EQ(Slurp(prog() + "folders.dat"), "/X/\r\n/X/\r\n/Y/\r\n");
  // A path that is not valid UTF-8 is shown as well as it goes but kept byte for byte.
  form->AddToPrefFolders("/b\xff/");
  form->AddToPrefFolders("/b\xff/");
  EXPECT_EQ(Slurp(prog() + "folders.dat"), "/b\xff/\r\n/X/\r\n/X/\r\n/Y/\r\n");
}

TEST_F(LoadingTest, FavouritesShowWholeRowsInTheirStrip) {
  std::ofstream(programFile().substr(0, programFile().rfind('/')) + "/folders.dat", std::ios::binary)
      << "/a/\r\n/b/\r\n/c/\r\n/d/\r\n/e/\r\n";
  make();
  QListWidget* list = form->PrefListBox;
  EXPECT_EQ(list->geometry(), QRect(0, 0, form->Panel3->width() - 121, 33).translated(121, 0));
  const int rows = list->viewport()->height() / 13;
  EXPECT_GE(rows, 2);
  EXPECT_EQ(list->viewport()->height(), rows * 13);
  for (const bool bottom : {false, true}) {
    if (bottom) list->scrollToBottom();
    QApplication::processEvents();
    const int first = list->indexAt(QPoint(1, 0)).row();
    for (int row = first; row < first + rows; ++row) {
      const QRect rect = list->visualItemRect(list->item(row));
      EXPECT_EQ(rect.height(), 13);
      EXPECT_TRUE(list->viewport()->rect().contains(rect)) << row;
    }
    EXPECT_EQ(first, bottom ? list->count() - rows : 0);
  }
}

TEST_F(LoadingTest, UnwritableFavouritesFileChangesOnlyTheList) {
  make(false);
  ASSERT_TRUE(QDir(dir.path()).mkdir("folders.dat")); // no file can take its place
  form->AddToPrefFolders("/a/");
  EXPECT_EQ(Favourites(), QStringList{"/a/"});
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(QFileInfo(dir.path() + "/folders.dat").isDir());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(LoadingTest, ChoosingAFavouriteTurnsTheTree) {
  QDir(picDir).mkdir("sub");
  std::ofstream(programFile().substr(0, programFile().rfind('/')) + "/folders.dat", std::ios::binary)
      << picFolder() << "\r\n/gibt/es/nicht/\r\n\r\n" << picFolder() << "sub/\r\n";
  make();
  QListWidget* list = form->PrefListBox;
  ASSERT_EQ(list->count(), 4);
  const QString start = form->JamShellTree1->SelectedFolder();

  // Enter without a selection does nothing.
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), start);

  list->setCurrentRow(0);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), picDir);
  EXPECT_EQ(form->JamShellList1->Folder(), picDir);

  list->setCurrentRow(3);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), picDir + "/sub");

  // A folder that is gone and an empty entry leave the tree where it is; the list keeps both.
  for (int row : {1, 2}) {
    list->setCurrentRow(row);
    form->PrefListBoxDblClick(list);
    EXPECT_EQ(form->JamShellTree1->SelectedFolder(), picDir + "/sub");
  }
  EXPECT_EQ(list->count(), 4);
  EXPECT_EQ(list->item(0)->text(), picDir + "/"); // choosing does not reorder
}

// ---------------------------------------------------------------------------------------------
// Opening from outside the window, and where an installed copy keeps its favourites

TEST(CommandLine, OnePictureOrFolderAtMost) {
  EXPECT_TRUE(ParseCommandLine({"morphane"}).Ok);
  EXPECT_TRUE(ParseCommandLine({"morphane"}).Path.isEmpty());
  EXPECT_EQ(ParseCommandLine({"morphane", "/bilder/a b.png"}).Path, "/bilder/a b.png");
  EXPECT_EQ(ParseCommandLine({"morphane", "--", "-seltsam.png"}).Path, "-seltsam.png");
  const TCommandLine two = ParseCommandLine({"morphane", "a.png", "b.png"});
  EXPECT_FALSE(two.Ok);
  EXPECT_FALSE(two.Error.isEmpty());
  EXPECT_FALSE(ParseCommandLine({"morphane", "--gibtsnicht"}).Ok);
}

TEST_F(LoadingTest, FileOrFolderFromOutsideOpensAsTheFileListDoes) {
  Write("rot.bmp", Solid24(6, 4, 0xFF0000));
  ASSERT_TRUE(QDir(picDir).mkdir("unter"));
  make();
  form->OpenFromOutside(picDir + "/unter");
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), picDir + "/unter");
  EXPECT_EQ(form->PageControl2->currentIndex(), 0);
  EXPECT_EQ(form->PrefListBox->count(), 0);

  form->OpenFromOutside(picDir + "/unter/../rot.bmp");
  EXPECT_EQ(DibWidth(form->FSourceDib), 6);
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), picDir);
  EXPECT_EQ(Favourites(), QStringList{picDir + "/"});
  EXPECT_EQ(form->PageControl2->currentIndex(), 1);
  EXPECT_TRUE(boxes.empty());

  // Dropped on the window from a file manager: the same way, once the drop has ended.
  Write("blau.bmp", Solid24(3, 5, 0x0000FF));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(picDir + "/blau.bmp")});
  const QPointF at(100, 100);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_TRUE(QTest::qWaitFor([&] { return DibWidth(form->FSourceDib) == 3; }, 2000));
  // Two files at once are not taken.
  data.setUrls({QUrl::fromLocalFile(picDir + "/blau.bmp"), QUrl::fromLocalFile(picDir + "/rot.bmp")});
  QDragEnterEvent two(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &two);
  EXPECT_FALSE(two.isAccepted());

  // A file that is not there: the message names it and nothing else changes.
  form->OpenFromOutside(picDir + "/fehlt.png");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(picFolder() + "fehlt.png"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(Favourites(), QStringList{picDir + "/"});
}

TEST_F(LoadingTest, InstalledCopyKeepsFavouritesInTheUserDataFolder) {
  // The layout of an installation: bin/morphane beside share/applications/morphane.desktop.
  ASSERT_TRUE(QDir(dir.path()).mkpath("usr/bin"));
  ASSERT_TRUE(QDir(dir.path()).mkpath("usr/share/applications"));
  QFile(dir.path() + "/usr/share/applications/morphane.desktop").open(QIODevice::WriteOnly);
  const std::string program = (dir.path() + "/usr/bin/morphane").toStdString();
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  QFile::remove(data + "/morphane/folders.dat"); // the test mode's data folder outlives a run
  form = std::make_unique<TMainForm>(program);
  EXPECT_EQ(form->JamShellTree1->SelectedFolder(), QDir::homePath());
  form->AddToPrefFolders("/bilder/");
  EXPECT_EQ(Slurp((data + "/morphane/folders.dat").toStdString()), "/bilder/\r\n");
  EXPECT_FALSE(QFile::exists(dir.path() + "/usr/bin/folders.dat"));
  form = std::make_unique<TMainForm>(program); // the next start
  EXPECT_EQ(Favourites(), QStringList{"/bilder/"});
  QFile::remove(data + "/morphane/folders.dat");
}

TEST_F(LoadingTest, APictureOpenedReducedSaysSoInAMessage) {
  make();
  loading::SetOpenDibFunction([](TDib* dest, const char*, int32_t, void*) {
    newdib(dest, 40, 30, 24, nullptr, 0);
    const int32_t own[2] = {16320, 12240}; // as the library notes a reduced picture's own size
    std::memcpy(dest->LibReserved3 + 4, own, sizeof own);
  });
  boxes.clear();
  form->openfilenow("/fotos/gross.jpg");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("16320 x 12240 Pixel (200 Megapixel)"), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("verkleinert auf 40 x 30 Pixel"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(form->Breit->text(), "40 Pixels");
}
