// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard on a real X server, through xclip as another program sees it: Ctrl+C offers the
// result as a PNG of exactly its pixels; a picture, or a picture file, put on the clipboard by
// another program opens with Ctrl+V as a new picture, the favourites untouched.
#include "window_fixture.h"

#include "PrintFUnit.h"

#include <QClipboard>
#include <QListWidget>
#include <QProcess>

namespace {

// Runs xclip while this program's event loop answers the X server (it may own the selection).
QByteArray xclip(const QStringList& arguments, const QByteArray& input = {}) {
  QProcess p;
  p.start("xclip", arguments);
  if (!p.waitForStarted(5000)) return "(kein xclip)";
  p.write(input);
  p.closeWriteChannel();
  for (int waited = 0; p.state() != QProcess::NotRunning && waited < 20000; waited += 20) QTest::qWait(20);
  return p.readAllStandardOutput();
}

class ClipboardTest : public WindowTest {
protected:
  void TearDown() override {
    QApplication::clipboard()->clear(); // a serving xclip gives up and ends
    WindowTest::TearDown();
  }
};

TEST_F(ClipboardTest, CopyGivesTheResultAndPasteOpensPicturesAndFiles) {
  make();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 20000));
  replacePicture(61, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 61; ++x) {
      uint8_t* p = form->FResultDib.Bits + y * form->FResultDib.BytesPerLine + x * 3;
      p[0] = uint8_t(x * 4), p[1] = uint8_t(y * 6), p[2] = uint8_t(x ^ y);
    }
  const QImage result = DibToImage(form->FResultDib).convertToFormat(QImage::Format_RGB32);
  const int favourites = form->PrefListBox->count();
  QTest::keyClick(form.get(), Qt::Key_C, Qt::ControlModifier);
  const QImage copied = QImage::fromData(xclip({"-selection", "clipboard", "-t", "image/png", "-o"}), "PNG");
  ASSERT_FALSE(copied.isNull()) << "no PNG on the clipboard";
  EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32), result);

  // Picture data from another program: the picture to edit, without a file or a favourite.
  QImage picture(50, 30, QImage::Format_RGB32);
  picture.fill(QColor(10, 200, 30));
  picture.setPixelColor(0, 0, QColor(250, 0, 0));
  const QString file = dir.path() + "/eingefuegt.png";
  ASSERT_TRUE(picture.save(file));
  QFile png(file);
  ASSERT_TRUE(png.open(QIODevice::ReadOnly));
  xclip({"-selection", "clipboard", "-t", "image/png", "-i"}, png.readAll());
  QTest::qWait(300);
  QTest::keyClick(form.get(), Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(form->PictureWidth(), 50);
  EXPECT_EQ(DibToImage(form->FSourceDib).convertToFormat(QImage::Format_RGB32), picture);
  EXPECT_TRUE(form->FPicturePath.empty());
  EXPECT_EQ(form->PageControl2->currentIndex(), 1);

  // A copied file opens from its place, as a file from the list, still without a favourite.
  picture = picture.scaled(20, 24);
  ASSERT_TRUE(picture.save(file));
  xclip({"-selection", "clipboard", "-t", "text/uri-list", "-i"}, QUrl::fromLocalFile(file).toEncoded() + "\r\n");
  QTest::qWait(300);
  QTest::keyClick(form.get(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(form->PictureWidth(), 20);
  EXPECT_EQ(form->FPicturePath, file.toStdString());
  EXPECT_EQ(form->PrefListBox->count(), favourites);
  EXPECT_TRUE(boxes.empty());
}

} // namespace
