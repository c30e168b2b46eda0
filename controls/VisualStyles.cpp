// SPDX-License-Identifier: GPL-3.0-or-later
#include "VisualStyles.h"

#include <QApplication>
#include <QStyle>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace uxtheme {
namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}
int gReferences = 0;
bool gLoaded = false;

int& EnabledState() {
  // -1: not decided yet, read from the environment on first use.
  static int state = -1;
  return state;
}

bool Enabled() {
  int& state = EnabledState();
  if (state < 0) {
    const char* classic = std::getenv("MORPHANE_CLASSIC_BUTTONS");
    state = (classic != nullptr && std::strcmp(classic, "1") == 0) ? 0 : 1;
  }
  return state == 1;
}

} // namespace

bool LoadVisualStyles() {
  std::lock_guard<std::mutex> guard(Lock());
  ++gReferences;
  if (!gLoaded) gLoaded = true;
  return gLoaded;
}

void UnloadVisualStyles() {
  std::lock_guard<std::mutex> guard(Lock());
  if (gReferences > 0) --gReferences;
  if (gReferences == 0) gLoaded = false;
}

int VisualStylesReferences() {
  std::lock_guard<std::mutex> guard(Lock());
  return gReferences;
}

bool VisualStylesActive() {
  bool loaded;
  {
    std::lock_guard<std::mutex> guard(Lock());
    loaded = gLoaded;
  }
  return loaded && Enabled() && QApplication::style() != nullptr;
}

void SetVisualStylesEnabled(bool Enabled) { EnabledState() = Enabled ? 1 : 0; }

QStyle* OpenThemeData() { return VisualStylesActive() ? QApplication::style() : nullptr; }

} // namespace uxtheme
