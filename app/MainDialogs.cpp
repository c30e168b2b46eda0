// SPDX-License-Identifier: GPL-3.0-or-later
// The information dialog, saving and printing of the result.
#include "AboutBoxUnit.h"
#include "BackgroundJob.h"
#include "MainUnit.h"
#include "PrintFUnit.h"
#include "ProgramFolders.h"
#include "Project.h"
#include "ResultSave.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>

#include <memory>

void TMainForm::ueberbtnClick(QObject*) {
  AboutBox = new TAboutBox(this);
  AboutBox->exec();
  delete AboutBox;
  AboutBox = nullptr;
}

namespace {

const QString kSaveFolderKey = QStringLiteral("Speichern");
const QString kPdfFolderKey = QStringLiteral("PDF");
const QString kProjectFilter = QStringLiteral("Morphane-Projekt (*.morphane)");

QString Wide(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string Narrow(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The picture's folder, or empty for the blank start picture.
QString PictureFolder(const std::string& picturePath) {
  return picturePath.empty() ? QString() : QFileInfo(Wide(picturePath)).absolutePath();
}

} // namespace

void TMainForm::BitBtn1Click(QObject*) { SaveResultAs(); }

bool TMainForm::SaveResultAs() {
  // The folder saved to last, else the picture's own folder; the name is made from the picture's.
  SaveDialog1.InitialDir = folders::DialogFolder(kSaveFolderKey, PictureFolder(FPicturePath));
  SaveDialog1.FileName = Wide(ProposedSaveName(FPicturePath));
  if (SaveDialog1.Title.isEmpty()) SaveDialog1.Title = "Bild speichern unter";
  // Every file as before (the extension decides the type), lossless WebP, and the work as a
  // project.
  SaveDialog1.Filter = QString(kSaveFilterAll) + ";;" + kSaveFilterLosslessWebp + ";;" + kProjectFilter;
  // A save that failed brings the dialog back with the name chosen, in its folder.
  for (;;) {
    if (!SaveDialog1.Execute(this)) return false;
    std::string chosen = Narrow(SaveDialog1.FileName);
    const QString folder = QFileInfo(SaveDialog1.FileName).absolutePath();
    const bool lossless = SaveDialog1.SelectedFilter == kSaveFilterLosslessWebp;
    if (lossless && QFileInfo(SaveDialog1.FileName).suffix().isEmpty()) chosen += chosen.back() == '.' ? "webp" : ".webp";
    if (SaveDialog1.SelectedFilter == kProjectFilter && QFileInfo(SaveDialog1.FileName).suffix().isEmpty())
      chosen += ".morphane";
    if (project::IsProjectName(chosen)) {
      if (SaveProjectTo(chosen)) {
        folders::RememberFolder(kSaveFolderKey, folder);
        return true;
      }
      SaveDialog1.InitialDir = folder;
      continue;
    }
    std::string target, message;
    if (!SaveTargetName(chosen, target, message)) {
      platform::MessageBox(this, message, "Bild speichern", platform::MB_OK | platform::MB_ICONWARNING);
      SaveDialog1.InitialDir = folder;
      continue;
    }
    // The dialog asked about the name as typed; a name that only now got its extension may
    // name another file that exists.
    if (target != chosen && QFileInfo::exists(Wide(target))) {
      const std::string question =
          "Die Datei \xE2\x80\x9E" + target + "\xE2\x80\x9C ist bereits vorhanden.\nSoll sie ersetzt werden?";
      if (platform::MessageBox(this, question, "Bild speichern", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
          platform::IDYES) {
        SaveDialog1.InitialDir = folder;
        continue;
      }
    }
    // The window edits on while a copy is written.
    const uint64_t state = FHistory.StateId();
    auto picture = std::make_shared<TDibCopy>(FResultDib);
    const std::string error = RunInBackground(*this, "Bild wird gespeichert", [picture, target, lossless](const platform::TJob& job) {
      return SaveResultDibJob(picture->Dib, target, lossless, job);
    });
    if (error.empty()) {
      folders::RememberFolder(kSaveFolderKey, folder);
      FSavedWork = state;
      return true;
    }
    if (error == platform::kCancelledText) return false;
    platform::MessageBox(this, error, "Bild speichern", platform::MB_OK | platform::MB_ICONERROR);
    SaveDialog1.InitialDir = folder;
  }
}

void TMainForm::BitBtn2Click(QObject*) {
  // One printer for the session, so that its set-up is kept from print to print. It is never
  // freed, because a printer must not be destroyed after the application object.
  static QPrinter* const session = new QPrinter(QPrinter::HighResolution);
  QPrinter& printer = *session;
  TPrintForm PrintForm(this, FResultDib, printer);
  if (PrintForm.exec() != mrOk) return;
  // Without a printer the output goes to a PDF file, which needs a name ending in ".pdf". When the
  // program asked for the name and writing fails, it asks again with the name filled in.
  const bool askName = printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty();
  QString startFolder = folders::DialogFolder(kPdfFolderKey, PictureFolder(FPicturePath));
  QString proposed = QFileInfo(Wide(ProposedSaveName(FPicturePath))).completeBaseName() + ".pdf";
  for (;;) {
    QString pdfFolder; // remembered once the file is written
    if (askName) {
      comp::TSaveDialog dialog;
      dialog.Title = "Druck als PDF speichern";
      dialog.Filter = "PDF-Dokumente (*.pdf)";
      dialog.DefaultExt = "pdf";
      dialog.InitialDir = startFolder;
      dialog.FileName = proposed;
      if (!dialog.Execute(this)) return;
      pdfFolder = QFileInfo(dialog.FileName).absolutePath();
      printer.setOutputFileName(dialog.FileName);
    }
    if (printer.outputFormat() == QPrinter::PdfFormat)
      printer.setOutputFileName(Wide(PdfFileName(Narrow(printer.outputFileName()))));
    QString message;
    if (printer.outputFormat() != QPrinter::PdfFormat) {
      if (!PrintDib(printer, FResultDib, PrintForm.Options(), message))
        platform::MessageBox(this, message.toStdString(), "Bild drucken", platform::MB_OK | platform::MB_ICONERROR);
      return;
    }
    // A PDF file is written in the background to a temporary file beside it, renamed over it
    // when complete.
    const QString target = printer.outputFileName();
    const std::string error = RunInBackground(
        *this, "Druck wird gespeichert",
        [&printer, picture = std::make_shared<TDibCopy>(FResultDib), options = PrintForm.Options(),
         target](const platform::TJob& job) { return PrintDibToPdf(printer, picture->Dib, options, target, job); });
    printer.setOutputFileName(target);
    if (error.empty() && !pdfFolder.isEmpty()) folders::RememberFolder(kPdfFolderKey, pdfFolder);
    if (error.empty() || error == platform::kCancelledText) return;
    platform::MessageBox(this, error, "Bild drucken", platform::MB_OK | platform::MB_ICONERROR);
    if (!askName) return;
    printer.setOutputFileName(QString());
    startFolder = QFileInfo(target).absolutePath();
    proposed = QFileInfo(target).fileName();
  }
}
