// SPDX-License-Identifier: GPL-3.0-or-later
// Installs the Qt implementations of the platform layer's services.
#pragma once

#include "platform/win.h"

#include <QMessageBox>
#include <QString>

namespace platform::qt {

// Message boxes (QMessageBox), SendMessage from other threads (queued to the UI thread),
// ShellExecute (QDesktopServices) and the screen depth (QScreen). Call once after the
// QApplication exists, on the UI thread.
void InstallQtPlatform();

// The pieces of the message-box handler, for tests.
QMessageBox::StandardButtons ButtonsForFlags(UINT flags);
QMessageBox::Icon IconForFlags(UINT flags);
int ResultForButton(QMessageBox::StandardButton button, UINT flags);
// An empty caption shows the application's display name ("Morphane 2.0").
QString CaptionOrDefault(const std::string& caption);
int ShowQtMessageBox(const TMessageBoxRequest& request);

} // namespace platform::qt
