#include "sampler/smartstart.h"

#include <algorithm>
#include <cmath>

#include "core/failure.h"
#include "core/sorting.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/allelemoves.h"
#include "sampler/chainsetup.h"

namespace {

// Map length of the segment around x on which haplotypes a and b agree, from
// the nearest disagreeing marker on the left to the nearest on the right
// (the region's ends, a little beyond, when they agree to there).
double sharedSegment(const std::vector<int>& a, const std::vector<int>& b, double x, const std::vector<double>& pos) {
  const int L = static_cast<int>(a.size());
  const double beyond = (pos[L] - pos[1]) / L + 1e-12;
  double right = pos[L] + beyond;
  double left = pos[1] - beyond;
  for (int k = 1; k <= L; k++) {
    if (a[k - 1] == b[k - 1]) continue;
    if (pos[k] >= x) {
      right = std::min(right, pos[k]);
    } else {
      left = std::max(left, pos[k]);
    }
  }
  return right - left;
}

// Where children disagree the parent takes the allele more common in the
// population (the first such on a tie).
std::vector<int> consensus(const std::vector<int>& a, const std::vector<int>& b, const FrequencyTable& freq) {
  std::vector<int> parent(a.size());
  for (size_t k = 0; k < a.size(); k++)
    parent[k] = a[k] == b[k] || freq(a[k], static_cast<int>(k)) >= freq(b[k], static_cast<int>(k)) ? a[k] : b[k];
  return parent;
}

// n-1 node times from the prior truncated to [0, age], ascending.
std::vector<double> drawTimes(int count, double age, const RunSettings& s, Random& rng) {
  const double r = s.growthRate;
  const double K = s.propSampled;
  const double E = std::exp(-r * age);
  const double Q = (r * E + (K / 2) * (1 - E)) / (1 - E);
  std::vector<double> times(count);
  for (double& t : times) {
    const double u = rng.uniform();
    t = (std::log(u * r + Q - u * K / 2) - std::log(Q - u * K / 2)) / r;
  }
  sortAscending(times.data(), count);
  return times;
}

void rebuild(Chain& chain, const RunSettings& s, double x, Random& rng, const std::atomic<int>* stop) {
  TreeMatrix& m = chain.tree;
  const int firstAllele = m.layout.firstAllele;
  const int L = s.numLoci;
  std::vector<int> clusterRow, internalLabels;
  std::vector<std::vector<int>> haplotype;
  for (int r = 0; r < m.rows; r++) {
    if (cellInt(m[r][LeftChild]) == -1) {
      clusterRow.push_back(r);
      std::vector<int> h(L);
      for (int k = 0; k < L; k++) h[k] = alleleOf(m[r][firstAllele + k]);
      haplotype.push_back(h);
    } else {
      internalLabels.push_back(r);
    }
  }
  const int n = static_cast<int>(clusterRow.size());
  const std::vector<double> times = drawTimes(n - 1, chain.mutAge, s, rng);
  // Greedy joining of the two active clusters sharing the longest segment;
  // best[i] is i's best partner among all the other active clusters (the
  // first in index order on a tie) and the length they share. A join changes
  // only the merged cluster, so each other cluster is compared with it
  // alone; only a cluster whose partner was one of the two joined, and now
  // shares less, is compared with all again.
  std::vector<bool> active(n, true);
  auto bestPartner = [&](int i) {
    int best = -1;
    double longest = -1;
    for (int j = 0; j < n; j++)
      if (j != i && active[j]) {
        const double shared = sharedSegment(haplotype[i], haplotype[j], x, s.mapDist);
        if (shared > longest) {
          longest = shared;
          best = j;
        }
      }
    return std::make_pair(best, longest);
  };
  std::vector<std::pair<int, double>> best(n);
  for (int i = 0; i < n; i++) {
    if (i % 64 == 0) stopIfAsked(stop);
    best[i] = bestPartner(i);
  }
  for (int join = 0; join < n - 1; join++) {
    stopIfAsked(stop);
    int i = -1;
    for (int c = 0; c < n; c++)
      if (active[c] && (i == -1 || best[c].second > best[i].second)) i = c;
    const int j = best[i].first;
    const int v = internalLabels[join];
    double* row = m[v];
    row[LeftChild] = clusterRow[i];
    row[RightChild] = clusterRow[j];
    row[Time] = times[join];
    m[clusterRow[i]][Parent] = v;
    m[clusterRow[j]][Parent] = v;
    haplotype[i] = consensus(haplotype[i], haplotype[j], chain.alleleFreq);
    for (int k = 0; k < L; k++) row[firstAllele + k] = haplotype[i][k];
    clusterRow[i] = v;
    active[j] = false;
    for (int c = 0; c < n; c++) {
      if (!active[c] || c == i) continue;
      const double shared = sharedSegment(haplotype[c], haplotype[i], x, s.mapDist);
      auto& [partner, longest] = best[c];
      if (partner == j || (partner == i && shared < longest))
        best[c] = bestPartner(c);
      else if (partner == i || shared > longest || (shared == longest && i < partner))
        best[c] = {i, shared};
    }
    best[i] = bestPartner(i);
  }
  const int rootLabel = internalLabels[n - 2];
  m[rootLabel][Parent] = -1;
  for (int r = 0; r < m.rows; r++) {
    const int parent = cellInt(m[r][Parent]);
    m[r][BranchLength] = parent == -1 ? chain.mutAge - m[r][Time] : m[parent][Time] - m[r][Time];
  }
  chain.rootLabel = rootLabel;
  if (s.iterRoot)
    for (int k = 0; k < L; k++) chain.rootHaplotype[k] = alleleOf(m[rootLabel][firstAllele + k]);
}

// x, or with sequence weights the nearest location of the region (within
// a thousandth of its width) whose weight is not zero.
double allowedNear(double x, const RunSettings& s) {
  if (!s.useSeqWeights) return x;
  const double width = s.mutLocHigh - s.mutLocLow;
  for (int step = 0; step <= 1000; step++)
    for (double y : {x - step * width / 1000, x + step * width / 1000})
      if (y >= s.mutLocLow && y <= s.mutLocHigh && !isForbiddenLocation(locationLogPrior(s.segments, y))) return y;
  return x;
}

}  // namespace

void smartStart(std::vector<Chain>& chains, const RunSettings& s, const SamplingOptions& options, Random& rng,
                const std::atomic<int>* stop) {
  const bool overdispersed = options.overdispersed;
  const int M = static_cast<int>(chains.size());
  for (Chain& chain : chains) {
    const double part = (s.mutLocHigh - s.mutLocLow) / M;
    const double within = overdispersed ? rng.uniform() : 0.5;
    if (s.iterLocation) chain.mutLocation = allowedNear(s.mutLocLow + (chain.index + within) * part, s);
    if (overdispersed && s.iterAge) {
      const double agePart = (s.mutAgeHigh - s.mutAgeLow) / M;
      chain.mutAge = s.mutAgeLow + (chain.index + rng.uniform()) * agePart;
    }
    rebuild(chain, s, chain.mutLocation, rng, stop);
    // The frequency term reads neither the genealogy nor the location: it
    // stays as the set-up summed it.
    const double freqLogLik = chain.freqLogLik;
    recomputeStoredTerms(chain, s);
    chain.freqLogLik = freqLogLik;
  }
}
