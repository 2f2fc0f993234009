// Prior terms: node times, mutation age, ancestral haplotype, mutation location.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/priors.h"

namespace {

// The node-time density and distribution of a population growing at rate r of
// which K was sampled, written from their closed forms.
double density(double s, double K, double r) {
  const double D = K - (K - 2 * r) * std::exp(-r * s);
  return 2 * K * r * r * std::exp(-r * s) / (D * D);
}
double distribution(double s, double K, double r) {
  return K * (1 - std::exp(-r * s)) / (K - (K - 2 * r) * std::exp(-r * s));
}

TEST(TreePriors, WorkedExampleOfTwoLeaves) {
  EXPECT_NEAR(nodeTimesLogPrior(2, {0, 0, 5}, 0.5, 0.1, 10), -2.604738, 1e-6);
  EXPECT_NEAR(mutationAgeLogPrior(2, 10, 0.1, 0.5), -3.236219, 1e-6);
}

TEST(TreePriors, NodeTimesAreIndependentDrawsTruncatedAtTheMutationAge) {
  const double K = 0.01;
  const double r = 1.5;
  std::vector<double> times = {0, 0, 0, 0, 0.4, 2.5, 6.9};  // n = 4, ascending
  double expected = -3 * std::log(distribution(7, K, r));
  for (int i = 4; i < 7; i++) expected += std::log(density(times[i], K, r));
  EXPECT_NEAR(nodeTimesLogPrior(4, times, K, r, 7), expected, 1e-9);

  const double before = nodeTimesLogPrior(4, times, K, r, 7);
  times[5] = 3.1;  // one time moved: only its own term changes
  EXPECT_NEAR(nodeTimesLogPrior(4, times, K, r, 7) - before, std::log(density(3.1, K, r) / density(2.5, K, r)), 1e-9);

  // The age is distributed as the largest of n node times.
  for (int n : {2, 5, 30})
    for (double T : {0.5, 7.0, 40.0})
      EXPECT_NEAR(mutationAgeLogPrior(n, T, r, K), std::log(n * std::pow(distribution(T, K, r), n - 1) * density(T, K, r)), 1e-9)
          << n << " " << T;
}

TEST(HaplotypePrior, StartsFromOneAndAddsTheLogFrequencies) {
  FrequencyTable freq{2, {0, 0, 0.25, 0.5, 0.75, 0.5}};
  EXPECT_EQ(rootHaplotypeLogProb(freq, {}), 1);
  EXPECT_NEAR(rootHaplotypeLogProb(freq, {2, 1}), 1 + std::log(0.75) + std::log(0.5), 1e-12);
}

// Segments start at 1, 2, 3 and 4; segment i covers (start[i], start[i+1]].
TEST(LocationPrior, WeightOfTheSegmentHoldingTheLocation) {
  SequenceSegments segments;
  segments.start = {1, 2, 3, 4};
  segments.weight = {0.5, 0.2, 0, 0.9};  // the last segment's weight is never used
  segments.weights = {0.5, 0.2, 0.1};
  auto prior = [&segments](double x) { return locationLogPrior(segments, x); };
  const double outside = std::log(0.1);
  EXPECT_DOUBLE_EQ(prior(0.5), outside);
  EXPECT_DOUBLE_EQ(prior(1), outside) << "the first start counts as outside";
  EXPECT_DOUBLE_EQ(prior(1.0001), std::log(0.5));
  EXPECT_DOUBLE_EQ(prior(2), std::log(0.5)) << "a segment includes its upper end";
  EXPECT_DOUBLE_EQ(prior(2.5), std::log(0.2));
  EXPECT_EQ(prior(3.5), kForbiddenLocation);
  EXPECT_TRUE(isForbiddenLocation(prior(4)));
  EXPECT_DOUBLE_EQ(prior(4.0001), outside);
  EXPECT_DOUBLE_EQ(prior(100), outside);
  segments.weights[2] = 0;
  EXPECT_TRUE(isForbiddenLocation(prior(-3)));
  EXPECT_FALSE(isForbiddenLocation(std::log(0.5)));
}

}  // namespace
