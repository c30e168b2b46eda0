// SPDX-License-Identifier: GPL-3.0-or-later
// The protection brushes and their overlay in the window, a pen's pressure, the radius range.
#include "window_fixture.h"

#include <QPointingDevice>
#include <QTabletEvent>
#include <QToolButton>

namespace {

class ProtectionTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    make();
    showPage(1);
    view = form->PaintBox1;
  }
  warp::TMaskEntry at(int32_t j, int32_t r) const { return form->FMask[r * form->PictureWidth() + j]; }
  std::vector<warp::TMaskEntry> mask() const { return {form->FMask, form->FMask + 320 * 200}; }
  // Pressed at `from`, moved to `to`, a timer tick, released: by the mouse, or by the pen at `pressure`.
  void stroke(QPoint from, QPoint to, qreal pressure = -1) {
    for (const auto& [type, p] : {std::pair{QEvent::TabletPress, from}, {QEvent::TabletMove, to}, {QEvent::None, to},
                                  {QEvent::TabletRelease, to}}) {
      const QEvent::Type mouse = type == QEvent::TabletPress ? QEvent::MouseButtonPress
                                 : type == QEvent::TabletMove ? QEvent::MouseMove : QEvent::MouseButtonRelease;
      const Qt::MouseButton button = type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton;
      const Qt::MouseButtons held = type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton;
      QTabletEvent t(type, &pen, p, view->mapToGlobal(QPointF(p)), pressure, 0, 0, 0, 0, 0, {}, button, held);
      QMouseEvent m(mouse, p, view->mapToGlobal(QPointF(p)), button, held, {}, pressure < 0 ? QPointingDevice::primaryPointingDevice() : &pen);
      if (type == QEvent::None) form->Timer1Timer(form->Timer1);
      else if (pressure < 0) QApplication::sendEvent(view, &m);
      else QApplication::sendEvent(view, &t), QApplication::sendEvent(view, &m); // the pen's mouse: dropped
    }
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
  stroke({160, 100}, {170, 100});
  EXPECT_EQ(form->Protection()[size_t(99) * 320 + 165], 255);
  EXPECT_NE(shown({165, 100}), white);
  EXPECT_EQ(0, std::memcmp(result.data(), form->FResultDib.Bits, result.size())) << "the result is not tinted";
  QTest::keyClick(form.get(), Qt::Key_V);
  EXPECT_EQ(shown({165, 100}), white);
  form->WachsenBtn->click(); // a tool paints with the tool again; the protected middle keeps its entries
  const auto before = mask();
  stroke({100, 100}, {200, 100});
  EXPECT_TRUE(at(165, 99) == before[99 * 320 + 165] && !(at(110, 99) == before[99 * 320 + 110]));
  QTest::keyClick(form.get(), Qt::Key_F);
  stroke({165, 100}, {165, 100});
  EXPECT_EQ(form->Protection()[size_t(99) * 320 + 165], 0);
}

TEST_F(ProtectionTest, PenPressureScalesTheStrengthTheMouseIsFullAndTheRangeFollowsThePicture) {
  stroke({100, 100}, {120, 104}, 0.5);
  EXPECT_TRUE(!form->FStrokeActive && form->FPressure == 1.0);
  const auto pressed = mask();
  form->Undo();
  form->StarkED->SetValue(0.2L);
  stroke({100, 100}, {120, 104});
  EXPECT_EQ(mask(), pressed);
  replacePicture(8000, 12);
  form->UpdateRadiusRange();
  form->RadiusED->SetValue(740);
  EXPECT_TRUE(form->RadiusED->MaxValue() == 800 && form->RadiusED->Value() == 740);
  replacePicture(320, 200);
  form->UpdateRadiusRange();
  EXPECT_EQ(form->RadiusED->Value(), 300);
}
