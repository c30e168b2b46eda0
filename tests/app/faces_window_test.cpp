// SPDX-License-Identifier: GPL-3.0-or-later
// "Gesicht formen" in the window: the search runs in the background and a picture without a
// face gets the German message and no change; the editing view's menu key offers the dialog,
// the right button (which paints) does not open a menu.
#include "window_fixture.h"

#include "Landmarks.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

TEST_F(WindowTest, FaceSearchWithoutAFaceChangesNothing) {
  TMainForm& f = make();
  replacePicture(300, 200);
  showPage(1);
  if (!QFileInfo::exists(face::kModelPath)) {
    EXPECT_FALSE(f.FaceBtn->isEnabled());
    EXPECT_TRUE(f.FaceBtn->toolTip().contains("libdlib-data"));
    return;
  }
  f.FaceBtn->click();
  EXPECT_FALSE(f.FaceBtn->isEnabled()) << "the button waits for the search";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 60000));
  EXPECT_NE(boxes[0].text.find("kein Gesicht gefunden"), std::string::npos);
  EXPECT_TRUE(f.FaceBtn->isEnabled());
  EXPECT_FALSE(f.CanUndo());
  for (int32_t n = 0; n < 300 * 200; ++n) ASSERT_EQ(f.FMask[n], (warp::TMaskEntry{n % 300, n / 300}));
}

TEST_F(WindowTest, ViewMenuKeyOffersTheFaceDialog) {
  TMainForm& f = make();
  showPage(1);
  QStringList seen;
  const auto menuOf = [&](QContextMenuEvent::Reason reason) {
    seen.clear();
    QTimer::singleShot(200, [&] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        for (QAction* a : menu->actions()) seen << a->text();
        menu->close();
      }
    });
    QContextMenuEvent e(reason, QPoint(10, 10), f.PaintBox1->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(f.PaintBox1, &e);
    QTest::qWait(300);
    return seen;
  };
  EXPECT_EQ(menuOf(QContextMenuEvent::Keyboard), QStringList{"Gesicht formen..."});
  EXPECT_TRUE(menuOf(QContextMenuEvent::Mouse).isEmpty());
}
