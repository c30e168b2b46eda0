// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a picture dropped on the main window from a file manager.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QMimeData;
class QWidget;

// The one local file a drag carries, or empty (several files, no file, or not local).
QString DroppedFile(const QMimeData* data);

// Lets window accept drops of one local file anywhere on it (children without drop handling
// of their own pass them up) and hands the file to open.
class TFileDrop : public QObject {
public:
  TFileDrop(QWidget* window, std::function<void(const QString& path)> open);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  std::function<void(const QString&)> FOpen;
};
