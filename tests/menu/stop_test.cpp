// Stopping a long run by SIGINT (the keyboard's interrupt) or SIGTERM: the
// results gathered so far are written in full; a second signal ends at once.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <sstream>
#include <string>
#include <thread>

#include "genealogy/treematrix.h"
#include "genealogy/treestore.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// Two chains that would run for about a minute, with progress lines every
// 1000 iterations.
ParamSpec longRun() { return twoChainsOfTwentyLeaves(100, 1000000, "1000 1000 1 1 1"); }

// Starts the run and signals it once it has printed the progress line `seen`.
RunResult signalledRun(const ScratchDir& dir, const ParamSpec& p, const std::string& seen, int signal) {
  dir.write("p.txt", p.text());
  LiveRun live = startMutloc(dir, {"p.txt"});
  EXPECT_TRUE(waitForOutput(live, seen));
  sendSignal(live, signal);
  return finish(live, 120);
}

TEST(StopSignal, InterruptOrTerminateAfterBurnInWritesEveryResultAndExitsNormally) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    ScratchDir dir;
    const ParamSpec p = longRun();
    const RunResult run = signalledRun(dir, p, "\n3000 ", signal);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\nProgram will now be terminated, with data saved to output files\n"), std::string::npos);
    EXPECT_NE(run.out.find("Writing files..."), std::string::npos) << run.out;
    EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
    for (const char* ext : {".sig", ".tre"}) {  // per chain 20 bars and a level line
      const std::string histograms = dir.read(std::string("p.txt") + ext);
      EXPECT_EQ(occurrences(histograms, "\n"), 42) << ext;
      EXPECT_EQ(occurrences(histograms, "99% = "), 2) << ext;
    }
    for (const char* ext : {".dat", ".log", ".hap", ".hin", ".hpf"})
      EXPECT_NE(dir.read(std::string("p.txt") + ext), "") << ext;
    // The stored genealogy reads back as one of this run's shape.
    const RunSettings s = loadParameters(p.text());
    TreeMatrix m = makeTreeMatrix(2 * p.chromosomes - 1, treeLayoutOf(s));
    std::vector<int> root;
    std::istringstream mat(dir.read("p.txt.mat"));
    EXPECT_NO_THROW(parseGenealogy(mat, s.alleles.highestLabel, m, root));
  }
}

TEST(StopSignal, InterruptDuringBurnInLeavesTheHistogramsEmptyAndSaysSo) {
  ScratchDir dir;
  ParamSpec p = longRun();
  p.burnIn = 100000000;
  p.iterations = 10;
  const RunResult run = signalledRun(dir, p, "\n1000 ", SIGINT);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
  EXPECT_EQ(dir.read("p.txt.sig"), "");
  EXPECT_EQ(dir.read("p.txt.tre"), "");
  for (const char* ext : {".log", ".hap", ".mat"}) EXPECT_NE(dir.read(std::string("p.txt") + ext), "") << ext;
  std::string lower = run.out;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(occurrences(lower, "no samples"), 1) << run.out;
}

TEST(StopSignal, ASecondInterruptEndsTheProcessAtOnce) {
  ScratchDir dir;
  dir.write("p.txt", longRun().text());
  LiveRun live = startMutloc(dir, {"p.txt"});
  ASSERT_TRUE(waitForOutput(live, "\n3000 "));
  sendSignal(live, SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  sendSignal(live, SIGINT);
  const RunResult run = finish(live, 120);
  // Writing the results may already have ended by the second signal; a
  // normal exit must then be a complete one.
  EXPECT_TRUE(run.status == 128 + SIGINT || (run.status == 0 && endsWithFinished(run.out))) << run.out;
}

}  // namespace
