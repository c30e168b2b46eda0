// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace {
constexpr int kCheckInterval = 50;  // ms
constexpr int kSettledChecks = 10;  // a framed window in place this many checks running is done
constexpr int kUnframedChecks = 60; // without a frame after 3 s there is no window manager
constexpr int kMaxChecks = 400;     // a busy machine's window manager may take its time: 20 s
} // namespace

TWindowPlacement::TWindowPlacement(QWidget* window, QSize outerSize, QString settingsKey)
    : QObject(window), window_(window), outer_(outerSize), key_(std::move(settingsKey)) {
  window->installEventFilter(this);
  lateFrame_.setInterval(kCheckInterval);
  connect(&lateFrame_, &QTimer::timeout, this, [this] {
    const bool inPlace = place();
    const bool framed = !frameSeen_.isNull();
    settled_ = inPlace ? settled_ + 1 : 0;
    ++checks_;
    if ((framed && settled_ >= kSettledChecks) || (!framed && settled_ >= kUnframedChecks) ||
        checks_ >= kMaxChecks)
      lateFrame_.stop();
  });
}

QPoint TWindowPlacement::CentredPosition(const QRect& available, const QSize& frameSize) {
  return {available.left() + (available.width() - frameSize.width()) / 2,
          available.top() + (available.height() - frameSize.height()) / 2};
}

bool TWindowPlacement::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window_) return false;
  switch (event->type()) {
  case QEvent::Show:
    // The window manager maps a window again after minimising: the user's geometry stays.
    if (event->spontaneous()) break;
    if (!key_.isEmpty() && !restored_) {
      const QByteArray saved = QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")).value(key_).toByteArray();
      restored_ = !saved.isEmpty() && window_->restoreGeometry(saved);
    }
    checks_ = settled_ = 0;
    frameSeen_ = QMargins();
    sized_ = false;
    place();
    lateFrame_.start();
    break;
  case QEvent::Hide:
    lateFrame_.stop();
    break;
  default:
    break;
  }
  return false;
}

void TWindowPlacement::Remember() {
  if (key_.isEmpty()) return;
  QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")).setValue(key_, window_->saveGeometry());
}

// Until the window manager has settled, its frame and the window's place are checked again and
// again; the window is put where it belongs whenever they differ. True when it is there.
bool TWindowPlacement::place() {
  const QMargins frame = window_->windowHandle() ? window_->windowHandle()->frameMargins() : QMargins();
  if (restored_) {
    // The designed size stays the smallest one.
    if (outer_.isValid()) window_->setMinimumSize(outer_.shrunkBy(frame).expandedTo(QSize(1, 1)));
    return true;
  }
  // The size is made for each new frame; a size the user chose under the same frame stays.
  if (outer_.isValid() && (!sized_ || frame != frameSeen_)) {
    const QSize client = outer_.shrunkBy(frame).expandedTo(QSize(1, 1));
    // The designed size is also the smallest one.
    window_->setMinimumSize(client);
    window_->resize(client);
    sized_ = true;
  }
  frameSeen_ = frame;
  QScreen* screen = window_->screen();
  if (screen == nullptr) return true;
  const QPoint target = CentredPosition(screen->availableGeometry(), window_->size().grownBy(frame));
  if (window_->frameGeometry().topLeft() == target) return true;
  window_->move(target);
  return false;
}
