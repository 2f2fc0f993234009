// Branch probabilities and the full and partial recomputations of the tree
// log-likelihood.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "genealogy/generatetree.h"
#include "model/likelihood.h"
#include "sampler/random.h"
#include "support/runsetup.h"

namespace {

//     0 (time 10, branch 0)
//    / \    both children carry allele 1 at every one of L loci, like the
//   1   2   ancestral haplotype, over branches of 10; A alleles of frequency f
TreeMatrix cherry(int L, int A, double f, FrequencyTable& freq) {
  pset.numLoci = TOTLOCI = L;
  TMAT = 7;
  pset.dataAsGenotypes = pset.geneticModel = 0;  // no Partner column
  maxall.assign(L, A);
  freq = FrequencyTable{L, std::vector<double>((A + 1) * L, f)};
  TreeMatrix m = makeTreeMatrix(3);
  const double rows[3][6] = {{0, 1, 2, -1, 10, 0}, {1, -1, -1, 0, 0, 10}, {2, -1, -1, 0, 0, 10}};
  for (int r = 0; r < 3; r++) {
    std::copy(rows[r], rows[r] + 6, m[r]);
    std::fill(m[r] + TMAT, m[r] + TMAT + L, 1);
  }
  return m;
}

TEST(BranchProbability, TwoMarkersWithTheMutationBetweenThem) {
  FrequencyTable freq;
  TreeMatrix m = cherry(2, 2, 0.5, freq);
  const std::vector<double> pos = {0, 0, 0.01};
  const std::vector<int> root = {1, 1};
  double total = 0;
  tprob(m, 0.005, pos, &total, freq, root, -1, 0);
  EXPECT_NEAR(m[1][BranchLogLik], -0.049375, 1e-6);
  EXPECT_EQ(m[0][BranchLogLik], 0) << "a zero-length branch carrying its parent's haplotype";
  EXPECT_DOUBLE_EQ(total, 2 * m[1][BranchLogLik]);

  m[2][TMAT] = -1;  // an imputed allele 1 scores as allele 1
  EXPECT_EQ(branchProbability(m, 2, 0.005, pos, freq, root), branchProbability(m, 1, 0.005, pos, freq, root));

  m[1][TMAT] = 2;  // the first locus differs and the mutation is at or left of it
  for (double x : {0.0, -0.02})
    EXPECT_NEAR(branchProbability(m, 1, x, pos, freq, root), (1 - std::exp(x * 10)) * 0.25, 1e-12) << x;

  m[1][BranchLength] = 0;  // a differing allele on a branch of length 0
  tprob(m, 0.005, pos, &total, freq, root, -1, 0);
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
        EXPECT_NEAR(branchProbability(m, row, x, pos, freq, {1, 1, 1, 1}), 1, 1e-9) << "x " << x << " t " << t;
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
    ASSERT_EQ(setUpRun(params.text(), &seed), 3);
    pset.mutAge[0] = 8;
    pset.runSimulation = 1;
  }

  TreeMatrix randomTree(int n, double x) {
    pset.numChrom = n;
    pset.simMutLoc = x;
    TreeMatrix m = makeTreeMatrix(2 * n - 1);
    generatetree(&seed, m, 0);
    for (int r = 0; r < m.rows; r++)
      for (int k = 0; k < pset.numLoci; k++) {
        const double u = ran1(&seed);
        if (u < 0.1) m[r][TMAT + k] = redraw(k);
        if (u > 0.9) m[r][TMAT + k] = -m[r][TMAT + k];
      }
    return m;
  }

  int redraw(int k) { return 1 + random2(maxall[k], &seed); }

  double score(TreeMatrix& m, double x, int start = -1, int type = 0) {
    double result = 0;
    tprob(m, x, pset.mapDist, &result, pset.alleleFreq[0], pset.rootHaplotype[0], start, type);
    return result;
  }

  // m holds changed states and the column of the states before the change.
  // tprob(start, type) must leave exactly the column of a full recomputation,
  // return its sum, and recompute the rows in touched and no others.
  void expectPartialMatchesFull(const TreeMatrix& m, double x, int start, int type, const std::vector<int>& touched) {
    TreeMatrix full = m;
    const double fullSum = score(full, x);
    TreeMatrix partial = m;
    EXPECT_DOUBLE_EQ(score(partial, x, start, type), fullSum);
    constexpr double kUntouched = 12345.5;
    TreeMatrix marked = m;
    for (int r = 0; r < m.rows; r++) marked[r][BranchLogLik] = kUntouched;
    score(marked, x, start, type);
    for (int r = 0; r < m.rows; r++) {
      EXPECT_EQ(partial[r][BranchLogLik], full[r][BranchLogLik]) << "row " << r;
      const bool named = std::find(touched.begin(), touched.end(), r) != touched.end();
      EXPECT_EQ(marked[r][BranchLogLik], named ? full[r][BranchLogLik] : kUntouched) << "row " << r;
    }
  }

  int32_t seed = -23;
};

// Odd trials give the matrix a Partner column (genotypes under genetic model 1).
TEST_F(RandomStates, EveryPartialModeLeavesTheColumnOfAFullRecomputation) {
  for (int trial = 0; trial < 200; trial++) {
    const bool partners = trial % 2 == 1;
    TMAT = partners ? 8 : 7;
    pset.dataAsGenotypes = pset.geneticModel = partners;
    const int n = 2 * (1 + trial % 6);
    const double x = -0.03 + 0.21 * ran1(&seed);
    TreeMatrix m = randomTree(n, x);
    std::vector<int> all, leaves;
    int root = 0;
    for (int r = 0; r < m.rows; r++) {
      all.push_back(r);
      if (cellInt(m[r][LeftChild]) == -1) leaves.push_back(r);
      if (cellInt(m[r][Parent]) == -1) root = r;
    }
    for (int i = 0; partners && i < n; i += 2) {
      m[leaves[i]][Partner] = leaves[i + 1];
      m[leaves[i + 1]][Partner] = leaves[i];
    }
    score(m, x);
    const int v = random2(m.rows, &seed);
    TreeMatrix changed = m;
    for (int k = 0; k < pset.numLoci; k++) changed[v][TMAT + k] = redraw(k);
    if (cellInt(m[v][LeftChild]) != -1) {
      expectPartialMatchesFull(changed, x, v, 0, {v, cellInt(m[v][LeftChild]), cellInt(m[v][RightChild])});
    } else {
      expectPartialMatchesFull(changed, x, v, 0, all);  // a leaf under type 0: every row
      const int partner = partners ? cellInt(m[v][Partner]) : v;
      const int k = random2(pset.numLoci, &seed);
      std::swap(changed[v][TMAT + k], changed[partner][TMAT + k]);  // a phase exchange
      expectPartialMatchesFull(changed, x, v, 2, {v, partner});
    }
    const int k = random2(pset.numLoci, &seed);
    pset.rootHaplotype[0][k] = redraw(k);
    expectPartialMatchesFull(m, x, root, 1, {root});
    if (HasFailure()) FAIL() << "trial " << trial << ", n " << n << ", x " << x;
  }
}

// A mutation exactly at a marker scores as one just beside it.
TEST_F(RandomStates, MarkerPositionsAreNoDiscontinuity) {
  for (int trial = 0; trial < 40; trial++) {
    const TreeMatrix m = randomTree(2 + trial % 9, -0.03 + 0.21 * ran1(&seed));
    const auto& pos = pset.mapDist;
    for (int k = 1; k <= pset.numLoci; k++)
      for (int r = 0; r < m.rows; r++)
        for (double side : {-1e-10, 1e-10})
          EXPECT_NEAR(branchProbability(m, r, pos[k] + side, pos, pset.alleleFreq[0], pset.rootHaplotype[0]),
                      branchProbability(m, r, pos[k], pos, pset.alleleFreq[0], pset.rootHaplotype[0]), 1e-7)
              << "marker " << k << " row " << r << " trial " << trial;
  }
}

}  // namespace
