#include "results/convergence.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numeric>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// In-place iterative radix-2 FFT; the size must be a power of two.
void fft(std::vector<std::complex<double>>& a, bool inverse) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; i++) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = 2 * M_PI / static_cast<double>(len) * (inverse ? 1 : -1);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; k++) {
        const std::complex<double> u = a[i + k];
        const std::complex<double> v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        w *= step;
      }
    }
  }
}

// The standard normal quantile: Acklam's rational approximation, refined by
// one Halley step on the distribution function (about 1e-15 relative).
double normalQuantile(double p) {
  static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                             1.383577518672690e+02, -3.066479806614716e+01, 2.506628277459239e+00};
  static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                             6.680131188771972e+01, -1.328068155288572e+01};
  static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                             -2.549732539343734e+00, 4.374664141464968e+00, 2.938163982698783e+00};
  static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                             3.754408661907416e+00};
  double x;
  if (p < 0.02425) {
    const double q = std::sqrt(-2 * std::log(p));
    x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
        ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  } else if (p <= 1 - 0.02425) {
    const double q = p - 0.5;
    const double r = q * q;
    x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
        (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
  } else {
    const double q = std::sqrt(-2 * std::log(1 - p));
    x = -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
        ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  }
  const double e = 0.5 * std::erfc(-x / std::sqrt(2.0)) - p;
  const double u = e * std::sqrt(2 * M_PI) * std::exp(x * x / 2);
  return x - u / (1 + x * u / 2);
}

double mean(const std::vector<double>& x) { return std::accumulate(x.begin(), x.end(), 0.0) / x.size(); }

// Biased autocovariances (1/N) sum (x_i - m)(x_{i+t} - m) for t = 0 .. N-1.
std::vector<double> autocovariance(const std::vector<double>& x) {
  const size_t n = x.size();
  size_t size = 1;
  while (size < 2 * n) size <<= 1;
  const double m = mean(x);
  std::vector<std::complex<double>> a(size, 0.0);
  for (size_t i = 0; i < n; i++) a[i] = x[i] - m;
  fft(a, false);
  for (auto& v : a) v = std::norm(v);
  fft(a, true);
  std::vector<double> acov(n);
  for (size_t t = 0; t < n; t++) acov[t] = a[t].real() / static_cast<double>(size) / static_cast<double>(n);
  return acov;
}

bool usable(const ChainDraws& chains) {
  if (chains.empty() || chains[0].size() < 3) return false;
  bool varies = false;
  const double first = chains[0][0];
  for (const auto& chain : chains)
    for (double v : chain) {
      if (!std::isfinite(v)) return false;
      if (v != first) varies = true;
    }
  return varies;
}

// Each chain's first and last halves as chains of their own (the middle
// draw of an odd length left out).
ChainDraws split(const ChainDraws& chains) {
  ChainDraws halves;
  for (const auto& chain : chains) {
    const size_t half = chain.size() / 2;
    halves.emplace_back(chain.begin(), chain.begin() + half);
    halves.emplace_back(chain.end() - half, chain.end());
  }
  return halves;
}

// Normal scores of the pooled ranks (ties get their average rank).
ChainDraws rankNormalised(const ChainDraws& chains) {
  std::vector<std::pair<double, size_t>> pooled;
  for (size_t c = 0; c < chains.size(); c++)
    for (size_t i = 0; i < chains[c].size(); i++) pooled.push_back({chains[c][i], c * chains[0].size() + i});
  std::sort(pooled.begin(), pooled.end());
  const double S = static_cast<double>(pooled.size());
  std::vector<double> z(pooled.size());
  for (size_t i = 0; i < pooled.size();) {
    size_t j = i;
    while (j < pooled.size() && pooled[j].first == pooled[i].first) j++;
    const double rank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2;
    const double score = normalQuantile((rank - 0.375) / (S + 0.25));
    for (size_t k = i; k < j; k++) z[pooled[k].second] = score;
    i = j;
  }
  ChainDraws out(chains.size());
  for (size_t c = 0; c < chains.size(); c++)
    out[c].assign(z.begin() + c * chains[0].size(), z.begin() + (c + 1) * chains[0].size());
  return out;
}

double pooledQuantile(const ChainDraws& chains, double q) {
  std::vector<double> all;
  for (const auto& chain : chains) all.insert(all.end(), chain.begin(), chain.end());
  std::sort(all.begin(), all.end());
  return quantileOfSorted(all, q);
}

ChainDraws transformed(const ChainDraws& chains, const std::function<double(double)>& f) {
  ChainDraws out = chains;
  for (auto& chain : out)
    for (double& v : chain) v = f(v);
  return out;
}

}  // namespace

double quantileOfSorted(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) return kNaN;
  const double h = (static_cast<double>(sorted.size()) - 1) * q;
  const size_t lo = static_cast<size_t>(std::floor(h));
  const size_t hi = std::min(lo + 1, sorted.size() - 1);
  return sorted[lo] + (h - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
}

double basicRhat(const ChainDraws& chains) {
  if (!usable(chains)) return kNaN;
  const double n = static_cast<double>(chains[0].size());
  const size_t m = chains.size();
  std::vector<double> means, vars;
  for (const auto& chain : chains) {
    const double mu = mean(chain);
    double ss = 0;
    for (double v : chain) ss += (v - mu) * (v - mu);
    means.push_back(mu);
    vars.push_back(ss / (n - 1));
  }
  const double W = mean(vars);
  double B = 0;
  if (m > 1) {
    const double grand = mean(means);
    for (double mu : means) B += (mu - grand) * (mu - grand);
    B = B / (m - 1) * n;
  }
  const double varPlus = (n - 1) / n * W + B / n;
  return std::sqrt(varPlus / W);
}

double effectiveSampleSize(const ChainDraws& chains) {
  if (!usable(chains)) return kNaN;
  const size_t m = chains.size();
  const size_t n = chains[0].size();
  std::vector<std::vector<double>> acov;
  std::vector<double> chainMeans;
  for (const auto& chain : chains) {
    acov.push_back(autocovariance(chain));
    chainMeans.push_back(mean(chain));
  }
  auto meanAcov = [&](size_t t) {
    double s = 0;
    for (const auto& a : acov) s += a[t];
    return s / m;
  };
  const double dn = static_cast<double>(n);
  const double meanVar = meanAcov(0) * dn / (dn - 1);
  double varPlus = meanVar * (dn - 1) / dn;
  if (m > 1) {
    const double grand = mean(chainMeans);
    double v = 0;
    for (double mu : chainMeans) v += (mu - grand) * (mu - grand);
    varPlus += v / (m - 1);
  }
  // Geyer's initial positive sequence of summed pairs of autocorrelations.
  std::vector<double> rho(n, 0.0);
  size_t t = 0;
  double even = 1;
  double odd = 1 - (meanVar - meanAcov(1)) / varPlus;
  rho[0] = even;
  rho[1] = odd;
  while (t + 5 < n && std::isfinite(even + odd) && even + odd > 0) {
    t += 2;
    even = 1 - (meanVar - meanAcov(t)) / varPlus;
    odd = 1 - (meanVar - meanAcov(t + 1)) / varPlus;
    if (even + odd >= 0) {
      rho[t] = even;
      rho[t + 1] = odd;
    }
  }
  const size_t maxT = t;
  if (even > 0) rho[maxT] = even;
  // Geyer's initial monotone sequence.
  for (t = 2; t + 2 <= maxT; t += 2) {
    if (rho[t] + rho[t + 1] > rho[t - 2] + rho[t - 1]) {
      rho[t] = (rho[t - 2] + rho[t - 1]) / 2;
      rho[t + 1] = rho[t];
    }
  }
  const double draws = static_cast<double>(m * n);
  double tau = -1 + rho[maxT];
  for (size_t k = 0; k < maxT; k++) tau += 2 * rho[k];
  tau = std::max(tau, 1 / std::log10(draws));
  return draws / tau;
}

Diagnostics diagnose(const ChainDraws& chains) {
  Diagnostics d;
  if (!usable(chains)) {
    d.rhat = d.essBulk = d.essTail = kNaN;
    return d;
  }
  const ChainDraws halves = split(chains);
  const ChainDraws z = rankNormalised(halves);
  const double median = pooledQuantile(chains, 0.5);
  const ChainDraws folded = rankNormalised(transformed(halves, [median](double v) { return std::fabs(v - median); }));
  d.rhat = std::max(basicRhat(z), basicRhat(folded));
  d.essBulk = effectiveSampleSize(z);
  const double q05 = pooledQuantile(chains, 0.05);
  const double q95 = pooledQuantile(chains, 0.95);
  const double lowTail = effectiveSampleSize(transformed(halves, [q05](double v) { return v <= q05 ? 1.0 : 0.0; }));
  const double highTail = effectiveSampleSize(transformed(halves, [q95](double v) { return v <= q95 ? 1.0 : 0.0; }));
  d.essTail = std::min(lowTail, highTail);
  return d;
}
