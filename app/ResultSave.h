// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the result picture: the file type follows the name's extension; a name without one
// is saved as a BMP.
#pragma once

#include "Velbrik.h"
#include "platform/job.h"

#include <string>

// The name to write for the name the user chose: the name itself for a known extension, the
// name plus ".bmp" without an extension. An unknown extension gives false and a German message
// naming the types that can be written.
bool SaveTargetName(const std::string& Chosen, std::string& Target, std::string& Message);

// The name the save dialog proposes for a result of the picture at PicturePath: its name with
// "-verformt" before the extension, which stays when it can be written and becomes ".png"
// otherwise ("foto.gif" gives "foto-verformt.png"). Without a picture: "Ergebnis.png".
std::string ProposedSaveName(const std::string& PicturePath);

// Name the user chose for a printout to a PDF file, with ".pdf" appended when it has no
// extension.
std::string PdfFileName(const std::string& Chosen);

// Writes the picture to Target through the imaging library (a temporary file beside it,
// renamed over it only when complete); Lossless makes a WebP file lossless (other types ignore
// it). False with a German message naming the file once and the reason when that fails.
bool SaveResultDib(const TDib& Dib, const std::string& Target, bool Lossless, std::string& Message);

// The same as a job (for RunInBackground): the rows written go to the job's progress and a
// cancelled job stops the writing, leaving the target as it was. Empty on success, else the
// message; platform::kCancelledText when cancelled.
std::string SaveResultDibJob(const TDib& Dib, const std::string& Target, bool Lossless, const platform::TJob& Job);

// The save dialog's file types: every file (the extension decides, lossy WebP at JPEG's
// quality), or lossless WebP.
extern const char* const kSaveFilterAll;
extern const char* const kSaveFilterLosslessWebp;
