#include "driver/memory.h"

#include <algorithm>

#include "core/failure.h"
#include "results/haplotypes.h"
#include "results/histogram.h"
#include "sampler/chainsetup.h"

namespace {

// The program itself, its libraries, streams and stacks.
constexpr double kBaseBytes = 32e6;
// The diagnostics keep at most a million draws of each quantity (see the
// summary), and copy them a few times while they sort and pool them.
constexpr double kSummaryDrawBytes = 1e6 * 8 * 2 * 4;

}  // namespace

MemoryEstimate estimateMemory(const RunSettings& s, int copiesPerChain, bool checkpoints) {
  MemoryEstimate e;
  const double chains = s.numChains;
  e.chains = chains * copiesPerChain * chainBytes(s);
  e.tallies = tallyBytes(s);
  e.histograms = histogramBytes(s.numChains, s.histBars) + kSummaryDrawBytes;
  // The sample file's write buffer and its read-back block of 4096 records.
  e.other = kBaseBytes + (1 << 20) + chains * 2 * 8 * 4096;
  // A checkpoint is built in memory, then framed: twice the genealogies,
  // frequencies and tallies it holds.
  if (checkpoints) e.other += 2 * (chains * chainBytes(s) / 2 + e.tallies);
  return e;
}

void checkMemory(const RunSettings& s, const MemoryEstimate& e, long long available) {
  if (available < 0 || e.total() <= static_cast<double>(available)) return;
  const std::string chains = "\"#chains\" " + std::to_string(s.numChains);
  const std::string chromosomes = "\"# chromosomes\" " + std::to_string(s.genotypesModel0() ? 2 * s.numChrom : s.numChrom);
  std::string cause;
  double part = 0;
  if (e.chains >= std::max({e.tallies, e.histograms, e.other})) {
    cause = chromosomes + " with " + chains;
    part = e.chains;
  } else if (e.tallies >= std::max(e.histograms, e.other)) {
    cause = chromosomes + " with haplotypes tallied per individual";
    part = e.tallies;
  } else if (e.histograms >= e.other) {
    cause = "\"Number of histogram bars\" " + std::to_string(s.histBars) + " with " + chains;
    part = e.histograms;
  } else {
    cause = chains;
    part = e.other;
  }
  throw failLine(cause + " needs about " + bytesText(part) + " of memory (the whole run about " +
                 bytesText(e.total()) + "); this machine has " + bytesText(static_cast<double>(available)) +
                 " available.");
}
