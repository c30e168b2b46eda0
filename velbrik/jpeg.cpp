#include "decoder.h"

namespace velbrik {

bool DecodeJpeg(const uint8_t*, size_t, TDib& out, Progress&, std::string& error) {
  error = "Format noch nicht unterstützt.";
  FailDib(out, error);
  return false;
}

} // namespace velbrik
namespace velbrik {
bool WriteJpeg(const TDib&, std::FILE*, int, std::string& error) { error = "nicht unterstützt"; return false; }
}
