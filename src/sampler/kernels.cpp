#include "sampler/kernels.h"

#include <iostream>

#include "input/parameters.h"
#include "sampler/random.h"

namespace {

void redrawAlleles(std::vector<int>& hap, int32_t* seed, int* changed, int all, double q) {
  *changed = 0;
  const int L = pset.numLoci;
  auto visit = [&](int k) {
    if (ran1(seed) < q) {
      hap[k] = random2(maxall[k], seed) + 1;
      *changed = 1;
    }
  };
  if (all == 0) {
    visit(random2(L, seed));
  } else {
    for (int k = 0; k < L; k++) visit(k);
  }
}

}  // namespace

void adjfreq(int32_t* seed, int k, int c) {
  if (stepSize(pset.adjFreq) > 1) pset.adjFreq = 1.0;
  auto& freq = pset.alleleFreq[c];
  const int alleles = maxall[k];
  const int a = random2(alleles, seed) + 1;
  double f = freq(a, k) + (2 * ran1(seed) - 1) * stepSize(pset.adjFreq);
  if (f < 0)
    f = -f;
  else if (f > 1)
    f = 2 - f;
  freq(a, k) = f;
  double others = 0;
  for (int i = 1; i <= alleles; i++)
    if (i != a) others += freq(i, k);
  // With no frequency left among the other alleles there is nothing to rescale.
  if (others == 0) return;
  for (int i = 1; i <= alleles; i++)
    if (i != a) freq(i, k) = freq(i, k) * (1 - f) / others;
}

void adjrecrate(double& x, int32_t* seed) {
  const double lo = pset.mutLocLow;
  const double hi = pset.mutLocHigh;
  if (stepSize(pset.adjRecDist) > hi - lo) {
    pset.adjRecDist = hi - lo;
    std::cout << "Adjustment level for recdist is too large. It has been changed to" << hi - lo
              << ", the size of the interval specified." << std::endl;
    return;
  }
  x = x + (2 * ran1(seed) - 1) * stepSize(pset.adjRecDist);
  if (x < lo)
    x = lo - (x - lo);
  else if (x > hi)
    x = hi - (x - hi);
}

void adjY0(std::vector<int>& hap, int32_t* seed, int* changed, int all) {
  redrawAlleles(hap, seed, changed, all, stepSize(pset.adjRoot));
}

void adjYi(std::vector<int>& hap, int32_t* seed, int* changed, int all) {
  redrawAlleles(hap, seed, changed, all, stepSize(pset.adjInternal));
}
