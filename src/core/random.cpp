#include "core/random.h"

namespace {

constexpr int32_t kMultiplier = 16807;
constexpr int32_t kModulus = 2147483647;
constexpr int32_t kQuotient = 127773;  // kModulus / kMultiplier
constexpr int32_t kRemainder = 2836;   // kModulus % kMultiplier
constexpr int32_t kTableDivisor = 1 + (kModulus - 1) / Random::kTableSize;
constexpr double kScale = 1.0 / kModulus;
constexpr double kLargest = 1.0 - 1.2e-7;

// One step of the congruential recurrence; every intermediate fits in 32 bits.
void advance(int32_t& seed) {
  const int32_t k = seed / kQuotient;
  seed = kMultiplier * (seed - k * kQuotient) - kRemainder * k;
  if (seed < 0) seed += kModulus;
}

}  // namespace

double Random::uniform() {
  State& s = state_;
  if (s.seed <= 0 || s.shuffleOutput == 0) {
    // The reader never stores INT32_MIN, whose negation would overflow.
    if (-s.seed < 1)
      s.seed = 1;
    else
      s.seed = -s.seed;
    for (int j = kTableSize + 7; j >= 0; j--) {
      advance(s.seed);
      if (j < kTableSize) s.table[j] = s.seed;
    }
    s.shuffleOutput = s.table[0];
  }
  advance(s.seed);
  const int j = s.shuffleOutput / kTableDivisor;
  s.shuffleOutput = s.table[j];
  s.table[j] = s.seed;
  const double u = kScale * s.shuffleOutput;
  return u > kLargest ? kLargest : u;
}
