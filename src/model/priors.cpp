#include "model/priors.h"

#include <math.h>

#include <cmath>

namespace {

// log Gamma(x) without std::lgamma's write to the global sign: chains on
// threads of their own score their shares side by side.
double logGamma(double x) {
  int sign = 0;
  return ::lgamma_r(x, &sign);
}

}  // namespace

double nodeTimesLogPrior(int n, const std::vector<double>& times, double K, double r, double age) {
  double sum = 0;
  for (int i = 2 * n - 2; i >= n; i--) {
    const double s = times[i];
    const double D = K - (K - 2 * r) * std::exp(-r * s);
    sum += std::log((1 / (2 * K)) * std::pow(2 * K * r / D, 2)) - r * s;
  }
  const double DT = K - (K - 2 * r) * std::exp(-r * age);
  sum -= (n - 1) * std::log(1 - 2 * r * std::exp(-r * age) / DT);
  return sum;
}

double mutationAgeLogPrior(int n, double T, double r, double K) {
  return std::log(2.0 * n) + 2 * std::log(r) + n * std::log(K) - r * T + (n - 1) * std::log(1 - std::exp(-r * T)) -
         (n + 1) * std::log(K - (K - 2 * r) * std::exp(-r * T));
}

double rootHaplotypeLogProb(const FrequencyTable& freq, const std::vector<int>& root) {
  double sum = 1;
  for (size_t k = 0; k < root.size(); k++) sum += std::log(freq(root[k], static_cast<int>(k)));
  return sum;
}

double locationLogPrior(const SequenceSegments& segments, double x) {
  const auto& start = segments.start;
  const int count = segments.count();
  double w;
  // A location at or below the first start, above the last start, or with no
  // segments at all lies outside the annotation.
  if (count == 0 || x <= start[0] || x > start[count - 1]) {
    w = segments.weights[2];
  } else {
    int i = 0;
    while (x > start[i]) i++;
    w = segments.weight[i - 1];
  }
  return w != 0 ? std::log(w) : kForbiddenLocation;
}

double sporadicLogPrior(int sporadic, int leaves, double share, const SporadicPrior& prior) {
  double sum = 0;
  if (sporadic > 0) sum += sporadic * std::log(share);
  if (leaves - sporadic > 0) sum += (leaves - sporadic) * std::log1p(-share);
  if (prior.fixed()) return sum;
  // The exponents of 1 are left out, as above: a share drawn at the edge of
  // (0, 1) must not score 0 * inf.
  if (prior.a != 1) sum += (prior.a - 1) * std::log(share);
  if (prior.b != 1) sum += (prior.b - 1) * std::log1p(-share);
  return sum - (logGamma(prior.a) + logGamma(prior.b) - logGamma(prior.a + prior.b));
}
