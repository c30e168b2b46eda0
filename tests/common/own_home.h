// SPDX-License-Identifier: GPL-3.0-or-later
// A home folder of the test process's own, with the settings, data and cache folders inside it,
// for as long as the object lives. CTest runs test processes side by side; without this they
// would read and write each other's settings (a remembered folder of one test becoming another
// test's starting point) and the user's.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class TOwnHome {
public:
  TOwnHome() {
    char name[] = "/tmp/morphane-test-home-XXXXXX";
    if (mkdtemp(name) == nullptr) return;
    FPath = name;
    setenv("HOME", FPath.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (FPath + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (FPath + "/.local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (FPath + "/.cache").c_str(), 1);
  }
  ~TOwnHome() {
    std::error_code ignored;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ignored);
  }
  TOwnHome(const TOwnHome&) = delete;
  TOwnHome& operator=(const TOwnHome&) = delete;

private:
  std::string FPath;
};
