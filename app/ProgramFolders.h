// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its own files and where its dialogs start.
//
// A portable copy (a program folder the user may write to, not laid out as an installed
// program) keeps folders.dat beside the program file. An installed copy keeps it in the user's
// data folder, $XDG_DATA_HOME/morphane/ (~/.local/share/morphane/).
#pragma once

#include <QString>

#include <string>

namespace folders {

// The program lies in a "bin" folder whose sibling "share/applications" holds its desktop
// entry, as after an installation or the unpacking of the package.
bool IsInstalledCopy(const std::string& programDir);

// The folder folders.dat is read from and written to, ending in "/": programDir when it is
// writable and not an installed copy, else the user's data folder (created when needed).
std::string FavouritesFolder(const std::string& programDir);

// The folder the file browser shows at start: programDir for a portable copy, the home folder
// for an installed one.
QString StartFolder(const std::string& programDir);

// Folders the user chose in a save dialog, remembered between runs. Key is "Speichern" for
// pictures and "PDF" for printouts. Folder() is empty when nothing was remembered or the
// folder no longer exists.
QString RememberedFolder(const QString& key);
void RememberFolder(const QString& key, const QString& folder);

// Where a save dialog starts: the remembered folder, else fallback when it exists, else the
// home folder.
QString DialogFolder(const QString& key, const QString& fallback);

} // namespace folders
