// The memory a run will need, known from its settings before anything large
// is allocated, and the memory the machine has available.
#pragma once

#include <string>

#include "core/machinememory.h"
#include "input/settings.h"

struct MemoryEstimate {
  double chains = 0;      // every chain with its copies: genealogies, caches, frequencies, scratch
  double tallies = 0;     // the haplotype tallies (".hpf", ".hin")
  double histograms = 0;  // the histograms and the summary's draws at the end
  double other = 0;       // the program, buffers of the samples, a checkpoint's image
  double total() const { return chains + tallies + histograms + other; }
};

// The run's peak memory in bytes, generously. copiesPerChain counts the
// chain-sized records kept per chain (1 for a plain run); with checkpoints
// (written or resumed) their image in memory is counted too.
MemoryEstimate estimateMemory(const RunSettings& s, int copiesPerChain = 1, bool checkpoints = false);

// Throws RunFailure with one line naming the entries that drive the largest
// part of the estimate when the run does not fit in `available` bytes (an
// unknown amount, -1, lets every run go on).
void checkMemory(const RunSettings& s, const MemoryEstimate& estimate, long long available);
