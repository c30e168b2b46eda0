// Program start: the application object, the command line, the main window and the message loop.
#include "Application.h"
#include "CommandLine.h"
#include "MainUnit.h"
#include "StdinDriver.h"

#include "qt_platform.h"

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

} // namespace

int main(int argc, char** argv) {
  if (!haveDisplay()) {
    std::fprintf(stderr, "Morphane 2.0 braucht eine grafische Oberfläche: keine Anzeige gefunden "
                         "(DISPLAY oder WAYLAND_DISPLAY ist nicht gesetzt).\n");
    return 1;
  }
  TApplication app(argc, argv);
  platform::MarkUiThread();
  platform::qt::InstallQtPlatform();

  const TCommandLine commandLine = ParseCommandLine(QApplication::arguments());
  if (!commandLine.Ok) {
    std::fprintf(stderr, "morphane: %s\n", commandLine.Error.toLocal8Bit().constData());
    return 2;
  }

  TMainForm form;
  form.show();
  StartStdinDriverIfAsked(form);
  // Opened from the running message loop, so that a message box has the shown window as owner.
  if (!commandLine.Path.isEmpty())
    QTimer::singleShot(0, &form, [&form, path = commandLine.Path] { form.OpenFromOutside(path); });
  return app.exec();
}
