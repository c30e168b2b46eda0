// Entry point of the GoogleTest programs that need a QApplication (offscreen by default).
#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Settings the tests write go to a folder of their own, not the user's, and one of this
  // process's: CTest runs test processes side by side, which would otherwise read each other's
  // settings.
  char home[] = "/tmp/morphane-test-home-XXXXXX";
  const bool ownHome = mkdtemp(home) != nullptr;
  if (ownHome) setenv("HOME", home, 1);
  QStandardPaths::setTestModeEnabled(true);
  int result = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  if (ownHome) std::filesystem::remove_all(home, ignored);
  return result;
}
