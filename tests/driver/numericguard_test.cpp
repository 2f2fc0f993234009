// A stored term that becomes NaN (or +inf) ends the run in that iteration with
// one line, its results written and status 1; -inf (an impossible state)
// does not. With the reader's range checks no input file is known to produce
// such a term, so these tests break one on purpose: in a chain built in
// memory, and in a checkpoint the program resumes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/binaryio.h"
#include "driver/checkpoint.h"
#include "driver/runloop.h"
#include "sampler/tempering.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Two chains of haplotype data: the second-chromosome term belongs to
// genotypes and no move of these chains ever writes it again.
ParamSpec twoChains() { return twoChainsOfTwentyLeaves(10, 10, "1 1 1 1 1"); }

SweepEnd sweepWithChain2Term(double value, long firstIteration) {
  auto run = setUpRun(twoChains().text());
  run->chain(1).secondChromLogProb = value;
  std::ostringstream dat;
  TraceReport trace(run->settings, dat, "p.dat");
  trace.setQuiet(true);
  HaplotypeTallies tallies = makeHaplotypeTallies(run->settings);
  SweepPlan plan;
  plan.firstIteration = firstIteration;
  return runSweeps(run->setup.chains, run->context(), trace, tallies, plan);
}

TEST(NumericGuard, ANaNOrInfiniteTermStopsTheSweepsInItsIteration) {
  const SweepEnd nan = sweepWithChain2Term(kNaN, 0);
  EXPECT_TRUE(nan.stopped);
  EXPECT_EQ(nan.lastIteration, -1);
  EXPECT_EQ(nan.failure,
            "The second-chromosome term of chain 2 became NaN in iteration 0; the run stopped there with the results "
            "of the iterations before.");
  const SweepEnd inf = sweepWithChain2Term(kInf, 7);
  EXPECT_EQ(inf.lastIteration, 6);
  EXPECT_NE(inf.failure.find("became +inf in iteration 7;"), std::string::npos) << inf.failure;

  const SweepEnd impossible = sweepWithChain2Term(-kInf, 0);
  EXPECT_FALSE(impossible.stopped);
  EXPECT_EQ(impossible.lastIteration, 19);
  EXPECT_EQ(impossible.failure, "");
}

TEST(NumericGuard, TheProgramWritesItsFilesAndFailsWithTheLine) {
  const ParamSpec p = twoChains();
  const std::string text = p.text();
  auto run = setUpRun(text);
  run->chain(1).secondChromLogProb = kNaN;
  // A checkpoint after iteration 4 of burn-in, holding the broken term.
  std::vector<Random> streams{run->rng};
  std::ostringstream dat;
  TraceReport trace(run->settings, dat, "p.txt.dat");
  HaplotypeTallies tallies = makeHaplotypeTallies(run->settings);
  std::vector<Random> none;
  std::vector<StepSet> noLevels;
  Tempering noCompanions;
  RunRecords records{{&streams, &none, &none, &none}, run->control, noLevels, trace, tallies, run->setup.chains,
                     noCompanions};
  CheckpointIdentity identity;
  identity.version = MUTLOC_VERSION;
  identity.paramHash = fnv1a64(text.data(), text.size());
  identity.samplingOptions = "seed=-5";
  CheckpointPosition position;
  position.iteration = 4;
  ScratchDir dir;
  dir.write("p.txt", text);
  dir.write("p.txt.dat", "");
  dir.write("p.txt.samples", "");
  writeCheckpoint(dir.file("p.txt.ckpt"), identity, position, records);

  const RunResult result = runMutloc(dir, {"--no-menu", "--resume", "p.txt.ckpt", "p.txt"});
  EXPECT_EQ(result.status, 1);
  const std::string line =
      "The second-chromosome term of chain 2 became NaN in iteration 5; the run stopped there with the results of "
      "the iterations before.\n";
  ASSERT_GE(result.out.size(), line.size());
  EXPECT_EQ(result.out.substr(result.out.size() - line.size()), line) << result.out;
  EXPECT_EQ(result.out.find("Finished"), std::string::npos);
  // The trace shows the broken iteration; the end-of-run files are written.
  EXPECT_EQ(dir.read("p.txt.dat").substr(0, 2), "5 ");
  for (const char* ext : {".hap", ".hpf", ".mat"}) EXPECT_NE(dir.read(std::string("p.txt") + ext), "") << ext;
  EXPECT_EQ(dir.read("p.txt.sig"), "") << "no samples in burn-in";
}

}  // namespace
