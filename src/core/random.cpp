#include "core/random.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>

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

using u128 = unsigned __int128;

// The 128-bit multiplier of PCG64.
constexpr u128 kPcgMultiplier = (static_cast<u128>(2549297995355413924ULL) << 64) | 4865540595714422341ULL;

u128 join(const uint64_t parts[2]) { return (static_cast<u128>(parts[1]) << 64) | parts[0]; }
void part(u128 value, uint64_t parts[2]) {
  parts[0] = static_cast<uint64_t>(value);
  parts[1] = static_cast<uint64_t>(value >> 64);
}

// SplitMix64, to spread a seed over the 128 bits of the initial state.
uint64_t splitMix(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

double Random::minimalStandard() {
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

double Random::pcg() {
  u128 state = join(state_.pcgState);
  state = state * kPcgMultiplier + join(state_.pcgIncrement);
  part(state, state_.pcgState);
  const uint64_t high = static_cast<uint64_t>(state >> 64);
  const uint64_t low = static_cast<uint64_t>(state);
  const unsigned rotation = static_cast<unsigned>(high >> 58);
  const uint64_t x = high ^ low;
  const uint64_t out = (x >> rotation) | (x << ((64 - rotation) & 63));
  // The top 53 bits, half a step off zero: never 0. Above 2^52 the half step
  // rounds away, and the largest value rounds up to 2^53, which would give
  // exactly 1 (and below(n) == n): that one is kept just below 1.
  const double u = (static_cast<double>(out >> 11) + 0.5) * (1.0 / 9007199254740992.0);
  return u < 1.0 ? u : 0x1.fffffffffffffp-1;
}

Random Random::pcgStream(int64_t seed, uint64_t stream) {
  Random r;
  r.state_.kind = 1;
  uint64_t mix = static_cast<uint64_t>(seed);
  const uint64_t initLow = splitMix(mix);
  const uint64_t initHigh = splitMix(mix);
  // The increment must be odd; distinct streams get distinct increments.
  const u128 increment = ((static_cast<u128>(stream) << 1) | 1) ^ (static_cast<u128>(0x5851F42D4C957F2DULL) << 64);
  part(increment, r.state_.pcgIncrement);
  // As PCG seeds: step from 0, add the initial state, step again.
  u128 state = 0;
  state = state * kPcgMultiplier + increment;
  state += (static_cast<u128>(initHigh) << 64) | initLow;
  state = state * kPcgMultiplier + increment;
  part(state, r.state_.pcgState);
  return r;
}

long seedFromClock() {
  srandom(static_cast<unsigned>(time(nullptr)) ^ (static_cast<unsigned>(getpid()) << 16));
  return -rand();
}
