// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_platform.h"

#include "platform/gdi.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <thread>

using namespace platform;
namespace pq = platform::qt;

namespace {

TEST(QtMessageBox, FlagsMapToButtonsIconsAndResults) {
  EXPECT_EQ(pq::ButtonsForFlags(MB_OK), QMessageBox::Ok);
  EXPECT_EQ(pq::ButtonsForFlags(MB_OKCANCEL | MB_ICONINFORMATION), QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(pq::ButtonsForFlags(MB_YESNO | MB_ICONQUESTION), QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(pq::IconForFlags(MB_OKCANCEL | MB_ICONINFORMATION), QMessageBox::Information);
  EXPECT_EQ(pq::IconForFlags(MB_ICONERROR), QMessageBox::Critical);
  EXPECT_EQ(pq::IconForFlags(MB_ICONWARNING), QMessageBox::Warning);
  EXPECT_EQ(pq::IconForFlags(MB_OK), QMessageBox::NoIcon);
  EXPECT_EQ(pq::ResultForButton(QMessageBox::Cancel, MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(pq::ResultForButton(QMessageBox::Yes, MB_YESNO), IDYES);
  // Closed without a button.
  EXPECT_EQ(pq::ResultForButton(QMessageBox::NoButton, MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(pq::ResultForButton(QMessageBox::NoButton, MB_YESNO), IDNO);
  EXPECT_EQ(pq::ResultForButton(QMessageBox::NoButton, MB_OK), IDOK);
}

TEST(QtMessageBox, AnEmptyCaptionShowsTheProgramsName) {
  EXPECT_EQ(pq::CaptionOrDefault("Programm beenden"), "Programm beenden");
  const QString before = QGuiApplication::applicationDisplayName();
  QGuiApplication::setApplicationDisplayName(QString());
  EXPECT_EQ(pq::CaptionOrDefault(""), "Morphane 2.0");
  QGuiApplication::setApplicationDisplayName(before);
}

// Presses the button with the given text on the next message box that opens.
void PressOnNextBox(const QString& text, QString* seenTitle, QString* seenText) {
  QTimer::singleShot(0, [=] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr || !box->isVisible()) continue;
      *seenTitle = box->windowTitle();
      *seenText = box->text();
      for (QAbstractButton* b : box->buttons())
        if (b->text().remove('&') == text) b->click();
      return;
    }
  });
}

TEST(QtPlatform, InstalledMessageBoxesAnswerWithTheButtonPressed) {
  pq::InstallQtPlatform();
  QString title, text;
  // The box's own label for Cancel (the platform theme may translate it).
  QMessageBox probe(QMessageBox::NoIcon, "", "", QMessageBox::Ok | QMessageBox::Cancel);
  const QString cancelText = probe.button(QMessageBox::Cancel)->text().remove('&');
  const QString okText = probe.button(QMessageBox::Ok)->text().remove('&');
  PressOnNextBox(cancelText, &title, &text);
  EXPECT_EQ(MessageBox(nullptr, "Hiermit beenden Sie Morphane!", "Programm beenden",
                       MB_OKCANCEL | MB_ICONINFORMATION),
            IDCANCEL);
  EXPECT_EQ(title, "Programm beenden");
  EXPECT_EQ(text, QString::fromUtf8("Hiermit beenden Sie Morphane!"));
  PressOnNextBox(okText, &title, &text);
  EXPECT_EQ(MessageBox(nullptr, "Das Gerät unterstützt die Funktion StretchBlt nicht!", "", MB_OK), IDOK);
  EXPECT_EQ(title, pq::CaptionOrDefault(""));
  EXPECT_EQ(text, QString::fromUtf8("Das Gerät unterstützt die Funktion StretchBlt nicht!"));
  SetMessageBoxHandler(nullptr);
}

class TRecorder final : public TMessageTarget {
public:
  std::vector<std::pair<WPARAM, std::thread::id>> got;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM) override {
    if (msg == WM_USER) got.emplace_back(wParam, std::this_thread::get_id());
    return 0;
  }
};

TEST(QtPlatform, MessagesFromOtherThreadsArriveOnTheUiThread) {
  pq::InstallQtPlatform();
  TRecorder window;
  SendMessage(&window, WM_USER, 10, 0);
  ASSERT_EQ(window.got.size(), 1u); // at once on the UI thread
  std::thread worker([&] { SendMessage(&window, WM_USER, 75, 99); });
  worker.join();
  EXPECT_EQ(window.got.size(), 1u);
  QApplication::processEvents();
  ASSERT_EQ(window.got.size(), 2u);
  EXPECT_EQ(window.got[1].first, WPARAM(75));
  EXPECT_EQ(window.got[1].second, std::this_thread::get_id());
}

class TUrlCatcher : public QObject {
  Q_OBJECT
public:
  QList<QUrl> urls;
public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

TEST(QtPlatform, ShellExecuteOpensAddressesWithTheDesktop) {
  pq::InstallQtPlatform();
  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler("https", &catcher, "open");
  EXPECT_GT(ShellExecute(nullptr, "open", "https://www.morphane.example/", "", "", SW_SHOW), 32);
  QDesktopServices::unsetUrlHandler("https");
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_EQ(catcher.urls[0].host(), "www.morphane.example");
  EXPECT_LE(ShellExecute(nullptr, "open", "", "", "", SW_SHOW), 32);
}

TEST(QtPlatform, TheScreenDepthComesFromTheScreen) {
  pq::InstallQtPlatform();
  ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
  EXPECT_EQ(ScreenDepth(), QGuiApplication::primaryScreen()->depth());
  HDC desktop = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(desktop, BITSPIXEL), QGuiApplication::primaryScreen()->depth());
  ReleaseDC(nullptr, desktop);
}

} // namespace

#include "qt_platform_test.moc"
