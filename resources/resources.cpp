// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources.h"

#include <QtGlobal>

#include <mutex>

// The resources live in a static library: registering them by hand keeps the linker from
// dropping them.
static void RegisterResources() { Q_INIT_RESOURCE(morphane); }

void InitMorphaneResources() {
  static std::once_flag once;
  std::call_once(once, RegisterResources);
}
