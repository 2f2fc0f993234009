// Starting genealogies: node times, topology and labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "genealogy/startgenealogy.h"
#include "support/runsetup.h"

namespace {

class StartingGenealogy : public testing::Test {
 protected:
  TreeMatrix generate(int n, double age) {
    s.numChrom = n;
    TreeMatrix m = makeTreeMatrix(2 * n - 1, treeLayoutOf(s));
    GenealogyStart shared{s.rootHaplotype, 0.005};
    buildStartingGenealogy(m, s, age, s.alleles.startFrequencies, shared, rng, shuffle);
    return m;
  }

  static std::vector<double> internalTimes(const TreeMatrix& m) {
    std::vector<double> times;
    for (int r = 0; r < m.rows; r++)
      if (cellInt(m[r][LeftChild]) != -1) times.push_back(m[r][Time]);
    std::sort(times.begin(), times.end());
    return times;
  }

  RunSettings s = loadParameters(ParamSpec{}.text());
  Random rng{-13};
  ShuffleStream shuffle;
};

TEST_F(StartingGenealogy, TwoLeavesHangFromTheRootAndAStarSitsJustBelowTheAge) {
  TreeMatrix m = generate(2, 3);
  const double expected[3][4] = {{0, 1, 2, -1}, {1, -1, -1, 0}, {2, -1, -1, 0}};
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 4; c++) EXPECT_EQ(m[r][c], expected[r][c]) << "row " << r << " column " << c;

  s.starGenealogy = true;
  m = generate(4, 1);
  EXPECT_DOUBLE_EQ(m[0][Time], 0.99999) << "the root takes the largest";
  const std::vector<double> times = internalTimes(m);
  ASSERT_EQ(times.size(), 3u);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(times[i], 0.99997 + 0.00001 * i, 1e-12);
  EXPECT_NEAR(m[0][BranchLength], 0.00001, 1e-12);
}

// Labels follow creation from the root downward: a node's children carry the
// next two free labels, so a parent's label is below its children's and
// siblings are consecutive; times fall from parent to child.
TEST_F(StartingGenealogy, TopologyIsOneBinaryTreeLabelledInCreationOrder) {
  for (int trial = 0; trial < 100; trial++) {
    const int n = 2 + trial % 15;
    const TreeMatrix m = generate(n, 6);
    int leaves = 0;
    for (int r = 0; r < m.rows; r++) {
      const int parent = cellInt(m[r][Parent]);
      const int left = cellInt(m[r][LeftChild]);
      ASSERT_EQ(m[r][Label], r);
      ASSERT_EQ(parent == -1, r == 0);
      ASSERT_DOUBLE_EQ(m[r][BranchLength], (r == 0 ? 6 : m[parent][Time]) - m[r][Time]);
      leaves += left == -1;
      if (left == -1) continue;
      ASSERT_GT(left, r);
      ASSERT_EQ(m[r][RightChild], left + 1);
      ASSERT_EQ(m[left][Parent], r);
      ASSERT_EQ(m[left + 1][Parent], r);
      ASSERT_GT(m[r][Time], std::max(m[left][Time], m[left + 1][Time]));
    }
    ASSERT_EQ(leaves, n);
  }
}

// Every internal time is a draw from the node-time distribution truncated to
// [0, T]: F(s)/F(T) with F(s) = K(1 - e^(-rs)) / (K - (K - 2r)e^(-rs)).
// Kolmogorov-Smirnov over 18000 draws; 1.95/sqrt(N) is the 0.1% critical value
// (these seeds give 0.74 to 1.27 times sqrt(N)).
TEST_F(StartingGenealogy, NodeTimesFollowTheTruncatedPrior) {
  struct Case {
    double r, K, T;
  };
  for (const Case& c : {Case{1, 0.01, 8}, Case{0.1, 0.5, 10}, Case{0.05, 0.01, 300}}) {
    s.growthRate = c.r;
    s.propSampled = c.K;
    std::vector<double> draws;
    for (int trial = 0; trial < 3000; trial++)
      for (double t : internalTimes(generate(7, c.T))) draws.push_back(t);
    std::sort(draws.begin(), draws.end());
    auto F = [&c](double s) { return c.K * (1 - std::exp(-c.r * s)) / (c.K - (c.K - 2 * c.r) * std::exp(-c.r * s)); };
    const double N = static_cast<double>(draws.size());
    double largest = 0;
    for (size_t i = 0; i < draws.size(); i++) {
      const double cdf = F(draws[i]) / F(c.T);
      largest = std::max({largest, std::fabs(cdf - i / N), std::fabs((i + 1) / N - cdf)});
    }
    EXPECT_LT(largest, 1.95 / std::sqrt(N)) << "r " << c.r << " K " << c.K << " T " << c.T;
  }
}

}  // namespace
