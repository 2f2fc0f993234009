// Runs in rounds (--until-converged): where the rounds end, and that such a
// run stops at the same iteration with the same files whatever the thread
// count, also when it is stopped and resumed mid-way.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver/rounds.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

TEST(RoundRule, RoundsGrowByAQuarterAndStopAtTheLimit) {
  RoundRule rule;
  rule.on = true;
  rule.maxIterations = 2600;
  std::vector<long> ends;
  for (long sampled = 0; sampled < rule.maxIterations;) ends.push_back(sampled = rule.roundEnd(sampled, 400));
  EXPECT_EQ(ends, (std::vector<long>{400, 800, 1200, 1600, 2000, 2500, 2600}));
  EXPECT_EQ(rule.roundEnd(1000, 400), 1200) << "mid-round (a resumed run)";
  EXPECT_EQ(rule.roundsDone(0, 400), 0);
  EXPECT_EQ(rule.roundsDone(1999, 400), 4);
  EXPECT_EQ(rule.roundsDone(2600, 400), 7);
  EXPECT_EQ(rule.roundEnd(0, 5000), 2600) << "a first round beyond the limit";

  rule.targetRhat = 1.05;
  rule.targetEss = 123.5;
  const RoundRule back = RoundRule::fromWords("seed=-3 gibbs=1 " + rule.toWords());
  EXPECT_TRUE(back.on);
  EXPECT_EQ(back.targetRhat, 1.05);
  EXPECT_EQ(back.targetEss, 123.5);
  EXPECT_EQ(back.maxIterations, 2600);
  EXPECT_FALSE(RoundRule::fromWords("seed=-3 gibbs=1").on);
  EXPECT_EQ(RoundRule().toWords(), "");
}

nlohmann::json roundsOf(const ScratchDir& dir, const std::string& prefix) {
  return nlohmann::json::parse(dir.read(prefix + ".summary.json"))["until_converged"];
}

TEST(Rounds, AnUnreachableTargetEndsAtTheLimitWithTheSameFilesForAnyThreadsAndAResume) {
  ScratchDir dir;
  dir.write("p.txt", twoChainsOfTwentyLeaves(500, 1000, "100 100 1 1 1").text());
  const std::vector<std::string> rounds = {"--until-converged", "--target-ess", "1e9", "--max-iterations", "3700"};
  auto args = [&](std::vector<std::string> more) {
    more.insert(more.end(), rounds.begin(), rounds.end());
    return more;
  };
  const RunResult one = runMutloc(dir, args({"p.txt", "--no-menu", "--streams", "-o", "one"}));
  ASSERT_EQ(one.status, 0) << one.out << one.err;
  const std::vector<std::string> expected = outputsOf(dir, "one");
  EXPECT_NE(one.err.find("round 4 ended at 3700 sampling iterations"), std::string::npos) << one.err;
  EXPECT_NE(one.err.find("was not reached: the run ended at --max-iterations 3700"), std::string::npos) << one.err;
  const nlohmann::json summary = roundsOf(dir, "one");
  EXPECT_EQ(summary["target_reached"], false);
  EXPECT_EQ(summary["iterations"], 3700);
  EXPECT_EQ(summary["rounds"], 4);
  EXPECT_EQ(summary["ended_by"], "max-iterations");
  // The round ends (1000, 2000, 3000 sampling iterations) have their lines.
  for (const char* line : {"\n1499 ", "\n2499 ", "\n3499 ", "\n4199 "})
    EXPECT_NE(expected[0].find(line), std::string::npos) << line;

  ASSERT_EQ(runMutloc(dir, args({"p.txt", "--no-menu", "--threads", "2", "-o", "two"})).status, 0);
  EXPECT_EQ(outputsOf(dir, "two"), expected);

  LiveRun live = startMutloc(dir, args({"p.txt", "--threads", "2", "--checkpoint-every", "300", "-o", "stopped"}));
  ASSERT_TRUE(waitForOutput(live, "\n2600 "));
  sendSignal(live, SIGINT);
  ASSERT_EQ(finish(live, 120).status, 128 + SIGINT);
  const RunResult refused = runMutloc(dir, {"--resume", "stopped.ckpt", "p.txt", "--no-menu", "--until-converged"});
  EXPECT_EQ(refused.status, 1) << "other targets than the checkpoint's";
  const RunResult resumed = runMutloc(dir, {"--resume", "stopped.ckpt", "p.txt", "--no-menu", "--threads", "1"});
  ASSERT_EQ(resumed.status, 0) << resumed.out;
  EXPECT_EQ(outputsOf(dir, "stopped"), expected);
  EXPECT_EQ(roundsOf(dir, "stopped"), summary);
}

TEST(Rounds, AReachedTargetEndsTheRunAtTheEndOfThatRound) {
  ScratchDir dir;
  dir.write("p.txt", twoChainsOfTwentyLeaves(500, 1000, "100 100 1 1 1").text());
  const RunResult run = runMutloc(dir, {"p.txt", "--no-menu", "-q", "--mix", "--until-converged", "--target-rhat",
                                        "1.02", "--target-ess", "200"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err.find("not reached"), std::string::npos) << run.err;
  const auto summary = nlohmann::json::parse(dir.read("p.txt.summary.json"));
  const auto& rounds = summary["until_converged"];
  EXPECT_EQ(rounds["target_reached"], true);
  EXPECT_EQ(rounds["ended_by"], "target");
  EXPECT_EQ(summary["draws_per_chain"], rounds["iterations"]);
  EXPECT_GT(rounds["rounds"].get<int>(), 1) << "the first round should not be enough";
  EXPECT_EQ(rounds["iterations"], RoundRule().roundEnd(rounds["iterations"].get<long>() - 1, 1000));
  for (const char* quantity : {"location", "age"}) {
    EXPECT_LE(summary[quantity]["pooled"]["rhat"].get<double>(), 1.02);
    for (const char* ess : {"ess_bulk", "ess_tail"}) EXPECT_GE(summary[quantity]["pooled"][ess].get<double>(), 200);
  }
}

}  // namespace
