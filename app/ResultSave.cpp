#include "ResultSave.h"

#include <algorithm>
#include <cctype>

namespace {

const char* const kKnown[] = {"bmp", "png", "jpg", "jpeg", "tif", "tiff"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

} // namespace

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
              "Möglich sind: BMP (.bmp), PNG (.png), JPEG (.jpg, .jpeg) und TIFF (.tif, .tiff).";
    return false;
  }
  Target = Chosen;
  return true;
}

bool SaveResultDib(const TDib& Dib, const std::string& Target, std::string& Message) {
  if (Dib.Bits == nullptr || Dib.Info == nullptr) {
    Message = "Die Datei \"" + Target + "\" konnte nicht gespeichert werden:\nEs ist kein Bild vorhanden.";
    return false;
  }
  char error[512] = {0};
  if (SaveDib(Dib, Target.c_str(), error, sizeof error) == 1) return true;
  const std::string reason = error[0] != '\0' ? error : "unbekannter Fehler";
  Message = "Die Datei \"" + Target + "\" konnte nicht gespeichert werden:\n" + reason;
  return false;
}
