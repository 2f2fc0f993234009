// Prior terms of the posterior, as natural logarithms.
#pragma once

#include <vector>

#include "input/parameters.h"

// Log density of the n-1 internal-node times (entries n..2n-2 of the ascending
// times) as independent draws from the node-time distribution truncated to
// [0, curMutAge], for a population growing at rate r of which K was sampled.
double tprior(int n, const std::vector<double>& times, double K, double r);

// Log density of the mutation age T: the largest of n node-time draws.
double tpriormut(int n, double T, double r);

// 1 plus the log population probability of the ancestral haplotype.
double probhap(const FrequencyTable& freq, const std::vector<int>& root, int L);

// Log prior weight of location x from the sequence segments; 99.99 marks a
// location in a segment of weight zero.
double sequenceprob(double x);

// What sequenceprob returns for a forbidden location, and the test for it.
constexpr double kForbiddenLocation = 99.99;
inline bool isForbiddenLocation(double prior) { return prior > 99.98 && prior < 99.991; }
