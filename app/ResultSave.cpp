// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResultSave.h"

#include <algorithm>
#include <cctype>

namespace {

const char* const kKnown[] = {"bmp", "png", "jpg", "jpeg", "tif", "tiff", "webp"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Position of the extension's dot in a base name, or npos; a leading dot starts a hidden name.
size_t ExtensionDot(const std::string& base) {
  const size_t dot = base.find_last_of('.');
  return dot == 0 ? std::string::npos : dot;
}

} // namespace

const char* const kSaveFilterAll = "Alle Dateien (*)";
const char* const kSaveFilterLosslessWebp = "WebP verlustfrei (*.webp)";

std::string ProposedSaveName(const std::string& PicturePath) {
  const std::string base = BaseName(PicturePath);
  if (base.empty()) return "Ergebnis.png";
  const size_t dot = ExtensionDot(base);
  const std::string stem = base.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : Lower(base.substr(dot + 1));
  if (std::find(std::begin(kKnown), std::end(kKnown), ext) == std::end(kKnown)) ext = "png";
  else ext = base.substr(dot + 1); // as the user wrote it
  return stem + "-verformt." + ext;
}

std::string PdfFileName(const std::string& Chosen) {
  const std::string base = BaseName(Chosen);
  const size_t dot = ExtensionDot(base);
  if (dot == std::string::npos) return Chosen + ".pdf";
  if (dot + 1 == base.size()) return Chosen + "pdf";
  return Chosen;
}

bool SaveTargetName(const std::string& Chosen, std::string& Target, std::string& Message) {
  const size_t slash = Chosen.find_last_of('/');
  const std::string base = slash == std::string::npos ? Chosen : Chosen.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  // ".bild" is a hidden file without an extension; "bild." ends in an empty one.
  if (dot == std::string::npos || dot == 0) {
    Target = Chosen + ".bmp";
    return true;
  }
  if (dot + 1 == base.size()) {
    Target = Chosen + "bmp";
    return true;
  }
  const std::string ext = Lower(base.substr(dot + 1));
  if (std::find(std::begin(kKnown), std::end(kKnown), ext) == std::end(kKnown)) {
    Message = "Der Dateityp \"." + base.substr(dot + 1) +
              "\" kann nicht gespeichert werden.\n"
              "Möglich sind: BMP (.bmp), PNG (.png), JPEG (.jpg, .jpeg), TIFF (.tif, .tiff) und WebP (.webp).";
    return false;
  }
  Target = Chosen;
  return true;
}

bool SaveResultDib(const TDib& Dib, const std::string& Target, bool Lossless, std::string& Message) {
  if (Dib.Bits == nullptr || Dib.Info == nullptr) {
    Message = "Die Datei \xE2\x80\x9E" + Target + "\xE2\x80\x9C konnte nicht gespeichert werden: Es ist kein Bild vorhanden.";
    return false;
  }
  char error[1024] = {0};
  if (SaveDibEx(Dib, Target.c_str(), Lossless ? SAVEDIB_LOSSLESS : 0, error, sizeof error) == 1) return true;
  // The library's text names the file and the reason.
  Message = error[0] != '\0' ? error : "Die Datei \xE2\x80\x9E" + Target + "\xE2\x80\x9C konnte nicht gespeichert werden.";
  return false;
}

std::string SaveResultDibJob(const TDib& Dib, const std::string& Target, bool Lossless, const platform::TJob& Job) {
  if (Dib.Bits == nullptr || Dib.Info == nullptr)
    return "Die Datei \xE2\x80\x9E" + Target + "\xE2\x80\x9C konnte nicht gespeichert werden: Es ist kein Bild vorhanden.";
  const TSaveProgress progress = [](void* context, int32_t percent) -> int32_t {
    const auto& job = *static_cast<const platform::TJob*>(context);
    job.Report(percent);
    return job.Cancelled() ? 1 : 0;
  };
  char error[1024] = {0};
  if (SaveDibJob(Dib, Target.c_str(), Lossless ? SAVEDIB_LOSSLESS : 0, progress, const_cast<platform::TJob*>(&Job), error, sizeof error) == 1) return {};
  if (Job.Cancelled()) return platform::kCancelledText;
  return error[0] != '\0' ? error : "Die Datei \xE2\x80\x9E" + Target + "\xE2\x80\x9C konnte nicht gespeichert werden.";
}
