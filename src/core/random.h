// Uniform random numbers. A Random object holds the whole state of one stream,
// so chains can share one stream (drawing in turn) or own one each, and a
// checkpoint can save and restore it exactly.
#pragma once

#include <cstdint>

// The minimal-standard multiplicative congruential generator (multiplier 16807,
// modulus 2^31 - 1, Schrage's factorisation) behind a 32-entry shuffle table.
class Random {
 public:
  static constexpr int kTableSize = 32;

  // The complete state: the congruential state word, the last value taken
  // from the table (0 before the first draw) and the table.
  struct State {
    int32_t seed = 0;
    int32_t shuffleOutput = 0;
    int32_t table[kTableSize] = {};
  };

  // A state word <= 0 (re)initialises the table at the next draw; the run
  // stores its negative seed here once.
  explicit Random(int32_t seed = 0) { state_.seed = seed; }

  // u in [1/2147483647, 0.99999988].
  double uniform();
  // Uniform integer in 0 .. n-1 from one draw.
  int below(int n) { return static_cast<int>(n * uniform()); }

  const State& state() const { return state_; }
  void restore(const State& state) { state_ = state; }

 private:
  State state_;
};
