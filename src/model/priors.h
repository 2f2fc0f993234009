// Prior terms of the posterior, as natural logarithms.
#pragma once

#include <vector>

#include "input/settings.h"

// Log density of the n-1 internal-node times (entries n..2n-2 of the ascending
// times) as independent draws from the node-time distribution truncated to
// [0, age], for a population growing at rate r of which K was sampled.
double nodeTimesLogPrior(int n, const std::vector<double>& times, double K, double r, double age);

// Log density of the mutation age T: the largest of n node-time draws.
double mutationAgeLogPrior(int n, double T, double r, double K);

// 1 plus the log population probability of the ancestral haplotype.
double rootHaplotypeLogProb(const FrequencyTable& freq, const std::vector<int>& root);

// Log prior weight of location x from the sequence segments; 99.99 marks a
// location in a segment of weight zero.
double locationLogPrior(const SequenceSegments& segments, double x);

// The share of sporadic patient chromosomes (--sporadic): a Beta(a, b)
// prior, or fixed at fixedShare.
struct SporadicPrior {
  double a = 1, b = 1;
  double fixedShare = -1;  // at least 0: the share is fixed there
  bool fixed() const { return fixedShare >= 0; }
};

// Log prior of the indicators, `sporadic` of `leaves` of them set, each set
// with probability share independently, plus the share's Beta log density
// when it is not fixed. A term of no indicator is left out, so that a share
// of 0 or 1 scores the indicators it allows as log 1.
double sporadicLogPrior(int sporadic, int leaves, double share, const SporadicPrior& prior);

// What locationLogPrior returns for a forbidden location, and the test for it.
constexpr double kForbiddenLocation = 99.99;
inline bool isForbiddenLocation(double prior) { return prior > 99.98 && prior < 99.991; }
