// The run lifecycle seen from outside: missing input, output file names and
// modes, an output file that cannot be created, the end of standard output,
// and the control thread at the end of standard input.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// A quick-start file with a run short enough for lifecycle checks.
std::string shortRun(long iterations = 200) {
  ParamSpec params;
  params.burnIn = 50;
  params.iterations = iterations;
  params.updates = "50 50 1 1 0";
  return params.text();
}

// "Finished" is the very end of standard output: no line end follows it.

size_t entriesIn(const ScratchDir& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) n++;
  return n;
}

TEST(Lifecycle, WithoutAReadableParameterFileNothingIsCreated) {
  ScratchDir dir;
  for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"absent.txt"}}) {
    const RunResult run = runMutloc(dir, args, "", 30);
    EXPECT_EQ(run.out, "You haven't opened the input file yet.\n");
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_EQ(entriesIn(dir), 0u);
}

TEST(Lifecycle, OutputsAreNamedAfterTheParameterFileWithMode0664) {
  ScratchDir dir;
  dir.write("x.dat", shortRun());
  const mode_t saved = umask(002);
  const RunResult run = runMutloc(dir, {"x.dat"}, "", 60);
  umask(saved);
  ASSERT_EQ(run.status, 0) << run.out;
  for (const auto& ext : kOutputExtensions) {
    struct stat info {};
    ASSERT_EQ(stat(dir.file("x.dat" + ext).c_str(), &info), 0) << "x.dat" << ext;
    EXPECT_EQ(info.st_mode & 0777, 0664u) << "x.dat" << ext;
  }
  EXPECT_EQ(entriesIn(dir), 1 + kOutputExtensions.size());
  EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
  EXPECT_NE(run.out.find("\nWriting files...\n\n"), std::string::npos);
}

TEST(Lifecycle, OutputFileThatCannotBeCreatedStopsTheOpening) {
  ScratchDir dir;
  dir.write("p.txt", shortRun());
  std::filesystem::create_directory(dir.file("p.txt.log"));
  const RunResult run = runMutloc(dir, {dir.file("p.txt")}, "", 30);
  EXPECT_EQ(run.out, dir.file("p.txt.log") + " can't be opened.\n");
  EXPECT_EQ(run.status, 1);
  ASSERT_TRUE(dir.exists("p.txt.dat"));
  EXPECT_EQ(std::filesystem::file_size(dir.file("p.txt.dat")), 0u);
  for (size_t f = 2; f < kOutputExtensions.size(); f++)
    EXPECT_FALSE(dir.exists("p.txt" + kOutputExtensions[f])) << kOutputExtensions[f];
}

TEST(Lifecycle, JunkWordsOnStandardInputAreRefusedAndTheRunStillFinishes) {
  ScratchDir dir;
  // Long enough that the control thread reads every word before the end.
  dir.write("p.txt", shortRun(100000));
  const RunResult run = runMutloc(dir, {"p.txt"}, "go 12\nstop\n", 60);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(occurrences(run.out, "\nError!enter 9 to pause.\n"), 3);
  EXPECT_TRUE(endsWithFinished(run.out));
}

// True when the run has ended within the time; the process is left for
// finish() to collect.
bool endsWithin(const LiveRun& run, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    siginfo_t info{};
    if (waitid(P_PID, run.pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == run.pid) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(Lifecycle, StandardInputNeverHoldsTheRun) {
  ScratchDir dir;
  dir.write("p.txt", shortRun());
  const RunResult ended = runMutloc(dir, {"p.txt"}, "", 30);  // input at its end from the start
  EXPECT_EQ(ended.status, 0);
  EXPECT_TRUE(endsWithFinished(ended.out));
  EXPECT_EQ(occurrences(ended.out, "Error!"), 0);

  // Input left open: the control thread is waiting for a word when the run ends.
  LiveRun live = startMutloc(dir, {"p.txt"});
  EXPECT_TRUE(endsWithin(live, 30));
  const RunResult open = finish(live, 30);
  EXPECT_EQ(open.status, 0);
  EXPECT_TRUE(endsWithFinished(open.out));
}

}  // namespace
