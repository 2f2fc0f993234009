// Child exchanges, the in-order label sequence, node-time perturbation and the
// rebuild of a genealogy from sequence and times.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "core/random.h"
#include "core/shuffle.h"
#include "genealogy/startgenealogy.h"
#include "genealogy/treeops.h"
#include "support/runsetup.h"

namespace {

// A canonical matrix from rows {label, left, right, parent, time}, one locus.
TreeMatrix treeOf(const std::vector<std::array<double, 5>>& rows, double age) {
  TreeMatrix m = makeTreeMatrix(static_cast<int>(rows.size()), plainLayout(1));
  for (int r = 0; r < m.rows; r++) {
    for (int c = 0; c < 5; c++) m[r][c] = rows[r][c];
    m[r][m.layout.firstAllele] = 1;
    const int parent = cellInt(rows[r][Parent]);
    m[r][BranchLength] = (parent == -1 ? age : rows[parent][Time]) - rows[r][Time];
  }
  return m;
}

//        1 (B, t=2)
//       /    \    in-order: L1 A L2 B L3 = 2 0 3 1 4
//   0 (A, t=1)  4 (L3)
//    /  \        A's time comes from timeA, B's from timeB
//  2(L1) 3(L2)
TreeMatrix threeLeaves(double timeA, double timeB, double age) {
  return treeOf({{0, 2, 3, 1, timeA}, {1, 0, 4, -1, timeB}, {2, -1, -1, 0, 0}, {3, -1, -1, 0, 0}, {4, -1, -1, 1, 0}},
                age);
}

std::vector<int> labelOrder(const TreeMatrix& m, int root) {
  std::vector<int> order;
  inOrderLabels(m, root, order);
  return order;
}

std::vector<int> timeOrderOf(const TreeMatrix& m) {
  std::vector<int> rows;
  timeOrder(m, rows);
  return rows;
}

TreeMatrix sortedByTime(const TreeMatrix& m) {
  TreeMatrix q = m;
  sortRows(q, Time);
  return q;
}

TreeMatrix rebuilt(TreeMatrix p, const std::vector<int>& byTime, const std::vector<int>& order, double age) {
  SequenceLinks links;
  rebuildFromSequence(p, byTime, order, age, links);
  return p;
}

// The first fault of m as one binary tree in canonical order over the given
// leaves, or "" when there is none. Parents strictly older than children also
// rule out cycles, and with n - 1 internal nodes each holding two child slots,
// every non-root node being listed by its parent makes the links one tree.
std::string genealogyFault(const TreeMatrix& m, const std::vector<int>& leaves, double age) {
  int roots = 0;
  for (int r = 0; r < m.rows; r++) {
    const double* row = m[r];
    const int parent = cellInt(row[Parent]);
    const bool leaf = std::find(leaves.begin(), leaves.end(), r) != leaves.end();
    const std::string at = " at " + std::to_string(r);
    if (cellInt(row[Label]) != r) return "label" + at;
    if ((cellInt(row[LeftChild]) == -1) != leaf || (cellInt(row[RightChild]) == -1) != leaf) return "children" + at;
    if (leaf ? row[Time] != 0 : !(row[Time] > 0 && row[Time] <= age)) return "time" + at;
    const double parentTime = parent == -1 ? age : m[parent][Time];
    if (std::fabs(row[BranchLength] - (parentTime - row[Time])) > 1e-12) return "branch length" + at;
    if (parent == -1 && ++roots > 1) return "second root" + at;
    if (parent == -1) continue;
    if (cellInt(m[parent][LeftChild]) != r && cellInt(m[parent][RightChild]) != r) return "not listed by parent" + at;
    if (!(row[Time] < parentTime)) return "not younger than its parent" + at;
  }
  return roots == 1 ? "" : "no root";
}

//   2    a cherry whose one internal node, in the last row, the perturbation
//  / \   moves by (2u - 1) * adjTree with one draw u, then folds into [0, 10]
// 0   1
double perturbed(double time, double adjTree, int32_t seed) {
  TreeMatrix m = treeOf({{0, -1, -1, 2, 0}, {1, -1, -1, 2, 0}, {2, 0, 1, -1, time}}, 10);
  Random rng(seed);
  perturbNodeTimes(m, adjTree, 10, rng);
  return m[2][Time];
}

TEST(PerturbNodeTimes, StepsByAUniformDrawAndFoldsBackIntoZeroToMutationAge) {
  Random probe(-3);
  EXPECT_DOUBLE_EQ(perturbed(5, 0.7, -3), 5 + (2 * probe.uniform() - 1) * 0.7);
  for (auto [time, folded] : {std::pair{-0.3, 0.3}, {10.4, 9.6}, {20.5, 0.5}, {31.5, 8.5}})
    EXPECT_NEAR(perturbed(time, 0, -3), folded, 1e-12) << time;
}

TEST(PerturbNodeTimes, HastingsRatioCountsTheFoldImagesAtEitherAge) {
  // Far from the folds the proposal is symmetric.
  EXPECT_DOUBLE_EQ(perturbationLogRatio(threeLeaves(1, 2, 5), threeLeaves(1.5, 2.5, 5.2), 1, 5, 5.2), 0);
  // B from 4.8 below age 5 to 5.2 below age 5.5: forward only 5.2 itself lies
  // within 0.5 of 4.8; back, 4.8 and its mirror 5.2 at age 5 both lie within
  // 0.5 of 5.2.
  EXPECT_DOUBLE_EQ(perturbationLogRatio(threeLeaves(1, 4.8, 5), threeLeaves(1, 5.2, 5.5), 0.5, 5, 5.5), std::log(2.0));
  // B from 4.8 (age 5) folded at age 4.6 to 4.2: no step of 0.5 leads back.
  EXPECT_EQ(perturbationLogRatio(threeLeaves(1, 4.8, 5), threeLeaves(1, 4.2, 4.6), 0.5, 5, 4.6), -INFINITY);
}

TEST(RebuildFromSequence, RebuildsThreeLeafGenealogyFromSequenceAndTimes) {
  TreeMatrix p = threeLeaves(1, 2, 5);  // A younger than B: the same genealogy
  const TreeMatrix original = p;
  std::vector<int> order = labelOrder(p, 1);
  EXPECT_EQ(order, (std::vector<int>{2, 0, 3, 1, 4}));
  p = rebuilt(p, timeOrderOf(p), order, 5);
  EXPECT_EQ(p.cells, original.cells);

  p = threeLeaves(3, 2, 5);  // A older than B: B joins L2 and L3, A is the root
  order = labelOrder(original, 1);
  EXPECT_EQ(order, (std::vector<int>{2, 0, 3, 1, 4})) << "a second traversal starts at position 0";
  p = rebuilt(p, timeOrderOf(p), order, 5);
  const std::vector<std::array<double, 6>> expected = {
      {0, 2, 1, -1, 3, 2}, {1, 3, 4, 0, 2, 1}, {2, -1, -1, 0, 0, 3}, {3, -1, -1, 1, 0, 2}, {4, -1, -1, 1, 0, 2}};
  for (int r = 0; r < 5; r++)
    for (int c = 0; c < 6; c++) EXPECT_EQ(p[r][c], expected[r][c]) << "row " << r << " column " << c;
}

// The genealogy move's sequence, repeated so that later cases start from
// rebuilt genealogies with any arrangement of labels and times. The in-order
// sequence alternates leaves and internal nodes; the rebuild with unchanged
// times reproduces the genealogy, child order included, and with perturbed
// times always gives one valid binary tree.
TEST(RebuildFromSequence, RebuildsValidGenealogiesFromRandomTimes) {
  RunSettings s = loadParameters(ParamSpec{}.text());  // random genealogies come from a small run's builder
  Random rng(-59);
  ShuffleStream shuffle;
  const double age = 10;
  for (int start = 0; start < 80; start++) {
    const int n = s.numChrom = 2 + start % 15;
    TreeMatrix tree = makeTreeMatrix(2 * n - 1, treeLayoutOf(s));
    GenealogyStart shared{s.rootHaplotype, 0.005};
    buildStartingGenealogy(tree, s, age, s.alleles.startFrequencies, shared, rng, shuffle);
    std::vector<int> leaves;
    for (int r = 0; r < tree.rows; r++)
      if (cellInt(tree[r][LeftChild]) == -1) leaves.push_back(r);
    for (int move = 0; move < 25; move++) {
      SCOPED_TRACE("start " + std::to_string(start) + " move " + std::to_string(move));
      swapChildrenAtRandom(tree, rng);
      const TreeMatrix byTime = sortedByTime(tree);
      std::vector<int> order = labelOrder(tree, cellInt(byTime[tree.rows - 1][Label]));
      std::vector<int> labels = order;
      std::sort(labels.begin(), labels.end());
      for (int i = 0; i < tree.rows; i++) {
        ASSERT_EQ(labels[i], i) << "every label once";
        ASSERT_EQ(cellInt(tree[order[i]][LeftChild]) == -1, i % 2 == 0) << "leaves at even positions";
      }
      ASSERT_EQ(rebuilt(tree, timeOrderOf(tree), order, age).cells, tree.cells);

      TreeMatrix perturbed = tree;
      perturbNodeTimes(perturbed, 1.5, age, rng);
      const TreeMatrix proposal = rebuilt(perturbed, timeOrderOf(perturbed), order, age);
      ASSERT_EQ(genealogyFault(proposal, leaves, age), "");
      const int firstAllele = tree.layout.firstAllele;
      for (int r = 0; r < tree.rows; r++) {
        ASSERT_EQ(proposal[r][Time], perturbed[r][Time]) << "times stay with their labels";
        ASSERT_EQ(proposal[r][firstAllele], tree[r][firstAllele]) << "alleles stay with their labels";
      }
      tree = proposal;
    }
  }
}

TEST(SortRows, SortsWholeRowsByOneColumnWithTheSameTieOrderAsTheQuicksorts) {
  // Ties tagged 0..4 as in the quicksort tests: the partition leaves 3 1 4 0 2.
  const std::vector<double> kTiedKeys = {2, 1, 2, 1, 2};
  const std::vector<int> kTiedOrder = {3, 1, 4, 0, 2};
  const std::vector<double> kSortedTiedKeys = {1, 1, 2, 2, 2};
  TreeMatrix m = makeTreeMatrix(5, plainLayout(2));
  const int firstAllele = m.layout.firstAllele;
  for (int r = 0; r < 5; r++) {
    m[r][Label] = r;
    m[r][Time] = kTiedKeys[r];
    m[r][firstAllele] = 100 + r;      // allele columns travel with the row
    m[r][firstAllele + 1] = 200 + r;
  }
  sortRows(m, Time);
  for (int r = 0; r < 5; r++) {
    EXPECT_EQ(m[r][Time], kSortedTiedKeys[r]) << r;
    EXPECT_EQ(m[r][Label], kTiedOrder[r]) << r;
    EXPECT_EQ(m[r][firstAllele], 100 + kTiedOrder[r]) << r;
    EXPECT_EQ(m[r][firstAllele + 1], 200 + kTiedOrder[r]) << r;
  }
}

}  // namespace
