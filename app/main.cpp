// Program start: the application object, the main window and the message loop.
#include "MainUnit.h"

#include <QApplication>
#include <QMessageBox>

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

// TODO(win): replaced by the platform layer's own dialogs once they exist.
int showMessageBox(const platform::TMessageBoxRequest& r) {
  const QMessageBox::StandardButtons buttons =
      (r.flags & 0xF) == platform::MB_OKCANCEL ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
  QMessageBox box(QMessageBox::Information, QString::fromStdString(r.caption), QString::fromStdString(r.text),
                  buttons, QApplication::activeWindow());
  return box.exec() == QMessageBox::Ok ? platform::IDOK : platform::IDCANCEL;
}

} // namespace

int main(int argc, char** argv) {
  if (!haveDisplay()) {
    std::fprintf(stderr, "Morphane 2.0 braucht eine grafische Oberfläche: keine Anzeige gefunden "
                         "(DISPLAY oder WAYLAND_DISPLAY ist nicht gesetzt).\n");
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Morphane 2.0");
  QApplication::setApplicationDisplayName("Morphane 2.0");
  platform::MarkUiThread();
  platform::SetMessageBoxHandler(showMessageBox);

  TMainForm form;
  form.show();
  return app.exec();
}
