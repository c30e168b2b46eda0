// SPDX-License-Identifier: GPL-3.0-or-later
// Places a top-level window centred on its screen when it is shown. A window manager reports the
// frame it puts around the window only after the window is mapped, sometimes well after; the
// placement is made again whenever the frame becomes known or changes, so that the frame
// included is centred and, when an outer size is given, has exactly that size.
#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>

class QWidget;

class TWindowPlacement : public QObject {
  Q_OBJECT
public:
  // outerSize: the window's size with the frame; empty keeps the window's own size.
  explicit TWindowPlacement(QWidget* window, QSize outerSize = QSize());

  // Top-left corner of a frame of this size centred in the available area.
  static QPoint CentredPosition(const QRect& available, const QSize& frameSize);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool place();
  QWidget* window_;
  QSize outer_;
  QMargins frameSeen_; // the frame at the last check; none until the window manager reports it
  bool sized_ = false; // the outer size is made for frameSeen_
  int checks_ = 0;     // checks since the window was shown
  int settled_ = 0;    // checks running that found the window in place
  QTimer lateFrame_;
};
