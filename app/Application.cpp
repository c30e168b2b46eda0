// SPDX-License-Identifier: GPL-3.0-or-later
#include "Application.h"

#include "platform/win.h"

#include <QLibraryInfo>
#include <QTranslator>

#include <new>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The name alone: a display name would be appended to every window title.
  setApplicationName(QStringLiteral("Morphane 2.0"));
  LoadGermanTranslations();
}

bool TApplication::LoadGermanTranslations() {
  static QTranslator* translator = nullptr;
  if (translator != nullptr) return true;
  auto* t = new QTranslator(qApp);
  if (!t->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(t)) {
    delete t;
    return false;
  }
  translator = t;
  return true;
}

std::string TApplication::ExceptionText(const std::exception* e) {
  std::string reason;
  if (dynamic_cast<const std::bad_alloc*>(e) != nullptr) reason = "Nicht genügend Arbeitsspeicher.";
  else if (e != nullptr && e->what() != nullptr && *e->what() != '\0') reason = e->what();
  else reason = "Unbekannter Fehler.";
  return "Bei der Bearbeitung ist ein Fehler aufgetreten:\n\n" + reason +
         "\n\nDie Aktion wurde abgebrochen; das Programm läuft weiter.";
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  // The handler that threw has stopped where it was; the window and its state stay, and the
  // user learns what went wrong.
  auto report = [](const std::exception* e) {
    platform::MessageBox(nullptr, ExceptionText(e), "Morphane 2.0",
                         platform::MB_OK | platform::MB_ICONERROR);
  };
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    report(&e);
  } catch (...) {
    report(nullptr);
  }
  return false;
}
