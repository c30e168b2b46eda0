// SPDX-License-Identifier: GPL-3.0-or-later
// A main window for tests: its program file in a fresh temporary folder, message boxes and the
// shell's "open" answered without a person, every request recorded.
#pragma once

#include "MainUnit.h"

#include "ButtonsXP.h"
#include "ImageBtnUnit.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
  explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
  int count = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++count;
    return false;
  }
};

class WindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")).remove(QStringLiteral("window")); // first start
    oldBox = platform::SetMessageBoxHandler([this](const platform::TMessageBoxRequest& r) {
      boxes.push_back(r);
      return answer;
    });
    oldShell = platform::SetShellExecuteHandler([this](const platform::TShellExecuteRequest& r) {
      opened.push_back(r);
      return intptr_t(42);
    });
  }
  void TearDown() override {
    if (form) {
      answer = platform::IDOK;
      form.reset();
    }
    platform::SetMessageBoxHandler(oldBox);
    platform::SetShellExecuteHandler(oldShell);
  }
  std::string programFile() const { return (dir.path() + "/morphane").toStdString(); }
  TMainForm& make(bool show = true) {
    form = std::make_unique<TMainForm>(programFile());
    if (show) {
      form->show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    return *form;
  }
  void showPage(int index) {
    form->PageControl2->setCurrentIndex(index);
    QApplication::processEvents();
  }
  // One wheel event over `target` with the given delta (120 = one notch away from the user).
  static void wheelOver(QWidget* target, int delta) {
    const QPointF local(5, 5);
    QWheelEvent e(local, target->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &e);
  }
  // Gives the window a blank white source and result of this size, as after loading a picture.
  void replacePicture(int32_t width, int32_t height) {
    form->ReleaseAll();
    newdib(&form->FSourceDib, width, height, 24, nullptr, 0);
    std::memset(form->FSourceDib.Bits, 255, form->FSourceDib.Info->bmiHeader.biSizeImage);
    ASSERT_TRUE(form->AllocMask());
    form->InitMask();
    form->renderdi();
    form->MarkWorkSaved(); // as after opening a picture
  }

  QTemporaryDir dir;
  std::unique_ptr<TMainForm> form;
  int answer = platform::IDOK;
  std::vector<platform::TMessageBoxRequest> boxes;
  std::vector<platform::TShellExecuteRequest> opened;
  platform::MessageBoxHandler oldBox;
  platform::ShellExecuteHandler oldShell;
};
