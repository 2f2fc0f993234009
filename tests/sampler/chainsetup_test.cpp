// The starting state of the chains: patient data on the leaves, the lists of
// unknown allele cells of every chain, and the checks that end a run before
// the first iteration.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/failure.h"
#include "sampler/smartstart.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

std::vector<int> leavesOf(const TreeMatrix& m) {
  std::vector<int> leaves;
  for (int r = 0; r < m.rows; r++)
    if (cellInt(m[r][LeftChild]) == -1) leaves.push_back(r);
  return leaves;
}

// A known allele as given, an imputed one as -1.
int given(double cell) { return cell > 0 ? cellInt(cell) : -1; }

// Every chain lists exactly its own leaves with a negative cell, and each
// record holds that leaf's negative cells, carrier cells first, ascending.
void expectMissingRecordsMatchTrees(const TestRun& run) {
  bool anyMissing = false;
  for (const Chain& chain : run.setup.chains) {
    const int c = chain.index;
    const TreeLayout& layout = chain.tree.layout;
    // Each record as a list: leaf, carrier count, second count, columns.
    std::set<std::vector<int>> expected, listed;
    for (int leaf : leavesOf(chain.tree)) {
      std::vector<int> record = {leaf, 0, 0};
      for (int j = 0; j < layout.alleleColumns; j++)
        if (chain.tree[leaf][layout.firstAllele + j] < 0) {
          record[j < layout.loci ? 1 : 2]++;
          record.push_back(j);
        }
      if (record.size() > 3) expected.insert(record);
    }
    for (const MissingCells& record : chain.missingCells) {
      std::vector<int> list = {record.leaf, record.carrierCount, record.secondCount};
      list.insert(list.end(), record.columns.begin(), record.columns.end());
      listed.insert(list);
    }
    // The list follows the leaves' order in time, not their labels.
    EXPECT_EQ(listed, expected) << "chain " << c;
    ASSERT_EQ(chain.missingCells.size(), expected.size()) << "chain " << c;
    for (size_t e = 0; e < expected.size(); e++) EXPECT_EQ(chain.missingLeaves[e], chain.missingCells[e].leaf);
    anyMissing = anyMissing || !expected.empty();
  }
  EXPECT_EQ(run.setup.hasMissing, anyMissing);
}

ParamSpec threeLoci(int genotypes, int model, int chromosomes, int chains, const std::string& patients) {
  ParamSpec p;
  p.genotypes = genotypes;
  p.model = model;
  p.chromosomes = chromosomes;
  p.loci = 3;
  p.chains = chains;
  p.control = "5 1 2 1\n3 2 1 3\n2 1 1 2\n";
  p.map = "0 0.004 0.01";
  p.root = "1 1 1";
  p.updates = "100 100 1 1 1";  // with an Individual column
  p.patients = patients;
  return p;
}

TEST(ChainSetup, EveryChainListsItsOwnLeavesWithUnknownAlleles) {
  expectMissingRecordsMatchTrees(*setUpRun(threeLoci(0, 0, 7, 4, "3 1 2 1\n2 -1 1 3\n1 2 -1 -1\n1 1 1 1\n").text()));

  const auto complete = setUpRun(threeLoci(0, 0, 7, 4, "3 1 2 1\n4 2 1 3\n").text());
  expectMissingRecordsMatchTrees(*complete);
  EXPECT_FALSE(complete->setup.hasMissing);
}

// Joining thousands of leaves takes a while: a stop request must end it.
TEST(ChainSetup, TheDataDrivenStartStopsWhenAsked) {
  const auto run = setUpRun(threeLoci(0, 0, 7, 4, "3 1 2 1\n4 2 1 3\n").text());
  std::atomic<int> stop{1};
  try {
    smartStart(run->setup.chains, run->settings, SamplingOptions{}, run->rng, &stop);
    FAIL() << "the start went on";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.message, std::string(kStoppedDuringSetup) + "\n");
  }
}

TEST(ChainSetup, GenotypeModel0RecordsSeparateTheTwoChromosomes) {
  // Individual 0 misses one allele of locus 1 only. Placement puts it on the
  // carrier (m1 1, m2 0, offset 1) or on the second chromosome (m1 0, m2 1,
  // offset L + 1 = 4), by a draw per chain.
  const auto run = setUpRun(threeLoci(1, 0, 6, 6, "1 1 2 -1 1 1\n1 2 1 1 3 3\n-1 -1 1 2 -1 3\n").text());
  expectMissingRecordsMatchTrees(*run);
  std::set<std::vector<int>> individual0;  // carrier count, second count, columns
  for (const Chain& chain : run->setup.chains)
    for (const MissingCells& record : chain.missingCells)
      if (cellInt(chain.tree[record.leaf][chain.tree.layout.individualColumn()]) == 0) {
        std::vector<int> list = {record.carrierCount, record.secondCount};
        list.insert(list.end(), record.columns.begin(), record.columns.end());
        individual0.insert(list);
      }
  EXPECT_EQ(individual0, (std::set<std::vector<int>>{{1, 0, 1}, {0, 1, 4}}));
}

TEST(ChainSetup, GeneticModel1PairsPartnersThatCarryTheIndividualsAlleles) {
  const std::vector<std::vector<int>> data = {{1, 2, 1, 1, -1, 3}, {2, 2, -1, -1, 1, 2}, {1, 3, 2, 1, 3, 3}, {2, 1, 1, 2, 1, 1}};
  std::string patients;
  for (const auto& row : data) {
    for (int v : row) patients += std::to_string(v) + " ";
    patients += "\n";
  }
  const auto run = setUpRun(threeLoci(1, 1, 8, 3, patients).text());
  expectMissingRecordsMatchTrees(*run);
  for (const Chain& chain : run->setup.chains) {
    const TreeMatrix& m = chain.tree;
    const int individualColumn = m.layout.individualColumn();
    const int firstAllele = m.layout.firstAllele;
    std::map<int, int> leavesPerIndividual;
    for (int leaf : leavesOf(m)) {
      const int partner = cellInt(m[leaf][Partner]);
      ASSERT_TRUE(partner >= 0 && partner < m.rows && partner != leaf);
      EXPECT_EQ(cellInt(m[partner][LeftChild]), -1) << "the partner of a leaf is a leaf";
      EXPECT_EQ(cellInt(m[partner][Partner]), leaf) << "partners are mutual";
      const int individual = cellInt(m[leaf][individualColumn]);
      ASSERT_TRUE(individual >= 0 && individual < 4);
      EXPECT_EQ(cellInt(m[partner][individualColumn]), individual);
      leavesPerIndividual[individual]++;
      for (int k = 0; k < 3; k++)
        EXPECT_EQ((std::multiset<int>{given(m[leaf][firstAllele + k]), given(m[partner][firstAllele + k])}),
                  (std::multiset<int>{data[individual][2 * k], data[individual][2 * k + 1]}))
            << "individual " << individual << ", locus " << k;
    }
    EXPECT_EQ(leavesPerIndividual, (std::map<int, int>{{0, 2}, {1, 2}, {2, 2}, {3, 2}}));
  }
}

struct StartCheck {
  const char* adjust;
  const char* root;
  const char* iterate;
  int status;
  const char* line;  // the standard-output line that ends the run
};

class StartChecks : public testing::TestWithParam<StartCheck> {};

TEST_P(StartChecks, OnlyABadStepSizeOrRootAlleleEndsTheRunWithStatus1) {
  ParamSpec params;
  params.adjust = GetParam().adjust;
  params.root = GetParam().root;
  params.iterate = GetParam().iterate;
  params.burnIn = 10;
  params.iterations = 20;
  ScratchDir dir;
  dir.write("p.txt", params.text());
  const RunResult result = runMutloc(dir, {"p.txt"}, "", 60);
  EXPECT_EQ(result.status, GetParam().status) << result.out;
  EXPECT_NE(result.out.find(std::string(GetParam().line) + "\n"), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    StepSizesAndRoot, StartChecks,
    testing::Values(StartCheck{"0.1 0.5 0.5 0.5 0.1", "1 1", "1 1 1 0", 0, "Writing files..."},
                    StartCheck{"0.1 0.51 0.5 0.5 0.1", "1 1", "1 1 1 0", 1,
                               "Recombination distance adjustment(c) out of range (0.0 - 0.5)"},
                    StartCheck{"0 0.01 0.5 0.5 0.1", "1 1", "1 1 1 0", 1, "Coalescence time adjustment 0 must be a > 0.0"},
                    // Labels at each locus are 1..2: a root allele 3 cannot be scored.
                    StartCheck{"0.1 0.01 0.5 0.5 0.1", "1 3", "0 1 1 0", 1,
                               "The root haplotype of chain 1 holds allele 3 at marker 2, which is not one of its "
                               "labels 1..2."}));

}  // namespace
