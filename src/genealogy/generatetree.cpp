#include "genealogy/generatetree.h"

#include <cmath>
#include <vector>

#include "genealogy/shuffle.h"
#include "input/parameters.h"
#include "results/sorting.h"
#include "sampler/random.h"

namespace {

constexpr double kStarSpacing = 0.00001;

// n-1 internal-node times in ascending order.
std::vector<double> drawNodeTimes(int32_t* seed, int n, double age) {
  std::vector<double> times(n - 1);
  if (pset.starGenealogy == 1) {
    double d = kStarSpacing;
    for (double& t : times) {
      t = age - d;
      d += kStarSpacing;
    }
  } else {
    // Inverts the node-time distribution truncated to [0, age]: F(s)/F(age) = u.
    const double r = pset.growthRate;
    const double K = pset.propSampled;
    const double E = std::exp(-r * age);
    const double Q = (r * E + (K / 2) * (1 - E)) / (1 - E);
    for (double& t : times) {
      const double u = ran1(seed);
      t = (std::log(u * r + Q - u * K / 2) - std::log(Q - u * K / 2)) / r;
    }
  }
  mysort(times.data(), static_cast<long>(times.size()));
  return times;
}

void buildTopology(TreeMatrix& m, int n, const std::vector<double>& times) {
  int next = n - 2;  // times are used from the largest down
  m[0][LeftChild] = 1;
  m[0][RightChild] = 2;
  m[0][Time] = times[next--];
  m[1][Parent] = 0;
  m[2][Parent] = 0;
  std::vector<int> active = {1, 2};
  for (int k = 2; k < 2 * n - 2; k += 2) {
    shuffleLabels(active);
    const int v = active[0];
    m[k + 1][Parent] = v;
    m[k + 2][Parent] = v;
    m[v][LeftChild] = k + 1;
    m[v][RightChild] = k + 2;
    m[v][Time] = times[next--];
    active.push_back(k + 1);
    active.push_back(k + 2);
    active.erase(active.begin());
  }
}

// Alleles of row i by descent from its parent (or, for the root, from chain
// 0's ancestral haplotype): loci beyond the first crossover on either side of
// x are drawn from the population frequencies.
void simulateAlleles(TreeMatrix& m, int i, double x, int32_t* seed, const FrequencyTable& freq) {
  const auto& pos = pset.mapDist;
  const int L = pset.numLoci;
  const double t = m[i][BranchLength];
  double lo = 0;
  if (std::exp(-x * t) < ran1(seed)) lo = x + std::log(1 - ran1(seed) * (1 - std::exp(-t * x))) / t;
  double hi = pos[L];
  if (std::exp(-(pos[L] - x) * t) < ran1(seed)) hi = x - std::log(1 - ran1(seed) * (1 - std::exp(-t * (pos[L] - x)))) / t;
  const int parent = cellInt(m[i][Parent]);
  for (int k = 1; k <= L; k++) {
    double& cell = m[i][TMAT + k - 1];
    if (pos[k] < lo || pos[k] > hi) {
      const int a = drawAllele(&freq.cells[k - 1], freq.loci, maxall[k - 1], ran1(seed));
      if (a > 0) cell = a;
    } else {
      cell = parent == -1 ? pset.rootHaplotype[0][k - 1] : m[parent][TMAT + k - 1];
    }
  }
}

}  // namespace

int drawAllele(const double* freqColumn, int stride, int maxLabel, double u) {
  double sum = 0;
  for (int a = 1; a <= maxLabel; a++) {
    sum += freqColumn[static_cast<size_t>(a) * stride];
    if (u <= sum) return a;
  }
  return 0;
}

void generatetree(int32_t* seed, TreeMatrix& m, int c) {
  const int n = pset.numChrom;
  const double age = pset.mutAge[c];
  const auto& freq = pset.alleleFreq[c];
  buildTopology(m, n, drawNodeTimes(seed, n, age));

  m[0][BranchLength] = age - m[0][Time];
  for (int r = 1; r < 2 * n - 1; r++) m[r][BranchLength] = m[cellInt(m[r][Parent])][Time] - m[r][Time];

  if (pset.iterRoot != 0 && pset.readOld == 0) {
    for (int k = 0; k < pset.numLoci; k++) {
      const int a = drawAllele(&freq.cells[k], freq.loci, maxall[k], ran1(seed));
      if (a > 0) pset.rootHaplotype[0][k] = a;
    }
    for (int other = 1; other < pset.numChains; other++) pset.rootHaplotype[other] = pset.rootHaplotype[0];
  }

  if (pset.runSimulation == 0)
    pset.simMutLoc = pset.mutLocation[0];
  else if (pset.simMutLoc == -99)
    pset.simMutLoc = pset.mutLocLow + ran1(seed) * (pset.mutLocHigh - pset.mutLocLow);
  const double x = pset.simMutLoc;

  for (int i = 0; i < 2 * n - 1; i++) {
    m[i][Label] = i;
    if (cellInt(m[i][LeftChild]) != -1 || pset.runSimulation != 0) simulateAlleles(m, i, x, seed, freq);
  }
}
