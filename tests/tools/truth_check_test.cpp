// tools/truth-check, which ends make run: the pooled intervals of a summary
// set beside known true values, and the first run a newcomer makes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/e2e.h"

namespace {

const std::string kTruthCheck = std::string(MUTLOC_SOURCE_DIR) + "/tools/truth-check";

TEST(TruthCheck, SaysWhetherEachIntervalHoldsTheTruth) {
  ScratchDir dir;
  dir.write("run.summary.json",
            R"({"location": {"pooled": {"median": 0.0131, "interval95": [0.0122, 0.0141]}},
                "age": {"pooled": {"median": 132.2, "interval95": [100.3, 130.0]}}})");
  const RunResult r = runProgram(kTruthCheck, dir, {"run.summary.json", "--location", "0.0123", "--age", "139.5"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("location true 0.0123 Morgans; pooled median 0.0131, equal-tailed 95 % interval 0.0122 - "
                       "0.0141: holds the truth"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("age      true 139.5 generations; pooled median 132.2, equal-tailed 95 % interval 100.3 - "
                       "130: does NOT hold the truth"),
            std::string::npos)
      << r.out;

  // A run stopped in burn-in has no pooled estimates; a missing file is an error.
  dir.write("stopped.summary.json", R"({"location": {"pooled": {}}, "age": {"pooled": {}}})");
  const RunResult stopped = runProgram(kTruthCheck, dir, {"stopped.summary.json", "--location", "0.0123"});
  EXPECT_EQ(stopped.status, 0);
  EXPECT_NE(stopped.out.find("location no samples were drawn"), std::string::npos) << stopped.out;
  EXPECT_EQ(runProgram(kTruthCheck, dir, {"absent.summary.json", "--location", "0.0123"}).status, 1);
}

// make run: the simulated example, the recommended way, must show a newcomer
// both true values inside the pooled intervals (its fixed seed decides it).
TEST(TruthCheck, TheFirstRunHoldsTheSimulatedExamplesTruth) {
#ifdef MUTLOC_SANITIZED
  GTEST_SKIP() << "release builds only (a minute of sampling)";
#endif
  ScratchDir dir;
  std::ifstream in(std::string(MUTLOC_SOURCE_DIR) + "/examples/simulated/simulated.txt");
  dir.write("simulated.txt", std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  const RunResult run = runMutloc(dir, {"simulated.txt", "--mix", "--no-menu", "-q"}, "", 600);
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
  const RunResult r =
      runProgram(kTruthCheck, dir, {"simulated.txt.summary.json", "--location", "0.0123", "--age", "139.5"});
  EXPECT_EQ(occurrences(r.out, ": holds the truth"), 2) << r.out;
}

}  // namespace
