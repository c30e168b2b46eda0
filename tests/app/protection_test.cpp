// SPDX-License-Identifier: GPL-3.0-or-later
// The protection brushes and their overlay in the window, a pen's pressure, the radius range.
#include "window_fixture.h"

#include <QPointingDevice>
#include <QTabletEvent>
#include <QToolButton>

#include <cstring>

namespace {

class ProtectionTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    make();
    showPage(1);
    view = form->PaintBox1;
  }
  std::vector<warp::TMaskEntry> mask() const {
    return std::vector<warp::TMaskEntry>(form->FMask, form->FMask + size_t(form->PictureWidth()) * form->PictureHeight());
  }
  void mouseStroke(QPoint from, QPoint to) {
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent m(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(view, &m);
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, to);
  }
  void tablet(QEvent::Type type, QPoint at, qreal pressure) {
    QTabletEvent e(type, &pen, QPointF(at), view->mapToGlobal(QPointF(at)), pressure, 0, 0, 0, 0, 0, Qt::NoModifier,
                   type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton,
                   type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton);
    QApplication::sendEvent(view, &e);
  }
  QRgb shown(QPoint at) { return view->grab().toImage().pixel(at); }

  QPointingDevice pen{"Stift", 7, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                      QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3};
  comp::TPaintBox* view = nullptr;
};

} // namespace

TEST_F(ProtectionTest, KeysPaintProtectionShownOnlyOnTheViewAndToolsStayOffIt) {
  ASSERT_EQ(form->SchuetzenBtn->parentWidget(), form->BottomTools);
  const std::vector<uint8_t> result(form->FResultDib.Bits, form->FResultDib.Bits + 320 * 3);
  const QRgb white = shown({160, 100});
  QTest::keyClick(form.get(), Qt::Key_S);
  EXPECT_EQ(form->FBrush, warp::TEditorCore::TBrush::Protect);
  mouseStroke({160, 100}, {170, 100});
  ASSERT_EQ(form->Protection().size(), size_t(320 * 200));
  EXPECT_EQ(form->Protection()[size_t(99) * 320 + 165], 255);
  EXPECT_NE(shown({165, 100}), white);
  EXPECT_EQ(0, std::memcmp(result.data(), form->FResultDib.Bits, result.size())) << "the result is not tinted";
  QTest::keyClick(form.get(), Qt::Key_V);
  EXPECT_EQ(shown({165, 100}), white);
  QTest::keyClick(form.get(), Qt::Key_V);
  // A tool button paints with the tool again; the protected middle keeps its entries.
  form->WachsenBtn->click();
  EXPECT_FALSE(form->SchuetzenBtn->isChecked());
  const auto before = mask();
  mouseStroke({120, 100}, {200, 100});
  EXPECT_EQ(mask()[size_t(99) * 320 + 165], before[size_t(99) * 320 + 165]);
  EXPECT_NE(mask()[size_t(99) * 320 + 100], before[size_t(99) * 320 + 100]);
  QTest::keyClick(form.get(), Qt::Key_F);
  EXPECT_EQ(form->FBrush, warp::TEditorCore::TBrush::Release);
  mouseStroke({165, 100}, {165, 100});
  EXPECT_EQ(form->Protection()[size_t(99) * 320 + 165], 0);
}

TEST_F(ProtectionTest, PenPressureScalesTheStrengthAndTheMouseIsFullStrengthAgain) {
  tablet(QEvent::TabletPress, {100, 100}, 0.5);
  // What the system may make of the pen as a mouse is not a second stroke.
  QMouseEvent synthesized(QEvent::MouseMove, QPointF(130, 100), view->mapToGlobal(QPointF(130, 100)), Qt::NoButton,
                          Qt::LeftButton, Qt::NoModifier, &pen);
  QApplication::sendEvent(view, &synthesized);
  tablet(QEvent::TabletMove, {120, 104}, 0.5);
  form->Timer1Timer(form->Timer1);
  tablet(QEvent::TabletRelease, {120, 104}, 0);
  EXPECT_FALSE(form->FStrokeActive);
  EXPECT_EQ(form->FPressure, 1.0);
  const auto pressed = mask();
  form->Undo();
  form->StarkED->SetValue(0.2L);
  QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, {100, 100});
  QMouseEvent m(QEvent::MouseMove, QPointF(120, 104), view->mapToGlobal(QPointF(120, 104)), Qt::NoButton,
                Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &m);
  form->Timer1Timer(form->Timer1);
  QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, {120, 104});
  EXPECT_EQ(mask(), pressed);
}

TEST_F(ProtectionTest, RadiusRangeFollowsThePicture) {
  EXPECT_EQ(form->RadiusED->MaxValue(), 300);
  replacePicture(8000, 12);
  form->UpdateRadiusRange();
  EXPECT_EQ(form->RadiusED->MaxValue(), 800);
  form->RadiusED->SetValue(740);
  EXPECT_EQ(form->RadiusED->Value(), 740);
  replacePicture(320, 200);
  form->UpdateRadiusRange();
  EXPECT_EQ(form->RadiusED->Value(), 300);
}
