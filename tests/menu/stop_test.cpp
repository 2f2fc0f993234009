// Stopping a long run by SIGINT (the keyboard's interrupt) or SIGTERM: the
// results gathered so far are written in full, the status (128 + the signal)
// and the summary say the run stopped; more signals within a second are the
// same request, and one after that ends the process at once.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "genealogy/treematrix.h"
#include "menu/menu.h"
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

TEST(StopSignal, InterruptOrTerminateAfterBurnInWritesEveryResultAndSaysTheRunStopped) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    ScratchDir dir;
    const ParamSpec p = longRun();
    const RunResult run = signalledRun(dir, p, "\n3000 ", signal);
    EXPECT_EQ(run.status, 128 + signal) << run.out;
    EXPECT_NE(run.out.find("\nProgram will now be terminated, with data saved to output files\n"), std::string::npos);
    EXPECT_NE(run.out.find("Writing files..."), std::string::npos) << run.out;
    EXPECT_FALSE(endsWithFinished(run.out)) << run.out;
    const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
    EXPECT_NE(run.err.find("mutloc: the run was stopped by " + name + " after iteration "), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("It cannot be continued: a run with --checkpoint-every N can."), std::string::npos);
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
    const auto summary = nlohmann::json::parse(dir.read("p.txt.summary.json"));
    EXPECT_EQ(summary["completed"], false);
    EXPECT_EQ(summary["stopped_by"], name);
    EXPECT_GE(summary["iterations_done"].get<long>(), 3000);
    EXPECT_EQ(summary["iterations_planned"], 1000100);
    EXPECT_FALSE(summary.contains("resume_command")) << "no checkpoint";
  }
}

TEST(StopSignal, InterruptDuringBurnInLeavesTheHistogramsEmptyAndTheSummaryWithoutEstimates) {
  ScratchDir dir;
  ParamSpec p = longRun();
  p.burnIn = 100000000;
  p.iterations = 10;
  const RunResult run = signalledRun(dir, p, "\n1000 ", SIGINT);
  EXPECT_EQ(run.status, 128 + SIGINT) << run.out;
  EXPECT_EQ(dir.read("p.txt.sig"), "");
  EXPECT_EQ(dir.read("p.txt.tre"), "");
  for (const char* ext : {".log", ".hap", ".mat"}) EXPECT_NE(dir.read(std::string("p.txt") + ext), "") << ext;
  std::string lower = run.out;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(occurrences(lower, "no samples"), 1) << run.out;
  const std::string text = dir.read("p.txt.summary.json");
  EXPECT_EQ(text.find("null"), std::string::npos) << text;
  const auto summary = nlohmann::json::parse(text);
  EXPECT_TRUE(summary.contains("no_draws"));
  EXPECT_FALSE(summary.contains("location"));
  EXPECT_EQ(summary["completed"], false);
}

// timeout(1) signals the program and then its whole process group: two
// signals within milliseconds, which must not cut the writing of the files.
TEST(StopSignal, TimeoutsSignalBurstLeavesCompleteFilesEveryTime) {
  ParamSpec p = longRun();
  p.burnIn = 10;
  p.updates = "100000 1000 1 1 1";
  ScratchDir dir;
  dir.write("p.txt", p.text());
  for (int attempt = 0; attempt < 20; attempt++) {
    SCOPED_TRACE(attempt);
    const RunResult run =
        runProgram("/usr/bin/timeout", dir, {"--preserve-status", "-s", "INT", "0.5", MUTLOC_BINARY, "p.txt"}, 120);
    ASSERT_EQ(run.status, 128 + SIGINT) << run.out << run.err;
    EXPECT_NE(run.out.find("Program will now be terminated, with data saved to output files"), std::string::npos);
    for (const char* ext : {".sig", ".tre", ".hap", ".mat", ".hpf"})
      EXPECT_NE(dir.read(std::string("p.txt") + ext), "") << ext;
    EXPECT_FALSE(dir.exists("p.txt.samples"));
    EXPECT_EQ(nlohmann::json::parse(dir.read("p.txt.summary.json"))["stopped_by"], "SIGINT");
  }
}

// A signal more than a second after the first is a request to end at once.
TEST(StopSignal, ASignalAfterTheFirstSecondEndsTheProcessAtOnce) {
  EXPECT_EXIT(
      {
        SharedControl control;
        installStopSignals(control);
        std::raise(SIGINT);
        std::raise(SIGINT);  // the same burst: nothing happens
        if (control.stopRequested.load() != 1 || control.stopSignal.load() != SIGINT) std::_Exit(3);
        std::this_thread::sleep_for(std::chrono::milliseconds(kStopSignalBurstMilliseconds + 100));
        std::raise(SIGTERM);
        std::_Exit(4);
      },
      testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
