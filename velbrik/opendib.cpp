// Placeholder: opening by signature, the filter string and saving.
#include "decoder.h"

#include <cstring>

namespace velbrik {
bool DecodeAny(const uint8_t* data, size_t size, TDib& out, Progress& progress, std::string& error) {
  return DecodeBmp(data, size, out, progress, error);
}
} // namespace velbrik

extern "C" {
void OpenDib(TDib* dest, const char*, int32_t, void*) {
  if (dest) velbrik::FailDib(*dest, "Noch nicht unterstützt.");
}
void OpenDibMemory(TDib* dest, const void*, size_t, void*) {
  if (dest) velbrik::FailDib(*dest, "Noch nicht unterstützt.");
}
const char* GetDIBOpenFilter(void) { return "Alle Bilder|*.bmp"; }
int32_t SaveDib(TDib, const char*, char* errorText, size_t n) {
  if (errorText && n) std::strncpy(errorText, "nicht unterstützt", n - 1), errorText[n - 1] = 0;
  return 0;
}
}
