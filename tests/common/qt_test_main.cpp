// Entry point of the GoogleTest programs that need a QApplication (offscreen by default).
#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Settings and data the tests write go to folders of their own, not the user's; the
  // environment covers what does not ask QStandardPaths.
  QStandardPaths::setTestModeEnabled(true);
  QTemporaryDir home;
  setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
  setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
