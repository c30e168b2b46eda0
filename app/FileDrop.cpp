// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDrop.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

QString DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
  return urls.front().toLocalFile();
}

TFileDrop::TFileDrop(QWidget* window, std::function<void(const QString&)> open)
    : QObject(window), FOpen(std::move(open)) {
  window->setAcceptDrops(true);
  window->installEventFilter(this);
}

bool TFileDrop::eventFilter(QObject*, QEvent* event) {
  switch (event->type()) {
  case QEvent::DragEnter:
  case QEvent::DragMove: {
    auto* drag = static_cast<QDropEvent*>(event);
    if (DroppedFile(drag->mimeData()).isEmpty()) {
      drag->ignore();
    } else {
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
    }
    return true;
  }
  case QEvent::Drop: {
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = DroppedFile(drop->mimeData());
    if (path.isEmpty()) return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    // Opened after the drag has ended, so that the file manager is not kept waiting by the
    // loading or by a message box.
    QTimer::singleShot(0, this, [this, path] { FOpen(path); });
    return true;
  }
  default: return false;
  }
}
