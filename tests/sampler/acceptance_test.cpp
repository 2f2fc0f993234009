// The acceptance rule and the draws each move consumes. Draws are counted from
// the generator's state: every ran1 call advances it by exactly one step of
// the minimal-standard recurrence, so the steps between the state before and
// after a move are the draws the move made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "input/parameters.h"
#include "sampler/allelemoves.h"
#include "sampler/chainstate.h"
#include "sampler/sweep.h"
#include "support/runsetup.h"

namespace {

// Draws made by move(); -1 when more than 10000.
int drawsOf(int32_t* seed, const std::function<void()>& move) {
  int32_t state = *seed;
  move();
  for (int k = 0; k <= 10000; k++, state = static_cast<int32_t>(int64_t{state} * 16807 % 2147483647))
    if (state == *seed) return k;
  return -1;
}

// The distinct draw counts of `calls` consecutive calls.
std::set<int> drawCountsOf(int32_t* seed, int calls, const std::function<void()>& move) {
  std::set<int> seen;
  for (int i = 0; i < calls; i++) seen.insert(drawsOf(seed, move));
  return seen;
}

// Data that carry no information: one allele per locus in controls and
// patients, frequencies fixed at 1, so every branch probability is 1.
ParamSpec uninformative() {
  ParamSpec p;
  p.seed = -11;
  p.chromosomes = 5;
  p.loci = 3;
  p.control = "10 1 1 1\n";
  p.map = "0 0.005 0.01";
  p.adjust = "1 0.003 0.5 0.5 0.1";
  p.ageBounds = "1 50";
  p.root = "1 1 1";
  p.patients = "5 1 1 1\n";
  return p;
}

TEST(AcceptanceRule, LocationsSampledWithoutInformationAreUniformOverTheBounds) {
  ParamSpec params = uninformative();
  params.burnIn = 200;
  params.iterations = 40000;
  int32_t seed = 0;
  setUpRun(params.text(), &seed);
  ASSERT_NEAR(chains[0].logLik, 0.0, 1e-9) << "the data should carry no information";
  for (long t = 0; t < pset.burnIn + pset.iterations; t++) updateChain(0, t, &seed);

  // Every 40th sample: the reflected walk with steps up to 0.003 forgets its
  // place on [0, 0.01] well within 40 iterations. Over 60 other seeds the
  // statistic averaged 9.8 and never passed the threshold.
  std::vector<int> counts(10, 0);
  for (long i = 0; i < pset.iterations; i += 40) {
    const double x = chains[0].mutLocSamples[i];
    ASSERT_TRUE(x >= 0 && x <= 0.01) << x;
    counts[std::min(9, static_cast<int>(x / 0.001))]++;
  }
  double chiSquare = 0;
  for (int count : counts) chiSquare += (count - 100.0) * (count - 100.0) / 100.0;
  EXPECT_LT(chiSquare, 27.88) << "99.9% point of chi-square with 9 degrees of freedom";
}

TEST(DrawCounts, RootMoveMakesADecisionDrawOnlyWhenTheKernelRedrewAnAllele) {
  int32_t seed = 0;
  setUpRun(uninformative().text(), &seed);
  const std::vector<double> cells = chains[0].tree.cells;
  const auto move = [&] { moveRootHaplotype(0, &seed); };

  pset.adjRoot = 0.0;  // the kernel never redraws
  EXPECT_EQ(drawsOf(&seed, move), 2) << "a locus and its redraw test, no decision";
  pset.flipAllLoci = 1;
  EXPECT_EQ(drawsOf(&seed, move), 3) << "one redraw test per locus, no decision";
  EXPECT_EQ(chains[0].acceptRoot, 0);
  EXPECT_EQ(chains[0].tree.cells, cells);

  // A redrawn allele equal to the old one (one label per locus) still counts
  // as a change: the proposal is scored and decided.
  pset.adjRoot = 1.0;
  EXPECT_EQ(drawsOf(&seed, move), 7) << "three tests, three alleles, decision";
  pset.flipAllLoci = 0;
  EXPECT_EQ(drawsOf(&seed, move), 4) << "locus, test, allele, decision";
  EXPECT_EQ(chains[0].acceptRoot, 2);
}

TEST(DrawCounts, MissingAlleleRedrawOfTheSameAlleleMakesNoDecisionDraw) {
  // One listed leaf with its unknown allele at locus 1, which has only label
  // 1 (haplotypes; genotypes with genetic model 0): a call draws the coin (1)
  // or the coin, the cell and an unchanged allele (3), never a decision.
  ParamSpec params;
  params.control = "6 1 1\n4 1 2\n";
  for (int genotypes : {0, 1}) {
    params.genotypes = genotypes;
    params.patients = genotypes ? "1 -1 1 2\n1 1 2 2\n" : "3 1 1\n1 -1 2\n";
    int32_t seed = 0;
    setUpRun(params.text(), &seed);
    ASSERT_EQ(chains[0].missingLeaves.size(), 1u);
    EXPECT_EQ(drawCountsOf(&seed, 60, [&] { moveMissingAlleles(0, &seed); }), (std::set<int>{1, 3})) << genotypes;
  }
  // At a locus with two labels a changed allele is decided: 4 draws.
  params.genotypes = 0;
  params.patients = "3 1 1\n1 1 -1\n";
  int32_t seed = 0;
  setUpRun(params.text(), &seed);
  EXPECT_EQ(drawCountsOf(&seed, 60, [&] { moveMissingAlleles(0, &seed); }), (std::set<int>{1, 3, 4}));
}

TEST(DrawCounts, HomozygousLociConsumeNoPhaseDraw) {
  ParamSpec params;
  params.genotypes = 1;
  params.chromosomes = 6;
  params.control = "5 1 1\n5 1 2\n";
  for (int model : {0, 1}) {
    SCOPED_TRACE("genetic model " + std::to_string(model));
    params.model = model;
    params.patients = "1 1 2 2\n1 1 1 1\n1 1 2 2\n";
    int32_t seed = 0;
    setUpRun(params.text(), &seed);
    const std::vector<double> cells = chains[0].tree.cells;
    EXPECT_EQ(drawsOf(&seed, [&] { movePhase(0, &seed); }), 0);
    EXPECT_EQ(chains[0].tree.cells, cells);

    // Data 1 and imputed -1 hold the same allele but differ as cells: one
    // exchange draw per call, and a decision when the exchange was made.
    params.patients = "1 -1 2 2\n1 1 1 1\n1 1 2 2\n";
    setUpRun(params.text(), &seed);
    EXPECT_EQ(drawCountsOf(&seed, 40, [&] { movePhase(0, &seed); }), (std::set<int>{1, 2}));
  }
}

}  // namespace
