// Checkpoints and resumed runs: a run stopped and resumed, once or several
// times, and also after a kill between checkpoints, writes the files of the
// same run uninterrupted; a checkpoint that does not belong is refused.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/binaryio.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// A few seconds uninterrupted. Every iteration is a report iteration when
// `reportEvery` is 1.
std::string resumableRun(int reportEvery = 100) {
  const std::string every = std::to_string(reportEvery);
  return twoChainsOfTwentyLeaves(3000, 30000, every + " " + every + " 1 1 1").text();
}

std::vector<std::string> uninterrupted(const std::string& text) {
  ScratchDir dir;
  dir.write("p.txt", text);
  EXPECT_EQ(runMutloc(dir, {"p.txt", "--no-menu"}).status, 0);
  return outputsOf(dir);
}

// Starts the run with args, waits for `seen` on standard output, then stops
// it with signal (or, for the menu, types 9 and 6).
RunResult interrupted(const ScratchDir& dir, const std::vector<std::string>& args, const std::string& seen,
                      int signal) {
  LiveRun live = startMutloc(dir, args);
  EXPECT_TRUE(waitForOutput(live, seen)) << seen;
  if (signal == 0)
    sendInput(live, "9\n6\n");
  else
    sendSignal(live, signal);
  return finish(live, 120);
}

void expectSameOutputs(const ScratchDir& dir, const std::vector<std::string>& expected) {
  const std::vector<std::string> got = outputsOf(dir);
  for (size_t f = 0; f < kOutputExtensions.size(); f++) EXPECT_EQ(got[f], expected[f]) << kOutputExtensions[f];
  EXPECT_FALSE(dir.exists("p.txt.samples"));
  EXPECT_FALSE(dir.exists("p.txt.ckpt"));
}

const std::vector<std::string> kResume = {"--resume", "p.txt.ckpt", "p.txt", "--no-menu"};

TEST(Resume, StopsInBurnInAndInSamplingThenResumesGiveTheUninterruptedFiles) {
  const std::string text = resumableRun();
  const std::vector<std::string> expected = uninterrupted(text);
  ScratchDir dir;
  dir.write("p.txt", text);
  RunResult run = interrupted(dir, {"p.txt", "--checkpoint-every", "5000"}, "\n1000 ", SIGINT);
  ASSERT_EQ(run.status, 128 + SIGINT) << run.out;
  ASSERT_TRUE(dir.exists("p.txt.ckpt"));
  EXPECT_NE(run.out.find("No samples were drawn"), std::string::npos);
  {
    // The summary's proportions count the iterations that ran, not the whole
    // burn-in: near those of the last ".dat" line.
    const std::string dat = dir.read("p.txt.dat");
    std::istringstream last(dat.substr(dat.rfind('\n', dat.size() - 2) + 1));
    double column[6];
    for (double& value : column) last >> value;
    const auto summary = nlohmann::json::parse(dir.read("p.txt.summary.json"));
    EXPECT_NEAR(summary["acceptance"]["genealogy"][0].get<double>(), column[5], 0.02) << dat.substr(dat.size() - 300);
    EXPECT_EQ(summary["resume_command"], std::string(MUTLOC_BINARY) + " --resume p.txt.ckpt p.txt --checkpoint-every 5000");
  }
  ASSERT_EQ(interrupted(dir, kResume, "\n9000 ", SIGTERM).status, 128 + SIGTERM);
  run = runMutloc(dir, {"--resume", "p.txt.ckpt", "p.txt", "--no-menu", "-q"});
  ASSERT_EQ(run.status, 0) << run.out;
  expectSameOutputs(dir, expected);
}

TEST(Resume, AStopRightAfterAReportAndAKillBetweenCheckpointsLoseNothing) {
  const std::string text = resumableRun(1);
  const std::vector<std::string> expected = uninterrupted(text);
  ScratchDir dir;
  dir.write("p.txt", text);
  // The menu's stop, at an iteration whose report has just been written.
  ASSERT_EQ(interrupted(dir, {"p.txt", "--checkpoint-every", "4000"}, "\n6000 ", 0).status, 0);
  // A kill between two checkpoints leaves lines and samples after the last.
  ASSERT_EQ(interrupted(dir, kResume, "\n14500 ", SIGKILL).status, 128 + SIGKILL);
  const RunResult run = runMutloc(dir, kResume);
  ASSERT_EQ(run.status, 0) << run.out;
  expectSameOutputs(dir, expected);
}

TEST(Resume, WithTheMixingOptionsAKillDuringTuningResumesToTheUninterruptedFiles) {
  // The checkpoint carries the companions, the swap counts, the tuning state,
  // the threads' streams, and the sporadic chromosomes with their tallies.
  const std::string text = twoChainsOfTwentyLeaves(1000, 3000, "100 100 1 1 1").text();
  const std::vector<std::string> options = {"--mix", "--heated", "2", "--hottest", "0.3", "--sporadic"};
  std::vector<std::string> args = {"p.txt", "--no-menu"};
  args.insert(args.end(), options.begin(), options.end());
  ScratchDir whole;
  whole.write("p.txt", text);
  ASSERT_EQ(runMutloc(whole, args).status, 0);
  // The log shows where the built genealogies put the chains.
  EXPECT_NE(whole.read("p.txt.log").find("Starting values of the built genealogies (--smart-start)\nMutation location\n"),
            std::string::npos);
  ScratchDir dir;
  dir.write("p.txt", text);
  args.insert(args.end(), {"--checkpoint-every", "150"});
  ASSERT_EQ(interrupted(dir, args, "\n700 ", SIGKILL).status, 128 + SIGKILL);
  // And once more while sampling, with founders tallied.
  ASSERT_EQ(interrupted(dir, kResume, "\n2500 ", SIGKILL).status, 128 + SIGKILL);
  const RunResult run = runMutloc(dir, kResume);
  ASSERT_EQ(run.status, 0) << run.out;
  expectSameOutputs(dir, outputsOf(whole));
  EXPECT_EQ(dir.read("p.txt.summary.json").substr(0, 200), whole.read("p.txt.summary.json").substr(0, 200));
  EXPECT_EQ(dir.read("p.txt.founder.tsv"), whole.read("p.txt.founder.tsv"));
}

TEST(Resume, ACheckpointThatDoesNotBelongIsRefusedWithOneLine) {
  ScratchDir dir;
  const std::string text = resumableRun();
  dir.write("p.txt", text);
  ASSERT_EQ(interrupted(dir, {"p.txt", "--checkpoint-every", "2000"}, "\n5000 ", SIGINT).status, 128 + SIGINT);
  const std::string checkpoint = dir.read("p.txt.ckpt");
  auto refusal = [&](const std::vector<std::string>& args) {
    const RunResult run = runMutloc(dir, args);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    return run.out;
  };
  EXPECT_NE(refusal({"--resume", "p.txt.ckpt", "p.txt", "--seed", "-6"}).find("sampling options"), std::string::npos);
  std::string flipped = checkpoint;
  flipped[flipped.size() / 2] ^= 0x10;
  dir.write("p.txt.ckpt", flipped);
  EXPECT_NE(refusal(kResume).find("damaged"), std::string::npos);
  dir.write("p.txt.ckpt", checkpoint.substr(0, checkpoint.size() - 100));
  EXPECT_NE(refusal(kResume).find("damaged"), std::string::npos);
  // Layout 1 was written before the genealogy move had its Hastings term by
  // default, and does not say which move its run made.
  std::string earlier = checkpoint;
  earlier[std::string("mutloc checkpoint\n").size() + 8] = 1;
  const uint64_t sum = fnv1a64(earlier.data(), earlier.size() - 8);
  std::memcpy(&earlier[earlier.size() - 8], &sum, sizeof sum);
  dir.write("p.txt.ckpt", earlier);
  EXPECT_NE(refusal(kResume).find("written by an earlier mutloc"), std::string::npos);
  dir.write("p.txt.ckpt", checkpoint);
  dir.write("p.txt", text + "\n");
  EXPECT_NE(refusal(kResume).find("another parameter file"), std::string::npos);
  dir.write("p.txt", text);
  EXPECT_NE(refusal({"--resume", "p.txt.ckpt", "p.txt", "-o", "q"}).find("other outputs"), std::string::npos);
  std::filesystem::resize_file(dir.file("p.txt.samples"), 16);
  EXPECT_NE(refusal(kResume).find("shorter than the checkpoint"), std::string::npos);
  EXPECT_NE(refusal({"--check", "--resume", "p.txt.ckpt", "p.txt"}).find("shorter than the checkpoint"),
            std::string::npos);
  // A fresh run into the same outputs removes the checkpoint, which would
  // otherwise continue the earlier run on the new run's files.
  dir.write("q.txt", twoChainsOfTwentyLeaves(10, 10, "10 10 1 1 1").text());
  ASSERT_EQ(runMutloc(dir, {"q.txt", "-o", "p.txt", "--no-menu"}).status, 0);
  EXPECT_FALSE(dir.exists("p.txt.ckpt"));
}

}  // namespace
