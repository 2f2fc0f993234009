#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/allelemoves.h"
#include "sampler/gibbsmoves.h"
#include "support/runsetup.h"

namespace {

// 99 markers of 30 alleles, one common and 29 rare, and six patients of rare
// alleles only: a branch's probability is a product of up to a hundred
// frequencies (1e-300 or so), and three of them multiplied underflow.
ParamSpec manyAllelesOnManyMarkers() {
  const int L = 99;
  ParamSpec p;
  p.seed = -7;
  p.chromosomes = 6;
  p.loci = L;
  std::ostringstream control, map, root, patients;
  for (int a = 1; a <= 30; a++) {
    control << (a == 1 ? 300 : 5);
    for (int k = 0; k < L; k++) control << " " << a;
    control << "\n";
  }
  Random rng = Random::pcgStream(5, 0);
  for (int k = 0; k < L; k++) {
    map << (k ? " " : "") << 0.001 * k;
    root << (k ? " " : "") << 1;
  }
  for (int i = 0; i < 6; i++) {
    patients << 1;
    for (int k = 0; k < L; k++) patients << " " << 2 + rng.below(29);
    patients << "\n";
  }
  p.control = control.str();
  p.map = map.str();
  p.bounds = "0 0.098";
  p.root = root.str();
  p.patients = patients.str();
  return p;
}

// Node v's three branches (its own, its children's), log probability.
double logNeighbourhood(const TreeMatrix& m, int v, const BranchModel& model) {
  double sum = 0;
  for (int r : {v, cellInt(m[v][LeftChild]), cellInt(m[v][RightChild])})
    sum += std::log(branchProbability(m, r, model));
  return sum;
}

// With the mutation near one end, an internal node's current alleles must
// keep their conditional probabilities: the sum of the locus-by-locus
// conditionals equals the one summed here from the branch probabilities in
// log space (the products formed before any scaling gave -inf).
TEST(GibbsConditionals, KeepTheirPrecisionWithManyAllelesOnManyMarkers) {
  const auto run = setUpRun(manyAllelesOnManyMarkers().text());
  const RunSettings& s = run->settings;
  Chain& chain = run->chain();
  chain.mutLocation = 0.0004;
  TreeMatrix& m = chain.tree;
  const int firstAllele = m.layout.firstAllele;
  const BranchModel model = branchModelOf(chain, s);
  int checked = 0;
  for (int v = 0; v < m.rows; v++) {
    if (!isInternal(m, v)) continue;
    std::vector<int> current(s.numLoci), drawn(s.numLoci);
    for (int k = 0; k < s.numLoci; k++) current[k] = alleleOf(m[v][firstAllele + k]);
    const double fromMove = redrawNodeAlleles(chain, s, v, &current, drawn);
    double expected = 0;
    for (int k = 0; k < s.numLoci; k++) {
      std::vector<double> logWeight;
      for (int a = 1; a <= s.alleles.highestLabel[k]; a++) {
        m[v][firstAllele + k] = a;
        logWeight.push_back(logNeighbourhood(m, v, model));
      }
      m[v][firstAllele + k] = current[k];
      const double top = *std::max_element(logWeight.begin(), logWeight.end());
      double sum = 0;
      for (double w : logWeight) sum += std::exp(w - top);
      expected += logWeight[current[k] - 1] - top - std::log(sum);
    }
    ASSERT_TRUE(std::isfinite(fromMove)) << "node " << v;
    EXPECT_NEAR(fromMove, expected, 1e-8 * std::fabs(expected) + 1e-9) << "node " << v;
    checked++;
  }
  EXPECT_EQ(checked, s.numChrom - 1);
}

// Sampled frequencies leave the stored root term stale until the root move
// refreshes it. The location move that redraws the ancestral alleles must
// decide as if the term were fresh: a chain with the stale term and a copy
// with the fresh one, on copies of one stream, make the same decisions.
// (Comparing against the stale term, 5 of these 4000 decisions differed.)
TEST(LocationMoveAcrossMarkers, DecidesWithTheRootTermOfTheCurrentFrequencies) {
  ParamSpec p = threeLeavesOnThreeMarkers();
  p.seed = -23;
  p.iterate = "1 0 1 1";  // ancestral haplotype, location and frequencies
  p.adjust = "1 0.004 0.3 0.3 0.5";
  const auto run = setUpRun(p.text());
  const RunSettings& s = run->settings;
  Chain& chain = run->chain();
  const MoveContext ctx = moveContextOf(s, run->control, run->setup, MoveOptions{true, false, false});
  int differentDecisions = 0;
  double largestStaleness = 0;
  for (int t = 0; t < 4000 && !HasFailure(); t++) {
    for (int i = 0; i < 5; i++) moveAlleleFreqs(chain, ctx);
    Chain fresh = chain;
    fresh.rootHapLogProb = rootHaplotypeLogProb(fresh.alleleFreq, fresh.rootHaplotype);
    largestStaleness = std::max(largestStaleness, std::fabs(fresh.rootHapLogProb - chain.rootHapLogProb));
    Random streamOfFresh = *chain.rng;
    fresh.rng = &streamOfFresh;
    moveMutLocationAcross(chain, ctx);
    moveMutLocationAcross(fresh, ctx);
    if (chain.mutLocation != fresh.mutLocation || chain.rootHaplotype != fresh.rootHaplotype) differentDecisions++;
    fresh.rng = chain.rng;
    chain = fresh;
  }
  EXPECT_GT(largestStaleness, 0.5) << "the frequency moves should have left the term stale";
  EXPECT_EQ(differentDecisions, 0);
}

}  // namespace
