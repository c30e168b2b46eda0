// SPDX-License-Identifier: GPL-3.0-or-later
// Zoom and pan, the keys of the number fields, the tab chain, the window's place.
#include "window_fixture.h"

#include <QCheckBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace {
struct WindowUseTest : WindowTest {
  void SetUp() override { WindowTest::SetUp(), make().activateWindow(); }
  void wheel(QWidget* over, QPoint at, QPoint delta, Qt::KeyboardModifiers m) {
    QWheelEvent e(at, over->mapToGlobal(QPointF(at)), {}, delta, {}, m, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &e);
  }
  void key(int k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), m); }
  QPointF pictureAt(QPoint at) { // `at` in the editing view's viewport
    return (QPointF(form->ScrollBox1->HorzPosition(), form->ScrollBox1->VertPosition()) + at) / form->ViewScale();
  }
};
} // namespace

TEST_F(WindowUseTest, ZoomKeepsThePointAndTheWheelPans) {
  replacePicture(2000, 1500);
  showPage(1);
  form->ResizeView(2000, 1500);
  comp::TScrollBox* box = form->ScrollBox1;
  box->SetHorzPosition(300), box->SetVertPosition(200);
  wheel(form->PaintBox1, {420, 290}, {0, 120}, Qt::ControlModifier); // over the picture's (420, 290)
  EXPECT_EQ(form->ZoomEd->Value(), 1.25L);
  EXPECT_LT((pictureAt({120, 90}) - QPointF(420, 290)).manhattanLength(), 2);
  const QPoint mid = box->viewport()->rect().center(), middle = pictureAt(mid).toPoint();
  key(Qt::Key_Minus, Qt::ControlModifier);
  form->ZoomEd->SetText("2"); // typed
  EXPECT_LT((pictureAt(mid) - middle).manhattanLength(), 2);
  key(Qt::Key_0, Qt::ControlModifier);
  const QSize fitted = form->PaintBox1->size(), area = box->contentsRect().size();
  EXPECT_TRUE(area.expandedTo(fitted) == area && (fitted * 1.02).expandedTo(area) != area);
  form->ZoomEd->SetValue(1);
  const int h = box->HorzPosition();
  wheel(form->PaintBox1, {5, 5}, {0, -120}, Qt::ShiftModifier);
  wheel(form->PaintBox1, {5, 5}, {240, 0}, Qt::NoModifier);
  EXPECT_EQ(box->HorzPosition(), h + 20 - 40);
  showPage(2); // 100 %, fitted (Ctrl+0), 100 % (Ctrl+wheel)
  key(Qt::Key_0, Qt::ControlModifier);
  const QSize client = form->ErgScrollBox->contentsRect().size(), shown = form->ErgPaintBox->size();
  EXPECT_TRUE(shown == QSize(client.width(), client.width() * 3 / 4) || shown == QSize(client.height() * 4 / 3, client.height()));
  wheel(form->ErgPaintBox, {5, 5}, {0, 120}, Qt::ControlModifier);
  EXPECT_EQ(form->ErgPaintBox->size(), QSize(2000, 1500));
}

TEST_F(WindowUseTest, NumberFieldsGiveTheKeysBackAndTabReachesEveryButton) {
  showPage(1);
  EXPECT_TRUE(form->ScrollBox1->hasFocus()); // the page's work comes first
  for (comp::TSpinEdit* field : {form->ZoomEd, form->RadiusED}) {
    field->setFocus(Qt::MouseFocusReason);
    key(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "2");
    key(field == form->ZoomEd ? Qt::Key_Return : Qt::Key_Escape);
  }
  key(Qt::Key_3), key(Qt::Key_BracketRight);
  EXPECT_EQ(form->ZoomEd->Value(), 2.0L);
  EXPECT_TRUE(form->SchmierenBtn->Down());
  EXPECT_EQ(form->RadiusED->Value(), 55);
  std::vector<QWidget*> seen;
  for (int i = 0; i < 40; ++i, key(Qt::Key_Tab))
    seen.insert(seen.end(), {QApplication::focusWidget(), QApplication::focusWidget()->parentWidget()});
  for (QWidget* w : std::initializer_list<QWidget*>{form->WachsenBtn, form->ZoomEd, form->GlaettenCheck, form->wwwBtn,
                                                    form->ueberbtn, form->endebtn, form->PageControl2->tabBar()})
    EXPECT_NE(std::find(seen.begin(), seen.end(), w), seen.end()) << w->metaObject()->className();
  answer = platform::IDCANCEL, form->endebtn->setFocus(Qt::TabFocusReason);
  key(Qt::Key_Space); // the close question
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(form->BottomTools->layout()->itemAt(1)->widget(), form->WiederholenBtn);
  EXPECT_EQ(form->WiederholenBtn->toolTip(), "Wiederholen (Strg+Umschalt+Z oder Strg+Y)");
  EXPECT_TRUE(form->rect().contains(QRect(form->WiederholenBtn->mapTo(form.get(), QPoint()), QSize(24, 24))));
}

TEST_F(WindowUseTest, TheWindowComesBackWhereItWasAndRestoringKeepsTheUsersSize) {
  QTest::qWait(1000); // placed
  form->resize(700, 560), form->showMinimized();
  form->showNormal();
  QTest::qWait(200);
  EXPECT_EQ(form->size(), QSize(700, 560));
  form->close(); // answered with OK
  make(), QTest::qWait(100);
  EXPECT_EQ(form->size(), QSize(700, 560));
}
