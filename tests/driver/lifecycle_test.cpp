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
  // Standard error says which file and why, or how to give one.
  EXPECT_EQ(runMutloc(dir, {"absent.txt"}, "", 30).err,
            "mutloc: cannot read the parameter file absent.txt: No such file or directory.\n");
  EXPECT_EQ(runMutloc(dir, {}, "", 30).err.rfind("mutloc: no parameter file was given.\nUsage: mutloc [OPTIONS] "
                                                  "PARAMFILE",
                                                  0),
            0u);
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
  EXPECT_EQ(entriesIn(dir), 2 + kOutputExtensions.size()) << "the eight and x.dat.summary.json";
  EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
  EXPECT_NE(run.out.find("\nWriting files...\n\n"), std::string::npos);
}

TEST(Lifecycle, AnOutputThatCannotBeWrittenIsNamedAndNoFileIsCreated) {
  ScratchDir dir;
  dir.write("p.txt", shortRun());
  std::filesystem::create_directory(dir.file("p.txt.log"));
  const RunResult run = runMutloc(dir, {dir.file("p.txt")}, "", 30);
  EXPECT_EQ(run.out, dir.file("p.txt.log") + " can't be opened.\n");
  EXPECT_EQ(run.err, "mutloc: " + dir.file("p.txt.log") + " is a folder\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(entriesIn(dir), 2u) << "only p.txt and the folder named p.txt.log";
  const RunResult missing = runMutloc(dir, {"p.txt", "-o", "nope/run1"}, "", 30);
  EXPECT_EQ(missing.out, "nope/run1.dat can't be opened.\n");
  EXPECT_EQ(missing.err, "mutloc: the folder nope does not exist\n");
}

// A rerun whose parameter file is rejected leaves the earlier results as they
// were, whatever rejects it: the reader, the allele check, the checks of the
// chain set-up, or a stored genealogy that is not there.
TEST(Lifecycle, ARejectedRerunLeavesTheEarlierResultsUntouched) {
  ScratchDir dir;
  dir.write("p.txt", shortRun());
  ASSERT_EQ(runMutloc(dir, {"p.txt"}, "", 60).status, 0);
  std::vector<std::string> earlier;
  for (const auto& ext : kOutputExtensions) earlier.push_back(dir.read("p.txt" + ext));
  const std::string good = shortRun();
  const auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    return text.replace(text.find(from), from.size(), to);
  };
  for (const std::string& bad : {replaced("Iterations\n200", "Iterations\n2O0"),
                                 replaced("4 2 1\n5 1 2\n", "4 4 4\n"),  // label 3 nowhere
                                 replaced("0.1 0.01 0.5", "0.1 0.6 0.5"), replaced("Read old file\n0", "Read old file\n1")}) {
    dir.write("p.txt", bad);
    const RunResult run = runMutloc(dir, {"p.txt"}, "", 60);
    EXPECT_EQ(run.status, 1) << run.out;
    for (size_t f = 0; f < kOutputExtensions.size(); f++)
      EXPECT_EQ(dir.read("p.txt" + kOutputExtensions[f]), earlier[f]) << kOutputExtensions[f] << " after " << run.out;
    EXPECT_EQ(entriesIn(dir), 2 + kOutputExtensions.size()) << run.out;
  }
}

TEST(Lifecycle, AnOutputNameThatIsTheParameterFileIsRefused) {
  ScratchDir dir;
  dir.write("run.dat", shortRun());
  const RunResult run = runMutloc(dir, {"run.dat", "-o", "run"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "The output run.dat is the parameter file run.dat; choose another -o.\n");
  EXPECT_EQ(dir.read("run.dat"), shortRun());
  EXPECT_EQ(entriesIn(dir), 1u);
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
