// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard: Ctrl+C (and the result view's context menu) copies the result picture as it is
// shown, in the rendering in effect; Ctrl+V opens the picture on the clipboard as if it had been
// opened from a file, without adding a favourite folder.
#include "MainUnit.h"
#include "PrintFUnit.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

namespace {

// Encoded pictures the imaging library reads, as other programs put them on the clipboard.
const char* const kPictureTypes[] = {"image/png", "image/jpeg", "image/bmp", "image/tiff", "image/gif"};

void Warn(TMainForm* form, const std::string& text) {
  platform::MessageBox(form, text, "Bild einfügen", platform::MB_OK | platform::MB_ICONWARNING);
}

} // namespace

void TMainForm::buildClipboard() {
  connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, this, [this] { CopyResultToClipboard(); });
  connect(new QShortcut(QKeySequence::Paste, this), &QShortcut::activated, this, [this] { PasteFromClipboard(); });
  ErgPaintBox->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ErgPaintBox, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    FResultDragging = false; // the menu takes the button's release
    QMenu menu(this);
    menu.addAction("Ergebnis &kopieren\tStrg+C", this, [this] { CopyResultToClipboard(); });
    menu.addAction("Bild &einfügen\tStrg+V", this, [this] { PasteFromClipboard(); });
    menu.addSeparator();
    menu.addAction("Bild &speichern unter...\tStrg+S", this, [this] { BitBtn1Click(SaveAsBtn); });
    menu.addAction("Bild &drucken...\tStrg+P", this, [this] { BitBtn2Click(PrintBtn); });
    menu.exec(ErgPaintBox->mapToGlobal(at));
  });
}

void TMainForm::CopyResultToClipboard() {
  const QImage image = DibToImage(FResultDib);
  if (image.isNull()) return;
  QApplication::clipboard()->setImage(image);
}

void TMainForm::PasteFromClipboard() {
  const QMimeData* data = QApplication::clipboard()->mimeData();
  if (data == nullptr) return Warn(this, "Die Zwischenablage ist nicht lesbar.");
  // A copied picture file opens as the file list opens it; the favourites stay as they are.
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    if (!KeepWorkBeforeDropping("Einfügen")) return;
    const uint8_t* before = FSourceDib.Bits;
    openfilenow(QFile::encodeName(url.toLocalFile()).toStdString());
    if (FSourceDib.Bits != before) PageControl2->setCurrentIndex(1);
    return;
  }
  // Picture data: as encoded on the clipboard where the library reads that type, else Qt's
  // decoded picture as PNG.
  QByteArray bytes;
  for (const char* type : kPictureTypes)
    if (data->hasFormat(type)) {
      bytes = data->data(type);
      if (!bytes.isEmpty()) break;
    }
  if (bytes.isEmpty() && data->hasImage()) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    qvariant_cast<QImage>(data->imageData()).save(&buffer, "PNG", 0);
  }
  if (bytes.isEmpty()) return Warn(this, "Die Zwischenablage enthält kein Bild.");
  if (!KeepWorkBeforeDropping("Einfügen")) return;
  TDib record{};
  OpenDibMemory(&record, bytes.constData(), size_t(bytes.size()), static_cast<platform::HWND>(this));
  if (record.Bits == nullptr)
    return Warn(this, std::string("Das Bild aus der Zwischenablage konnte nicht geladen werden.\n") +
                          DibErrorText(&record));
  FPicturePath.clear(); // no file: saving proposes "Ergebnis.png"
  PictureLoaded(record);
  PageControl2->setCurrentIndex(1);
}
