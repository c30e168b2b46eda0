#include "WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {
constexpr int kCheckInterval = 50; // ms
constexpr int kChecks = 60;        // the frame is looked for during 3 s after showing
} // namespace

TWindowPlacement::TWindowPlacement(QWidget* window, QSize outerSize)
    : QObject(window), window_(window), outer_(outerSize) {
  window->installEventFilter(this);
  lateFrame_.setInterval(kCheckInterval);
  connect(&lateFrame_, &QTimer::timeout, this, [this] {
    place();
    if (--checksLeft_ <= 0) lateFrame_.stop();
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
    placed_ = false;
    place();
    checksLeft_ = kChecks;
    lateFrame_.start();
    break;
  case QEvent::Move:
  case QEvent::Resize:
    if (lateFrame_.isActive()) place();
    break;
  case QEvent::Hide:
    lateFrame_.stop();
    break;
  default:
    break;
  }
  return false;
}

void TWindowPlacement::place() {
  const QMargins frame = window_->windowHandle() ? window_->windowHandle()->frameMargins() : QMargins();
  if (placed_ && frame == frameSeen_) return;
  // A size the user chose meanwhile stays.
  if (placed_ && outer_.isValid() && window_->size() != clientSet_) {
    lateFrame_.stop();
    return;
  }
  frameSeen_ = frame;
  placed_ = true;
  QSize client = window_->size();
  if (outer_.isValid()) {
    client = outer_.shrunkBy(frame).expandedTo(QSize(1, 1));
    // The designed size is also the smallest one.
    window_->setMinimumSize(client);
    window_->resize(client);
    clientSet_ = client;
  }
  QScreen* screen = window_->screen();
  if (screen == nullptr) return;
  window_->move(CentredPosition(screen->availableGeometry(), client.grownBy(frame)));
}
