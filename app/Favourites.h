// SPDX-License-Identifier: GPL-3.0-or-later
// The favourite folders and their file, folders.dat: one folder per line, most recent first.
// Entries are 8-bit strings kept byte for byte; nothing is trimmed, quoted or escaped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace favourites {

using TFolderList = std::vector<std::string>;

// Splits the text of folders.dat into entries. A CR ends a line and an LF right after it
// belongs to that line end; any other LF is part of the entry. A Ctrl-Z (26) ends the text.
// A last line without a line end is an entry; a line end at the very end adds none. At most
// `limit` entries are taken (the first ones: the most recent).
TFolderList ParseFolders(std::string_view text, size_t limit = SIZE_MAX);

// Every entry followed by CR LF.
std::string FormatFolders(const TFolderList& folders);

// A favourites list is short: only the first kMaxFileBytes of the file and its first
// kMaxEntries entries are read (the most recent ones; a line cut at the limit is left out).
constexpr size_t kMaxFileBytes = size_t(1) << 20;
constexpr size_t kMaxEntries = 1000;

// Reads the file: only a regular file (a pipe, a device or a folder gives an empty list, without
// waiting for it), within the limits above. A file that cannot be opened or read gives an empty
// list.
TFolderList ReadFolders(const std::string& fileName);

// Writes the list to a fresh file beside fileName and renames it over fileName, so that the
// old file stays whole when anything fails. A read-only file is left as it is. Returns false on
// failure (nothing is left behind).
bool WriteFolders(const std::string& fileName, const TFolderList& folders);

// Index of the last entry equal to folder byte for byte, or -1.
int LastIndexOf(const TFolderList& folders, std::string_view folder);

// Moves folder to index 0: removes the last equal entry (only that one) and inserts it on top.
void MoveToTop(TFolderList& folders, const std::string& folder);

} // namespace favourites
