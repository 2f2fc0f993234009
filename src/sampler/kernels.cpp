#include "sampler/kernels.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

void proposeFrequency(FrequencyTable& freq, int k, int alleles, SharedDouble& step, Random& rng) {
  if (step.load() > 1) step = 1.0;
  const int a = rng.below(alleles) + 1;
  double f = freq(a, k) + (2 * rng.uniform() - 1) * step.load();
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

void proposeLocation(double& x, double lo, double hi, SharedDouble& step, Random& rng) {
  if (step.load() > hi - lo) {
    step = hi - lo;
    std::cout << "Adjustment level for recdist is too large. It has been changed to" << hi - lo
              << ", the size of the interval specified." << std::endl;
    return;
  }
  x = x + (2 * rng.uniform() - 1) * step.load();
  if (x < lo)
    x = lo - (x - lo);
  else if (x > hi)
    x = hi - (x - hi);
}

double foldIntoRange(double x, double lo, double hi) {
  const double width = hi - lo;
  double y = std::fmod(x - lo, 2 * width);
  if (y < 0) y += 2 * width;
  return lo + (y > width ? 2 * width - y : y);
}

bool redrawAlleles(std::vector<int>& hap, const std::vector<int>& highestLabel, double q, bool all, Random& rng) {
  bool changed = false;
  auto visit = [&](int k) {
    if (rng.uniform() < q) {
      hap[k] = rng.below(highestLabel[k]) + 1;
      changed = true;
    }
  };
  const int L = static_cast<int>(hap.size());
  if (!all) {
    visit(rng.below(L));
  } else {
    for (int k = 0; k < L; k++) visit(k);
  }
  return changed;
}

namespace {

double drawNormal(Random& rng) {
  const double radius = std::sqrt(-2 * std::log(rng.uniform()));
  return radius * std::cos(2 * M_PI * rng.uniform());
}

// Gamma(shape, 1). Below a shape of 1, a draw of shape + 1 times U^(1/shape).
double drawGamma(double shape, Random& rng) {
  if (shape < 1) {
    const double g = drawGamma(shape + 1, rng);
    return g * std::pow(rng.uniform(), 1 / shape);
  }
  const double d = shape - 1.0 / 3, c = 1 / std::sqrt(9 * d);
  for (;;) {
    double x, v;
    do {
      x = drawNormal(rng);
      v = 1 + c * x;
    } while (v <= 0);
    v = v * v * v;
    const double u = rng.uniform();
    if (u < 1 - 0.0331 * x * x * x * x || std::log(u) < 0.5 * x * x + d * (1 - v + std::log(v))) return d * v;
  }
}

}  // namespace

double drawBeta(double a, double b, Random& rng) {
  const double x = drawGamma(a, rng);
  const double y = drawGamma(b, rng);
  const double share = x / (x + y);
  // Small shapes put nearly all the mass at an edge, where a draw may round
  // onto it (or, both gammas 0, give NaN: then the side of the smaller shape).
  const double lowest = std::numeric_limits<double>::min(), highest = 1 - 0x1p-53;
  if (std::isnan(share)) return a < b ? lowest : highest;
  return std::min(std::max(share, lowest), highest);
}
