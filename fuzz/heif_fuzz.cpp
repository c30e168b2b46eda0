// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the HEIF and AVIF decoder on its own.
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzcheck::RunDecoder(velbrik::DecodeHeif, data, size);
  return 0;
}
