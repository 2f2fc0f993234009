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

// What locationLogPrior returns for a forbidden location, and the test for it.
constexpr double kForbiddenLocation = 99.99;
inline bool isForbiddenLocation(double prior) { return prior > 99.98 && prior < 99.991; }
