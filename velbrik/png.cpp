#include "decoder.h"

namespace velbrik {

bool DecodePng(const uint8_t*, size_t, TDib& out, Progress&, std::string& error) {
  error = "Format noch nicht unterstützt.";
  FailDib(out, error);
  return false;
}

} // namespace velbrik
namespace velbrik {
bool WritePng(const TDib&, std::FILE*, std::string& error) { error = "nicht unterstützt"; return false; }
}
