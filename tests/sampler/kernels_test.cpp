// The proposal kernels' edge cases, with draws forced by choosing the seed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/random.h"
#include "sampler/kernels.h"
#include "sampler/treemoves.h"
#include "support/runsetup.h"

namespace {

// One locus with the frequencies of labels 1..n.
FrequencyTable locus(const std::vector<double>& freqs) {
  FrequencyTable table{1, std::vector<double>(freqs.size() + 1, 0.0)};
  for (size_t i = 0; i < freqs.size(); i++) table(static_cast<int>(i) + 1, 0) = freqs[i];
  return table;
}

// The first of the seeds -1, -2, ... whose draws satisfy accept, which is
// given a fresh stream from that seed to draw from.
template <typename Accept>
int32_t findSeed(const Accept& accept) {
  for (int32_t s = -1;; s--) {
    Random probe(s);
    if (accept(probe)) return s;
  }
}

// Three frequencies: `moved` at label `allele`, the others in label order.
std::vector<double> placeMoved(int allele, double moved, double first, double second) {
  std::vector<double> f = {first, second};
  f.insert(f.begin() + (allele - 1), moved);
  return f;
}

void expectFrequencies(const FrequencyTable& table, const std::vector<double>& expected) {
  for (size_t a = 1; a <= expected.size(); a++)
    EXPECT_NEAR(table(static_cast<int>(a), 0), expected[a - 1], 1e-12) << "label " << a;
}

TEST(ProposeFrequency, ReflectsAtBothEndsAndRescalesTheOthers) {
  int a = 0;
  double u = 0;
  auto drawsBelow = [&](double limit) {
    return [&a, &u, limit](Random& rng) {
      a = rng.below(3) + 1;
      u = rng.uniform();
      return u < limit;
    };
  };
  // 0.05 stepped to -0.1 comes back to 0.1; the others share 0.9 in proportion.
  Random rng(findSeed(drawsBelow(0.4)));
  FrequencyTable freq = locus(placeMoved(a, 0.05, 0.6, 0.35));
  SharedDouble step = -0.15 / (2 * u - 1);
  proposeFrequency(freq, 0, 3, step, rng);
  expectFrequencies(freq, placeMoved(a, 0.1, 0.6 * 0.9 / 0.95, 0.35 * 0.9 / 0.95));

  // 0.9 stepped to 1.2 comes back to 0.8.
  rng = Random(findSeed([&](Random& p) { return !drawsBelow(0.7)(p); }));
  freq = locus(placeMoved(a, 0.9, 0.06, 0.04));
  step = 0.3 / (2 * u - 1);
  proposeFrequency(freq, 0, 3, step, rng);
  expectFrequencies(freq, placeMoved(a, 0.8, 0.12, 0.08));

  // A step above 1 is lowered to 1 for good. Other frequencies summing to 0
  // have nothing to rescale and stay 0.
  rng = Random(findSeed(drawsBelow(1)));
  freq = locus({0, 0, 0});
  step = 3.0;
  proposeFrequency(freq, 0, 3, step, rng);
  EXPECT_EQ(step.load(), 1.0);
  expectFrequencies(freq, placeMoved(a, std::abs(2 * u - 1), 0, 0));
}

TEST(ProposeLocation, ReflectsIntoTheBounds) {
  double u = 0;
  Random rng(findSeed([&](Random& p) {
    u = p.uniform();
    return u < 0.25;
  }));
  SharedDouble step = -0.4 / (2 * u - 1);
  double x = 0.1;
  proposeLocation(x, 0, 1, step, rng);
  EXPECT_NEAR(x, 0.3, 1e-12);

  rng = Random(findSeed([&](Random& p) {
    u = p.uniform();
    return u > 0.75;
  }));
  step = 0.3 / (2 * u - 1);
  x = 0.9;
  proposeLocation(x, 0, 1, step, rng);
  EXPECT_NEAR(x, 0.8, 1e-12);
}

TEST(ProposeLocation, OversizeStepIsShrunkAndReportedWithoutADraw) {
  SharedDouble step = 2.0;
  Random rng(-3);
  rng.uniform();
  const int32_t before = rng.state().seed;
  double x = 0.1;
  testing::internal::CaptureStdout();
  proposeLocation(x, 0, 1, step, rng);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Adjustment level for recdist is too large. It has been changed to1, the size of the interval "
            "specified.\n");
  EXPECT_EQ(step.load(), 1.0);
  EXPECT_EQ(x, 0.1);
  EXPECT_EQ(rng.state().seed, before);
}

TEST(RedrawAlleles, RedrawProbabilityDecidesChangesAndDrawsConsumed) {
  const std::vector<int> highestLabel = {4, 4, 4};
  struct Case {
    double q;
    bool all;
    int draws;  // one locus: locus and u; all loci: u per locus; plus one per redrawn allele
    bool changed;
  };
  for (const Case& k : {Case{0, false, 2, false}, Case{0, true, 3, false}, Case{1, false, 3, true},
                        Case{1, true, 6, true}}) {
    SCOPED_TRACE(testing::Message() << "q " << k.q << " all " << k.all);
    std::vector<int> hap = {1, 2, 3};
    Random rng(-21);
    EXPECT_EQ(redrawAlleles(hap, highestLabel, k.q, k.all, rng), k.changed);
    Random reference(-21);
    for (int i = 0; i < k.draws; i++) reference.uniform();
    EXPECT_EQ(rng.state().seed, reference.state().seed);
    for (int l = 0; l < 3; l++) EXPECT_TRUE(k.q == 0 ? hap[l] == l + 1 : hap[l] >= 1 && hap[l] <= 4);
  }
}

TEST(FoldIntoRange, BouncesBetweenTheBoundsAsOftenAsItTakes) {
  for (auto [x, folded] : {std::pair{51.0, 51.0}, {49.5, 50.5}, {53.5, 50.5}, {55.5, 51.5}, {44.5, 51.5}, {46.5, 50.5}})
    EXPECT_NEAR(foldIntoRange(x, 50, 52), folded, 1e-12) << x;
}

TEST(ProposeMutAge, AStepWiderThanTheAgeRangeStillProposesAgesWithinIt) {
  ParamSpec p;
  p.adjust = "3 0.01 0.5 0.5 0.1";
  p.ageBounds = "50 52";
  const auto run = setUpRun(p.text());
  const MoveContext ctx = run->context();
  Chain& chain = run->chain();
  double lowest = 100, highest = 0;
  for (int i = 0; i < 2000; i++) {
    ASSERT_TRUE(proposeMutAge(chain, ctx));
    lowest = std::min(lowest, chain.proposedAge);
    highest = std::max(highest, chain.proposedAge);
    chain.mutAge = chain.proposedAge;
  }
  EXPECT_GE(lowest, 50);
  EXPECT_LE(highest, 52);
  // The walk reaches both ends of the range.
  EXPECT_LT(lowest, 50.1);
  EXPECT_GT(highest, 51.9);
}

}  // namespace
