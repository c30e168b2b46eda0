// SPDX-License-Identifier: GPL-3.0-or-later
// Entry point of the GoogleTest programs that need a QApplication (offscreen by default).
#include "own_home.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const TOwnHome home;
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
