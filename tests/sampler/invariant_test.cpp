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

#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/allelemoves.h"
#include "sampler/chainsetup.h"
#include "sampler/gibbsmoves.h"
#include "sampler/localmoves.h"
#include "sampler/phasemove.h"
#include "sampler/smartstart.h"
#include "sampler/sporadicmoves.h"
#include "sampler/tempering.h"
#include "sampler/treemoves.h"
#include "support/runsetup.h"

namespace {

bool isLeaf(const TreeMatrix& m, int r) { return cellInt(m[r][LeftChild]) == -1; }

// Per (individual, locus): the sorted data alleles (positive cells) and the
// number of imputed cells. An individual is a leaf, or with genetic model 1 a
// pair of partner leaves named by the smaller label.
using DataAlleles = std::map<std::pair<int, int>, std::pair<std::vector<int>, int>>;

DataAlleles dataAlleles(const TreeMatrix& m) {
  const TreeLayout& layout = m.layout;
  DataAlleles content;
  for (int r = 0; r < m.rows; r++) {
    if (!isLeaf(m, r)) continue;
    const int individual = layout.partner ? std::min(r, cellInt(m[r][Partner])) : r;
    for (int j = 0; j < layout.alleleColumns; j++) {
      auto& locus = content[{individual, j % layout.loci}];
      if (m[r][layout.firstAllele + j] > 0) {
        locus.first.push_back(cellInt(m[r][layout.firstAllele + j]));
        std::sort(locus.first.begin(), locus.first.end());
      } else {
        locus.second++;
      }
    }
  }
  return content;
}

void expectCanonicalBinaryTree(const RunSettings& s, const Chain& chain) {
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
    const double top = parent == -1 ? chain.mutAge : m[parent][Time];
    EXPECT_EQ(m[r][BranchLength], top - m[r][Time]) << "row " << r;
  }
  EXPECT_EQ(leaves, s.numChrom);
  EXPECT_EQ(chain.rootLabel, root);
  std::vector<double> times;
  for (int r = 0; r < m.rows; r++) times.push_back(m[r][Time]);
  std::sort(times.begin(), times.end());
  EXPECT_EQ(chain.sortedTimes, times);
}

void expectCurrentTerms(const RunSettings& s, const Chain& chain) {
  Chain fresh = chain;
  recomputeStoredTerms(fresh, s);
  for (int r = 0; r < fresh.tree.rows; r++)
    ASSERT_EQ(chain.tree[r][BranchLogLik], fresh.tree[r][BranchLogLik]) << "BranchLogLik of row " << r;
  auto near = [](double value) { return 1e-9 * std::fabs(value) + 1e-12; };
  EXPECT_NEAR(chain.logLik, fresh.logLik, near(fresh.logLik));
  EXPECT_DOUBLE_EQ(chain.coalPrior, fresh.coalPrior);
  EXPECT_DOUBLE_EQ(chain.mutAgePrior, fresh.mutAgePrior);
  EXPECT_EQ(chain.mutLocPrior, fresh.mutLocPrior);
  EXPECT_EQ(chain.sporadic.logPrior, fresh.sporadic.logPrior);

  // Sampled frequencies leave the root and second-chromosome terms stale
  // until their own moves refresh them.
  if (!s.iterFreq) {
    EXPECT_DOUBLE_EQ(chain.rootHapLogProb, fresh.rootHapLogProb);
    EXPECT_NEAR(chain.secondChromLogProb, fresh.secondChromLogProb, near(fresh.secondChromLogProb));
  } else if (!s.genotypesModel0()) {
    EXPECT_DOUBLE_EQ(chain.freqLogLik, fresh.freqLogLik);
    EXPECT_EQ(chain.secondChromLogProb, 0.0);
  }
}

void expectConsistent(const RunSettings& s, const Chain& chain, const DataAlleles& data, const std::string& where) {
  SCOPED_TRACE(where + ", chain " + std::to_string(chain.index));
  expectCanonicalBinaryTree(s, chain);
  expectCurrentTerms(s, chain);
  const TreeMatrix& m = chain.tree;
  for (int r = 0; r < m.rows; r++)
    for (int j = 0; j < m.layout.alleleColumns; j++) {
      const double v = m[r][m.layout.firstAllele + j];
      ASSERT_TRUE(v == std::trunc(v) && alleleOf(v) >= 1 && alleleOf(v) <= s.alleles.highestLabel[j % s.numLoci])
          << "row " << r << " cell " << j << " holds " << v;
    }
  EXPECT_EQ(dataAlleles(m), data) << "data alleles changed or left their individual";
}

std::vector<double> leafCells(const TreeMatrix& m) {
  std::vector<double> cells;
  const int firstAllele = m.layout.firstAllele;
  for (int r = 0; r < m.rows; r++)
    if (isLeaf(m, r)) cells.insert(cells.end(), m[r] + firstAllele, m[r] + firstAllele + m.layout.alleleColumns);
  return cells;
}

struct DataMode {
  const char* name;
  ParamSpec params;
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
  // Ages in [0, 1] with a step of 3, three times the range: the proposed ages
  // fold back into the bounds however far the step throws them.
  ParamSpec p = dataSet(-1, "1 1 1 0", 0, 2);
  p.ageBounds = "0 1";
  p.adjust = "3 0.003 0.3 0.3 0.1";
  return p;
}

// With --sporadic: how often the moves made a leaf sporadic and changed
// the share.
struct SporadicChanges {
  long leaves = 0, shares = 0;
  void count(const Chain& before, const Chain& after) {
    leaves += before.sporadic.leaf != after.sporadic.leaf;
    shares += before.sporadic.share != after.sporadic.share;
  }
  void expectSome(bool sporadic) const {
    EXPECT_EQ(leaves > 0, sporadic);
    EXPECT_EQ(shares > 0, sporadic);
  }
};

class ChainInvariant : public testing::TestWithParam<DataMode> {
 protected:
  void everyMove(bool sporadic);
  void mixingMovesAndSwaps(bool sporadic);
};

TEST_P(ChainInvariant, StoredTermsMatchFreshComputationsAfterEveryMove) { everyMove(false); }
TEST_P(ChainInvariant, WithSporadicChromosomesStoredTermsMatchFreshComputationsAfterEveryMove) { everyMove(true); }
TEST_P(ChainInvariant, MixingMovesAndSwapsKeepStoredTermsCurrent) { mixingMovesAndSwaps(false); }
TEST_P(ChainInvariant, WithSporadicChromosomesMixingMovesAndSwapsKeepStoredTermsCurrent) { mixingMovesAndSwaps(true); }

void ChainInvariant::everyMove(bool sporadic) {
  const auto run = setUpRun(GetParam().params.text());
  const RunSettings& s = run->settings;
  std::vector<Chain>& chains = run->setup.chains;
  if (sporadic) enableSporadic(chains, s, SporadicPrior{});
  const MoveContext ctx = run->context();
  std::vector<DataAlleles> data;
  for (const Chain& chain : chains) {
    data.push_back(dataAlleles(chain.tree));
    expectConsistent(s, chain, data.back(), "after set-up");
  }
  int skippedGenealogies = 0;
  // The moves of a chain pass in sweep order; the last field says whether it
  // may change leaf alleles.
  const std::vector<std::tuple<const char*, std::function<void(Chain&)>, bool>> moves = {
      {"frequency", [&](Chain& c) { if (s.iterFreq) moveAlleleFreqs(c, ctx); }, false},
      {"missing-allele", [&](Chain& c) { if (ctx.hasMissing) moveMissingAlleles(c, ctx); }, true},
      {"age",
       [&](Chain& c) {
         proposeMutAge(c, ctx);
         EXPECT_TRUE(!s.iterAge || (c.proposedAge >= s.mutAgeLow && c.proposedAge <= s.mutAgeHigh)) << c.proposedAge;
         skippedGenealogies += !(c.proposedAge > 0);
       },
       false},
      {"genealogy",
       [&](Chain& c) {
         const int32_t before = c.rng->state().seed;
         moveGenealogy(c, ctx);
         EXPECT_TRUE(c.proposedAge > 0 || c.rng->state().seed == before) << "a skipped genealogy move drew";
       },
       false},
      {"location", [&](Chain& c) { if (s.iterLocation) moveMutLocation(c, ctx); }, false},
      {"root", [&](Chain& c) { if (s.iterRoot) moveRootHaplotype(c, ctx); }, false},
      {"internal", [&](Chain& c) { moveInternalAlleles(c, ctx); }, false},
      {"phase", [&](Chain& c) { if (s.genotypes) movePhase(c, ctx); }, true},
      {"sporadic", [&](Chain& c) { if (sporadic) moveSporadic(c, ctx); }, false},
  };
  std::map<std::string, int> leafChanges;
  SporadicChanges sporadicChanges;
  for (int t = 0; t < 300 && !HasFailure(); t++)
    for (Chain& chain : chains) {
      if (HasFailure()) break;
      for (const auto& [name, move, touchesLeaves] : moves) {
        const std::vector<double> before = leafCells(chain.tree);
        const Chain previous = chain;
        move(chain);
        sporadicChanges.count(previous, chain);
        if (leafCells(chain.tree) != before) leafChanges[name]++;
        EXPECT_TRUE(touchesLeaves || leafChanges[name] == 0) << name << " move changed leaf alleles";
        expectConsistent(s, chain, data[chain.index], std::string(name) + " move of iteration " + std::to_string(t));
        if (HasFailure()) break;
      }
    }

  // Every kind of move must have been accepted for the check to mean much.
  const auto total = [&chains](MoveKind kind) {
    long sum = 0;
    for (const auto& chain : chains) sum += chain.accepted[kind];
    return sum;
  };
  EXPECT_GT(total(MoveKind::Genealogy), 0);
  EXPECT_GT(total(MoveKind::Location), 0);
  EXPECT_GT(total(MoveKind::Root), 0);
  EXPECT_GT(total(MoveKind::Internal), 0);
  EXPECT_EQ(total(MoveKind::Frequencies) > 0, s.iterFreq);
  EXPECT_GT(leafChanges["missing-allele"], 0);
  EXPECT_EQ(leafChanges["phase"] > 0, s.genotypes);
  EXPECT_EQ(skippedGenealogies, 0);
  sporadicChanges.expectSome(sporadic);
}

INSTANTIATE_TEST_SUITE_P(
    DataModes, ChainInvariant,
    testing::Values(DataMode{"HaplotypesSampledFrequencies", dataSet(-1, "1 1 1 1", 0, 3)},
                    DataMode{"HaplotypesAllLoci", dataSet(-1, "1 1 1 0", 1, 2)},
                    DataMode{"Genotypes0FixedFrequencies", dataSet(0, "1 1 1 0", 0, 2)},
                    DataMode{"Genotypes0AllLociSampledFrequencies", dataSet(0, "1 1 1 1", 1, 2)},
                    DataMode{"Genotypes1AllLoci", dataSet(1, "1 1 1 0", 1, 2)},
                    DataMode{"Genotypes1SampledFrequencies", dataSet(1, "1 1 1 1", 0, 3)},
                    DataMode{"YoungMutation", youngMutation()}),
    [](const testing::TestParamInfo<DataMode>& info) { return std::string(info.param.name); });

void ChainInvariant::mixingMovesAndSwaps(bool sporadic) {
  // The moves of the mixing options at three temperatures, and a swap
  // proposal after every iteration; every record is checked after each.
  const auto run = setUpRun(GetParam().params.text());
  const RunSettings& s = run->settings;
  std::vector<Chain>& chains = run->setup.chains;
  if (sporadic) enableSporadic(chains, s, SporadicPrior{2, 5});
  SamplingOptions options;
  options.moves = MoveOptions{true, true, false};
  options.overdispersed = true;
  options.heated = 2;
  options.hottest = 0.3;
  const MoveContext ctx = moveContextOf(s, run->control, run->setup, options.moves);
  Random startStream = Random::pcgStream(6, 0);
  smartStart(chains, s, options, startStream);
  std::vector<Random> companionStreams, swapStreams;
  for (size_t i = 0; i < 2 * chains.size(); i++) companionStreams.push_back(Random::pcgStream(7, i));
  for (size_t c = 0; c < chains.size(); c++) swapStreams.push_back(Random::pcgStream(8, c));
  std::vector<StepSet> levelSteps(2);
  for (StepSet& steps : levelSteps) steps.take(s.steps);
  Tempering tempering(chains, options, companionStreams, swapStreams, levelSteps);
  std::vector<DataAlleles> data;
  for (const Chain& chain : chains) data.push_back(dataAlleles(chain.tree));
  for (const Chain& chain : chains) expectConsistent(s, chain, data[chain.index], "after the smart start");

  const std::vector<std::pair<const char*, std::function<void(Chain&)>>> moves = {
      {"frequency", [&](Chain& c) { if (s.iterFreq) moveAlleleFreqs(c, ctx); }},
      {"missing-allele", [&](Chain& c) { if (ctx.hasMissing) moveMissingAlleles(c, ctx); }},
      {"genealogy", [&](Chain& c) { proposeMutAge(c, ctx); moveGenealogy(c, ctx); }},
      {"node-time", [&](Chain& c) { moveNodeTimes(c, ctx); }},
      {"exchange", [&](Chain& c) { moveExchanges(c, ctx); }},
      {"scale", [&](Chain& c) { moveTreeScale(c, ctx); }},
      {"location-across", [&](Chain& c) { if (s.iterLocation) moveMutLocationAcross(c, ctx); }},
      {"root-gibbs", [&](Chain& c) { if (s.iterRoot) gibbsRootHaplotype(c, ctx); }},
      {"internal-gibbs", [&](Chain& c) { gibbsInternalAlleles(c, ctx); }},
      // With --sporadic the phases move a marker at a time (the whole-phase
      // draw does not know the indicators).
      {"phase", [&](Chain& c) { if (s.genotypes) sporadic ? movePhase(c, ctx) : gibbsPhase(c, ctx); }},
      {"sporadic", [&](Chain& c) { if (sporadic) moveSporadic(c, ctx); }},
  };
  long swaps = 0;
  SporadicChanges sporadicChanges;
  for (int t = 0; t < 150 && !HasFailure(); t++) {
    for (Chain* record : tempering.records(chains))
      for (const auto& [name, move] : moves) {
        const Chain previous = *record;
        move(*record);
        sporadicChanges.count(previous, *record);
        expectConsistent(s, *record, data[record->index],
                         std::string(name) + " move at beta " + std::to_string(record->beta) + ", iteration " +
                             std::to_string(t));
        if (HasFailure()) return;
      }
    tempering.proposeSwaps(chains);
    for (Chain* record : tempering.records(chains))
      expectConsistent(s, *record, data[record->index], "swap after iteration " + std::to_string(t));
  }
  for (size_t c = 0; c < chains.size(); c++)
    for (int i = 0; i < tempering.levels(); i++) swaps += tempering.acceptedSwaps(static_cast<int>(c), i);
  EXPECT_GT(swaps, 0);
  long nodeTimes = 0, exchanges = 0, scalings = 0, locations = 0;
  for (Chain* record : tempering.records(chains)) {
    nodeTimes += record->accepted[MoveKind::NodeTime];
    exchanges += record->accepted[MoveKind::Exchange];
    scalings += record->accepted[MoveKind::Scale];
    locations += record->accepted[MoveKind::Location];
  }
  EXPECT_GT(nodeTimes, 0);
  EXPECT_GT(exchanges, 0);
  EXPECT_GT(locations, 0);
  EXPECT_EQ(scalings > 0, s.iterAge);
  sporadicChanges.expectSome(sporadic);
}

TEST(LocationMoveAcrossMarkers, LeavesAnAncestralHaplotypeTheFileFixesAlone) {
  ParamSpec params = dataSet(-1, "0 1 1 0", 0, 1);
  params.root = "2 2 2";  // unlike every patient: a redraw would change it
  params.patients = "6 1 1 1\n";
  const auto run = setUpRun(params.text());
  const RunSettings& s = run->settings;
  Chain& chain = run->chain();
  const MoveContext ctx = moveContextOf(s, run->control, run->setup, MoveOptions{true, false, false});
  const std::vector<int> root = chain.rootHaplotype;
  const DataAlleles data = dataAlleles(chain.tree);
  for (int t = 0; t < 300 && !HasFailure(); t++) {
    moveMutLocationAcross(chain, ctx);
    gibbsInternalAlleles(chain, ctx);
    ASSERT_EQ(chain.rootHaplotype, root);
    expectConsistent(s, chain, data, "iteration " + std::to_string(t));
  }
  EXPECT_GT(chain.accepted[MoveKind::Location], 0);
}

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
    const auto run = setUpRun(params.text());
    const RunSettings& s = run->settings;
    Chain& chain = run->chain();
    TreeMatrix& m = chain.tree;
    const int firstAllele = m.layout.firstAllele;
    const MissingCells record = chain.missingCells.at(0);
    const int leaf = record.leaf, j = record.columns.at(0), L = s.numLoci;
    double* listed = &m[leaf][firstAllele + j];
    double* other = model == 0 ? &m[leaf][firstAllele + (j + L) % (2 * L)] : &m[cellInt(m[leaf][Partner])][firstAllele + j];
    std::swap(*listed, *other);
    recomputeStoredTerms(chain, s);
    const DataAlleles data = dataAlleles(m);
    std::set<double> imputed;
    for (int i = 0; i < 100 && !HasFailure(); i++) {
      moveMissingAlleles(chain, run->context());
      ASSERT_EQ(*listed, 1.0);
      imputed.insert(*other);
      expectConsistent(s, chain, data, "genetic model " + std::to_string(model));
    }
    EXPECT_EQ(imputed, (std::set<double>{-2, -1}));
  }
}

}  // namespace
