// The information dialog, saving and printing of the result.
#include "AboutBoxUnit.h"
#include "MainUnit.h"
#include "PrintFUnit.h"
#include "ResultSave.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QPrinter>

void TMainForm::ueberbtnClick(QObject*) {
  AboutBox = new TAboutBox(this);
  AboutBox->exec();
  delete AboutBox;
  AboutBox = nullptr;
}

void TMainForm::BitBtn1Click(QObject*) {
  SaveDialog1.InitialDir = QString::fromLocal8Bit(FProgramDir.c_str());
  if (SaveDialog1.Title.isEmpty()) SaveDialog1.Title = "Bild speichern unter";
  if (!SaveDialog1.Execute(this)) return;
  const std::string chosen = SaveDialog1.FileName.toLocal8Bit().toStdString();
  std::string target, message;
  if (!SaveTargetName(chosen, target, message)) {
    platform::MessageBox(this, message, "Bild speichern", platform::MB_OK | platform::MB_ICONWARNING);
    return;
  }
  // The dialog asked about the name as typed; a name that only now got its extension may
  // name another file that exists.
  if (target != chosen && QFileInfo::exists(QString::fromLocal8Bit(target.c_str()))) {
    const std::string question = "Die Datei \"" + target + "\" ist bereits vorhanden.\nSoll sie ersetzt werden?";
    if (platform::MessageBox(this, question, "Bild speichern", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
        platform::IDYES)
      return;
  }
  if (!SaveResultDib(FResultDib, target, message))
    platform::MessageBox(this, message, "Bild speichern", platform::MB_OK | platform::MB_ICONERROR);
}

void TMainForm::BitBtn2Click(QObject*) {
  // One printer for the session, so that its set-up is kept from print to print. It is never
  // freed, because a printer must not be destroyed after the application object.
  static QPrinter* const session = new QPrinter(QPrinter::HighResolution);
  QPrinter& printer = *session;
  TPrintForm PrintForm(this, FResultDib, printer);
  if (PrintForm.exec() != mrOk) return;
  // Without a printer the output goes to a PDF file, which needs a name.
  if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty()) {
    const QString file = QFileDialog::getSaveFileName(this, "Druck als PDF speichern",
                                                      QString::fromLocal8Bit(FProgramDir.c_str()),
                                                      "PDF-Dokumente (*.pdf)");
    if (file.isEmpty()) return;
    printer.setOutputFileName(file);
  }
  QString message;
  if (!PrintDib(printer, FResultDib, PrintForm.Options(), message))
    platform::MessageBox(this, message.toStdString(), "Bild drucken", platform::MB_OK | platform::MB_ICONERROR);
}
