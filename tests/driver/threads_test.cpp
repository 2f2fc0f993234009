// Chains side by side: for a given seed the files are the same whatever the
// number of threads, a stopped run resumes to them, and (under the thread
// sanitizer build) the threads share nothing unguarded.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

TEST(Threads, AnyNumberOfThreadsAndAResumeGiveTheSameFiles) {
  ScratchDir dir;
  dir.write("p.txt", twoChainsOfTwentyLeaves(500, 3000, "100 100 1 1 1").text());
  ASSERT_EQ(runMutloc(dir, {"p.txt", "--no-menu", "--streams", "-o", "one"}).status, 0);
  const std::vector<std::string> expected = outputsOf(dir, "one");
  ASSERT_EQ(runMutloc(dir, {"p.txt", "--no-menu", "--threads", "3", "-o", "three"}).status, 0);
  EXPECT_EQ(outputsOf(dir, "three"), expected);

  LiveRun live = startMutloc(dir, {"p.txt", "--threads", "2", "--checkpoint-every", "700", "-o", "stopped"});
  ASSERT_TRUE(waitForOutput(live, "\n1500 "));
  sendSignal(live, SIGINT);
  ASSERT_EQ(finish(live, 120).status, 128 + SIGINT);
  const RunResult resumed = runMutloc(dir, {"--resume", "stopped.ckpt", "p.txt", "--no-menu", "--threads", "1"});
  ASSERT_EQ(resumed.status, 0) << resumed.out;
  EXPECT_EQ(outputsOf(dir, "stopped"), expected);

  // Streams change the draws: without them the same seed gives another run.
  ASSERT_EQ(runMutloc(dir, {"p.txt", "--no-menu", "-o", "shared"}).status, 0);
  EXPECT_NE(outputsOf(dir, "shared")[0], expected[0]);
  EXPECT_EQ(outputsOf(dir, "shared")[1], expected[1]) << "the same start";
  const RunResult refused = runMutloc(dir, {"--resume", "stopped.ckpt", "p.txt", "--no-menu"});
  EXPECT_EQ(refused.status, 1) << "nothing left to resume: the finished run removed its checkpoint";
}

// Three chains on two threads run ahead of each other between the points
// where they must meet (the tuner's batches, checkpoints); the reports read
// copies of them, so every file is the one chains meeting every iteration write.
TEST(Threads, ChainsRunningAheadWriteWhatChainsMeetingEveryIterationWrite) {
  ScratchDir dir;
  ParamSpec p = twoChainsOfTwentyLeaves(300, 1000, "100 100 1 1 1");
  p.chains = 3;
  dir.write("p.txt", p.text());
  const std::vector<std::string> options = {"p.txt", "--no-menu", "--mix", "--sporadic", "--checkpoint-every", "333"};
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), options.begin(), options.end());
    return more;
  };
  ASSERT_EQ(runMutloc(dir, with({"--threads", "1", "-o", "one"})).status, 0);
  ASSERT_EQ(runMutloc(dir, with({"--threads", "2", "-o", "two"})).status, 0);
  EXPECT_EQ(outputsOf(dir, "two"), outputsOf(dir, "one"));
  EXPECT_EQ(dir.read("two.founder.tsv"), dir.read("one.founder.tsv"));
}

}  // namespace
