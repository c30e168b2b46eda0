// SPDX-License-Identifier: GPL-3.0-or-later
// The information dialog, saving and printing of the result.
#include "AboutBoxUnit.h"
#include "MainUnit.h"
#include "PrintFUnit.h"
#include "ProgramFolders.h"
#include "ResultSave.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>

void TMainForm::ueberbtnClick(QObject*) {
  AboutBox = new TAboutBox(this);
  AboutBox->exec();
  delete AboutBox;
  AboutBox = nullptr;
}

namespace {

const QString kSaveFolderKey = QStringLiteral("Speichern");
const QString kPdfFolderKey = QStringLiteral("PDF");

QString Wide(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string Narrow(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The picture's folder, or empty for the blank start picture.
QString PictureFolder(const std::string& picturePath) {
  return picturePath.empty() ? QString() : QFileInfo(Wide(picturePath)).absolutePath();
}

} // namespace

void TMainForm::BitBtn1Click(QObject*) {
  // The folder saved to last, else the picture's own folder; the name is made from the picture's.
  SaveDialog1.InitialDir = folders::DialogFolder(kSaveFolderKey, PictureFolder(FPicturePath));
  SaveDialog1.FileName = Wide(ProposedSaveName(FPicturePath));
  if (SaveDialog1.Title.isEmpty()) SaveDialog1.Title = "Bild speichern unter";
  // All files (the extension decides the type), or lossless WebP.
  SaveDialog1.Filter = QString(kSaveFilterAll) + ";;" + kSaveFilterLosslessWebp;
  if (!SaveDialog1.Execute(this)) return;
  const bool lossless = SaveDialog1.SelectedFilter == kSaveFilterLosslessWebp;
  std::string chosen = Narrow(SaveDialog1.FileName);
  if (lossless && QFileInfo(SaveDialog1.FileName).suffix().isEmpty()) chosen += chosen.back() == '.' ? "webp" : ".webp";
  folders::RememberFolder(kSaveFolderKey, QFileInfo(SaveDialog1.FileName).absolutePath());
  std::string target, message;
  if (!SaveTargetName(chosen, target, message)) {
    platform::MessageBox(this, message, "Bild speichern", platform::MB_OK | platform::MB_ICONWARNING);
    return;
  }
  // The dialog asked about the name as typed; a name that only now got its extension may
  // name another file that exists.
  if (target != chosen && QFileInfo::exists(Wide(target))) {
    const std::string question =
        "Die Datei \xE2\x80\x9E" + target + "\xE2\x80\x9C ist bereits vorhanden.\nSoll sie ersetzt werden?";
    if (platform::MessageBox(this, question, "Bild speichern", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
        platform::IDYES)
      return;
  }
  if (!SaveResultDib(FResultDib, target, lossless, message))
    platform::MessageBox(this, message, "Bild speichern", platform::MB_OK | platform::MB_ICONERROR);
}

void TMainForm::BitBtn2Click(QObject*) {
  // One printer for the session, so that its set-up is kept from print to print. It is never
  // freed, because a printer must not be destroyed after the application object.
  static QPrinter* const session = new QPrinter(QPrinter::HighResolution);
  QPrinter& printer = *session;
  TPrintForm PrintForm(this, FResultDib, printer);
  if (PrintForm.exec() != mrOk) return;
  // Without a printer the output goes to a PDF file, which needs a name ending in ".pdf".
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    if (printer.outputFileName().isEmpty()) {
      comp::TSaveDialog dialog;
      dialog.Title = "Druck als PDF speichern";
      dialog.Filter = "PDF-Dokumente (*.pdf)";
      dialog.DefaultExt = "pdf";
      dialog.InitialDir = folders::DialogFolder(kPdfFolderKey, PictureFolder(FPicturePath));
      dialog.FileName = QFileInfo(Wide(ProposedSaveName(FPicturePath))).completeBaseName() + ".pdf";
      if (!dialog.Execute(this)) return;
      folders::RememberFolder(kPdfFolderKey, QFileInfo(dialog.FileName).absolutePath());
      printer.setOutputFileName(dialog.FileName);
    }
    printer.setOutputFileName(Wide(PdfFileName(Narrow(printer.outputFileName()))));
  }
  QString message;
  if (!PrintDib(printer, FResultDib, PrintForm.Options(), message))
    platform::MessageBox(this, message.toStdString(), "Bild drucken", platform::MB_OK | platform::MB_ICONERROR);
}
