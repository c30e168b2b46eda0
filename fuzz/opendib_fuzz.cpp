// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the library's in-memory open, from the choice of decoder by signature on.
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzcheck::RunOpenDibMemory(data, size);
  return 0;
}
