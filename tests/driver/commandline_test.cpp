// The command line: output prefix, seed, check, quiet and batch runs, and
// what a bad option gets.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

std::string quickRun(int seed = -5) {
  ParamSpec params;
  params.seed = seed;
  params.burnIn = 50;
  params.iterations = 300;
  params.updates = "50 50 1 1 1";
  return params.text();
}

std::vector<std::string> filesIn(const ScratchDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path))
    names.push_back(entry.path().lexically_relative(dir.path).string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CommandLine, OutputPrefixSeedAndFileOrderGiveTheSameRun) {
  ScratchDir dir;
  dir.write("p.txt", quickRun());
  ASSERT_EQ(runMutloc(dir, {"p.txt"}).status, 0);
  // The file's seed -5 given on the command line, options after the file,
  // outputs into a folder: the same outputs under the new names.
  std::filesystem::create_directory(dir.file("out"));
  dir.write("q.txt", quickRun(0));
  const RunResult run = runMutloc(dir, {"q.txt", "--seed", "-5", "-o", "out/r"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  std::vector<std::string> expected = outputsOf(dir, "p.txt");
  std::vector<std::string> got = outputsOf(dir, "out/r");
  EXPECT_EQ(got[0], expected[0]) << ".dat";
  for (size_t f = 2; f < kOutputExtensions.size(); f++) EXPECT_EQ(got[f], expected[f]) << kOutputExtensions[f];
  // The echo shows the seed used; nothing else of it differs.
  const std::string echo = "Fixed random seed?\n-5\n";
  EXPECT_NE(got[1].find(echo), std::string::npos);
  EXPECT_EQ(got[1], expected[1]);
  EXPECT_FALSE(dir.exists("q.txt.dat"));
  EXPECT_FALSE(dir.exists("out/r.samples")) << "removed after a normal finish";
}

TEST(CommandLine, AClockSeedIsPrintedAndRepeatsTheRun) {
  ScratchDir dir;
  dir.write("p.txt", quickRun(0));
  const RunResult first = runMutloc(dir, {"p.txt"});
  ASSERT_EQ(first.status, 0);
  const std::string said = "mutloc: seed ";
  const size_t at = first.err.find(said);
  ASSERT_NE(at, std::string::npos) << first.err;
  const std::string seed = first.err.substr(at + said.size(), first.err.find(' ', at + said.size()) - at - said.size());
  EXPECT_NE(first.err.find("drawn from the clock; repeat with --seed " + seed + "\n"), std::string::npos);
  const std::vector<std::string> firstOutputs = outputsOf(dir, "p.txt");
  ASSERT_EQ(runMutloc(dir, {"--seed", seed, "p.txt"}).status, 0);
  const std::vector<std::string> again = outputsOf(dir, "p.txt");
  for (size_t f = 0; f < kOutputExtensions.size(); f++) {
    if (f == 1) continue;  // the echo shows 0, then the seed given
    EXPECT_EQ(again[f], firstOutputs[f]) << kOutputExtensions[f];
  }
}

TEST(CommandLine, ClockSeedsOfRunsStartedTogetherDiffer) {
  ScratchDir dir;
  dir.write("p.txt", quickRun(0));
  std::set<std::string> seeds;
  for (int run = 0; run < 3; run++) {
    const std::string err = runMutloc(dir, {"--check", "p.txt"}).err;
    seeds.insert(err.substr(0, err.find(" drawn from the clock")));
  }
  EXPECT_EQ(seeds.size(), 3u) << "three runs within a second or two";
}

TEST(CommandLine, CheckSaysWhatTheRunWouldDoAndWritesNothing) {
  ScratchDir dir;
  dir.write("p.txt", quickRun());
  const RunResult run = runMutloc(dir, {"--check", "p.txt"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("p.txt can start: haplotype data, 4 leaves, 2 loci; 1 chain; 50 burn-in and 300 sampling"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("Estimated run time: about "), std::string::npos) << run.out;
  // A scheduler reads the memory to reserve from this line (workflow/).
  EXPECT_NE(run.out.find("\nEstimated memory: about "), std::string::npos) << run.out;
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"p.txt"});
  dir.write("p.txt", quickRun(7));
  const RunResult bad = runMutloc(dir, {"--check", "p.txt"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "\"Use fixed random seed\" should be 0 or negative.\n");
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"p.txt"});
}

TEST(CommandLine, QuietAndBatchRunsKeepTheFilesAndDropTheScreenAndTheMenu) {
  ScratchDir dir;
  dir.write("p.txt", quickRun());
  ASSERT_EQ(runMutloc(dir, {"p.txt"}).status, 0);
  const std::vector<std::string> expected = outputsOf(dir, "p.txt");
  const RunResult run = runMutloc(dir, {"p.txt", "-q", "--no-menu"}, "junk words\n9\n");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\nWriting files...\n\nFinished") << "no chain lines, no menu answers";
  EXPECT_EQ(run.err.find("mutloc: iteration"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("mutloc: summary over 1 chain, 300 draws each:\n  location: median "), std::string::npos)
      << "the answer stays: " << run.err;
  EXPECT_EQ(outputsOf(dir, "p.txt"), expected);
}

TEST(CommandLine, UnknownOptionsAndBadValuesEndWithStatusTwoAndWriteNothing) {
  ScratchDir dir;
  dir.write("p.txt", quickRun());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"p.txt", "--out", "X"}, {"p.txt", "--seed", "5"}, {"p.txt", "--seed", "x"},
        {"--checkpoint-every", "0", "p.txt"}, {"p.txt", "extra.txt"}, {"p.txt", "--hottest", "0.5"},
        {"p.txt", "--overdispersed"}, {"p.txt", "--chains", "0"}, {"p.txt", "--burn-in", "many"},
        {"p.txt", "--iterations", "-3"}, {"p.txt", "-o", "out/"}}) {
    const RunResult run = runMutloc(dir, args);
    EXPECT_EQ(run.status, 2) << args[1] << args.back();
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("mutloc: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
  }
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"p.txt"});
}

// --chains, --burn-in and --iterations stand for the file's entries: the run
// is the one of a file that holds them, echo included; a checkpoint carries
// them, and a resume with other values is refused.
TEST(CommandLine, RunLengthsGivenOnTheCommandLineActAsTheFilesEntries) {
  ScratchDir dir;
  ParamSpec p = twoChainsOfTwentyLeaves(300, 3000, "100 100 1 1 1");
  p.chains = 3;
  dir.write("given.txt", p.text());
  p.chains = 1;
  p.burnIn = 50;
  p.iterations = 300;
  dir.write("p.txt", p.text());
  const RunResult edited = runMutloc(dir, {"given.txt", "--no-menu"});
  ASSERT_EQ(edited.status, 0) << edited.out;
  RunResult run = runMutloc(dir, {"p.txt", "--no-menu", "--chains", "3", "--burn-in", "300", "--iterations", "3000"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, edited.out);
  EXPECT_EQ(outputsOf(dir, "p.txt"), outputsOf(dir, "given.txt"));
  EXPECT_EQ(runMutloc(dir, {"p.txt", "--chains", "1001"}).err,
            "mutloc: --chains: \"Simulation runs\" should be at most 1000.\nRun mutloc --help for the options.\n");

  LiveRun live = startMutloc(dir, {"p.txt", "--chains", "3", "--iterations", "3000", "--burn-in", "300",
                                   "--checkpoint-every", "500", "-o", "stopped"});
  ASSERT_TRUE(waitForOutput(live, "\n1000 "));
  sendInput(live, "9\n6\n");
  ASSERT_EQ(finish(live, 120).status, 0) << "the menu's stop is the user's own";
  const std::string summary = dir.read("stopped.summary.json");
  EXPECT_NE(summary.find("\"stopped_by\": \"menu\""), std::string::npos) << summary;
  EXPECT_NE(summary.find("--resume stopped.ckpt p.txt --chains 3 --iterations 3000"), std::string::npos) << summary;
  run = runMutloc(dir, {"--resume", "stopped.ckpt", "p.txt", "--no-menu", "--iterations", "2000"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("not iterations=2000"), std::string::npos) << run.out;
  run = runMutloc(dir, {"--resume", "stopped.ckpt", "p.txt", "--no-menu"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(outputsOf(dir, "stopped"), outputsOf(dir, "given.txt"));
}

}  // namespace
