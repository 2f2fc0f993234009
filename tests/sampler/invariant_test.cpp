// The chain-state invariant: after every single move, accepted or rejected,
// each stored term of a chain agrees with a fresh computation from the chain's
// current state, the genealogy is a canonical binary tree, and data alleles
// only ever move between the two chromosomes of an individual. Checked on
// small data sets of every data mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "input/parameters.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/allelemoves.h"
#include "sampler/chainstate.h"
#include "sampler/treemoves.h"
#include "support/runsetup.h"

namespace {

bool genotypesModel0() { return pset.dataAsGenotypes != 0 && pset.geneticModel == 0; }
bool isLeaf(const TreeMatrix& m, int r) { return cellInt(m[r][LeftChild]) == -1; }

// Per (individual, locus): the sorted data alleles (positive cells) and the
// number of imputed cells. An individual is a leaf, or with genetic model 1 a
// pair of partner leaves named by the smaller label.
using DataAlleles = std::map<std::pair<int, int>, std::pair<std::vector<int>, int>>;

DataAlleles dataAlleles(const TreeMatrix& m) {
  DataAlleles content;
  for (int r = 0; r < m.rows; r++) {
    if (!isLeaf(m, r)) continue;
    const int individual = hasPartnerColumn() ? std::min(r, cellInt(m[r][Partner])) : r;
    for (int j = 0; j < TOTLOCI; j++) {
      auto& locus = content[{individual, j % pset.numLoci}];
      if (m[r][TMAT + j] > 0) {
        locus.first.push_back(cellInt(m[r][TMAT + j]));
        std::sort(locus.first.begin(), locus.first.end());
      } else {
        locus.second++;
      }
    }
  }
  return content;
}

void expectCanonicalBinaryTree(int c) {
  const ChainState& chain = chains[c];
  const TreeMatrix& m = chain.tree;
  int leaves = 0, root = -1;
  for (int r = 0; r < m.rows; r++) {
    ASSERT_EQ(cellInt(m[r][Label]), r) << "not in canonical order";
    const int children[2] = {cellInt(m[r][LeftChild]), cellInt(m[r][RightChild])};
    if (children[0] == -1) {
      EXPECT_EQ(children[1], -1);
      EXPECT_EQ(m[r][Time], 0.0);
      leaves++;
    } else {
      ASSERT_NE(children[0], children[1]);
      for (int child : children) {
        ASSERT_TRUE(child >= 0 && child < m.rows) << "row " << r;
        EXPECT_EQ(cellInt(m[child][Parent]), r);
        EXPECT_LE(m[child][Time], m[r][Time]);
      }
    }
    const int parent = cellInt(m[r][Parent]);
    if (parent == -1) {
      EXPECT_EQ(root, -1) << "two roots";
      root = r;
    }
    // The root's branch reaches up to the mutation age.
    const double top = parent == -1 ? pset.mutAge[c] : m[parent][Time];
    EXPECT_EQ(m[r][BranchLength], top - m[r][Time]) << "row " << r;
  }
  EXPECT_EQ(leaves, pset.numChrom);
  EXPECT_EQ(chain.rootLabel, root);
  std::vector<double> times;
  for (int r = 0; r < m.rows; r++) times.push_back(m[r][Time]);
  std::sort(times.begin(), times.end());
  EXPECT_EQ(chain.sortedTimes, times);
}

void expectCurrentTerms(int c) {
  const ChainState& chain = chains[c];
  const int n = pset.numChrom;
  TreeMatrix fresh = chain.tree;
  double total = 0;
  tprob(fresh, pset.mutLocation[c], pset.mapDist, &total, pset.alleleFreq[c], pset.rootHaplotype[c], -1, 0);
  for (int r = 0; r < fresh.rows; r++)
    ASSERT_EQ(chain.tree[r][BranchLogLik], fresh[r][BranchLogLik]) << "BranchLogLik of row " << r;
  EXPECT_NEAR(chain.logLik, total, 1e-9 * std::fabs(total) + 1e-12);

  const double ageInForce = pset.curMutAge;  // tprior reads the age from pset
  pset.curMutAge = pset.mutAge[c];
  EXPECT_DOUBLE_EQ(chain.coalPrior, tprior(n, chain.sortedTimes, pset.propSampled, pset.growthRate));
  pset.curMutAge = ageInForce;
  EXPECT_DOUBLE_EQ(chain.mutAgePrior, tpriormut(n, pset.mutAge[c], pset.growthRate));
  EXPECT_EQ(chain.mutLocPrior, 0.0);

  // Sampled frequencies leave the root and second-chromosome terms stale
  // until their own moves refresh them.
  if (pset.iterFreq == 0) {
    EXPECT_DOUBLE_EQ(chain.rootHapLogProb, probhap(pset.alleleFreq[c], pset.rootHaplotype[c], pset.numLoci));
    double second = 0;
    for (int r = 0; r < chain.tree.rows; r++)
      if (genotypesModel0() && isLeaf(chain.tree, r)) second += secondChromSum(chain.tree[r], c);
    EXPECT_NEAR(chain.secondChromLogProb, second, 1e-9 * std::fabs(second) + 1e-12);
  } else if (!genotypesModel0()) {
    EXPECT_DOUBLE_EQ(chain.freqLogLik, getalllik(chain.tree, largestAlleleCount, c));
    EXPECT_EQ(chain.secondChromLogProb, 0.0);
  }
}

void expectConsistent(int c, const DataAlleles& data, const std::string& where) {
  SCOPED_TRACE(where + ", chain " + std::to_string(c));
  expectCanonicalBinaryTree(c);
  expectCurrentTerms(c);
  const TreeMatrix& m = chains[c].tree;
  for (int r = 0; r < m.rows; r++)
    for (int j = 0; j < TOTLOCI; j++) {
      const double v = m[r][TMAT + j];
      ASSERT_TRUE(v == std::trunc(v) && alleleOf(v) >= 1 && alleleOf(v) <= maxall[j % pset.numLoci])
          << "row " << r << " cell " << j << " holds " << v;
    }
  EXPECT_EQ(dataAlleles(m), data) << "data alleles changed or left their individual";
}

std::vector<double> leafCells(const TreeMatrix& m) {
  std::vector<double> cells;
  for (int r = 0; r < m.rows; r++)
    if (isLeaf(m, r)) cells.insert(cells.end(), m[r] + TMAT, m[r] + TMAT + TOTLOCI);
  return cells;
}

struct DataMode {
  const char* name;
  ParamSpec params;
  bool skipsGenealogy = false;  // some proposed ages are not positive
};
void PrintTo(const DataMode& mode, std::ostream* out) { *out << mode.name; }

// genotypes: -1 haplotypes, else the genetic model.
ParamSpec dataSet(int genotypes, const std::string& iterate, int flip, int chains) {
  ParamSpec p;
  p.seed = genotypes < 0 ? -31 : -47;
  p.loci = 3;
  p.control = "5 1 2 1\n3 2 1 3\n4 1 1 2\n2 3 2 1\n";
  p.map = "0 0.004 0.01";
  p.chains = chains;
  p.growth = 0.05;
  p.iterate = iterate;
  p.flip = flip;
  p.adjust = "2 0.003 0.3 0.3 0.1";
  p.updates = "10 10 1 1 1";
  p.ageBounds = "1 50";
  p.root = "1 1 1";
  p.chromosomes = 6;
  p.patients = "2 1 -1 1\n1 2 1 3\n2 -1 2 -1\n1 1 1 2\n";
  if (genotypes >= 0) {
    p.genotypes = 1;
    p.model = genotypes;
    p.chromosomes = 8;  // four individuals
    p.patients = "1 2 1 1 -1 3\n2 2 -1 -1 1 2\n1 3 2 1 3 -1\n-1 2 1 2 2 2\n";
  }
  return p;
}

ParamSpec youngMutation() {
  // Ages in [0, 1] with a step of 3: many proposed ages are not positive.
  ParamSpec p = dataSet(-1, "1 1 1 0", 0, 2);
  p.ageBounds = "0 1";
  p.adjust = "3 0.003 0.3 0.3 0.1";
  return p;
}

class ChainInvariant : public testing::TestWithParam<DataMode> {};

TEST_P(ChainInvariant, StoredTermsMatchFreshComputationsAfterEveryMove) {
  int32_t seed = 0;
  setUpRun(GetParam().params.text(), &seed);
  std::vector<DataAlleles> data;
  for (int c = 0; c < pset.numChains; c++) {
    data.push_back(dataAlleles(chains[c].tree));
    expectConsistent(c, data[c], "after set-up");
  }
  int skippedGenealogies = 0;
  // The moves of a chain pass in sweep order; the last field says whether it
  // may change leaf alleles.
  const std::vector<std::tuple<const char*, std::function<void(int)>, bool>> moves = {
      {"frequency", [&](int c) { if (pset.iterFreq) moveAlleleFreqs(c, &seed); }, false},
      {"missing-allele", [&](int c) { if (hasMissing) moveMissingAlleles(c, &seed); }, true},
      {"age", [&](int c) { proposeMutAge(c, &seed); skippedGenealogies += !(pset.curMutAge > 0); }, false},
      {"genealogy",
       [&](int c) {
         const int32_t before = seed;
         moveGenealogy(c, &seed);
         EXPECT_TRUE(pset.curMutAge > 0 || seed == before) << "a skipped genealogy move drew";
       },
       false},
      {"location", [&](int c) { if (pset.iterLocation) moveMutLocation(c, &seed); }, false},
      {"root", [&](int c) { if (pset.iterRoot) moveRootHaplotype(c, &seed); }, false},
      {"internal", [&](int c) { moveInternalAlleles(c, &seed); }, false},
      {"phase", [&](int c) { if (pset.dataAsGenotypes) movePhase(c, &seed); }, true},
  };
  std::map<std::string, int> leafChanges;
  for (int t = 0; t < 300 && !HasFailure(); t++)
    for (int c = 0; c < pset.numChains && !HasFailure(); c++)
      for (const auto& [name, move, touchesLeaves] : moves) {
        const std::vector<double> before = leafCells(chains[c].tree);
        move(c);
        if (leafCells(chains[c].tree) != before) leafChanges[name]++;
        EXPECT_TRUE(touchesLeaves || leafChanges[name] == 0) << name << " move changed leaf alleles";
        expectConsistent(c, data[c], std::string(name) + " move of iteration " + std::to_string(t));
        if (HasFailure()) break;
      }

  // Every kind of move must have been accepted for the check to mean much.
  const auto total = [](long ChainState::*counter) {
    long sum = 0;
    for (const auto& chain : chains) sum += chain.*counter;
    return sum;
  };
  EXPECT_GT(total(&ChainState::acceptTree), 0);
  EXPECT_GT(total(&ChainState::acceptMutLoc), 0);
  EXPECT_GT(total(&ChainState::acceptRoot), 0);
  EXPECT_GT(total(&ChainState::acceptInternal), 0);
  EXPECT_EQ(total(&ChainState::acceptFreq) > 0, pset.iterFreq != 0);
  EXPECT_GT(leafChanges["missing-allele"], 0);
  EXPECT_EQ(leafChanges["phase"] > 0, pset.dataAsGenotypes != 0);
  EXPECT_EQ(skippedGenealogies > 0, GetParam().skipsGenealogy);
}

INSTANTIATE_TEST_SUITE_P(
    DataModes, ChainInvariant,
    testing::Values(DataMode{"HaplotypesSampledFrequencies", dataSet(-1, "1 1 1 1", 0, 3)},
                    DataMode{"HaplotypesAllLoci", dataSet(-1, "1 1 1 0", 1, 2)},
                    DataMode{"Genotypes0FixedFrequencies", dataSet(0, "1 1 1 0", 0, 2)},
                    DataMode{"Genotypes0AllLociSampledFrequencies", dataSet(0, "1 1 1 1", 1, 2)},
                    DataMode{"Genotypes1AllLoci", dataSet(1, "1 1 1 0", 1, 2)},
                    DataMode{"Genotypes1SampledFrequencies", dataSet(1, "1 1 1 1", 0, 3)},
                    DataMode{"YoungMutation", youngMutation(), true}),
    [](const testing::TestParamInfo<DataMode>& info) { return std::string(info.param.name); });

TEST(MissingAlleles, RedrawMeetingADataAlleleGoesToTheOtherChromosome) {
  // A phase exchange can carry the data allele into the listed cell; the
  // imputed allele, now on the individual's other chromosome, must still be
  // sampled there while the data allele stays.
  for (int model : {0, 1}) {
    ParamSpec params;
    params.genotypes = 1;
    params.model = model;
    params.control = "5 1 1\n5 2 2\n";
    params.patients = "1 -1 2 2\n1 2 1 2\n";
    int32_t seed = 0;
    setUpRun(params.text(), &seed);
    ChainState& chain = chains[0];
    TreeMatrix& m = chain.tree;
    const MissingCells record = chain.missingCells.at(0);
    const int leaf = record[0], j = record[3], L = pset.numLoci;
    double* listed = &m[leaf][TMAT + j];
    double* other = model == 0 ? &m[leaf][TMAT + (j + L) % (2 * L)] : &m[cellInt(m[leaf][Partner])][TMAT + j];
    std::swap(*listed, *other);
    tprob(m, pset.mutLocation[0], pset.mapDist, &chain.logLik, pset.alleleFreq[0], pset.rootHaplotype[0], -1, 0);
    chain.secondChromLogProb = 0;
    for (int r = 0; r < m.rows; r++)
      if (model == 0 && isLeaf(m, r)) chain.secondChromLogProb += secondChromSum(m[r], 0);
    const DataAlleles data = dataAlleles(m);
    std::set<double> imputed;
    for (int i = 0; i < 100 && !HasFailure(); i++) {
      moveMissingAlleles(0, &seed);
      ASSERT_EQ(*listed, 1.0);
      imputed.insert(*other);
      expectConsistent(0, data, "genetic model " + std::to_string(model));
    }
    EXPECT_EQ(imputed, (std::set<double>{-2, -1}));
  }
}

}  // namespace
