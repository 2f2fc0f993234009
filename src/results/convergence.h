// Convergence diagnostics of draws from several chains: rank-normalised
// split-R-hat and the bulk and tail effective sample sizes (Vehtari, Gelman,
// Simpson, Carpenter and Buerkner 2021), and the summaries of a sample.
#pragma once

#include <vector>

// One vector of draws per chain, all of the same length.
using ChainDraws = std::vector<std::vector<double>>;

struct Diagnostics {
  double rhat = 0;     // max of the bulk and folded rank-normalised split-R-hat; NaN when undefined
  double essBulk = 0;  // ESS of the rank-normalised split chains; NaN when undefined
  double essTail = 0;  // min of the ESS of the 5 % and 95 % quantile indicators; NaN when undefined
};

Diagnostics diagnose(const ChainDraws& chains);

// Effective sample size of the chains as given (no splitting, no ranks),
// with Geyer's initial monotone sequence; NaN when a chain is shorter than
// 3 draws, holds a value that is not finite, or all draws are equal.
double effectiveSampleSize(const ChainDraws& chains);

// Potential scale reduction of the chains as given; NaN when undefined.
double basicRhat(const ChainDraws& chains);

// The q-quantile of sorted values, interpolating between order statistics
// (the common "type 7" definition).
double quantileOfSorted(const std::vector<double>& sorted, double q);
