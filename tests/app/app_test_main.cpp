// Entry point of the window tests: the program's own application object, offscreen by default.
#include "Application.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Settings, favourites and the save dialog's last folder go to a home of this process's own:
  // CTest runs the window tests side by side, and one test's remembered folder must not become
  // another's starting point.
  char home[] = "/tmp/morphane-test-home-XXXXXX";
  const bool ownHome = mkdtemp(home) != nullptr;
  if (ownHome) {
    const std::string base = home;
    setenv("HOME", home, 1);
    setenv("XDG_CONFIG_HOME", (base + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/.local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (base + "/.cache").c_str(), 1);
  }
  int result = 0;
  {
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  if (ownHome) std::filesystem::remove_all(home, ignored);
  return result;
}
