#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sampler/tempering.h"
#include "support/runsetup.h"

namespace {

// A term that breaks in a heated companion must be found there and named
// after it: swaps must not carry it into the cold chain (an infinite
// log-likelihood makes every swap toward the cold chain look acceptable).
TEST(Tempering, ABrokenTermStaysWithTheCompanionWhereItBrokeAndIsNamedAfterIt) {
  ParamSpec p;
  p.chains = 2;
  const auto run = setUpRun(p.text());
  std::vector<Chain>& chains = run->setup.chains;
  std::vector<Random> companionStreams{Random::pcgStream(3, 0), Random::pcgStream(3, 1), Random::pcgStream(3, 2),
                                       Random::pcgStream(3, 3)};
  std::vector<Random> swapStreams{Random::pcgStream(4, 0), Random::pcgStream(4, 1)};
  std::vector<StepSet> levelSteps(2);
  SamplingOptions heating;
  heating.heated = 2;
  heating.hottest = 0.3;
  Tempering tempering(chains, heating, companionStreams, swapStreams, levelSteps);
  tempering.companions()[1].logLik = INFINITY;  // chain 1's hottest companion
  for (int t = 0; t < 50; t++) tempering.proposeSwaps(chains);

  std::vector<std::string> names, broken;
  const std::vector<Chain>& constChains = chains;
  for (const Chain* record : tempering.records(constChains)) {
    names.push_back(recordName(*record));
    if (brokenTerm(*record).name) broken.push_back(recordName(*record));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"chain 1", "chain 2", "companion 1 of chain 1", "companion 2 of chain 1",
                                             "companion 1 of chain 2", "companion 2 of chain 2"}));
  EXPECT_EQ(broken, std::vector<std::string>{"companion 2 of chain 1"});
}

}  // namespace
