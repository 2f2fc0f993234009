// The shuffles of the chain set-up: Fisher-Yates passes drawing from a 48-bit
// linear congruential stream of their own (the C library's lrand48 sequence
// from its unseeded start), so they repeat from run to run and never consume a
// draw of the model's generator.
#pragma once

#include <cstdint>
#include <vector>

class ShuffleStream {
 public:
  // The next value of the sequence, 0 .. 2^31 - 1.
  long next() {
    state_ = (kMultiplier * state_ + kIncrement) & kMask;
    return static_cast<long>(state_ >> 17);
  }
  uint64_t state() const { return state_; }
  void restore(uint64_t state) { state_ = state & kMask; }

 private:
  static constexpr uint64_t kMultiplier = 0x5DEECE66DULL;
  static constexpr uint64_t kIncrement = 0xB;
  static constexpr uint64_t kMask = (uint64_t{1} << 48) - 1;
  uint64_t state_ = 0;
};

// For i = 1 .. size-1 exchanges entries i and next() mod (i + 1).
void shuffleLabels(std::vector<int>& list, ShuffleStream& stream);
