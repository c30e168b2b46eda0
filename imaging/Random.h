// SPDX-License-Identifier: GPL-3.0-or-later
// A small pseudo-random source in the manner of the classic runtime: a 32-bit linear
// congruential generator, seeded from the clock by Randomize.
#pragma once

#include <cstdint>

// Seeds the generator from the clock.
void Randomize();
// A number 0 .. n - 1 (0 for n <= 0).
int32_t Random(int32_t n);
// The generator's state, for tests that need a repeatable sequence.
uint32_t RandSeed();
void SetRandSeed(uint32_t seed);
