// The mixing options must sample the posterior the default moves sample.
// With data that carry no information the posterior is the prior, known
// exactly: the location is uniform and the node times follow the coalescent
// prior. On a small informative data set, where the default moves mix, each
// option alone and all of them together give the default moves' location and
// age distributions. Long runs: release builds only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/allelemoves.h"
#include "sampler/gibbsmoves.h"
#include "sampler/chainsetup.h"
#include "sampler/chainiteration.h"
#include "sampler/tempering.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

#ifdef MUTLOC_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The two-sample Kolmogorov-Smirnov statistic, scaled by sqrt(nm / (n + m)):
// about 1.95 is its 99.9 % point for independent draws.
double ksStatistic(std::vector<double> a, std::vector<double> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  const double n = a.size(), m = b.size();
  size_t i = 0, j = 0;
  double d = 0;
  while (i < a.size() && j < b.size()) {
    const double x = std::min(a[i], b[j]);
    while (i < a.size() && a[i] <= x) i++;
    while (j < b.size() && b[j] <= x) j++;
    d = std::max(d, std::fabs(i / n - j / m));
  }
  return d * std::sqrt(n * m / (n + m));
}

// The node-time distribution function of a population growing at rate r of
// which K was sampled, and its inverse.
double nodeTimeCdf(double s, double K, double r) {
  const double z = std::exp(-r * s);
  return K * (1 - z) / (K - (K - 2 * r) * z);
}
double nodeTimeQuantile(double y, double K, double r) {
  return -std::log(K * (1 - y) / (K - y * (K - 2 * r))) / r;
}

struct PriorDraw {
  double age, oldest, youngest;  // the mutation age, the root's and the youngest internal node's times
};

// Exact draws from the prior: the age is the largest of n node times, kept
// within its bounds; the n-1 internal node times are node times below it.
std::vector<PriorDraw> priorDraws(int n, double K, double r, double low, double high, int count, Random& rng) {
  std::vector<PriorDraw> draws;
  const double from = std::pow(nodeTimeCdf(low, K, r), n), to = std::pow(nodeTimeCdf(high, K, r), n);
  for (int i = 0; i < count; i++) {
    const double age = nodeTimeQuantile(std::pow(from + (to - from) * rng.uniform(), 1.0 / n), K, r);
    const double top = nodeTimeCdf(age, K, r);
    PriorDraw draw{age, 0, age};
    for (int k = 0; k < n - 1; k++) {
      const double t = nodeTimeQuantile(top * rng.uniform(), K, r);
      draw.oldest = std::max(draw.oldest, t);
      draw.youngest = std::min(draw.youngest, t);
    }
    draws.push_back(draw);
  }
  return draws;
}

// One allele per locus everywhere: every branch probability is 1.
ParamSpec uninformative() {
  ParamSpec p = uninformativeFiveByThree();
  p.growth = 0.05;
  p.adjust = "3 0.003 0.5 0.5 0.1";
  p.ageBounds = "1 60";
  return p;
}

struct PriorCase {
  const char* name;
  MoveOptions moves;
  bool companion;  // a heated companion swapping with the chain
  bool sporadic = false;  // sporadic chromosomes, their share of prior Beta(1, 3)
};
void PrintTo(const PriorCase& c, std::ostream* out) { *out << c.name; }

class SamplesThePrior : public testing::TestWithParam<PriorCase> {};

TEST_P(SamplesThePrior, WithoutInformationTheLocationIsUniformAndTheNodeTimesFollowThePrior) {
  if (kSanitized) GTEST_SKIP() << "release builds only";
  const auto run = setUpRun(uninformative().text());
  const RunSettings& s = run->settings;
  std::vector<Chain>& chains = run->setup.chains;
  ASSERT_NEAR(chains[0].logLik, 0.0, 1e-9) << "the data should carry no information";
  if (GetParam().sporadic) enableSporadic(chains, s, SporadicPrior{1, 3});
  run->control.nodeTime = 60;
  run->control.scale = 0.5;
  const MoveContext ctx = moveContextOf(s, run->control, run->setup, GetParam().moves);
  // With no information every temperature has the same target.
  std::vector<Random> companionStreams{Random::pcgStream(3, 0)}, swapStreams{Random::pcgStream(3, 1)};
  std::vector<StepSet> levelSteps(1);
  levelSteps[0].take(s.steps);
  SamplingOptions heating;
  heating.heated = 1;
  heating.hottest = 0.5;
  Tempering tempering;
  if (GetParam().companion) tempering = Tempering(chains, heating, companionStreams, swapStreams, levelSteps);

  // Every 20th of 200000 iterations. Over 10 seeds of each case the
  // chi-square stayed below 21 and the Kolmogorov-Smirnov statistics below
  // 2.8 (near-independent draws); the genealogy move without its Hastings
  // term gives ages about 30 % too young, statistics near 40. The share of
  // sporadic chromosomes: below 0.94 over 6 seeds.
  std::vector<double> locations, ages, oldest, youngest, shares;
  const int n = s.numChrom;
  for (long t = 0; t < 200000; t++) {
    for (Chain* record : tempering.records(chains)) updateChain(*record, ctx);
    if (tempering.active()) tempering.proposeSwaps(chains);
    if (t < 1000 || t % 20 != 0) continue;
    const Chain& chain = chains[0];
    locations.push_back(chain.locationSample);
    ages.push_back(chain.mutAge);
    oldest.push_back(chain.sortedTimes[2 * n - 2]);
    youngest.push_back(chain.sortedTimes[n]);
    shares.push_back(chain.sporadic.share);
  }
  if (tempering.active()) {
    EXPECT_GT(tempering.acceptedSwaps(0, 0), 0);
  }

  std::vector<int> counts(10, 0);
  for (double x : locations) counts[std::min(9, static_cast<int>(x / 0.001))]++;
  double chiSquare = 0;
  const double expected = locations.size() / 10.0;
  for (int count : counts) chiSquare += (count - expected) * (count - expected) / expected;
  EXPECT_LT(chiSquare, 27.88) << "99.9% point of chi-square with 9 degrees of freedom";

  Random rng = Random::pcgStream(11, 0);
  std::vector<double> priorAges, priorOldest, priorYoungest;
  for (const PriorDraw& draw : priorDraws(n, s.propSampled, s.growthRate, s.mutAgeLow, s.mutAgeHigh, 20000, rng)) {
    priorAges.push_back(draw.age);
    priorOldest.push_back(draw.oldest);
    priorYoungest.push_back(draw.youngest);
  }
  EXPECT_LT(ksStatistic(ages, priorAges), 3.5) << "mutation age";
  EXPECT_LT(ksStatistic(oldest, priorOldest), 3.5) << "root time";
  EXPECT_LT(ksStatistic(youngest, priorYoungest), 3.5) << "youngest node time";
  if (!GetParam().sporadic) return;
  // Beta(1, 3) by inversion: 1 - (1 - u)^(1/3).
  std::vector<double> priorShares;
  for (int i = 0; i < 20000; i++) priorShares.push_back(1 - std::cbrt(1 - rng.uniform()));
  EXPECT_LT(ksStatistic(shares, priorShares), 3.5) << "share of sporadic chromosomes";
}

INSTANTIATE_TEST_SUITE_P(
    MixingMoves, SamplesThePrior,
    testing::Values(PriorCase{"DefaultMoves", MoveOptions{}, false},
                    PriorCase{"AllMovesWithACompanion", MoveOptions{true, true, false}, true},
                    PriorCase{"AllMovesWithSporadicChromosomes", MoveOptions{true, true, false}, false, true}),
    [](const testing::TestParamInfo<PriorCase>& info) { return std::string(info.param.name); });

// On a fixed genealogy of three leaves, with two alleles at each of three
// markers, the joint posterior of the location, the ancestral haplotype and
// the internal alleles can be summed exactly: 2^9 allele states at each of 400
// locations. The Gibbs allele moves and the location move that redraws the
// crossed markers' alleles must give the location its exact marginal. Over 8
// seeds the chi-square stayed below 21; without the redraws' probabilities in
// its acceptance ratio the location move gave 25-94 (55 at this seed).
TEST(MixingMoves, TheAlleleMovesGiveTheLocationItsExactMarginalOnAFixedGenealogy) {
  if (kSanitized) GTEST_SKIP() << "release builds only";
  ParamSpec p = threeLeavesOnThreeMarkers();
  p.seed = -19;
  p.iterate = "1 0 1 0";  // ancestral haplotype and location; age and frequencies fixed
  p.adjust = "1 0.004 0.3 0.3 0.1";
  const auto run = setUpRun(p.text());
  const RunSettings& s = run->settings;
  Chain& chain = run->chain();
  const MoveContext ctx = moveContextOf(s, run->control, run->setup, MoveOptions{true, false, false});
  TreeMatrix& m = chain.tree;
  const int firstAllele = m.layout.firstAllele;
  std::vector<int> internal;
  for (int r = 0; r < m.rows; r++)
    if (cellInt(m[r][LeftChild]) != -1) internal.push_back(r);
  ASSERT_EQ(internal.size(), 2u);

  // Exact: the posterior mass of each tenth of [0, 0.01], by the midpoint
  // rule on 400 cells, summed over every allele state.
  const Chain saved = chain;
  std::vector<double> exact(10, 0.0);
  for (int cell = 0; cell < 400; cell++) {
    const double x = (cell + 0.5) * 0.01 / 400;
    for (int state = 0; state < 512; state++) {
      for (int k = 0; k < 3; k++) {
        chain.rootHaplotype[k] = 1 + (state >> k & 1);
        m[internal[0]][firstAllele + k] = 1 + (state >> (3 + k) & 1);
        m[internal[1]][firstAllele + k] = 1 + (state >> (6 + k) & 1);
      }
      const double logLik = rescoreTree(m, BranchModel{x, s.mapDist, chain.alleleFreq, chain.rootHaplotype}, Rescore::All);
      exact[cell / 40] += std::exp(logLik + rootHaplotypeLogProb(chain.alleleFreq, chain.rootHaplotype));
    }
  }
  chain = saved;
  chain.rng = &run->rng;
  double total = 0;
  for (double mass : exact) total += mass;

  std::vector<int> counts(10, 0);
  int samples = 0;
  for (long t = 0; t < 1000000; t++) {
    moveMutLocationAcross(chain, ctx);
    gibbsRootHaplotype(chain, ctx);
    gibbsInternalAlleles(chain, ctx);
    if (t >= 1000 && t % 10 == 0) {
      counts[std::min(9, static_cast<int>(chain.mutLocation / 0.001))]++;
      samples++;
    }
  }
  double chiSquare = 0;
  for (int bin = 0; bin < 10; bin++) {
    const double expected = samples * exact[bin] / total;
    chiSquare += (counts[bin] - expected) * (counts[bin] - expected) / expected;
  }
  EXPECT_LT(chiSquare, 27.88) << "99.9% point of chi-square with 9 degrees of freedom";
}

// Five chromosomes and three markers, informative enough that the location
// and age are far from their priors; the default moves mix here.
ParamSpec smallInformative(int seed) {
  ParamSpec p = threeChainsOnThreeMarkers();
  p.seed = seed;
  p.chromosomes = 5;
  p.burnIn = 2000;
  p.iterations = 100000;
  p.updates = "0 20 1 1 0";  // a ".dat" line every 20 iterations
  p.ageBounds = "1 60";
  p.patients = "2 1 1 1\n1 2 1 3\n1 1 2 1\n1 1 1 2\n";
  return p;
}

struct Draws {
  std::vector<double> locations, ages;
};

// Every chain's location and age on the ".dat" lines of the sampling
// iterations (ten values a chain a line).
Draws runDraws(const ParamSpec& p, std::vector<std::string> options) {
  ScratchDir dir;
  dir.write("p.txt", p.text());
  options.insert(options.begin(), {"p.txt", "--no-menu", "-q"});
  const RunResult run = runMutloc(dir, options, "", 600);
  EXPECT_EQ(run.status, 0) << run.err;
  Draws draws;
  std::istringstream dat(dir.read("p.txt.dat"));
  for (std::string line; std::getline(dat, line);) {
    std::istringstream fields(line);
    std::vector<double> v;
    for (double x; fields >> x;) v.push_back(x);
    if (v.empty() || v[0] < p.burnIn) continue;
    for (int c = 0; c < p.chains && 10 * c + 3 < static_cast<int>(v.size()); c++) {
      draws.locations.push_back(v[10 * c + 1]);
      draws.ages.push_back(v[10 * c + 3]);
    }
  }
  return draws;
}

// The default moves against each
// option alone, all of them with heating, and the sporadic chromosomes' model
// at a share of 0 (the model without them: over 4 pairs of seeds 2.7 for the
// location, 1.8 for the age). Over 8 pairs of seeds the
// statistics of two default runs reached 5.7 for the location (its draws are
// the more correlated) and 2.2 for the age, those of an option against the
// default 4.9 and 3.7; the scaling move without its Jacobian gave ages at 19-20.
TEST(MixingOptions, OnASmallDataSetEachOptionGivesTheLocationAndAgeDistributionsOfTheDefaultMoves) {
  if (kSanitized) GTEST_SKIP() << "release builds only";
  const Draws reference = runDraws(smallInformative(-1001), {});
  const std::vector<std::vector<std::string>> cases = {{"--gibbs"},
                                                       {"--local-moves"},
                                                       {"--heated", "2", "--hottest", "0.3"},
                                                       {"--tune"},
                                                       {"--smart-start", "--overdispersed"},
                                                       {"--mix", "--heated", "2", "--hottest", "0.3"},
                                                       {"--mix", "--sporadic", "--sporadic-share", "0"}};
  for (std::vector<std::string> options : cases) {
    std::string name;
    for (const std::string& word : options) name += " " + word;
    SCOPED_TRACE(name);
    const Draws draws = runDraws(smallInformative(-2001), options);
    ASSERT_GT(draws.locations.size(), 10000u);
    EXPECT_LT(ksStatistic(draws.locations, reference.locations), 7.0) << "location";
    EXPECT_LT(ksStatistic(draws.ages, reference.ages), 5.0) << "age";
  }
}

// Four genotyped individuals on the same three markers (one allele
// missing), under either genetic model.
ParamSpec smallGenotypes(int model, int seed) {
  ParamSpec p = smallInformative(seed);
  p.genotypes = 1;
  p.model = model;
  p.chromosomes = 8;
  p.patients = "1 2 1 1 2 3\n2 2 -1 1 1 2\n1 2 2 1 3 1\n1 1 1 2 2 2\n";
  return p;
}

// The whole-phase draw (part of --gibbs for genotypes) against the default
// moves, which flip one marker's phase at a time. Over 4 pairs of seeds per
// model the statistics of two default runs reached 1.8 (location) and 2.5
// (age) under model 0, 12.3 and 1.8 under model 1, whose default location
// draws are strongly correlated; --gibbs against the default 1.9 and 3.1,
// 10.5 and 2.8.
TEST(MixingOptions, OnSmallGenotypeDataTheWholePhaseDrawGivesTheDistributionsOfTheDefaultMoves) {
  if (kSanitized) GTEST_SKIP() << "release builds only";
  for (const auto& [model, locationBound] : {std::pair{0, 4.0}, std::pair{1, 14.0}}) {
    SCOPED_TRACE("genetic model " + std::to_string(model));
    const Draws reference = runDraws(smallGenotypes(model, -1001), {});
    const Draws draws = runDraws(smallGenotypes(model, -3001), {"--gibbs"});
    ASSERT_GT(draws.locations.size(), 10000u);
    EXPECT_LT(ksStatistic(draws.locations, reference.locations), locationBound) << "location";
    EXPECT_LT(ksStatistic(draws.ages, reference.ages), 4.5) << "age";
  }
}

}  // namespace
