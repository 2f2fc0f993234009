#include "model/priors.h"

#include <cmath>

double tprior(int n, const std::vector<double>& times, double K, double r) {
  const double T = pset.curMutAge;
  double sum = 0;
  for (int i = 2 * n - 2; i >= n; i--) {
    const double s = times[i];
    const double D = K - (K - 2 * r) * std::exp(-r * s);
    sum += std::log((1 / (2 * K)) * std::pow(2 * K * r / D, 2)) - r * s;
  }
  const double DT = K - (K - 2 * r) * std::exp(-r * T);
  sum -= (n - 1) * std::log(1 - 2 * r * std::exp(-r * T) / DT);
  return sum;
}

double tpriormut(int n, double T, double r) {
  const double K = pset.propSampled;
  return std::log(2.0 * n) + 2 * std::log(r) + n * std::log(K) - r * T + (n - 1) * std::log(1 - std::exp(-r * T)) -
         (n + 1) * std::log(K - (K - 2 * r) * std::exp(-r * T));
}

double probhap(const FrequencyTable& freq, const std::vector<int>& root, int L) {
  double sum = 1;
  for (int k = 1; k <= L; k++) sum += std::log(freq(root[k - 1], k - 1));
  return sum;
}

double sequenceprob(double x) {
  const auto& start = pset.segStart;
  double w;
  // A location at or below the first start, above the last start, or with no
  // segments at all lies outside the annotation.
  if (numsegs == 0 || x <= start[0] || x > start[numsegs - 1]) {
    w = segweights[2];
  } else {
    int i = 0;
    while (x > start[i]) i++;
    w = pset.segWeight[i - 1];
  }
  return w != 0 ? std::log(w) : kForbiddenLocation;
}
