// SPDX-License-Identifier: GPL-3.0-or-later
// Work not yet saved: the window remembers the stroke history's state at the last save, so that
// undoing back to it counts as no change, and asks before such work is dropped by opening another
// picture or by quitting. At start the leftovers of saves that were killed are removed from the
// folders the program saves to.
#include "MainUnit.h"

#include "ProgramFolders.h"

#include <QFile>
#include <QFileInfo>

void TMainForm::MarkWorkSaved() { FSavedWork = FHistory.StateId(); }

bool TMainForm::HasUnsavedWork() const { return FHistory.StateId() != FSavedWork; }

bool TMainForm::KeepWorkBeforeDropping(const std::string& Caption) {
  if (!HasUnsavedWork()) return true;
  const std::string what =
      FPicturePath.empty()
          ? std::string("des neuen Bildes")
          : "von \xE2\x80\x9E" + QFileInfo(QFile::decodeName(FPicturePath.c_str())).fileName().toStdString() +
                "\xE2\x80\x9C";
  const std::string question = "Die Bearbeitung " + what +
                               " ist noch nicht gespeichert.\n"
                               "Möchten Sie das Ergebnis speichern, bevor sie verworfen wird?";
  switch (platform::MessageBox(this, question, Caption, platform::MB_SAVEDISCARDCANCEL | platform::MB_ICONQUESTION)) {
  case platform::IDYES: return SaveResultAs();
  case platform::IDNO: return true;
  default: return false;
  }
}

void TMainForm::FormCreateWork() {
  MarkWorkSaved();
  for (const QString& key : {QStringLiteral("Speichern"), QStringLiteral("PDF")}) {
    const QString folder = folders::RememberedFolder(key);
    if (!folder.isEmpty()) RemoveSaveLeftovers(QFile::encodeName(folder).constData());
  }
  RemoveSaveLeftovers(FFavouritesFile.substr(0, FFavouritesFile.find_last_of('/') + 1).c_str());
}
