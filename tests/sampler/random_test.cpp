// The uniform generator against plain 64-bit arithmetic, and the proposal
// kernels' edge cases with draws forced by choosing the seed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "input/parameters.h"
#include "sampler/kernels.h"
#include "sampler/random.h"

namespace {

// x -> 16807 x mod (2^31 - 1) without Schrage's factorisation.
int64_t lehmerStep(int64_t x) { return x * 16807 % 2147483647; }

TEST(Ran1, StateAfterTenThousandStepsFromSeedOneIsTheKnownValue) {
  // The minimal-standard generator started at 1 reaches 1043618065 at its
  // 10000th value. Initialisation makes 40 steps, every call one more.
  int32_t seed = -1;
  for (int call = 0; call < 9960; call++) ran1(&seed);
  EXPECT_EQ(seed, 1043618065);
}

TEST(Ran1, OutputsMatchAnIndependentShuffleTableAndStayInRange) {
  // Eight warm-up steps, then the table filled from index 31 down to 0; each
  // draw returns the entry picked by the previous output and refills it.
  int64_t x = 7;
  int64_t table[32];
  for (int j = 39; j >= 0; j--) {
    x = lehmerStep(x);
    if (j < 32) table[j] = x;
  }
  int64_t last = table[0];
  int32_t seed = -7;
  for (int draw = 0; draw < 100000; draw++) {
    x = lehmerStep(x);
    const int j = static_cast<int>(last / 67108864);
    last = table[j];
    table[j] = x;
    const double u = ran1(&seed);
    ASSERT_EQ(u, static_cast<double>(last) * (1.0 / 2147483647)) << "draw " << draw;
    ASSERT_EQ(seed, x);
    ASSERT_TRUE(u >= 1.0 / 2147483647 && u <= 0.99999988);
  }
}

TEST(Ran1, NegativeSeedRestartsTheSequenceAndZeroActsAsMinusOne) {
  auto firstDraws = [](int32_t seed) {
    std::vector<double> u(50);
    for (double& v : u) v = ran1(&seed);
    return u;
  };
  const auto a = firstDraws(-12345);
  firstDraws(-99);
  EXPECT_EQ(firstDraws(-12345), a);
  EXPECT_EQ(firstDraws(0), firstDraws(-1));
}

TEST(Random2, OneChoiceIsZeroAndStillConsumesADraw) {
  int32_t seed = -9;
  int32_t reference = -9;
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(random2(1, &seed), 0);
    ran1(&reference);
    ASSERT_EQ(seed, reference);
  }
}

// One locus in one chain with the frequencies of labels 1..n.
void setUpLocus(const std::vector<double>& freqs) {
  pset = ParameterSet{};
  pset.numLoci = pset.numChains = 1;
  maxall = {static_cast<int>(freqs.size())};
  FrequencyTable table{1, std::vector<double>(freqs.size() + 1, 0.0)};
  for (size_t i = 0; i < freqs.size(); i++) table(static_cast<int>(i) + 1, 0) = freqs[i];
  pset.alleleFreq = {table};
}

// The first of the seeds -1, -2, ... whose draws satisfy accept, which is
// given a copy of the seed to draw from.
template <typename Accept>
int32_t findSeed(const Accept& accept) {
  for (int32_t s = -1;; s--) {
    int32_t probe = s;
    if (accept(&probe)) return s;
  }
}

// Three frequencies: `moved` at label `allele`, the others in label order.
std::vector<double> placeMoved(int allele, double moved, double first, double second) {
  std::vector<double> f = {first, second};
  f.insert(f.begin() + (allele - 1), moved);
  return f;
}

void expectFrequencies(const std::vector<double>& expected) {
  for (size_t a = 1; a <= expected.size(); a++)
    EXPECT_NEAR(pset.alleleFreq[0](static_cast<int>(a), 0), expected[a - 1], 1e-12) << "label " << a;
}

TEST(Adjfreq, ReflectsAtBothEndsAndRescalesTheOthers) {
  int a = 0;
  double u = 0;
  auto drawsBelow = [&](double limit) {
    return [&a, &u, limit](int32_t* p) {
      a = random2(3, p) + 1;
      u = ran1(p);
      return u < limit;
    };
  };
  // 0.05 stepped to -0.1 comes back to 0.1; the others share 0.9 in proportion.
  int32_t seed = findSeed(drawsBelow(0.4));
  setUpLocus(placeMoved(a, 0.05, 0.6, 0.35));
  pset.adjFreq = -0.15 / (2 * u - 1);
  adjfreq(&seed, 0, 0);
  expectFrequencies(placeMoved(a, 0.1, 0.6 * 0.9 / 0.95, 0.35 * 0.9 / 0.95));

  // 0.9 stepped to 1.2 comes back to 0.8.
  seed = findSeed([&](int32_t* p) { return !drawsBelow(0.7)(p); });
  setUpLocus(placeMoved(a, 0.9, 0.06, 0.04));
  pset.adjFreq = 0.3 / (2 * u - 1);
  adjfreq(&seed, 0, 0);
  expectFrequencies(placeMoved(a, 0.8, 0.12, 0.08));

  // A step above 1 is lowered to 1 for good. Other frequencies summing to 0
  // have nothing to rescale and stay 0.
  seed = findSeed(drawsBelow(1));
  setUpLocus({0, 0, 0});
  pset.adjFreq = 3.0;
  adjfreq(&seed, 0, 0);
  EXPECT_EQ(stepSize(pset.adjFreq), 1.0);
  expectFrequencies(placeMoved(a, std::abs(2 * u - 1), 0, 0));
}

TEST(Adjrecrate, ReflectsIntoTheBounds) {
  pset = ParameterSet{};
  pset.mutLocHigh = 1;
  double u = 0;
  int32_t seed = findSeed([&](int32_t* p) {
    u = ran1(p);
    return u < 0.25;
  });
  pset.adjRecDist = -0.4 / (2 * u - 1);
  double x = 0.1;
  adjrecrate(x, &seed);
  EXPECT_NEAR(x, 0.3, 1e-12);

  seed = findSeed([&](int32_t* p) {
    u = ran1(p);
    return u > 0.75;
  });
  pset.adjRecDist = 0.3 / (2 * u - 1);
  x = 0.9;
  adjrecrate(x, &seed);
  EXPECT_NEAR(x, 0.8, 1e-12);
}

TEST(Adjrecrate, OversizeStepIsShrunkAndReportedWithoutADraw) {
  pset = ParameterSet{};
  pset.mutLocHigh = 1;
  pset.adjRecDist = 2.0;
  int32_t seed = -3;
  ran1(&seed);
  const int32_t before = seed;
  double x = 0.1;
  testing::internal::CaptureStdout();
  adjrecrate(x, &seed);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Adjustment level for recdist is too large. It has been changed to1, the size of the interval "
            "specified.\n");
  EXPECT_EQ(stepSize(pset.adjRecDist), 1.0);
  EXPECT_EQ(x, 0.1);
  EXPECT_EQ(seed, before);
}

TEST(AdjY0AdjYi, RedrawProbabilityDecidesChangesAndDrawsConsumed) {
  pset = ParameterSet{};
  pset.numLoci = 3;
  maxall = {4, 4, 4};
  struct Case {
    double q;
    int all;
    int draws;  // one locus: locus and u; all loci: u per locus; plus one per redrawn allele
    int changed;
  };
  for (const Case& k : {Case{0, 0, 2, 0}, Case{0, 1, 3, 0}, Case{1, 0, 3, 1}, Case{1, 1, 6, 1}}) {
    for (bool root : {true, false}) {
      SCOPED_TRACE(testing::Message() << "q " << k.q << " all " << k.all << (root ? " adjY0" : " adjYi"));
      pset.adjRoot = root ? k.q : 0.5;
      pset.adjInternal = root ? 0.5 : k.q;
      std::vector<int> hap = {1, 2, 3};
      int32_t seed = -21;
      int changed = 7;
      (root ? adjY0 : adjYi)(hap, &seed, &changed, k.all);
      int32_t reference = -21;
      for (int i = 0; i < k.draws; i++) ran1(&reference);
      EXPECT_EQ(seed, reference);
      EXPECT_EQ(changed, k.changed);
      for (int l = 0; l < 3; l++) EXPECT_TRUE(k.q == 0 ? hap[l] == l + 1 : hap[l] >= 1 && hap[l] <= 4);
    }
  }
}

}  // namespace
