// Uniform random numbers. A Random object holds the whole state of one stream,
// so chains can share one stream (drawing in turn) or own one each, and a
// checkpoint can save and restore it exactly.
#pragma once

#include <cstdint>
#include <type_traits>

class Random {
 public:
  static constexpr int kTableSize = 32;

  // The complete state of either generator.
  struct State {
    // 0: the minimal-standard multiplicative congruential generator
    // (multiplier 16807, modulus 2^31 - 1, Schrage's factorisation) behind a
    // 32-entry shuffle table, the run's one stream by default;
    // 1: PCG64 (128-bit linear congruential state, XSL-RR output), one
    // stream per increment.
    uint32_t kind = 0;
    int32_t seed = 0;           // minimal standard: the state word
    int32_t shuffleOutput = 0;  // last value taken from the table; 0 before the first draw
    int32_t table[kTableSize] = {};
    // Named so that it is zero: checkpoints hold the state's bytes, and
    // padding would carry whatever memory held before.
    uint32_t unused = 0;
    uint64_t pcgState[2] = {0, 0};      // low, high 64 bits
    uint64_t pcgIncrement[2] = {0, 0};  // odd; names the stream
  };

  // The minimal-standard stream. A state word <= 0 (re)initialises the table
  // at the next draw; the run stores its negative seed here once.
  explicit Random(int32_t seed = 0) { state_.seed = seed; }

  // PCG64 stream number `stream` of the run seeded with seed: every stream
  // has its own increment, so the streams are distinct sequences of period
  // 2^128 that never run into one another.
  static Random pcgStream(int64_t seed, uint64_t stream);

  // u in (0, 1): [1/2147483647, 0.99999988] for the minimal standard; a
  // multiple of 2^-53 offset by half a step for PCG64.
  double uniform() { return state_.kind == 0 ? minimalStandard() : pcg(); }
  // Uniform integer in 0 .. n-1 from one draw.
  int below(int n) { return static_cast<int>(n * uniform()); }

  const State& state() const { return state_; }
  void restore(const State& state) { state_ = state; }

 private:
  double minimalStandard();
  double pcg();
  State state_;
};

// A seed for a run that names none: a negative number from the clock and
// the process number (replicate jobs started in the same second must not
// draw the same seed).
long seedFromClock();

static_assert(std::has_unique_object_representations_v<Random::State>, "a checkpoint writes State's bytes");
