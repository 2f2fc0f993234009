#include "sampler/random.h"

namespace {

constexpr int32_t kMultiplier = 16807;
constexpr int32_t kModulus = 2147483647;
constexpr int32_t kQuotient = 127773;  // kModulus / kMultiplier
constexpr int32_t kRemainder = 2836;   // kModulus % kMultiplier
constexpr int kTableSize = 32;
constexpr int32_t kTableDivisor = 1 + (kModulus - 1) / kTableSize;
constexpr double kScale = 1.0 / kModulus;
constexpr double kLargest = 1.0 - 1.2e-7;

int32_t shuffleOutput = 0;      // last value taken from the table; 0 before the first call
int32_t shuffleTable[kTableSize];

// One step of the congruential recurrence; every intermediate fits in 32 bits.
void advance(int32_t* seed) {
  const int32_t k = *seed / kQuotient;
  *seed = kMultiplier * (*seed - k * kQuotient) - kRemainder * k;
  if (*seed < 0) *seed += kModulus;
}

}  // namespace

double ran1(int32_t* seed) {
  if (*seed <= 0 || shuffleOutput == 0) {
    // The reader never stores INT32_MIN, whose negation would overflow.
    if (-*seed < 1)
      *seed = 1;
    else
      *seed = -*seed;
    for (int j = kTableSize + 7; j >= 0; j--) {
      advance(seed);
      if (j < kTableSize) shuffleTable[j] = *seed;
    }
    shuffleOutput = shuffleTable[0];
  }
  advance(seed);
  const int j = shuffleOutput / kTableDivisor;
  shuffleOutput = shuffleTable[j];
  shuffleTable[j] = *seed;
  const double u = kScale * shuffleOutput;
  return u > kLargest ? kLargest : u;
}

int random2(int n, int32_t* seed) { return static_cast<int>(n * ran1(seed)); }
