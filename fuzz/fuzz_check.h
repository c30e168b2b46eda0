// SPDX-License-Identifier: GPL-3.0-or-later
// What every fuzz target checks after decoding one input with the production limits: a
// success is a whole, readable image within the size limit; a refusal leaves no image and a
// non-empty message; either way no palette handle outlives the record.
#pragma once

#include "decoder.h"

#include <cstddef>
#include <cstdint>

namespace fuzzcheck {

using Decoder = bool (*)(const uint8_t*, size_t, TDib&, velbrik::Progress&, std::string&);

// Runs one decoder on the input; traps on any broken promise.
void RunDecoder(Decoder decoder, const uint8_t* data, size_t size);
// The same through the library's public in-memory entry point (choice by signature included).
void RunOpenDibMemory(const uint8_t* data, size_t size);

} // namespace fuzzcheck
