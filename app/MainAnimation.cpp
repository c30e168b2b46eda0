// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the deformation as an animation (GIF, MP4 video or animated WebP) from the result page.
#include "AnimationDialog.h"
#include "MainUnit.h"
#include "OutputSettings.h"

#include <QApplication>
#include <QFileInfo>

void TMainForm::AnimBtnClick(QObject*) {
  warp::TAnimationOptions options = ReadAnimationSetting();
  if (!TAnimationForm::Execute(this, PictureWidth(), PictureHeight(), options)) return;
  WriteAnimationSetting(options);

  comp::TSaveDialog dialog;
  dialog.Title = "Animation speichern unter";
  dialog.InitialDir = SaveDialog1.InitialDir.isEmpty() ? QString::fromLocal8Bit(FProgramDir.c_str())
                                                       : SaveDialog1.InitialDir;
  dialog.Filter = "GIF-Animation (*.gif);;MP4-Video (*.mp4);;WebP-Animation (*.webp)";
  dialog.DefaultExt = "gif";
  if (!dialog.Execute(this)) return;
  QString chosen = dialog.FileName;
  const QString suffix = QFileInfo(chosen).suffix();
  if (suffix.isEmpty()) {
    // The extension of the file type chosen in the dialog.
    const qsizetype star = dialog.SelectedFilter.indexOf("*.");
    const QString ext = star < 0 ? QString("gif") : dialog.SelectedFilter.mid(star + 2).chopped(1);
    chosen += chosen.endsWith('.') ? ext : "." + ext;
    if (QFileInfo::exists(chosen) &&
        platform::MessageBox(this, "Die Datei \"" + chosen.toStdString() + "\" ist bereits vorhanden.\nSoll sie ersetzt werden?",
                             "Animation speichern", platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
      return;
  } else if (warp::AnimationKindOf(chosen.toStdString()) == warp::TAnimationKind::Unknown) {
    platform::MessageBox(this, "Eine Animation wird als GIF-Datei (.gif), MP4-Video (.mp4) oder WebP-Animation (.webp) "
                               "gespeichert, nicht als \"." + suffix.toStdString() + "\".",
                         "Animation speichern", platform::MB_OK | platform::MB_ICONWARNING);
    return;
  }
  std::string error;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool ok = WriteAnimation(chosen.toLocal8Bit().toStdString(), options, error);
  QApplication::restoreOverrideCursor();
  if (!ok) platform::MessageBox(this, error, "Animation speichern", platform::MB_OK | platform::MB_ICONERROR);
}
