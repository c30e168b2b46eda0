// Program start: the application object, the main window and the message loop.
#include "Application.h"
#include "MainUnit.h"
#include "StdinDriver.h"

#include "qt_platform.h"

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

  TMainForm form;
  form.show();
  StartStdinDriverIfAsked(form);
  return app.exec();
}
