// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultSave.h"
#include "window_fixture.h"

#include "Components.h"
#include "ProgramFolders.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace {

TEST(SaveName, ExtensionDecidesAndMissingOneMeansBmp) {
  std::string target, message;
  EXPECT_TRUE(SaveTargetName("/tmp/bild", target, message));
  EXPECT_EQ(target, "/tmp/bild.bmp");
  EXPECT_TRUE(SaveTargetName("/tmp/ordner.v2/bild", target, message));
  EXPECT_EQ(target, "/tmp/ordner.v2/bild.bmp"); // a dot in a folder is no extension
  EXPECT_TRUE(SaveTargetName("/tmp/bild.", target, message));
  EXPECT_EQ(target, "/tmp/bild.bmp");
  for (const char* name : {"/a/b.PNG", "/a/b.jpeg", "/a/b.jpg", "/a/b.tif", "/a/b.TIFF", "/a/b.bmp"}) {
    EXPECT_TRUE(SaveTargetName(name, target, message)) << name;
    EXPECT_EQ(target, name);
  }
  EXPECT_FALSE(SaveTargetName("/a/b.gif", target, message));
  EXPECT_NE(message.find(".gif"), std::string::npos);
  EXPECT_NE(message.find("PNG"), std::string::npos);
}

class SaveTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")).clear();
    make(false);
    // A pattern in the result: every pixel different.
    TDib& r = form->FResultDib;
    for (int y = 0; y < DibHeight(r); ++y)
      for (int x = 0; x < DibWidth(r); ++x) {
        uint8_t* p = r.Bits + y * r.BytesPerLine + x * 3;
        p[0] = uint8_t(x * 2);
        p[1] = uint8_t(y * 3);
        p[2] = uint8_t(128 + (x + y) % 64);
      }
    comp::TSaveDialog::ExecuteHandler() = [this](comp::TSaveDialog& d) {
      initialDir = d.InitialDir;
      proposed = d.FileName;
      // The dialog back with the name of a save that failed: the user gives up.
      if (answerName.isEmpty() || d.FileName == answerName) return false;
      d.FileName = answerName;
      return true;
    };
  }
  void TearDown() override {
    comp::TSaveDialog::ExecuteHandler() = nullptr;
    WindowTest::TearDown();
  }
  QString path(const QString& name) const { return dir.path() + "/" + name; }
  // Largest channel difference between the result and the file read back; Mean gets the mean.
  int Difference(const QString& file, double* Mean = nullptr) {
    TDib back{};
    OpenDib(&back, file.toLocal8Bit().constData(), 0, nullptr);
    EXPECT_NE(back.Bits, nullptr) << file.toStdString();
    if (back.Bits == nullptr) return 999;
    const TDib& r = form->FResultDib;
    int worst = 0;
    double sum = 0;
    EXPECT_EQ(DibWidth(back), DibWidth(r));
    EXPECT_EQ(DibHeight(back), DibHeight(r));
    EXPECT_EQ(DibBitCount(back), 24);
    for (int y = 0; y < DibHeight(r) && DibBitCount(back) == 24; ++y)
      for (int x = 0; x < DibWidth(r); ++x)
        for (int c = 0; c < 3; ++c) {
          const int d = std::abs(int(back.Bits[y * back.BytesPerLine + x * 3 + c]) -
                                 int(r.Bits[y * r.BytesPerLine + x * 3 + c]));
          worst = std::max(worst, d);
          sum += d;
        }
    if (Mean != nullptr) *Mean = sum / (3.0 * DibWidth(r) * DibHeight(r));
    deldib(back);
    return worst;
  }
  QString answerName;
  QString initialDir, proposed;
};

TEST(SaveName, ProposedFromThePictureAndPdfGetsItsExtension) {
  EXPECT_EQ(ProposedSaveName(""), "Ergebnis.png");
  EXPECT_EQ(ProposedSaveName("/bilder/foto.JPG"), "foto-verformt.JPG");
  EXPECT_EQ(ProposedSaveName("/bilder/anim.gif"), "anim-verformt.png"); // GIF cannot be written
  EXPECT_EQ(ProposedSaveName("/bilder.v2/.versteckt"), ".versteckt-verformt.png");
  EXPECT_EQ(PdfFileName("/tmp/print1"), "/tmp/print1.pdf");
  EXPECT_EQ(PdfFileName("/tmp.d/druck."), "/tmp.d/druck.pdf");
  EXPECT_EQ(PdfFileName("/tmp/druck.PDF"), "/tmp/druck.PDF");
}

TEST_F(SaveTest, EveryFormatIsReadBackAndTheDialogStartsWhereTheUserIs) {
  answerName = path("a.bmp");
  form->BitBtn1Click(nullptr);
  EXPECT_EQ(Difference(path("a.bmp")), 0);
  EXPECT_EQ(initialDir, QDir::homePath()); // no picture yet, nothing saved before
  EXPECT_EQ(proposed, "Ergebnis.png");
  for (const char* name : {"a.png", "a.tif", "a.tiff"}) {
    answerName = path(name);
    form->BitBtn1Click(nullptr);
    EXPECT_EQ(Difference(path(name)), 0) << name;
    EXPECT_EQ(initialDir, dir.path()); // the folder saved to last
  }
  answerName = path("a.jpg");
  form->BitBtn1Click(nullptr);
  double mean = 0;
  Difference(path("a.jpg"), &mean);
  EXPECT_LT(mean, 4.0); // lossy, but the same picture
  EXPECT_TRUE(boxes.empty());

  // A new window (the next run) remembers the folder; without it, a loaded picture's folder
  // is where the dialog starts, with a name made from the picture's.
  QTemporaryDir pictures;
  const QString picture = pictures.path() + "/portrait.png";
  ASSERT_EQ(SaveDib(form->FResultDib, picture.toLocal8Bit().constData(), nullptr, 0), 1);
  make(false);
  form->openfilenow(picture.toStdString());
  answerName.clear();
  form->BitBtn1Click(nullptr);
  EXPECT_EQ(initialDir, dir.path());
  EXPECT_EQ(proposed, "portrait-verformt.png");
  QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")).clear();
  form->BitBtn1Click(nullptr);
  EXPECT_EQ(initialDir, pictures.path());
}

TEST_F(SaveTest, NameWithoutExtensionIsSavedAsBmpAfterAskingAboutAnExistingFile) {
  answerName = path("ergebnis");
  form->BitBtn1Click(nullptr);
  EXPECT_EQ(Difference(path("ergebnis.bmp")), 0);
  EXPECT_FALSE(QFile::exists(path("ergebnis")));
  // Saving again under the bare name would replace ergebnis.bmp: the user is asked.
  answer = platform::IDNO;
  const qint64 size = QFile(path("ergebnis.bmp")).size();
  form->BitBtn1Click(nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].flags & 0xF, platform::MB_YESNO);
  EXPECT_EQ(QFile(path("ergebnis.bmp")).size(), size);
}

TEST_F(SaveTest, UnknownExtensionIsRefusedWithAMessageAndNothingWritten) {
  answerName = path("bild.gif");
  form->BitBtn1Click(nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("TIFF"), std::string::npos);
  EXPECT_FALSE(QFile::exists(path("bild.gif")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter("bild").size(), 0);
}

TEST_F(SaveTest, CancelledDialogDoesNothing) {
  answerName.clear();
  form->BitBtn1Click(nullptr);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SaveTest, FailedWriteNamesTheFileAndLeavesTheOldOneWhole) {
  const QByteArray old = "altes Bild, bitte nicht beschädigen";
  {
    QFile f(path("alt.bmp"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(old);
  }
  // Files may not grow beyond 4 KiB: the 188 KiB picture cannot be written.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  answerName = path("alt.bmp");
  form->BitBtn1Click(nullptr);
  setrlimit(RLIMIT_FSIZE, &saved);

  ASSERT_EQ(boxes.size(), 1u);
  // The file once, and one sentence: the library's text is not wrapped in a second one.
  const std::string file = path("alt.bmp").toStdString();
  EXPECT_EQ(boxes[0].text.find(file), boxes[0].text.rfind(file)) << boxes[0].text;
  EXPECT_EQ(boxes[0].text.find("gespeichert"), boxes[0].text.rfind("gespeichert")) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("zu groß"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].flags & 0xF0, platform::MB_ICONERROR);
  QFile f(path("alt.bmp"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), old);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left behind

  boxes.clear();
  answerName = dir.path() + "/fehlt/bild.png";
  form->BitBtn1Click(nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("fehlt/bild.png"), std::string::npos);
  // The dialog came back with the name; the failed folder is not remembered for the next save.
  EXPECT_EQ(proposed, answerName);
  EXPECT_TRUE(folders::RememberedFolder(QStringLiteral("Speichern")).isEmpty());
}

TEST_F(SaveTest, UnsavedStrokesAskBeforeOpeningOrQuittingAndASaveOrAnUndoSettlesThem) {
  QImage other(40, 30, QImage::Format_RGB32);
  other.fill(Qt::red);
  other.save(path("anderes.png"));
  const auto stroke = [this] {
    form->FOutlineShown = false;
    form->ViewMouseDown(10, 10);
    form->ViewMouseMove(14, 12);
    form->ViewMouseUp(14, 12);
  };
  bool canClose = false;
  form->FormCloseQuery(form.get(), canClose); // nothing changed: the close question as ever
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Hiermit beenden Sie Morphane!");
  EXPECT_TRUE(canClose);

  stroke();
  ASSERT_TRUE(form->HasUnsavedWork());
  boxes.clear();
  answer = platform::IDCANCEL;
  form->OpenFromOutside(path("anderes.png"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].flags & 0xF, platform::MB_SAVEDISCARDCANCEL);
  EXPECT_EQ(form->PictureWidth(), 320); // still the edited picture
  form->FormCloseQuery(form.get(), canClose);
  EXPECT_FALSE(canClose);
  EXPECT_EQ(boxes.back().caption, "Programm beenden");

  // "Speichern" with the dialog cancelled cancels the quit; a save settles the strokes.
  answer = platform::IDYES;
  form->FormCloseQuery(form.get(), canClose);
  EXPECT_FALSE(canClose);
  answerName = path("gesichert.png");
  form->FormCloseQuery(form.get(), canClose);
  EXPECT_TRUE(canClose);
  EXPECT_TRUE(QFile::exists(answerName));
  EXPECT_FALSE(form->HasUnsavedWork());

  // Undone back to the saved state is no change; redone, it is again.
  stroke();
  form->Undo();
  EXPECT_FALSE(form->HasUnsavedWork());
  form->Redo();
  EXPECT_TRUE(form->HasUnsavedWork());
  boxes.clear();
  answer = platform::IDNO; // "Verwerfen"
  form->OpenFromOutside(path("anderes.png"));
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(form->PictureWidth(), 40);
  EXPECT_FALSE(form->HasUnsavedWork());
  // The first stroke on the new picture, taken back, leaves nothing to save either.
  stroke();
  EXPECT_TRUE(form->HasUnsavedWork());
  form->Undo();
  EXPECT_FALSE(form->HasUnsavedWork());
}

} // namespace
