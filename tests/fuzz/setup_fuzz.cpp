// Fuzz target: a parameter file read, its memory estimated and checked against
// a budget, and then what the start of an admitted run allocates (the
// haplotype tallies and every chain). Under libFuzzer's -malloc_limit_mb and
// -rss_limit_mb a little above the budget, an input that allocated without
// the check, or beyond its estimate, is a crash.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "core/failure.h"
#include "core/random.h"
#include "driver/memory.h"
#include "input/reader.h"
#include "results/haplotypes.h"
#include "sampler/chainsetup.h"

namespace {

constexpr long long kBudget = 32LL << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    const RunSettings s = readParameterFile(in);
    checkMemory(s, estimateMemory(s), kBudget);
    HaplotypeTallies tallies = makeHaplotypeTallies(s);
    Random rng(-1);
    StepSet steps;
    std::vector<Chain> chains = makeChains(s, rng, steps);
  } catch (const RunFailure&) {
  }
  return 0;
}
