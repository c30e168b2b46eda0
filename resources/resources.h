// SPDX-License-Identifier: GPL-3.0-or-later
// The program's artwork, compiled in as Qt resources (":/art/...", ":/kinds/...").
#pragma once

// Registers the resources; safe to call more than once. Call before the first picture is loaded.
void InitMorphaneResources();
