#include "decoder.h"

namespace velbrik {

bool DecodeGif(const uint8_t*, size_t, TDib& out, Progress&, std::string& error) {
  error = "Format noch nicht unterstützt.";
  FailDib(out, error);
  return false;
}

} // namespace velbrik
