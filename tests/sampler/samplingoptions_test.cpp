// The sampling options as a checkpoint's words and back.
#include <gtest/gtest.h>

#include "sampler/samplingoptions.h"

namespace {

// Every option alone, then all together: the words name it, and reading them
// back gives the options that wrote them.
TEST(SamplingOptions, EveryOptionSurvivesItsWordsAloneAndWithTheOthers) {
  std::vector<SamplingOptions> cases;
  SamplingOptions all;
  auto add = [&](auto set) {
    SamplingOptions alone;
    set(alone);
    set(all);
    cases.push_back(alone);
  };
  add([](SamplingOptions& o) { o.streams = true; });
  for (size_t f = 0; f < MoveOptions::flags(all.moves).size(); f++)
    add([f](SamplingOptions& o) { *MoveOptions::flags(o.moves)[f].second = true; });
  add([](SamplingOptions& o) {
    o.heated = 3;
    o.hottest = 0.1 + 0.2;  // not a short decimal: every digit must survive
  });
  for (size_t f = 0; f < SamplingOptions::startFlags(all).size(); f++)
    add([f](SamplingOptions& o) { *SamplingOptions::startFlags(o)[f].second = true; });
  cases.push_back(all);
  for (const SamplingOptions& options : cases) {
    const std::string words = options.toWords();
    EXPECT_FALSE(words.empty());
    const SamplingOptions back = SamplingOptions::fromWords("seed=-7 " + words);
    EXPECT_EQ(back.toWords(), words);
    EXPECT_EQ(back.hottest, options.hottest) << words;
  }
  EXPECT_EQ(SamplingOptions{}.toWords(), "");
}

// Checkpoints written before hold these words: their spelling and order stay.
TEST(SamplingOptions, TheWordsKeepTheSpellingAndOrderCheckpointsHold) {
  SamplingOptions o = SamplingOptions::fromWords(
      "seed=-1 streams=1 gibbs=1 local=1 symmetric=1 heated=2 hottest=0.81000000000000005 smart=1 overdispersed=1 "
      "tune=1");
  EXPECT_TRUE(o.streams && o.moves.gibbs && o.moves.localMoves && o.moves.symmetricGenealogy && o.smartStart &&
              o.overdispersed && o.tune);
  EXPECT_EQ(o.heated, 2);
  EXPECT_EQ(o.hottest, 0.9 * 0.9);
  EXPECT_EQ(o.toWords(),
            "streams=1 gibbs=1 local=1 symmetric=1 heated=2 hottest=0.81000000000000005 smart=1 overdispersed=1 tune=1");
}

}  // namespace
