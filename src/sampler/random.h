// The run's single uniform generator and the integer draw built on it.
#pragma once

#include <cstdint>

// Minimal-standard multiplicative congruential generator (multiplier 16807,
// modulus 2^31 - 1, Schrage's factorisation) behind a 32-entry shuffle table.
// A state <= 0 (re)initialises the table. Returns u in [1/2147483647, 0.99999988].
double ran1(int32_t* seed);

// Uniform integer in 0 .. n-1 from one ran1 draw.
int random2(int n, int32_t* seed);
