// The convergence diagnostics on draws whose answers are known: independent
// draws, an autoregressive chain, chains that disagree, and constant chains.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/random.h"
#include "results/convergence.h"

namespace {

double normal(Random& rng) { return std::sqrt(-2 * std::log(rng.uniform())) * std::cos(2 * M_PI * rng.uniform()); }

// chains x n draws of x_t = phi x_{t-1} + e_t (independent when phi = 0),
// chain c shifted by c * shift.
ChainDraws autoregressive(int chains, int n, double phi, double shift, int32_t seed) {
  Random rng(seed);
  ChainDraws draws(chains);
  for (int c = 0; c < chains; c++) {
    double x = normal(rng) / std::sqrt(1 - phi * phi);
    for (int t = 0; t < n; t++) {
      x = phi * x + normal(rng);
      draws[c].push_back(x + c * shift);
    }
  }
  return draws;
}

TEST(Diagnostics, IndependentDrawsHaveRhatNearOneAndAnEssNearTheirNumber) {
  const Diagnostics d = diagnose(autoregressive(4, 5000, 0, 0, -3));
  EXPECT_LT(d.rhat, 1.005);
  EXPECT_NEAR(d.essBulk, 20000, 2000);
  EXPECT_NEAR(d.essTail, 20000, 4000);
}

TEST(Diagnostics, AnAutoregressiveChainHasTheEssOfItsIntegratedAutocorrelation) {
  // For phi = 0.9 the integrated autocorrelation time is (1 + phi) / (1 - phi) = 19.
  const ChainDraws draws = autoregressive(4, 20000, 0.9, 0, -5);
  EXPECT_NEAR(effectiveSampleSize(draws), 80000 / 19.0, 80000 / 19.0 * 0.15);
  EXPECT_NEAR(diagnose(draws).essBulk, 80000 / 19.0, 80000 / 19.0 * 0.15);
  EXPECT_LT(diagnose(draws).rhat, 1.01);
}

TEST(Diagnostics, ChainsThatDisagreeOrDriftHaveALargeRhat) {
  // Means 0, 1 and 2 against a within-chain variance of 4/3: sqrt(7/4) before ranks.
  EXPECT_GT(diagnose(autoregressive(3, 2000, 0.5, 1.0, -7)).rhat, 1.2);
  // One chain whose halves disagree: only splitting shows it.
  ChainDraws drift = autoregressive(1, 4000, 0, 0, -9);
  for (size_t t = 2000; t < 4000; t++) drift[0][t] += 3;
  EXPECT_GT(diagnose(drift).rhat, 1.5);
  EXPECT_LT(basicRhat(drift), 1.0 + 1e-12) << "a single chain alone shows nothing";
}

TEST(Diagnostics, ConstantOrTooShortChainsGiveNoNumbers) {
  EXPECT_TRUE(std::isnan(diagnose(ChainDraws{{1, 1, 1, 1}, {1, 1, 1, 1}}).rhat));
  EXPECT_TRUE(std::isnan(diagnose(ChainDraws{{1, 2}}).essBulk));
  EXPECT_TRUE(std::isnan(effectiveSampleSize(ChainDraws{{1, NAN, 3, 4}})));
}

TEST(Quantiles, InterpolateBetweenOrderStatistics) {
  const std::vector<double> sorted = {1, 2, 3, 4, 5};
  EXPECT_DOUBLE_EQ(quantileOfSorted(sorted, 0.5), 3);
  EXPECT_DOUBLE_EQ(quantileOfSorted(sorted, 0.025), 1.1);
  EXPECT_DOUBLE_EQ(quantileOfSorted(sorted, 0.975), 4.9);
  EXPECT_DOUBLE_EQ(quantileOfSorted({7}, 0.3), 7);
}

}  // namespace
