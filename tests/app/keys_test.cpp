// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo in the window, its keys, the before/after view and the focus of every tab stop.
#include "window_fixture.h"

#include "ShellControls.h"

#include <QEnterEvent>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

namespace {

class KeysTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    make();
    showPage(1);
    form->activateWindow();
    QApplication::processEvents();
  }
  // A picture whose pixels differ, so that a stroke shows.
  void patternedPicture(int32_t w, int32_t h) {
    replacePicture(w, h);
    TDib& d = form->FSourceDib;
    for (int32_t r = 0; r < h; ++r)
      for (int32_t j = 0; j < w; ++j) {
        uint8_t* p = d.Bits + r * d.BytesPerLine + j * 3;
        p[0] = uint8_t(j * 5);
        p[1] = uint8_t(r * 3);
        p[2] = uint8_t((j ^ r) * 7);
      }
    form->renderdi();
    form->PaintView();
  }
  QImage view() { return form->PaintBox1->grab().toImage(); }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
    QTest::keyClick(target, Qt::Key(k), m);
    QApplication::processEvents();
  }
  void stroke(QPoint from, QPoint to) {
    QTest::mousePress(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent e(QEvent::MouseMove, QPointF(to), form->PaintBox1->mapToGlobal(QPointF(to)), Qt::NoButton,
                  Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->PaintBox1, &e);
    QTest::mouseRelease(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, to);
  }
};

} // namespace

TEST_F(KeysTest, CtrlZShowsTheViewFromBeforeTheStrokeAndTheRedoKeysTheViewAfterIt) {
  patternedPicture(320, 200);
  EXPECT_FALSE(form->RueckgaengigBtn->isEnabled());
  EXPECT_FALSE(form->WiederholenBtn->isEnabled());
  const QImage before = view();
  stroke({100, 80}, {140, 110});
  form->PaintView(); // without the brush outline
  const QImage after = view();
  ASSERT_NE(after, before);
  EXPECT_TRUE(form->RueckgaengigBtn->isEnabled());

  key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(view(), before);
  EXPECT_FALSE(form->RueckgaengigBtn->isEnabled());
  EXPECT_TRUE(form->WiederholenBtn->isEnabled());
  key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(view(), after);
  form->RueckgaengigBtn->click();
  EXPECT_EQ(view(), before);
  key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(view(), after);

  // Held, the backslash shows the picture itself (the identity result); the mask stays.
  const std::vector<warp::TMaskEntry> mask(form->FMask, form->FMask + 320 * 200);
  QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
  QTest::keyPress(focus, Qt::Key_Backslash);
  EXPECT_EQ(view(), before);
  QTest::keyRelease(focus, Qt::Key_Backslash);
  EXPECT_EQ(view(), after);
  EXPECT_TRUE(std::equal(mask.begin(), mask.end(), form->FMask));

  // A new picture has nothing to undo.
  patternedPicture(100, 100);
  EXPECT_FALSE(form->RueckgaengigBtn->isEnabled());
  EXPECT_FALSE(form->WiederholenBtn->isEnabled());
}

TEST_F(KeysTest, ToolRadiusAndWindowKeys) {
  // The tool tips keep their texts; the status bar names the key while the pointer is over a tool.
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(form->SchmierenBtn, &enter);
  EXPECT_EQ(form->StatusBar1->Panels[1].Text, "Schmieren: Taste 3");
  EXPECT_TRUE(form->StatusBar1->Panels[0].Text.isEmpty());
  EXPECT_EQ(form->SchmierenBtn->toolTip(), "SchmierenBtn");
  key(Qt::Key_3);
  EXPECT_TRUE(form->SchmierenBtn->Down());
  key(Qt::Key_5);
  EXPECT_TRUE(form->RadiererBtn->Down());
  key(Qt::Key_BracketRight);
  EXPECT_EQ(form->RadiusED->Value(), 55);
  key(Qt::Key_BracketLeft);
  key(Qt::Key_BracketLeft);
  EXPECT_EQ(form->RadiusED->Value(), 45);

  // A spin edit keeps the digits it is typed.
  form->StarkED->setFocus();
  key(Qt::Key_1);
  EXPECT_TRUE(form->RadiererBtn->Down());

  // The tool buttons: one tab stop, the arrows move along the group, Space presses.
  form->WachsenBtn->setFocus(Qt::TabFocusReason);
  key(Qt::Key_Down);
  EXPECT_TRUE(form->SchrumpfenBtn->hasFocus());
  key(Qt::Key_Space);
  EXPECT_TRUE(form->SchrumpfenBtn->Down());

  // Saving goes through the save dialog, closing through the close question.
  int dialogs = 0;
  comp::TSaveDialog::ExecuteHandler() = [&](comp::TSaveDialog&) { return ++dialogs, false; };
  key(Qt::Key_S, Qt::ControlModifier);
  comp::TSaveDialog::ExecuteHandler() = nullptr;
  EXPECT_EQ(dialogs, 1);
  answer = platform::IDCANCEL;
  key(Qt::Key_Q, Qt::ControlModifier);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Hiermit beenden Sie Morphane!");
  EXPECT_TRUE(form->isVisible());

  // The loading page with the file list focused; there the digits are no tool keys.
  key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(form->PageControl2->currentIndex(), 0);
  EXPECT_TRUE(form->JamShellList1->hasFocus());
  form->PageControl2->tabBar()->setFocus();
  key(Qt::Key_1);
  EXPECT_TRUE(form->SchrumpfenBtn->Down());
}

TEST_F(KeysTest, AFocusedPictureViewKeepsItsPictureUnframed) {
  patternedPicture(320, 200);
  for (comp::TScrollBox* box : {form->ScrollBox1, form->ErgScrollBox}) {
    showPage(box == form->ScrollBox1 ? 1 : 2);
    const QRect area(box->viewport()->mapTo(form.get(), QPoint()), box->viewport()->size());
    const QImage unfocused = (form->PageControl2->tabBar()->setFocus(), form->grab(area).toImage());
    box->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(form->grab(area).toImage(), unfocused);
  }
}

TEST_F(KeysTest, EveryTabStopOfEveryPageShowsItsFocus) {
  patternedPicture(320, 200);
  stroke({100, 80}, {120, 90}); // the undo button becomes a tab stop
  for (int page = 0; page < 3; ++page) {
    showPage(page);
    form->PageControl2->tabBar()->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> seen;
    for (;;) {
      key(Qt::Key_Tab);
      QWidget* f = QApplication::focusWidget();
      ASSERT_NE(f, nullptr);
      if (std::find(seen.begin(), seen.end(), f) != seen.end()) break;
      seen.push_back(f);
      const QRect around = QRect(f->mapTo(form.get(), QPoint(0, 0)), f->size()).adjusted(-3, -3, 3, 3);
      const QImage focused = form->grab(around).toImage();
      f->clearFocus();
      QApplication::processEvents();
      EXPECT_NE(form->grab(around).toImage(), focused) << "page " << page << ": " << f->metaObject()->className();
      f->setFocus(Qt::TabFocusReason);
      QApplication::processEvents();
    }
    EXPECT_GE(seen.size(), 4u);
    if (page == 1) {
      EXPECT_NE(std::find(seen.begin(), seen.end(), form->RueckgaengigBtn), seen.end());
    }
  }
}
