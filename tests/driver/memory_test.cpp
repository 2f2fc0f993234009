// The memory a run needs is known, and checked, before anything of that size
// is allocated.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "driver/memory.h"
#include "results/haplotypes.h"
#include "sampler/chainsetup.h"
#include "sampler/chainiteration.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// Haplotype data of `loci` markers, all leaves but one alike.
ParamSpec wideRun(int chromosomes, int loci, int chains) {
  ParamSpec p;
  std::string ones, twos, map;
  for (int k = 0; k < loci; k++) {
    ones += " 1";
    twos += " 2";
    map += (k ? " " : "") + std::to_string(k * 0.0001);
  }
  p.chromosomes = chromosomes;
  p.loci = loci;
  p.chains = chains;
  p.control = "6" + ones + "\n4" + twos + "\n";
  p.map = map;
  p.bounds = "0 " + std::to_string((loci - 1) * 0.0001);
  p.root = ones.substr(1);
  p.patients = std::to_string(chromosomes - 1) + ones + "\n1" + twos + "\n";
  return p;
}

long childrenPeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

TEST(MemoryGuard, ARunTheMachineCannotHoldFailsFastWithoutAllocating) {
  // The typo of the report: 10^8 chromosomes, one patient row of 99999999.
  ParamSpec typo;
  typo.chromosomes = 100000000;
  typo.patients = "99999999 1 1\n1 2 2\n";
  // Within every bound, but about 200 GB: a thousand chains of 20000 leaves and 99 markers.
  const ParamSpec largest = wideRun(20000, 99, 1000);
  const MemoryEstimate needed = estimateMemory(loadParameters(largest.text()));
  const bool fits = availableMemory() < 0 || needed.total() <= static_cast<double>(availableMemory());

  for (const ParamSpec* p : {static_cast<const ParamSpec*>(&typo), &largest}) {
    if (p == &largest && fits) continue;  // a machine of 200 GB
    ScratchDir dir;
    dir.write("p.txt", p->text());
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = runMutloc(dir, {"p.txt"}, "", 60);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 1);
    if (p == &typo) {
      EXPECT_EQ(run.out, "\"# chromosomes\" should be at most 20000.\n");
    } else {
      EXPECT_EQ(run.out.rfind("\"# chromosomes\" 20000 with \"#chains\" 1000 needs about ", 0), 0u) << run.out;
      EXPECT_NE(run.out.find(" GB of memory (the whole run about "), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(" available.\n"), std::string::npos) << run.out;
    }
    EXPECT_LT(seconds, 10);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) files++;
    EXPECT_EQ(files, 1u) << "a refused run creates no file";
  }
  EXPECT_LT(childrenPeakKilobytes(), 200 * 1024) << "kB at the peak";
}

// The estimate is an upper bound of what the chains and tallies of a run
// allocate, and not a loose one: a field added to the chain record without a
// place in the estimate shows here. (Under AddressSanitizer the C library's
// heap statistics stay empty.)
TEST(MemoryGuard, TheEstimateCoversWhatTheChainsAndTalliesAllocate) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "heap statistics are not kept under AddressSanitizer";
#endif
  ParamSpec p = wideRun(400, 20, 3);
  p.updates = "100 100 1 1 1";
  const std::string text = p.text();
  const size_t before = mallinfo2().uordblks;
  auto run = setUpRun(text);
  HaplotypeTallies tallies = makeHaplotypeTallies(run->settings);
  const MoveContext ctx = run->context();
  for (int t = 0; t < 3; t++)
    for (Chain& chain : run->setup.chains) updateChain(chain, ctx);
  const double used = static_cast<double>(mallinfo2().uordblks - before);
  const double estimated = 3 * chainBytes(run->settings) + tallyBytes(run->settings);
  EXPECT_LE(used, estimated);
  EXPECT_GE(used, 0.6 * estimated);
}

}  // namespace
