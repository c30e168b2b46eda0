// SPDX-License-Identifier: GPL-3.0-or-later
// The work as a project in the window: Ctrl+S asks for a name once, the project reopens as it
// was (undo included), and the autosave is written after a change, removed at a clean end and
// offered again after a kill.
#include "window_fixture.h"

#include "Project.h"

#include <QFile>

namespace {

class ProjectWindow : public WindowTest {
protected:
  void stroke(int x, int y) {
    form->ViewMouseDown(x, y);
    form->ViewMouseMove(x + 12, y + 8);
    form->ViewMouseUp(x + 12, y + 8);
  }
  std::vector<warp::TMaskEntry> mask() const {
    return {form->FMask, form->FMask + size_t(form->PictureWidth()) * size_t(form->PictureHeight())};
  }
  std::string path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }
};

TEST_F(ProjectWindow, CtrlSAsksOnceAndTheProjectReopensWithSettingsAndUndo) {
  make();
  replacePicture(160, 120);
  form->ProjectPictureReplaced("");
  showPage(1);
  form->SchmierenBtn->SetDown(true);
  form->RadiusED->SetValue(22);
  int asked = 0;
  const auto old = comp::TSaveDialog::ExecuteHandler();
  comp::TSaveDialog::ExecuteHandler() = [&](comp::TSaveDialog& d) {
    ++asked;
    d.FileName = dir.path() + "/arbeit";
    return true;
  };
  stroke(40, 40);
  form->SaveProject();
  stroke(70, 50);
  form->SaveProject();
  comp::TSaveDialog::ExecuteHandler() = old;
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(form->FProjectPath, path("arbeit.morphane"));
  const auto saved = mask();
  form->Undo();
  const auto afterUndo = mask();

  make();
  form->openfilenow(path("arbeit.morphane"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(mask(), saved);
  EXPECT_TRUE(form->SchmierenBtn->Down());
  EXPECT_EQ(form->RadiusED->Value(), 22);
  EXPECT_EQ(form->FProjectPath, path("arbeit.morphane"));
  form->Undo();
  EXPECT_EQ(mask(), afterUndo);
  // Its deformation applied to another picture of the same size: the same mask, one undo away.
  replacePicture(160, 120);
  ASSERT_TRUE(form->ApplyDeformationFrom(path("arbeit.morphane")));
  EXPECT_EQ(mask(), saved);
  form->Undo();
  EXPECT_FALSE(form->CanUndo());
}

TEST_F(ProjectWindow, AutosaveIsWrittenRemovedAtACleanEndAndOfferedAfterAKill) {
  make();
  form->StartAutosave();
  const std::string autosave = form->AutosavePath();
  ASSERT_FALSE(autosave.empty());
  replacePicture(100, 80);
  form->ProjectPictureReplaced("");
  showPage(1);
  stroke(30, 30);
  const auto worked = mask();
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(autosave)), 15000);
  QTest::qWait(500); // the rename is the last step; the file is whole once it exists
  const QString aside = dir.path() + "/killed.morphane";
  ASSERT_TRUE(QFile::copy(QString::fromStdString(autosave), aside));
  form.reset();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(autosave)));

  // As after a kill: the file is there at the next start; yes restores the work, undo included.
  for (const int reply : {platform::IDYES, platform::IDNO}) {
    ASSERT_TRUE(QFile::copy(aside, QString::fromStdString(autosave)));
    boxes.clear();
    answer = reply;
    make();
    form->StartAutosave();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("wiederhergestellt"), std::string::npos);
    EXPECT_EQ(boxes[0].flags & platform::MB_TYPEMASK, platform::MB_YESNO);
    if (reply == platform::IDYES) {
      EXPECT_EQ(mask(), worked);
      EXPECT_TRUE(form->CanUndo());
      EXPECT_TRUE(form->FProjectPath.empty());
    } else {
      EXPECT_FALSE(QFile::exists(QString::fromStdString(autosave)));
      EXPECT_EQ(form->PictureWidth(), 320);
    }
    form.reset();
  }
}

} // namespace
