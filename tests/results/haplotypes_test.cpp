// Tallies of leaf haplotypes: ".hpf" (over the sampling iterations), ".hin"
// (per individual) and ".hap" (final genealogy).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "genealogy/treematrix.h"
#include "results/haplotypes.h"

namespace {

class HaplotypeTally : public testing::Test {
 protected:
  // The run's shape as the reader and the chain set-up would make it, and empty
  // tally tables of the given capacities.
  void shape(int genotypes, int model, int loci, int leaves, int populationRows = kPopulationTallyRows,
             int individualRows = kIndividualTallyRows) {
    settings.genotypes = genotypes == 1;
    settings.geneticModel = model == 1 ? GeneticModel::TwoLeavesPerIndividual : GeneticModel::OneLeafPerIndividual;
    settings.numLoci = loci;
    settings.numChrom = leaves;
    settings.storePopHaplotypes = 1;
    settings.storeIndHaplotypes = 1;
    layout = treeLayoutOf(settings);
    tallies = makeHaplotypeTallies(settings, populationRows, individualRows);
  }

  // A genealogy whose rows 0..n-1 are leaves (row = label) holding the given
  // allele cells and individuals (by default leaf r is individual r); the
  // internal rows only need a child, as the topology does not matter here.
  TreeMatrix leaves(const std::vector<std::vector<int>>& alleles, const std::vector<int>& individuals = {}) {
    const int n = static_cast<int>(alleles.size());
    TreeMatrix m = makeTreeMatrix(2 * n - 1, layout);
    for (int r = 0; r < n; r++) {
      m[r][Label] = r;
      m[r][layout.individualColumn()] = individuals.empty() ? r : individuals[r];
      for (int j = 0; j < layout.alleleColumns; j++) m[r][layout.firstAllele + j] = alleles[r][j];
    }
    for (int r = n; r < 2 * n - 1; r++) {
      m[r][Label] = r;
      m[r][LeftChild] = 0;
      m[r][RightChild] = 1;
    }
    return m;
  }

  // Tallies m, then (when write) writes the tally, as the periodic and the
  // final calls of a run do.
  std::string popTally(const TreeMatrix& m, bool write) {
    std::ostringstream o;
    tallyPopulationHaplotypes(tallies, m);
    if (write) writePopulationHaplotypes(tallies, m, o);
    return o.str();
  }
  std::string individualTally(const TreeMatrix& m, bool write) {
    std::ostringstream o;
    tallyIndividualHaplotypes(tallies, m);
    if (write) writeIndividualHaplotypes(tallies, m, o);
    return o.str();
  }
  std::string finalTally(const TreeMatrix& m) {
    std::ostringstream o;
    writeFinalHaplotypes(m, o);
    return o.str();
  }

  RunSettings settings;
  TreeLayout layout;
  HaplotypeTallies tallies;
};

TEST_F(HaplotypeTally, ImputedAllelesCountAsTheirLabelsAndTheMostFrequentComesFirst) {
  shape(0, 0, 2, 10);
  // (3,3) once, (2,1) three times, (1,2) six times, some imputed (negative).
  const TreeMatrix m = leaves({{3, 3}, {2, 1}, {1, 2}, {-1, 2}, {2, -1}, {1, -2}, {-2, -1}, {1, 2}, {-1, -2}, {1, 2}});
  EXPECT_EQ(finalTally(m), "6 1 2 \n3 2 1 \n1 3 3 \n");
  EXPECT_EQ(popTally(m, 0), "");
  EXPECT_EQ(individualTally(m, 0), "");
  // The run-long tallies accumulate until the writing call; the final
  // genealogy's tally starts afresh at every call.
  EXPECT_EQ(popTally(m, 1), "12 0.6 1 2 \n6 0.3 2 1 \n2 0.1 3 3 \n");
  EXPECT_EQ(finalTally(m), "6 1 2 \n3 2 1 \n1 3 3 \n");
}

TEST_F(HaplotypeTally, EqualCountsKeepTheOrderInWhichTheyWereFirstMet) {
  shape(0, 0, 1, 9);
  const TreeMatrix m = leaves({{5}, {7}, {4}, {5}, {9}, {7}, {9}, {9}, {4}});
  EXPECT_EQ(popTally(m, 1), "3 0.333333 9 \n2 0.222222 5 \n2 0.222222 7 \n2 0.222222 4 \n");
  EXPECT_EQ(finalTally(m), "3 9 \n2 5 \n2 7 \n2 4 \n");
}

TEST_F(HaplotypeTally, CountsGoPastTheIntRangeOfALongRun) {
  shape(0, 0, 1, 2);
  const TreeMatrix m = leaves({{5}, {5}});
  tallyPopulationHaplotypes(tallies, m);
  tallies.population.rows[0][0] = 2147483647;  // as after about 10^9 tallied iterations
  EXPECT_EQ(popTally(m, 1), "2147483649 1 5 \n");
}

TEST_F(HaplotypeTally, IndividualBlocksEndWithAnEmptyLineAndAnEmptyIndividualGivesOnlyThat) {
  shape(0, 0, 2, 3);
  // Individual 1 (written as 2) has no leaf; individual 2 (written as 3) has two.
  const TreeMatrix first = leaves({{1, 2}, {2, 2}, {-2, 2}}, {0, 2, 2});
  const TreeMatrix second = leaves({{2, 1}, {2, 2}, {2, 2}}, {0, 2, 2});
  EXPECT_EQ(individualTally(first, 0), "");
  EXPECT_EQ(individualTally(second, 1),
            "1 1 0.5 1 2 \n1 1 0.5 2 1 \n"
            "\n"
            "\n"
            "3 4 1 2 2 \n"
            "\n");
}

TEST_F(HaplotypeTally, GenotypesUnderModel0TallyBothChromosomesOfALeaf) {
  shape(1, 0, 2, 2);
  // Carrier alleles, then the second chromosome's.
  const TreeMatrix m = leaves({{1, 2, 3, -4}, {1, -2, 3, 4}});
  EXPECT_EQ(popTally(m, 1), "2 1 1 2 3 4 \n");
  EXPECT_EQ(individualTally(m, 1), "1 1 1 1 2 3 4 \n\n2 1 1 1 2 3 4 \n\n");
  EXPECT_EQ(finalTally(m), "2 1 2 3 4 \n");
}

TEST_F(HaplotypeTally, GenotypesUnderModel1PairALeafWithItsPartnerPerIndividual) {
  shape(1, 1, 2, 4);
  // Individual 0 owns leaves 0 and 3, individual 1 leaves 1 and 2.
  TreeMatrix m = leaves({{1, 1}, {2, 2}, {3, 3}, {4, -4}}, {0, 1, 1, 0});
  const std::pair<int, int> partners[] = {{0, 3}, {3, 0}, {1, 2}, {2, 1}};
  for (auto [leaf, partner] : partners) m[leaf][Partner] = partner;
  EXPECT_EQ(individualTally(m, 1), "1 1 1 1 1 4 4 \n\n2 1 1 2 2 3 3 \n\n");
  // The population tally still counts single chromosomes.
  EXPECT_EQ(popTally(m, 1), "1 0.25 1 1 \n1 0.25 2 2 \n1 0.25 3 3 \n1 0.25 4 4 \n");
}

TEST_F(HaplotypeTally, AFullTableStopsCountingAndWarnsOnce) {
  shape(0, 0, 1, 4, 2, 1);
  // Leaf 3 repeats the first haplotype, but once full nothing more is counted.
  const TreeMatrix m = leaves({{1}, {2}, {3}, {1}}, {0, 0, 1, 1});
  testing::internal::CaptureStdout();
  const std::string first = popTally(m, 0);
  const std::string written = popTally(m, 1);
  const std::string individuals = individualTally(m, 1);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(written, "1 0.5 1 \n1 0.5 2 \n");
  EXPECT_EQ(individuals, "1 1 1 1 \n\n2 1 1 3 \n\n\n\n");
  // One line for the population table and one per individual table.
  int lines = 0;
  for (char c : printed) lines += c == '\n';
  EXPECT_EQ(lines, 3) << printed;
}

}  // namespace
