// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's visual styles for the bitmap buttons: a reference-counted loader and the
// question whether themed drawing is on. On this desktop the themed face comes from the
// application's Qt style; the classic face can be forced (MORPHANE_CLASSIC_BUTTONS=1 in the
// environment, or SetVisualStylesEnabled(false) in tests).
#pragma once

class QStyle;

namespace uxtheme {

// Adds one reference; returns whether the styles are loaded.
bool LoadVisualStyles();
// Drops one reference (never below 0); the last one unloads.
void UnloadVisualStyles();
int VisualStylesReferences();
// Loaded, and themed drawing is switched on for the application.
bool VisualStylesActive();
void SetVisualStylesEnabled(bool Enabled);

// The style data for push buttons (the application's style), or null when styles are off.
QStyle* OpenThemeData();

} // namespace uxtheme
