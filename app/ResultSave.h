// Saving the result picture: the file type follows the name's extension; a name without one
// is saved as a BMP.
#pragma once

#include "Velbrik.h"

#include <string>

// The name to write for the name the user chose: the name itself for a known extension, the
// name plus ".bmp" without an extension. An unknown extension gives false and a German message
// naming the types that can be written.
bool SaveTargetName(const std::string& Chosen, std::string& Target, std::string& Message);

// Writes the picture to Target through the imaging library (a temporary file beside it,
// renamed over it only when complete). False with a German message naming the file and the
// reason when that fails.
bool SaveResultDib(const TDib& Dib, const std::string& Target, std::string& Message);
