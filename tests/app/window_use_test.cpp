// SPDX-License-Identifier: GPL-3.0-or-later
// Using the window as on any desktop: zoom and pan, the keys of the number fields, the tab
// chain, the guide, and a window that keeps its place.
#include "window_fixture.h"

#include "ShellControls.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDir>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace {

class WindowUseTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    make();
    form->activateWindow();
  }
  void wheel(QWidget* over, QPoint at, QPoint delta, Qt::KeyboardModifiers m) {
    QWheelEvent e(at, over->mapToGlobal(QPointF(at)), QPoint(), delta, Qt::NoButton, m, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &e);
    QApplication::processEvents();
  }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
    QTest::keyClick(target, Qt::Key(k), m);
    QApplication::processEvents();
  }
  // The picture point at a point of the editing view's viewport.
  QPointF pictureAt(QPoint at) {
    const comp::TScrollBox* box = form->ScrollBox1;
    return (QPointF(box->HorzPosition(), box->VertPosition()) + at) / form->ViewScale();
  }
};

} // namespace

TEST_F(WindowUseTest, CtrlWheelAndKeysZoomAboutTheirPointAndShiftWheelPans) {
  replacePicture(2000, 1500);
  showPage(1);
  form->ResizeView(2000, 1500);
  comp::TScrollBox* box = form->ScrollBox1;
  box->SetHorzPosition(300);
  box->SetVertPosition(200);
  const QPoint at(120, 90);
  const QPointF picture = pictureAt(at);
  wheel(form->PaintBox1, at + QPoint(300, 200), {0, 120}, Qt::ControlModifier);
  EXPECT_EQ(form->ZoomEd->Value(), 1.25L);
  EXPECT_NEAR(pictureAt(at).x(), picture.x(), 1.0);
  EXPECT_NEAR(pictureAt(at).y(), picture.y(), 1.0);
  wheel(form->PaintBox1, at, {0, -240}, Qt::ControlModifier);
  EXPECT_EQ(form->ZoomEd->Value(), 0.75L);

  // The keys zoom about the view's centre, and so does a typed zoom.
  const QPoint mid(box->viewport()->width() / 2, box->viewport()->height() / 2);
  const QPointF middle = pictureAt(mid);
  key(Qt::Key_Plus, Qt::ControlModifier);
  EXPECT_EQ(form->ZoomEd->Value(), 1.0L);
  form->ZoomEd->SetText("2");
  EXPECT_NEAR(pictureAt(mid).x(), middle.x(), 1.0);
  EXPECT_NEAR(pictureAt(mid).y(), middle.y(), 1.0);

  // Ctrl+0: the whole picture without scroll bars; the plain wheel still scrolls 20 pixels.
  key(Qt::Key_0, Qt::ControlModifier);
  EXPECT_LE(form->PaintBox1->width(), box->contentsRect().width());
  EXPECT_LE(form->PaintBox1->height(), box->contentsRect().height());
  EXPECT_GT(form->PaintBox1->width() + 20, std::min(box->contentsRect().width(), box->contentsRect().height() * 4 / 3));
  form->ZoomEd->SetValue(1);
  box->SetHorzPosition(100);
  box->SetVertPosition(100);
  wheel(form->PaintBox1, {5, 5}, {0, -120}, Qt::ShiftModifier);
  EXPECT_EQ(box->HorzPosition(), 120);
  wheel(form->PaintBox1, {5, 5}, {240, 0}, Qt::NoModifier);
  EXPECT_EQ(box->HorzPosition(), 80);
  wheel(form->PaintBox1, {5, 5}, {0, -120}, Qt::NoModifier);
  EXPECT_EQ(box->VertPosition(), 120);
  EXPECT_EQ(box->HorzPosition(), 80);

  // The result page: 100 % at first, the whole picture fitted on Ctrl+0, 100 % again on Ctrl+plus.
  showPage(2);
  EXPECT_EQ(form->ErgPaintBox->size(), QSize(2000, 1500));
  key(Qt::Key_0, Qt::ControlModifier);
  QApplication::processEvents();
  const QSize client = form->ErgScrollBox->contentsRect().size();
  EXPECT_TRUE(form->ErgPaintBox->width() == client.width() || form->ErgPaintBox->height() == client.height());
  EXPECT_LE(form->ErgPaintBox->width(), client.width());
  EXPECT_LE(form->ErgPaintBox->height(), client.height());
  wheel(form->ErgPaintBox, {5, 5}, {0, 120}, Qt::ControlModifier);
  EXPECT_EQ(form->ErgPaintBox->size(), QSize(2000, 1500));
}

TEST_F(WindowUseTest, EnterAndEscapeInANumberFieldGiveTheKeysBackToTheView) {
  showPage(1);
  form->ZoomEd->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  key(Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "2");
  key(Qt::Key_Return);
  EXPECT_EQ(form->ZoomEd->Value(), 2.0L);
  EXPECT_TRUE(form->ScrollBox1->hasFocus());
  key(Qt::Key_3);
  EXPECT_TRUE(form->SchmierenBtn->Down());

  form->RadiusED->setFocus(Qt::MouseFocusReason);
  QApplication::processEvents();
  key(Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "250");
  key(Qt::Key_Escape);
  EXPECT_EQ(form->RadiusED->Text(), "50");
  EXPECT_TRUE(form->ScrollBox1->hasFocus());
  key(Qt::Key_BracketRight);
  EXPECT_EQ(form->RadiusED->Value(), 55);
}

TEST_F(WindowUseTest, TabStartsAtTheFileListAndReachesEveryButton) {
  EXPECT_TRUE(form->JamShellList1->hasFocus());
  showPage(1);
  form->HistoryChanged();
  form->ScrollBox1->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> seen;
  for (int i = 0; i < 60; ++i) {
    seen.push_back(QApplication::focusWidget());
    seen.push_back(seen.back()->parentWidget()); // a spin edit's focus is on its line edit
    key(Qt::Key_Tab);
  }
  const auto reached = [&](QWidget* w) { return std::find(seen.begin(), seen.end(), w) != seen.end(); };
  for (QWidget* w : {static_cast<QWidget*>(form->WachsenBtn), static_cast<QWidget*>(form->ZoomEd),
                     static_cast<QWidget*>(form->GlaettenCheck), static_cast<QWidget*>(form->wwwBtn),
                     static_cast<QWidget*>(form->ueberbtn), static_cast<QWidget*>(form->endebtn)})
    EXPECT_TRUE(reached(w)) << w->metaObject()->className();
  // From the tabs into the page: the editing view comes first.
  form->PageControl2->tabBar()->setFocus(Qt::TabFocusReason);
  key(Qt::Key_Tab);
  EXPECT_TRUE(form->ScrollBox1->hasFocus());

  // Space on the focused "Ende" asks the close question; Ctrl+I opens nothing but "Info".
  answer = platform::IDCANCEL;
  form->endebtn->setFocus(Qt::TabFocusReason);
  key(Qt::Key_Space);
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(WindowUseTest, UndoAndRedoComeFirstInTheBottomRowWithTheirKeys) {
  const QLayout* row = form->BottomTools->layout();
  EXPECT_EQ(row->itemAt(0)->widget(), form->RueckgaengigBtn);
  EXPECT_EQ(row->itemAt(1)->widget(), form->WiederholenBtn);
  EXPECT_EQ(form->RueckgaengigBtn->toolTip(), "Rückgängig (Strg+Z)");
  EXPECT_EQ(form->WiederholenBtn->toolTip(), "Wiederholen (Strg+Umschalt+Z oder Strg+Y)");
  // Inside the window at its designed size.
  for (QToolButton* b : {form->RueckgaengigBtn, form->WiederholenBtn})
    EXPECT_TRUE(form->rect().contains(QRect(b->mapTo(form.get(), QPoint()), b->size())));
}

TEST_F(WindowUseTest, F1OpensTheInstalledGuide) {
  form.reset();
  ASSERT_TRUE(QDir(dir.path()).mkpath("share/doc/morphane"));
  QFile guide(dir.path() + "/share/doc/morphane/anleitung.md");
  ASSERT_TRUE(guide.open(QIODevice::WriteOnly));
  guide.close();
  form = std::make_unique<TMainForm>((dir.path() + "/bin/morphane").toStdString());
  form->show();
  form->activateWindow();
  QApplication::processEvents();
  key(Qt::Key_F1);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(QString::fromStdString(opened[0].file), QFileInfo(guide).canonicalFilePath());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(WindowUseTest, TheWindowComesBackWhereItWasAndRestoringKeepsTheUsersSize) {
  QTest::qWait(1000); // the window is placed
  form->resize(700, 560);
  QApplication::processEvents();
  // Restored from minimised (the window is shown again): nothing moves.
  form->showMinimized();
  QApplication::processEvents();
  form->showNormal();
  QTest::qWait(200);
  EXPECT_EQ(form->size(), QSize(700, 560));

  const QRect before = form->geometry();
  form->close(); // answered with OK
  ASSERT_FALSE(form->isVisible());
  make();
  QTest::qWait(100);
  EXPECT_EQ(form->size(), before.size());
}
