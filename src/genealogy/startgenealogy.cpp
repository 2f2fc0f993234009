#include "genealogy/startgenealogy.h"

#include <cmath>
#include <vector>

#include "core/sorting.h"
#include "input/ranges.h"

namespace {

// n-1 internal-node times in ascending order.
std::vector<double> drawNodeTimes(const RunSettings& s, int n, double age, Random& rng) {
  std::vector<double> times(n - 1);
  if (s.starGenealogy) {
    double d = kStarSpacing;
    for (double& t : times) {
      t = age - d;
      d += kStarSpacing;
    }
  } else {
    // Inverts the node-time distribution truncated to [0, age]: F(s)/F(age) = u.
    const double r = s.growthRate;
    const double K = s.propSampled;
    const double E = std::exp(-r * age);
    const double Q = (r * E + (K / 2) * (1 - E)) / (1 - E);
    for (double& t : times) {
      const double u = rng.uniform();
      t = (std::log(u * r + Q - u * K / 2) - std::log(Q - u * K / 2)) / r;
    }
  }
  sortAscending(times.data(), static_cast<long>(times.size()));
  return times;
}

// False when *stop was set before the topology was complete.
bool buildTopology(TreeMatrix& m, int n, const std::vector<double>& times, ShuffleStream& shuffle,
                   const std::atomic<int>* stop) {
  int next = n - 2;  // times are used from the largest down
  m[0][LeftChild] = 1;
  m[0][RightChild] = 2;
  m[0][Time] = times[next--];
  m[1][Parent] = 0;
  m[2][Parent] = 0;
  std::vector<int> active = {1, 2};
  for (int k = 2; k < 2 * n - 2; k += 2) {
    if (stop && k % 512 == 0 && stop->load() != 0) return false;
    shuffleLabels(active, shuffle);
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
  return true;
}

// Alleles of row i by descent from its parent (or, for the root, from the
// ancestral haplotype): loci beyond the first crossover on either side of x
// are drawn from the population frequencies.
void simulateAlleles(TreeMatrix& m, int i, const RunSettings& s, const GenealogyStart& start,
                     const FrequencyTable& freq, Random& rng) {
  const auto& pos = s.mapDist;
  const int L = s.numLoci;
  const int firstAllele = m.layout.firstAllele;
  const double x = start.location;
  const double t = m[i][BranchLength];
  double lo = 0;
  if (std::exp(-x * t) < rng.uniform()) lo = x + std::log(1 - rng.uniform() * (1 - std::exp(-t * x))) / t;
  double hi = pos[L];
  if (std::exp(-(pos[L] - x) * t) < rng.uniform())
    hi = x - std::log(1 - rng.uniform() * (1 - std::exp(-t * (pos[L] - x)))) / t;
  const int parent = cellInt(m[i][Parent]);
  for (int k = 1; k <= L; k++) {
    double& cell = m[i][firstAllele + k - 1];
    if (pos[k] < lo || pos[k] > hi) {
      const int a = drawAllele(freq.column(k - 1), freq.loci, s.alleles.highestLabel[k - 1], rng.uniform());
      if (a > 0) cell = a;
    } else {
      cell = parent == -1 ? start.root[k - 1] : m[parent][firstAllele + k - 1];
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

void buildStartingGenealogy(TreeMatrix& m, const RunSettings& s, double age, const FrequencyTable& freq,
                            GenealogyStart& start, Random& rng, ShuffleStream& shuffle,
                            const std::atomic<int>* stop) {
  const int n = s.numChrom;
  if (!buildTopology(m, n, drawNodeTimes(s, n, age, rng), shuffle, stop)) return;

  m[0][BranchLength] = age - m[0][Time];
  for (int r = 1; r < 2 * n - 1; r++) m[r][BranchLength] = m[cellInt(m[r][Parent])][Time] - m[r][Time];

  if (s.iterRoot && !s.readOld)
    for (int k = 0; k < s.numLoci; k++) {
      const int a = drawAllele(freq.column(k), freq.loci, s.alleles.highestLabel[k], rng.uniform());
      if (a > 0) start.root[k] = a;
    }

  if (s.runSimulation && start.location == kRandomValue)
    start.location = s.mutLocLow + rng.uniform() * (s.mutLocHigh - s.mutLocLow);

  for (int i = 0; i < 2 * n - 1; i++) {
    m[i][Label] = i;
    if (cellInt(m[i][LeftChild]) != -1 || s.runSimulation) simulateAlleles(m, i, s, start, freq, rng);
  }
}
