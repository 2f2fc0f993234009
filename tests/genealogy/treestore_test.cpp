// The text form of a genealogy: writing, reading back, and rejecting text that
// holds no genealogy of the run.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "genealogy/treestore.h"
#include "input/failure.h"
#include "input/parameters.h"
#include "sampler/chainstate.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// A canonical matrix from rows {label, left, right, parent, time}; two loci
// with alleles 1..3, every allele 1, ancestral haplotype (2, 3).
TreeMatrix treeOf(const std::vector<std::array<double, 5>>& rows, double age) {
  TMAT = 7;
  pset.numLoci = TOTLOCI = 2;
  pset.dataAsGenotypes = pset.geneticModel = pset.storeIndHaplotypes = 0;  // no Partner or Individual column
  maxall = {3, 3};
  pset.rootHaplotype = {{2, 3}};
  TreeMatrix m = makeTreeMatrix(static_cast<int>(rows.size()));
  for (int r = 0; r < m.rows; r++) {
    for (int c = 0; c < 5; c++) m[r][c] = rows[r][c];
    m[r][TMAT] = m[r][TMAT + 1] = 1;
    const int parent = cellInt(m[r][Parent]);
    m[r][BranchLength] = (parent == -1 ? age : rows[parent][Time]) - m[r][Time];
  }
  return m;
}

std::string stored(const TreeMatrix& m) {
  std::ostringstream out;
  storemat(m, out);
  return out.str();
}

// The failure a read throws, or status 0 when it succeeds.
RunFailure failureOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const RunFailure& failure) {
    return failure;
  }
  return RunFailure{0, "accepted"};
}

RunFailure readFailure(const std::string& text, int rows) {
  return failureOf([&] {
    TreeMatrix target = makeTreeMatrix(rows);
    std::istringstream in(text);
    readTreeText(target, in);
  });
}

// A run's own genealogy with Partner and Individual columns and imputed
// (negative) alleles.
TEST(StoreMat, ReadingBackReproducesTheGenealogy) {
  int32_t seed = 0;
  ASSERT_GT(setUpRun(testData("e2e/golden/geno1/p.txt"), &seed), 0);
  ASSERT_EQ(TMAT, 9);
  const TreeMatrix& original = chains[0].tree;
  const std::vector<int> root = pset.rootHaplotype[0];
  std::istringstream in(stored(original));
  pset.rootHaplotype[0].assign(root.size(), 0);
  TreeMatrix back = makeTreeMatrix(original.rows);
  readTreeText(back, in);
  EXPECT_EQ(pset.rootHaplotype[0], root);
  for (int r = 0; r < original.rows; r++)
    for (int c = 0; c < original.width; c++) {
      const bool timing = c == Time || c == BranchLength || c == BranchLogLik;  // 6 significant digits
      EXPECT_NEAR(back[r][c], original[r][c], timing ? 5e-6 * std::fabs(original[r][c]) : 0) << r << " " << c;
    }
}

TEST(ReadMat, FailsWhenInmatIsMissingFromTheCurrentFolder) {
  ScratchDir dir;
  char* previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  TreeMatrix m = treeOf({{0, 1, 2, -1, 1}, {1, -1, -1, 0, 0}, {2, -1, -1, 0, 0}}, 2);
  const RunFailure failure = failureOf([&] { readmat(m); });
  EXPECT_EQ(chdir(previous), 0);
  free(previous);
  EXPECT_EQ(failure.status, 1);
  EXPECT_NE(failure.message.find("inmat.txt"), std::string::npos) << failure.message;
}

//       0 (t=2)
//      / \     node 1 (t=1) joins leaves 2 and 3,
//     1   4
//    / \      the root 0 joins node 1 and leaf 4
//   2   3
TEST(ReadMat, RejectsTextThatIsNoGenealogyOfTheRun) {
  const TreeMatrix valid =
      treeOf({{0, 1, 4, -1, 2}, {1, 2, 3, 0, 1}, {2, -1, -1, 1, 0}, {3, -1, -1, 1, 0}, {4, -1, -1, 0, 0}}, 3);
  const std::string text = stored(valid);
  ASSERT_EQ(readFailure(text, 5).status, 0);

  std::string word = text;
  std::vector<std::pair<std::string, std::string>> texts = {
      {"short by half", text.substr(0, text.size() / 2)},
      {"no root alleles", text.substr(0, text.rfind('\n') + 1)},
      {"a non-number", word.replace(word.find("-1"), 2, "x1")}};
  const std::vector<std::pair<std::string, std::function<void(TreeMatrix&)>>> edits = {
      {"label outside 0..2n-2", [](TreeMatrix& m) { m[4][Label] = 5; }},
      {"label twice", [](TreeMatrix& m) { m[4][Label] = 3; }},
      {"a node with two parents", [](TreeMatrix& m) { m[1][RightChild] = 4; }},
      {"a child older than its parent", [](TreeMatrix& m) { m[1][Time] = 2.5; }},
      {"allele 0", [](TreeMatrix& m) { m[2][TMAT] = 0; }},
      {"imputed allele above maxall", [](TreeMatrix& m) { m[1][TMAT + 1] = -4; }}};
  for (const auto& [why, edit] : edits) {
    TreeMatrix m = valid;
    edit(m);
    texts.push_back({why, stored(m)});
  }
  for (const auto& [why, bad] : texts) {
    const RunFailure failure = readFailure(bad, 5);
    EXPECT_EQ(failure.status, 1) << why;
    EXPECT_NE(failure.message.find("inmat.txt"), std::string::npos) << why << ": " << failure.message;
  }

  // Nodes 1 and 2 are each other's child, so neither is reached from the root
  // 0, and with equal times neither is older than the other.
  //   0      1 <-> 2
  //  / \     |     |
  // 3   4    5     6
  const std::string cycle = stored(treeOf(
      {{0, 3, 4, -1, 3}, {1, 2, 5, 2, 2}, {2, 1, 6, 1, 2}, {3, -1, -1, 0, 0}, {4, -1, -1, 0, 0}, {5, -1, -1, 1, 0},
       {6, -1, -1, 2, 0}},
      4));
  EXPECT_EQ(readFailure(cycle, 7).status, 1);
}

}  // namespace
