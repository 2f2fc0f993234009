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

#include "core/failure.h"
#include "genealogy/treestore.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// Two loci with alleles 1..3; ancestral haplotype (2, 3).
const std::vector<int> kMaxall = {3, 3};
const std::vector<int> kRoot = {2, 3};
constexpr int kFirstAllele = 7;  // the plain layout's first allele column

// A canonical matrix from rows {label, left, right, parent, time}; every allele 1.
TreeMatrix treeOf(const std::vector<std::array<double, 5>>& rows, double age) {
  TreeMatrix m = makeTreeMatrix(static_cast<int>(rows.size()), plainLayout(2));
  for (int r = 0; r < m.rows; r++) {
    for (int c = 0; c < 5; c++) m[r][c] = rows[r][c];
    m[r][kFirstAllele] = m[r][kFirstAllele + 1] = 1;
    const int parent = cellInt(m[r][Parent]);
    m[r][BranchLength] = (parent == -1 ? age : rows[parent][Time]) - m[r][Time];
  }
  return m;
}

std::string stored(const TreeMatrix& m, const std::vector<int>& root = kRoot) {
  std::ostringstream out;
  writeGenealogy(m, root, out);
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
    TreeMatrix target = makeTreeMatrix(rows, plainLayout(2));
    std::vector<int> root;
    std::istringstream in(text);
    parseGenealogy(in, kMaxall, target, root);
  });
}

// A run's own genealogy with Partner and Individual columns and imputed
// (negative) alleles.
TEST(WriteGenealogy, ReadingBackReproducesTheGenealogy) {
  const auto run = setUpRun(testData("e2e/golden/geno1/p.txt"));
  const TreeMatrix& original = run->chain().tree;
  ASSERT_EQ(original.layout.firstAllele, 9);
  const std::vector<int> root = run->chain().rootHaplotype;
  std::istringstream in(stored(original, root));
  TreeMatrix back = makeTreeMatrix(original.rows, original.layout);
  std::vector<int> readRoot;
  parseGenealogy(in, run->settings.alleles.highestLabel, back, readRoot);
  EXPECT_EQ(readRoot, root);
  for (int r = 0; r < original.rows; r++)
    for (int c = 0; c < original.width; c++) {
      const bool timing = c == Time || c == BranchLength || c == BranchLogLik;  // 6 significant digits
      EXPECT_NEAR(back[r][c], original[r][c], timing ? 5e-6 * std::fabs(original[r][c]) : 0) << r << " " << c;
    }
}

TEST(ReadStoredGenealogy, FailsWhenInmatIsMissingFromTheCurrentFolder) {
  ScratchDir dir;
  char* previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  TreeMatrix m = treeOf({{0, 1, 2, -1, 1}, {1, -1, -1, 0, 0}, {2, -1, -1, 0, 0}}, 2);
  std::vector<int> root;
  const RunFailure failure = failureOf([&] { readStoredGenealogy(kMaxall, m, root); });
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
TEST(ParseGenealogy, RejectsTextThatIsNoGenealogyOfTheRun) {
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
      {"allele 0", [](TreeMatrix& m) { m[2][kFirstAllele] = 0; }},
      {"imputed allele above highestLabel", [](TreeMatrix& m) { m[1][kFirstAllele + 1] = -4; }}};
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
