// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the deformation as an animation (GIF, MP4 video or animated WebP) from the result page.
#include "AnimationDialog.h"
#include "Animation.h"
#include "BackgroundJob.h"
#include "MainUnit.h"
#include "OutputSettings.h"

#include <QFileInfo>

#include <memory>
#include <vector>

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
  // A write that failed brings the dialog back with the name chosen.
  for (;;) {
    if (!dialog.Execute(this)) return;
    QString chosen = dialog.FileName;
    dialog.InitialDir = QFileInfo(chosen).absolutePath();
    const QString suffix = QFileInfo(chosen).suffix();
    if (suffix.isEmpty()) {
      // The extension of the file type chosen in the dialog.
      const qsizetype star = dialog.SelectedFilter.indexOf("*.");
      const QString ext = star < 0 ? QString("gif") : dialog.SelectedFilter.mid(star + 2).chopped(1);
      chosen += chosen.endsWith('.') ? ext : "." + ext;
      if (QFileInfo::exists(chosen) &&
          platform::MessageBox(this, "Die Datei \"" + chosen.toStdString() + "\" ist bereits vorhanden.\nSoll sie ersetzt werden?",
                               "Animation speichern", platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
        continue;
    } else if (warp::AnimationKindOf(chosen.toStdString()) == warp::TAnimationKind::Unknown) {
      platform::MessageBox(this, "Eine Animation wird als GIF-Datei (.gif), MP4-Video (.mp4) oder WebP-Animation (.webp) "
                                 "gespeichert, nicht als \"." + suffix.toStdString() + "\".",
                           "Animation speichern", platform::MB_OK | platform::MB_ICONWARNING);
      continue;
    }
    // The frames are made from copies, so the window edits on meanwhile.
    struct TFrames {
      explicit TFrames(const TDib& source) : Source(source) {}
      TDibCopy Source;
      std::vector<warp::TMaskEntry> Mask;
    };
    auto frames = std::make_shared<TFrames>(FSourceDib);
    if (FMask != nullptr && FSourceDib.Bits != nullptr)
      frames->Mask.assign(FMask, FMask + size_t(PictureWidth()) * size_t(PictureHeight()));
    const std::string path = chosen.toLocal8Bit().toStdString();
    const std::string error =
        RunInBackground(*this, "Animation wird gespeichert", [frames, options, path](const platform::TJob& job) {
          std::string message;
          if (warp::WriteAnimation(frames->Source.Dib, frames->Mask.empty() ? nullptr : frames->Mask.data(), options,
                                   path, job, message))
            return std::string();
          return message;
        });
    if (error.empty() || error == platform::kCancelledText) return;
    platform::MessageBox(this, error, "Animation speichern", platform::MB_OK | platform::MB_ICONERROR);
    dialog.FileName = chosen;
  }
}
