// Branch probabilities and the full and partial recomputations of the tree
// log-likelihood.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/random.h"
#include "core/shuffle.h"
#include "genealogy/startgenealogy.h"
#include "model/likelihood.h"
#include "support/runsetup.h"

namespace {

constexpr int kFirstAllele = 7;  // first allele column without Partner or Individual column

double score(TreeMatrix& m, double x, const std::vector<double>& pos, const FrequencyTable& freq,
             const std::vector<int>& root, Rescore what = Rescore::All, int node = -1) {
  return rescoreTree(m, BranchModel{x, pos, freq, root}, what, node);
}

double probability(const TreeMatrix& m, int row, double x, const std::vector<double>& pos, const FrequencyTable& freq,
                   const std::vector<int>& root) {
  return branchProbability(m, row, BranchModel{x, pos, freq, root});
}

//     0 (time 10, branch 0)
//    / \    both children carry allele 1 at every one of L loci, like the
//   1   2   ancestral haplotype, over branches of 10; A alleles of frequency f
TreeMatrix cherry(int L, int A, double f, FrequencyTable& freq) {
  freq = FrequencyTable{L, std::vector<double>((A + 1) * L, f)};
  TreeMatrix m = makeTreeMatrix(3, plainLayout(L));
  const double rows[3][6] = {{0, 1, 2, -1, 10, 0}, {1, -1, -1, 0, 0, 10}, {2, -1, -1, 0, 0, 10}};
  for (int r = 0; r < 3; r++) {
    std::copy(rows[r], rows[r] + 6, m[r]);
    std::fill(m[r] + kFirstAllele, m[r] + kFirstAllele + L, 1);
  }
  return m;
}

TEST(BranchProbability, TwoMarkersWithTheMutationBetweenThem) {
  FrequencyTable freq;
  TreeMatrix m = cherry(2, 2, 0.5, freq);
  const std::vector<double> pos = {0, 0, 0.01};
  const std::vector<int> root = {1, 1};
  double total = score(m, 0.005, pos, freq, root);
  EXPECT_NEAR(m[1][BranchLogLik], -0.049375, 1e-6);
  EXPECT_EQ(m[0][BranchLogLik], 0) << "a zero-length branch carrying its parent's haplotype";
  EXPECT_DOUBLE_EQ(total, 2 * m[1][BranchLogLik]);

  m[2][kFirstAllele] = -1;  // an imputed allele 1 scores as allele 1
  EXPECT_EQ(probability(m, 2, 0.005, pos, freq, root), probability(m, 1, 0.005, pos, freq, root));

  m[1][kFirstAllele] = 2;  // the first locus differs and the mutation is at or left of it
  for (double x : {0.0, -0.02})
    EXPECT_NEAR(probability(m, 1, x, pos, freq, root), (1 - std::exp(x * 10)) * 0.25, 1e-12) << x;

  m[1][BranchLength] = 0;  // a differing allele on a branch of length 0
  total = score(m, 0.005, pos, freq, root);
  EXPECT_EQ(m[1][BranchLogLik], -std::numeric_limits<double>::infinity());
  EXPECT_EQ(total, -std::numeric_limits<double>::infinity());
}

// With every frequency 1 the events of the first crossover on each side cover
// all outcomes, so a node carrying its parent's haplotype has probability 1
// wherever the mutation lies and however long the branch.
TEST(BranchProbability, EventProbabilitiesOfEachSideSumToOne) {
  FrequencyTable freq;
  TreeMatrix m = cherry(4, 1, 1.0, freq);
  const std::vector<double> pos = {0, 0, 0.01, 0.03, 0.06};
  for (double x : {-0.5, -0.01, 0.0, 0.004, 0.01, 0.02, 0.03, 0.059, 0.06, 0.2})
    for (double t : {0.0, 0.3, 10.0, 500.0})
      for (int row : {0, 1}) {
        m[row][BranchLength] = t;
        EXPECT_NEAR(probability(m, row, x, pos, freq, {1, 1, 1, 1}), 1, 1e-9) << "x " << x << " t " << t;
      }
}

// Random genealogies of a run with 6 loci and three alleles of unequal
// frequencies, alleles simulated by descent, a tenth of the cells redrawn (so
// that branches also differ next to the mutation) and a tenth marked imputed.
class RandomStates : public testing::Test {
 protected:
  void SetUp() override {
    ParamSpec params;
    params.loci = 6;
    params.control = "5 1 2 3 1 2 3\n3 2 3 1 2 3 1\n2 3 1 2 3 1 2\n";
    params.map = "0 0.02 0.05 0.06 0.1 0.15";
    params.bounds = "0 0.15";
    params.root = "1 2 3 1 2 3";
    params.patients = "3 1 2 3 1 2 3\n1 2 3 1 2 3 1\n";
    s = loadParameters(params.text());
    ASSERT_EQ(s.alleles.maxAllele, 3);
    s.runSimulation = true;
    root = s.rootHaplotype;
  }

  TreeMatrix randomTree(int n, double x, bool partners = false) {
    s.numChrom = n;
    TreeLayout layout = plainLayout(s.numLoci);
    layout.partner = partners;
    layout.firstAllele = partners ? 8 : 7;
    TreeMatrix m = makeTreeMatrix(2 * n - 1, layout);
    GenealogyStart shared{root, x};
    buildStartingGenealogy(m, s, 8, s.alleles.startFrequencies, shared, rng, shuffle);
    for (int r = 0; r < m.rows; r++)
      for (int k = 0; k < s.numLoci; k++) {
        const double u = rng.uniform();
        if (u < 0.1) m[r][layout.firstAllele + k] = redraw(k);
        if (u > 0.9) m[r][layout.firstAllele + k] = -m[r][layout.firstAllele + k];
      }
    return m;
  }

  int redraw(int k) { return 1 + rng.below(s.alleles.highestLabel[k]); }

  double score(TreeMatrix& m, double x, Rescore what = Rescore::All, int node = -1) {
    return ::score(m, x, s.mapDist, s.alleles.startFrequencies, root, what, node);
  }

  // m holds changed states and the column of the states before the change.
  // Rescoring `what` around node must leave exactly the column of a full
  // recomputation, return its sum, and recompute the rows in touched and no
  // others.
  void expectPartialMatchesFull(const TreeMatrix& m, double x, Rescore what, int node, const std::vector<int>& touched) {
    TreeMatrix full = m;
    const double fullSum = score(full, x);
    TreeMatrix partial = m;
    EXPECT_DOUBLE_EQ(score(partial, x, what, node), fullSum);
    constexpr double kUntouched = 12345.5;
    TreeMatrix marked = m;
    for (int r = 0; r < m.rows; r++) marked[r][BranchLogLik] = kUntouched;
    score(marked, x, what, node);
    for (int r = 0; r < m.rows; r++) {
      EXPECT_EQ(partial[r][BranchLogLik], full[r][BranchLogLik]) << "row " << r;
      const bool named = std::find(touched.begin(), touched.end(), r) != touched.end();
      EXPECT_EQ(marked[r][BranchLogLik], named ? full[r][BranchLogLik] : kUntouched) << "row " << r;
    }
  }

  RunSettings s;
  std::vector<int> root;
  Random rng{-23};
  ShuffleStream shuffle;
};

// Odd trials give the matrix a Partner column (genotypes under genetic model 1).
TEST_F(RandomStates, EveryPartialModeLeavesTheColumnOfAFullRecomputation) {
  for (int trial = 0; trial < 200; trial++) {
    const bool partners = trial % 2 == 1;
    const int n = 2 * (1 + trial % 6);
    const double x = -0.03 + 0.21 * rng.uniform();
    TreeMatrix m = randomTree(n, x, partners);
    const int firstAllele = m.layout.firstAllele;
    std::vector<int> all, leaves;
    int rootRow = 0;
    for (int r = 0; r < m.rows; r++) {
      all.push_back(r);
      if (cellInt(m[r][LeftChild]) == -1) leaves.push_back(r);
      if (cellInt(m[r][Parent]) == -1) rootRow = r;
    }
    for (int i = 0; partners && i < n; i += 2) {
      m[leaves[i]][Partner] = leaves[i + 1];
      m[leaves[i + 1]][Partner] = leaves[i];
    }
    score(m, x);
    const int v = rng.below(m.rows);
    TreeMatrix changed = m;
    for (int k = 0; k < s.numLoci; k++) changed[v][firstAllele + k] = redraw(k);
    if (cellInt(m[v][LeftChild]) != -1) {
      expectPartialMatchesFull(changed, x, Rescore::NodeAndChildren, v,
                               {v, cellInt(m[v][LeftChild]), cellInt(m[v][RightChild])});
    } else {
      expectPartialMatchesFull(changed, x, Rescore::NodeAndChildren, v, all);  // a leaf: every row
      const int partner = partners ? cellInt(m[v][Partner]) : v;
      const int k = rng.below(s.numLoci);
      std::swap(changed[v][firstAllele + k], changed[partner][firstAllele + k]);  // a phase exchange
      expectPartialMatchesFull(changed, x, Rescore::LeafAndPartner, v, {v, partner});
    }
    const int k = rng.below(s.numLoci);
    root[k] = redraw(k);
    expectPartialMatchesFull(m, x, Rescore::Node, rootRow, {rootRow});
    if (HasFailure()) FAIL() << "trial " << trial << ", n " << n << ", x " << x;
  }
}

// Splitting a branch's probability at one locus predicts it for every allele
// there, of the node itself and of its reference, wherever the mutation lies
// (frequencies equal to zero included: the split then avoids dividing).
TEST_F(RandomStates, BranchProfilesPredictTheBranchProbabilityOfEveryAlleleAtEveryLocus) {
  FrequencyTable& freq = s.alleles.startFrequencies;
  for (int trial = 0; trial < 60; trial++) {
    if (trial == 40) freq(2, 3) = 0;
    const double x = -0.03 + 0.21 * rng.uniform();
    TreeMatrix m = randomTree(2 + trial % 7, x);
    const int firstAllele = m.layout.firstAllele;
    const BranchModel model{x, s.mapDist, freq, root};
    BranchProfile profile;
    for (int r = 0; r < m.rows; r++) {
      profileBranch(m, r, model, profile);
      const int parent = cellInt(m[r][Parent]);
      for (int k = 0; k < s.numLoci; k++) {
        const int own = alleleOf(m[r][firstAllele + k]);
        const int reference = parent == -1 ? root[k] : alleleOf(m[parent][firstAllele + k]);
        for (int a = 1; a <= s.alleles.highestLabel[k]; a++) {
          TreeMatrix changed = m;
          changed[r][firstAllele + k] = a;
          const double ownP = branchProbability(changed, r, model);
          const double ownPredicted = (profile.own1[k] * freq(a, k) + profile.own2[k] * (a == reference)) * profile.other[k];
          ASSERT_NEAR(ownP, ownPredicted, 1e-12 + 1e-9 * ownP) << "row " << r << " locus " << k << " allele " << a;
          std::vector<int> changedRoot = root;
          TreeMatrix referenceChanged = m;
          if (parent == -1)
            changedRoot[k] = a;
          else
            referenceChanged[parent][firstAllele + k] = a;
          const double refP = branchProbability(referenceChanged, r, BranchModel{x, s.mapDist, freq, changedRoot});
          const double refPredicted = (profile.ref1[k] + profile.ref2[k] * (a == own)) * profile.other[k];
          ASSERT_NEAR(refP, refPredicted, 1e-12 + 1e-9 * refP) << "row " << r << " locus " << k << " allele " << a;
        }
      }
    }
  }
}

// A mutation exactly at a marker scores as one just beside it.
TEST_F(RandomStates, MarkerPositionsAreNoDiscontinuity) {
  for (int trial = 0; trial < 40; trial++) {
    const TreeMatrix m = randomTree(2 + trial % 9, -0.03 + 0.21 * rng.uniform());
    const auto& pos = s.mapDist;
    const FrequencyTable& freq = s.alleles.startFrequencies;
    for (int k = 1; k <= s.numLoci; k++)
      for (int r = 0; r < m.rows; r++)
        for (double side : {-1e-10, 1e-10})
          EXPECT_NEAR(probability(m, r, pos[k] + side, pos, freq, root), probability(m, r, pos[k], pos, freq, root), 1e-7)
              << "marker " << k << " row " << r << " trial " << trial;
  }
}

}  // namespace
