// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: Qt's own dialogs and buttons in German, and an exception that escapes
// an event handler reported in a message box instead of ending the program.
#pragma once

#include <QApplication>

#include <exception>
#include <string>

class TApplication : public QApplication {
  Q_OBJECT
public:
  TApplication(int& argc, char** argv);

  // Loads Qt's German translations (the program's own texts are German, whatever the locale).
  // False when they are not installed; the standard buttons then stay English.
  static bool LoadGermanTranslations();
  // The text the message box shows for an exception.
  static std::string ExceptionText(const std::exception* e);

  bool notify(QObject* receiver, QEvent* event) override;
};
