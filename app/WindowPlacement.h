// SPDX-License-Identifier: GPL-3.0-or-later
// Places a top-level window centred on its screen when it is shown. A window manager reports the
// frame it puts around the window only after the window is mapped, sometimes well after; the
// placement is made again whenever the frame becomes known or changes, so that the frame
// included is centred and, when an outer size is given, has exactly that size.
//
// With a settings key the window's size, place and maximised state are kept in the program's
// settings by Remember() and brought back when the window is shown again in a later run; only
// the first start uses the centred outer size. A window coming back from minimised is left
// where and as large as the user had it.
#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

class QWidget;

class TWindowPlacement : public QObject {
  Q_OBJECT
public:
  // outerSize: the window's size with the frame; empty keeps the window's own size.
  explicit TWindowPlacement(QWidget* window, QSize outerSize = QSize(), QString settingsKey = QString());

  // Keeps the window's geometry under the settings key (nothing without one).
  void Remember();

  // Top-left corner of a frame of this size centred in the available area.
  static QPoint CentredPosition(const QRect& available, const QSize& frameSize);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool place();
  QWidget* window_;
  QSize outer_;
  QString key_;
  bool restored_ = false; // shown where a former run left it: nothing is moved or resized
  QMargins frameSeen_; // the frame at the last check; none until the window manager reports it
  bool sized_ = false; // the outer size is made for frameSeen_
  int checks_ = 0;     // checks since the window was shown
  int settled_ = 0;    // checks running that found the window in place
  QTimer lateFrame_;
};
