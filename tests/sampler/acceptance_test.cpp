// The acceptance rule and the draws each move consumes. Draws are counted from
// the generator's state: every draw advances it by exactly one step of
// the minimal-standard recurrence, so the steps between the state before and
// after a move are the draws the move made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "sampler/allelemoves.h"
#include "sampler/chainiteration.h"
#include "support/runsetup.h"

namespace {

// Draws made from rng by move(); -1 when more than 10000.
int drawsOf(const Random& rng, const std::function<void()>& move) {
  int32_t state = rng.state().seed;
  move();
  for (int k = 0; k <= 10000; k++, state = static_cast<int32_t>(int64_t{state} * 16807 % 2147483647))
    if (state == rng.state().seed) return k;
  return -1;
}

// The distinct draw counts of `calls` consecutive calls.
std::set<int> drawCountsOf(const Random& rng, int calls, const std::function<void()>& move) {
  std::set<int> seen;
  for (int i = 0; i < calls; i++) seen.insert(drawsOf(rng, move));
  return seen;
}

// Data that carry no information: one allele per locus in controls and
// patients, frequencies fixed at 1, so every branch probability is 1.
ParamSpec uninformative() {
  ParamSpec p = uninformativeFiveByThree();
  p.adjust = "1 0.003 0.5 0.5 0.1";
  p.ageBounds = "1 50";
  return p;
}

TEST(AcceptanceRule, LocationsSampledWithoutInformationAreUniformOverTheBounds) {
  ParamSpec params = uninformative();
  params.burnIn = 200;
  params.iterations = 40000;
  const auto run = setUpRun(params.text());
  const RunSettings& s = run->settings;
  Chain& chain = run->chain();
  ASSERT_NEAR(chain.logLik, 0.0, 1e-9) << "the data should carry no information";
  const MoveContext ctx = run->context();
  std::vector<double> samples;
  for (long t = 0; t < s.burnIn + s.iterations; t++) {
    updateChain(chain, ctx);
    if (t >= s.burnIn) samples.push_back(chain.locationSample);
  }

  // Every 40th sample: the reflected walk with steps up to 0.003 forgets its
  // place on [0, 0.01] well within 40 iterations. Over 60 other seeds the
  // statistic averaged 9.8 and never passed the threshold.
  std::vector<int> counts(10, 0);
  for (long i = 0; i < s.iterations; i += 40) {
    const double x = samples[i];
    ASSERT_TRUE(x >= 0 && x <= 0.01) << x;
    counts[std::min(9, static_cast<int>(x / 0.001))]++;
  }
  double chiSquare = 0;
  for (int count : counts) chiSquare += (count - 100.0) * (count - 100.0) / 100.0;
  EXPECT_LT(chiSquare, 27.88) << "99.9% point of chi-square with 9 degrees of freedom";
}

TEST(DrawCounts, RootMoveMakesADecisionDrawOnlyWhenTheKernelRedrewAnAllele) {
  const auto run = setUpRun(uninformative().text());
  Chain& chain = run->chain();
  const std::vector<double> cells = chain.tree.cells;
  const MoveContext ctx = run->context();
  const auto move = [&] { moveRootHaplotype(chain, ctx); };

  run->control.root = 0.0;  // the kernel never redraws
  EXPECT_EQ(drawsOf(run->rng, move), 2) << "a locus and its redraw test, no decision";
  run->settings.flipAllLoci = true;
  EXPECT_EQ(drawsOf(run->rng, move), 3) << "one redraw test per locus, no decision";
  EXPECT_EQ(chain.accepted[MoveKind::Root], 0);
  EXPECT_EQ(chain.tree.cells, cells);

  // A redrawn allele equal to the old one (one label per locus) still counts
  // as a change: the proposal is scored and decided.
  run->control.root = 1.0;
  EXPECT_EQ(drawsOf(run->rng, move), 7) << "three tests, three alleles, decision";
  run->settings.flipAllLoci = false;
  EXPECT_EQ(drawsOf(run->rng, move), 4) << "locus, test, allele, decision";
  EXPECT_EQ(chain.accepted[MoveKind::Root], 2);
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
    const auto run = setUpRun(params.text());
    ASSERT_EQ(run->chain().missingLeaves.size(), 1u);
    const MoveContext ctx = run->context();
    EXPECT_EQ(drawCountsOf(run->rng, 60, [&] { moveMissingAlleles(run->chain(), ctx); }), (std::set<int>{1, 3}))
        << genotypes;
  }
  // At a locus with two labels a changed allele is decided: 4 draws.
  params.genotypes = 0;
  params.patients = "3 1 1\n1 1 -1\n";
  const auto run = setUpRun(params.text());
  const MoveContext ctx = run->context();
  EXPECT_EQ(drawCountsOf(run->rng, 60, [&] { moveMissingAlleles(run->chain(), ctx); }), (std::set<int>{1, 3, 4}));
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
    auto run = setUpRun(params.text());
    const std::vector<double> cells = run->chain().tree.cells;
    EXPECT_EQ(drawsOf(run->rng, [&] { movePhase(run->chain(), run->context()); }), 0);
    EXPECT_EQ(run->chain().tree.cells, cells);

    // Data 1 and imputed -1 hold the same allele but differ as cells: one
    // exchange draw per call, and a decision when the exchange was made.
    params.patients = "1 -1 2 2\n1 1 1 1\n1 1 2 2\n";
    run = setUpRun(params.text());
    EXPECT_EQ(drawCountsOf(run->rng, 40, [&] { movePhase(run->chain(), run->context()); }), (std::set<int>{1, 2}));
  }
}

}  // namespace
