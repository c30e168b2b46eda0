// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the main window from commands on standard input, for the pictures of the user's guide
// (scripts/screenshots.sh). Only active when the program starts with MORPHANE_DRIVER=stdin.
//
// One command a line; every command gets exactly one answer line on standard output: "ok",
// "window 0x<X window id>" for "shot", or "error <text>".
//
//   page N              show page N (0..2)
//   folder PATH         select a folder in the folder tree
//   select PATH         select a file in the file list
//   open PATH           open a picture as a double click in the file list does
//   click TEXT          click the button captioned TEXT ("&" ignored) in the top window, or
//                       the window's button of that component name (ueberbtn, endebtn,
//                       FaceBtn, ...)
//   cancel              closes the open dialog as its cancel button or Esc would
//   taller N            makes the main window N pixels taller (negative: shorter)
//   play SCRIPT         plays a morphane-replay stroke script in the window, in one go
//   tool|axes|normalize|smooth|strength|radius|zoom|down|move|up|tick ...
//                       one stroke-script command, as morphane-replay reads it
//   face FEATURE V      sets the slider (eyes, nose, ...) of the open dialog "Gesicht formen";
//                       an error while it is not open (click FaceBtn opens it once the faces
//                       are found)
//   shot [PART]         waits until the top window is shown and answers its window id; with
//                       PART (SpeedBar1, SaveAsBtn, ...) also that part's rectangle in it
//
// A command that opens a modal dialog (click, open) answers while the dialog runs, so the next
// commands reach the dialog.
#pragma once

class TMainForm;

// Starts the driver when MORPHANE_DRIVER is "stdin"; otherwise does nothing.
void StartStdinDriverIfAsked(TMainForm& form);
