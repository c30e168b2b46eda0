// SPDX-License-Identifier: GPL-3.0-or-later
// Program start: the command line, the application object, the main window and the message loop.
#include "Application.h"
#include "CommandLine.h"
#include "MainUnit.h"
#include "StdinDriver.h"

#include "qt_platform.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

bool haveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v && *v) return true;
  }
  return false;
}

// Writes a German text on standard output or standard error as UTF-8 (the terminal's
// encoding on this system).
void Print(std::FILE* stream, const QString& text) { std::fputs(text.toUtf8().constData(), stream); }

QStringList ArgumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// A wrong command line: what is wrong, and where the options are listed. Exit status 2.
int CommandLineError(const QString& error) {
  Print(stderr, QStringLiteral("morphane: %1\n\u201Emorphane --help\u201C zeigt die Optionen.\n").arg(error));
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  // --help and --version need no display, and neither does the answer to a wrong command line
  // on a machine without one. The Qt options of the display (-platform, -display, ...) are
  // known only to the GUI application object, so with a display the line is judged after it.
  if (const TCommandLine early = ParseCommandLine(ArgumentsOf(argc, argv));
      early.Help || early.Version || !haveDisplay()) {
    QCoreApplication core(argc, argv);
    InstallCommandLineTranslator();
    const TCommandLine commandLine = ParseCommandLine(QCoreApplication::arguments());
    if (commandLine.Help) {
      Print(stdout, CommandLineHelp());
      return 0;
    }
    if (commandLine.Version) {
      Print(stdout, VersionText());
      return 0;
    }
    if (!commandLine.Ok) return CommandLineError(commandLine.Error);
    std::fprintf(stderr, "Morphane 2.0 braucht eine grafische Oberfläche: keine Anzeige gefunden "
                         "(DISPLAY oder WAYLAND_DISPLAY ist nicht gesetzt).\n");
    return 1;
  }
  TApplication app(argc, argv);
  platform::MarkUiThread();
  platform::qt::InstallQtPlatform();
  InstallCommandLineTranslator();
  const TCommandLine commandLine = ParseCommandLine(QApplication::arguments());
  if (!commandLine.Ok) return CommandLineError(commandLine.Error);

  TMainForm form;
  form.show();
  StartStdinDriverIfAsked(form);
  // Opened from the running message loop, so that a message box has the shown window as owner:
  // first the work a killed session left, then the file named.
  QTimer::singleShot(0, &form, [&form, path = commandLine.Path] {
    form.StartAutosave();
    if (!path.isEmpty()) form.OpenFromOutside(path);
  });
  return app.exec();
}
