// SPDX-License-Identifier: GPL-3.0-or-later
// Long work (saving, printing to a file, writing an animation) on a thread of its own while the
// window goes on: the progress panel of the status bar shows how far it is, the first panel names
// the work and carries a button "Abbrechen", and Esc cancels too. The work gets a platform::TJob
// (progress and cancel flag) and returns its German error text, empty when it succeeded.
//
// The work must not touch what the window may change meanwhile: it gets copies (TDibCopy) or
// values of its own. One piece of work runs at a time.
#pragma once

#include "Velbrik.h"
#include "platform/job.h"

#include <QString>

#include <functional>
#include <string>

class TMainForm;

using TBackgroundWork = std::function<std::string(const platform::TJob&)>;

// Runs work off the user-interface thread and returns its error text when it has ended; until
// then the events of the window are handled here. `what` names the work in the status bar
// ("Bild wird gespeichert"). While another work runs the call returns a message at once.
std::string RunInBackground(TMainForm& form, const QString& what, TBackgroundWork work);

// Whether a work is running, and asking it to stop (it ends at its next check).
bool BackgroundBusy();
void CancelBackground();

// A picture of its own for a work that runs while the window edits the original: a 24-bit
// (or palette) copy of the pixels and the colour table; released at the end.
class TDibCopy {
public:
  explicit TDibCopy(const TDib& source);
  ~TDibCopy();
  TDibCopy(const TDibCopy&) = delete;
  TDibCopy& operator=(const TDibCopy&) = delete;
  TDib Dib{}; // Bits null when there was no picture or no memory
};
