// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_platform.h"

#include "platform/gdi.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QUrl>
#include <QWidget>

namespace platform::qt {
namespace {

bool onUiThread() { return QThread::currentThread() == qApp->thread(); }

// Runs f on the UI thread and waits for its result.
template <typename F> auto onUi(F f) -> decltype(f()) {
  if (onUiThread()) return f();
  decltype(f()) result{};
  QMetaObject::invokeMethod(qApp, [&] { result = f(); }, Qt::BlockingQueuedConnection);
  return result;
}

intptr_t openWithDesktop(const TShellExecuteRequest& r) {
  if ((r.operation != "open" && !r.operation.empty()) || r.file.empty()) return 2;
  const QUrl url = QUrl::fromUserInput(QString::fromStdString(r.file));
  if (!url.isValid()) return 2;
  return onUi([&] { return QDesktopServices::openUrl(url) ? intptr_t(42) : intptr_t(31); });
}

} // namespace

QMessageBox::StandardButtons ButtonsForFlags(UINT flags) {
  switch (flags & MB_TYPEMASK) {
  case MB_OKCANCEL: return QMessageBox::Ok | QMessageBox::Cancel;
  case MB_ABORTRETRYIGNORE: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
  case MB_YESNOCANCEL: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  case MB_YESNO: return QMessageBox::Yes | QMessageBox::No;
  case MB_RETRYCANCEL: return QMessageBox::Retry | QMessageBox::Cancel;
  case MB_SAVEDISCARDCANCEL: return QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
  default: return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconForFlags(UINT flags) {
  switch (flags & MB_ICONMASK) {
  case MB_ICONERROR: return QMessageBox::Critical;
  case MB_ICONQUESTION: return QMessageBox::Question;
  case MB_ICONWARNING: return QMessageBox::Warning;
  case MB_ICONINFORMATION: return QMessageBox::Information;
  default: return QMessageBox::NoIcon;
  }
}

int ResultForButton(QMessageBox::StandardButton button, UINT flags) {
  switch (button) {
  case QMessageBox::Ok: return IDOK;
  case QMessageBox::Cancel: return IDCANCEL;
  case QMessageBox::Yes:
  case QMessageBox::Save: return IDYES;
  case QMessageBox::Discard:
  case QMessageBox::No: return IDNO;
  case QMessageBox::Abort: return IDABORT;
  case QMessageBox::Retry: return IDRETRY;
  case QMessageBox::Ignore: return IDIGNORE;
  default: break;
  }
  // Closed without a button (Escape, the title bar): what the box's way out means.
  switch (flags & MB_TYPEMASK) {
  case MB_OK: return IDOK;
  case MB_YESNO: return IDNO;
  case MB_ABORTRETRYIGNORE: return IDABORT;
  default: return IDCANCEL;
  }
}

QString CaptionOrDefault(const std::string& caption) {
  if (!caption.empty()) return QString::fromStdString(caption);
  const QString name = QGuiApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("Morphane 2.0") : name;
}

int ShowQtMessageBox(const TMessageBoxRequest& r) {
  return onUi([&] {
    QWidget* parent = dynamic_cast<QWidget*>(r.owner);
    if (parent == nullptr) parent = QApplication::activeWindow();
    QMessageBox box(IconForFlags(r.flags), CaptionOrDefault(r.caption),
                    QString::fromStdString(r.text), ButtonsForFlags(r.flags), parent);
    const auto buttons = ButtonsForFlags(r.flags);
    if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons & QMessageBox::No) box.setEscapeButton(QMessageBox::No);
    else if (buttons == QMessageBox::Ok) box.setEscapeButton(QMessageBox::Ok);
    if (buttons & QMessageBox::Save) {
      box.button(QMessageBox::Save)->setText(QStringLiteral("&Speichern"));
      box.button(QMessageBox::Discard)->setText(QStringLiteral("&Verwerfen"));
      box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
      box.setDefaultButton(QMessageBox::Save);
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return ResultForButton(clicked ? box.standardButton(clicked) : QMessageBox::NoButton, r.flags);
  });
}

void InstallQtPlatform() {
  MarkUiThread();
  SetMessageBoxHandler(ShowQtMessageBox);
  SetCrossThreadPoster([](HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    QMetaObject::invokeMethod(
        qApp, [=] { platform::SendMessage(window, msg, wParam, lParam); }, Qt::QueuedConnection);
  });
  SetShellExecuteHandler(openWithDesktop);
  SetScreenDepthProvider([] {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 24;
  });
}

} // namespace platform::qt
