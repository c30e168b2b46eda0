// SPDX-License-Identifier: GPL-3.0-or-later
// Entry point of the window tests: the program's own application object, offscreen by default.
#include "Application.h"

#include "../common/own_home.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const TOwnHome home;
  TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
