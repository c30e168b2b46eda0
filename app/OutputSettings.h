// SPDX-License-Identifier: GPL-3.0-or-later
// The output choices the program remembers between runs: the smooth rendering and the
// animation dialog's values, in the program's settings.
#pragma once

#include "Animation.h"

// Off when nothing is stored yet.
bool ReadSmoothSetting();
void WriteSmoothSetting(bool On);

// The dialog's values as last confirmed; the defaults when nothing (or nonsense) is stored.
warp::TAnimationOptions ReadAnimationSetting();
void WriteAnimationSetting(const warp::TAnimationOptions& Options);
