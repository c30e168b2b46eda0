// SPDX-License-Identifier: GPL-3.0-or-later
// The window and its dialogs under a window manager (run by run-under-wm.sh): outer size with
// the frame, centred on the screen, titles exactly as given, Qt's buttons in German.
#include "window_fixture.h"

#include "AboutBoxUnit.h"
#include "PrintFUnit.h"
#include "qt_platform.h"

#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <functional>

namespace {

// The title the X server holds for the window, as a window manager shows it.
QString serverTitle(QWidget* w) {
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(w->winId()), "_NET_WM_NAME"});
  if (!xprop.waitForFinished(5000)) return "(xprop hängt)";
  const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
  const qsizetype quote = out.indexOf('"');
  return quote < 0 ? out : out.mid(quote + 1).chopped(1);
}

// Generous: the machine may be busy.
bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
  for (int waited = 0; !done(); waited += 20) {
    if (waited >= ms) return false;
    QTest::qWait(20);
  }
  return true;
}

// Waits until the window manager has framed the window and the placement has followed.
void waitForFrame(QWidget* w) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w, 30000));
  ASSERT_TRUE(waitUntil([w] { return w->frameGeometry().size() != w->size(); })) << "no frame";
  QTest::qWait(300);
}

// The window manager carries out a move some time after it was asked for.
void expectCentred(QWidget* w) {
  const QRect avail = w->screen()->availableGeometry();
  auto offsetNow = [&] { return w->frameGeometry().center() - avail.center(); };
  waitUntil([&] { return std::abs(offsetNow().x()) <= 1 && std::abs(offsetNow().y()) <= 1; });
  const QPoint offset = offsetNow();
  EXPECT_LE(std::abs(offset.x()), 1) << "frame " << w->frameGeometry().x() << "," << w->frameGeometry().y();
  EXPECT_LE(std::abs(offset.y()), 1);
}

class WindowManagerTest : public WindowTest {};

} // namespace

TEST_F(WindowManagerTest, OuterSizeWithTheFrameCentredAndTheTitleAlone) {
  TMainForm& f = make(false);
  f.show();
  waitForFrame(&f);
  waitUntil([&] { return f.frameGeometry().size() == QSize(638, 512); });
  EXPECT_EQ(f.frameGeometry().size(), QSize(638, 512));
  expectCentred(&f);
  EXPECT_EQ(f.minimumSize(), f.size()) << "the designed size is the smallest";
  EXPECT_EQ(serverTitle(&f), "Morphane 2.0");
}

TEST_F(WindowManagerTest, CloseQuestionHasItsCaptionAndGermanButtons) {
  TMainForm& f = make(false);
  f.show();
  waitForFrame(&f);
  platform::SetMessageBoxHandler(platform::qt::ShowQtMessageBox);
  QString title, shownTitle, okText, cancelText;
  QTimer::singleShot(0, [&] {
    waitUntil([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; });
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    waitUntil([box] { return box->frameGeometry().size() != box->size(); });
    title = box->windowTitle();
    shownTitle = serverTitle(box);
    okText = box->button(QMessageBox::Ok)->text();
    cancelText = box->button(QMessageBox::Cancel)->text().remove('&');
    box->button(QMessageBox::Cancel)->click();
  });
  f.close();
  EXPECT_EQ(title, "Programm beenden");
  EXPECT_EQ(shownTitle, "Programm beenden");
  EXPECT_EQ(okText, "OK");
  EXPECT_EQ(cancelText, "Abbrechen");
  EXPECT_TRUE(f.isVisible());
}

TEST_F(WindowManagerTest, InformationAndPrintDialogsAreCentredOnTheScreen) {
  TMainForm& f = make(false);
  f.show();
  waitForFrame(&f);
  expectCentred(&f);
  QTest::qWait(600); // settled: from now on the window stays where the user puts it
  f.move(0, 0); // away from the centre: the dialogs must not follow it
  waitUntil([&] { return f.frameGeometry().topLeft() == QPoint(0, 0); });
  TAboutBox about(&f);
  about.show();
  waitForFrame(&about);
  expectCentred(&about);
  EXPECT_EQ(serverTitle(&about), "Info");
  about.close();

  QPrinter printer;
  TPrintForm print(&f, f.FResultDib, printer);
  print.show();
  waitForFrame(&print);
  expectCentred(&print);
  EXPECT_EQ(serverTitle(&print), "Bild drucken...");
}
