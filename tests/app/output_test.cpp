// SPDX-License-Identifier: GPL-3.0-or-later
// The smooth rendering's box on the tool bar and the animation button on the result page.
#include "AnimationDialog.h"
#include "window_fixture.h"

#include "../common/photo_like.h"

#include <QCheckBox>
#include <QFile>
#include <QSettings>

namespace {

class OutputTest : public WindowTest {
protected:
  void TearDown() override {
    QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")).remove(QString());
    TAnimationForm::ExecuteHandler() = nullptr;
    comp::TSaveDialog::ExecuteHandler() = nullptr;
    WindowTest::TearDown();
  }
};

TEST_F(OutputTest, GlaettenRendersSmoothlyAndIsRemembered) {
  QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")).remove(QString());
  make();
  EXPECT_FALSE(form->GlaettenCheck->isChecked()) << "off at first start";
  EXPECT_FALSE(form->FSmooth);
  // Seen whole at the window's designed size, on the editing page and the result page.
  for (int page : {1, 2}) {
    showPage(page);
    const QRect box(form->GlaettenCheck->mapTo(form.get(), QPoint(0, 0)), form->GlaettenCheck->size());
    EXPECT_TRUE(form->GlaettenCheck->isVisible());
    EXPECT_TRUE(form->rect().contains(box)) << "page " << page;
  }
  form->ReleaseAll();
  ASSERT_TRUE(testpics::MakePhotoLike(form->FSourceDib, 200, 150));
  ASSERT_TRUE(form->AllocMask());
  form->InitMask();
  form->renderdi();
  showPage(1);
  form->PaintBox1MouseDown(form->PaintBox1, Qt::LeftButton, {}, 100, 75);
  form->Timer1Timer(form->Timer1);
  form->PaintBox1MouseUp(form->PaintBox1, Qt::LeftButton, {}, 100, 75);
  const std::vector<uint8_t> exact(form->FResultDib.Bits,
                                   form->FResultDib.Bits + form->FResultDib.Info->bmiHeader.biSizeImage);

  form->GlaettenCheck->click();
  EXPECT_TRUE(form->FSmooth);
  const std::vector<uint8_t> smooth(form->FResultDib.Bits,
                                    form->FResultDib.Bits + form->FResultDib.Info->bmiHeader.biSizeImage);
  EXPECT_NE(smooth, exact) << "the result shown, saved and printed is the smooth one";
  form.reset();
  make();
  EXPECT_TRUE(form->GlaettenCheck->isChecked()) << "remembered";
  EXPECT_TRUE(form->FSmooth);
}

TEST_F(OutputTest, AnimationButtonWritesTheChosenGif) {
  make();
  showPage(2);
  warp::TAnimationOptions asked;
  TAnimationForm::ExecuteHandler() = [&](warp::TAnimationOptions& o) {
    asked = o;
    o.Frames = 3;
    o.LongerSide = 100;
    return true;
  };
  QString name = dir.path() + "/film";
  comp::TSaveDialog::ExecuteHandler() = [&](comp::TSaveDialog& d) {
    if (d.FileName == name) return false; // back after a refusal: the user gives up
    d.FileName = name;
    return true;
  };
  form->AnimBtn->click();
  EXPECT_EQ(asked.Frames, 24) << "the defaults first";
  EXPECT_EQ(asked.LongerSide, 800);
  TDib opened{};
  OpenDib(&opened, (name + ".gif").toLocal8Bit().constData(), 0, nullptr);
  ASSERT_NE(opened.Bits, nullptr) << "the name got its extension";
  EXPECT_EQ(DibWidth(opened), 100);
  deldib(opened);
  EXPECT_TRUE(boxes.empty());

  // Another type is refused with a message, nothing is written; the choice was remembered.
  name = dir.path() + "/film.png";
  form->AnimBtn->click();
  EXPECT_EQ(asked.Frames, 3);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find("GIF-Datei"), std::string::npos);
  EXPECT_FALSE(QFile::exists(name));
}

} // namespace
