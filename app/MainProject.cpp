// SPDX-License-Identifier: GPL-3.0-or-later
// The work as a project file in the main window: saving it (Ctrl+S, and "Speichern unter..."
// as one more file type), opening it like a picture, applying a saved deformation to the picture
// being edited, and the autosave with its recovery after a crash.
#include "BackgroundJob.h"
#include "MainUnit.h"

#include "Autosave.h"
#include "ProgramFolders.h"
#include "Project.h"
#include "ResultSave.h"
#include "ShellControls.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <memory>

namespace {

// How long after a change the autosave waits: strokes that follow each other closely are
// written once.
constexpr int kAutosaveDelayMs = 3000;
const QString kSaveFolderKey = QStringLiteral("Speichern");
const char* const kAutosaveName = "/autosave.morphane";

QString Wide(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string Narrow(const QString& path) { return QFile::encodeName(path).toStdString(); }
std::string Quoted(const std::string& s) { return "\xE2\x80\x9E" + s + "\xE2\x80\x9C"; }

} // namespace

// The window's project state: the autosave, its delay and the picture's serial number.
class TProjectSupport : public QObject {
public:
  explicit TProjectSupport(TMainForm* form) : QObject(form) {
    Delay.setSingleShot(true);
    Delay.setInterval(kAutosaveDelayMs);
    connect(&Delay, &QTimer::timeout, this, [form] { form->AutosaveNow(); });
  }
  // The window closes normally: the work has ended, the autosave goes.
  ~TProjectSupport() override {
    if (Saver) Saver->Discard();
  }
  QTimer Delay;
  std::unique_ptr<project::TAutosaver> Saver;
  uint64_t PictureSerial = 0;    // changes whenever the picture is replaced
  bool Due = false;              // the delay ran out during a stroke: save at its end
  std::string OriginalPicture;   // the picture file the work began with
};

void TMainForm::FormCreateProject() {
  FProjectSupport = new TProjectSupport(this);
  QToolButton* apply = AddBottomTool(QStringLiteral(":/art/verformung_uebernehmen.png"),
                                     QStringLiteral("Verformung aus einem Projekt übernehmen..."), QString());
  connect(apply, &QToolButton::clicked, this, [this] { ApplyDeformationClick(this); });
}

void TMainForm::ProjectPictureReplaced(const std::string& PicturePath) {
  FProjectPath.clear();
  ++FProjectSupport->PictureSerial;
  FProjectSupport->OriginalPicture = PicturePath;
}

void TMainForm::ProjectSaved(const std::string& Path) {
  FProjectPath = Path;
  MarkWorkSaved();
}

project::TSettings TMainForm::ProjectSettings() { return project::SettingsOf(ReadToolBar(), FSmooth); }

bool TMainForm::SaveProjectTo(const std::string& Path) {
  // A copy is written in the background while the window edits on.
  std::string error;
  const uint64_t state = FHistory.StateId();
  auto copy = std::make_shared<project::TWorkCopy>();
  if (project::CopyWork(*this, Path, ProjectSettings(), FProjectSupport->OriginalPicture, *copy, error))
    error = RunInBackground(*this, "Projekt wird gespeichert", [copy, Path](const platform::TJob& job) {
      std::string message;
      return project::WriteWorkCopy(*copy, Path, job, message) ? std::string() : message;
    });
  if (!error.empty()) {
    if (error != platform::kCancelledText)
      platform::MessageBox(this, error, "Projekt speichern", platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  ProjectSaved(Path);
  FSavedWork = state; // the state that was written, whatever was done meanwhile
  return true;
}

void TMainForm::SaveProject() {
  if (!FProjectPath.empty()) {
    SaveProjectTo(FProjectPath);
    return;
  }
  comp::TSaveDialog dialog;
  dialog.Title = QStringLiteral("Projekt speichern unter");
  dialog.Filter = QStringLiteral("Morphane-Projekt (*.morphane)");
  dialog.DefaultExt = QStringLiteral("morphane");
  const QString pictureFolder = FPicturePath.empty() ? QString() : QFileInfo(Wide(FPicturePath)).absolutePath();
  dialog.InitialDir = folders::DialogFolder(kSaveFolderKey, pictureFolder);
  dialog.FileName = QFileInfo(Wide(FPicturePath.empty() ? "Projekt" : FPicturePath)).completeBaseName() + ".morphane";
  if (!dialog.Execute(this)) return;
  std::string chosen = Narrow(dialog.FileName);
  if (!project::IsProjectName(chosen)) chosen += ".morphane";
  if (SaveProjectTo(chosen)) folders::RememberFolder(kSaveFolderKey, QFileInfo(Wide(chosen)).absolutePath());
}

bool TMainForm::OpenProject(const std::string& Path) {
  project::TProject saved;
  std::string error;
  if (!project::ReadProject(Path, saved, error)) {
    platform::MessageBox(this, error, "Fehler", platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  TDib picture = project::PictureOf(saved);
  if (picture.Bits == nullptr) {
    platform::MessageBox(this, "Nicht genügend Arbeitsspeicher für das Projekt " + Quoted(Path) + ".", "Fehler",
                         platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  PictureLoaded(picture);
  if (PictureWidth() != saved.Width || PictureHeight() != saved.Height) return false; // told by PictureLoaded
  ProjectPictureReplaced(saved.PicturePath);
  FPicturePath = Path;
  // The tool bar as it was; the zoom field's change sets the view's ratio and size.
  const project::TSettings& s = saved.Settings;
  comp::TSpeedItem* const tools[] = {WachsenBtn, SchrumpfenBtn, RadiererBtn, SchmierenBtn, ZerrenBtn};
  tools[std::clamp(s.Tool, 0, 4)]->SetDown(true);
  (s.Axes == 1 ? xCheck : s.Axes == 2 ? ycheck : xyCheck)->setChecked(true);
  NormalizeCheck->setChecked(s.Normalize);
  StarkED->SetValue(s.Strength);
  RadiusED->SetValue(s.Radius);
  ZoomEd->SetValue(s.Zoom);
  GlaettenCheck->setChecked(s.Smooth);
  FSmooth = s.Smooth; // rendered below
  const bool restored = project::RestoreWork(*this, saved, error);
  RepaintView();
  if (!restored) {
    platform::MessageBox(this, "Das Projekt " + Quoted(Path) + " wurde ohne seine Striche geöffnet: " + error, "Fehler",
                         platform::MB_OK | platform::MB_ICONWARNING);
    return false;
  }
  ProjectSaved(Path);
  return true;
}

void TMainForm::ApplyDeformationClick(QObject*) {
  if (FStrokeActive) return;
  const QString pictureFolder = FPicturePath.empty() ? QString() : QFileInfo(Wide(FPicturePath)).absolutePath();
  QFileDialog dialog(this, QStringLiteral("Verformung aus einem Projekt übernehmen"),
                     folders::DialogFolder(kSaveFolderKey, pictureFolder), QStringLiteral("Morphane-Projekt (*.morphane)"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOptions(QFileDialog::DontUseNativeDialog);
  dialog.setIconProvider(TKindIconProvider::Shared()); // never reads files to pick icons
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ApplyDeformationFrom(Narrow(dialog.selectedFiles().front()));
}

bool TMainForm::ApplyDeformationFrom(const std::string& Path) {
  project::TProject saved;
  std::string error;
  if (!project::ReadProject(Path, saved, error) || !project::ApplyDeformation(*this, saved, error)) {
    platform::MessageBox(this, error, "Verformung übernehmen", platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  PageControl2->setCurrentIndex(1);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Autosave and recovery

void TMainForm::StartAutosave() {
  if (FProjectSupport->Saver) return;
  const std::string folder = project::StateFolder();
  // Without a state folder, or with another Morphane running on it, there is no autosave.
  if (folder.empty() || !project::ClaimAutosave(folder)) return;
  const std::string path = folder + kAutosaveName;
  if (QFileInfo::exists(Wide(path))) {
    const QString when = QFileInfo(Wide(path)).lastModified().toString(QStringLiteral("dd.MM.yyyy, HH:mm"));
    const std::string question =
        "Morphane wurde zuletzt nicht ordnungsgemäß beendet.\n\nSoll die zuletzt automatisch gesicherte Arbeit "
        "(vom " + when.toStdString() + " Uhr) wiederhergestellt werden?\n\nNein verwirft sie.";
    const int answer = platform::MessageBox(this, question, "Arbeit wiederherstellen",
                                            platform::MB_YESNO | platform::MB_ICONQUESTION);
    if (answer == platform::IDYES && OpenProject(path)) {
      // Unsaved work: Ctrl+S asks for a name, and the file stays until the next autosave.
      FProjectPath.clear();
      FSavedWork = 0; // no state of a history that was read has this number

      FPicturePath = FProjectSupport->OriginalPicture;
      PageControl2->setCurrentIndex(1);
    } else {
      QFile::remove(Wide(path));
    }
  }
  FProjectSupport->Saver = std::make_unique<project::TAutosaver>(path);
}

// The delay starts at the first change after a save and is not started again by later ones, so
// that steady work is saved every few seconds too.
void TMainForm::ProjectHistoryChanged() {
  if (!FProjectSupport || !FProjectSupport->Saver) return;
  if (FProjectSupport->Due) AutosaveNow();
  else if (!FProjectSupport->Delay.isActive()) FProjectSupport->Delay.start();
}

void TMainForm::AutosaveNow() {
  if (!FProjectSupport->Saver) return;
  // Never in the middle of a stroke: at its end.
  FProjectSupport->Due = FStrokeActive;
  if (FStrokeActive) return;
  FProjectSupport->Saver->Submit(*this, FProjectSupport->PictureSerial, ProjectSettings(),
                                 FProjectSupport->OriginalPicture);
}

std::string TMainForm::AutosavePath() const {
  return FProjectSupport && FProjectSupport->Saver ? FProjectSupport->Saver->Path() : std::string();
}
