// Sporadic chromosomes (--sporadic): the indicator and share moves against
// exact sums, and the share's Beta draws.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/gibbsmoves.h"
#include "sampler/kernels.h"
#include "sampler/sporadicmoves.h"
#include "support/runsetup.h"

namespace {

#ifdef MUTLOC_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The draws of a chain, binned, in batches of equal length: their deviations
// from exact masses are standardised by the spread of the batches' means,
// which counts the draws' autocorrelation (the indicators of a lone founder
// leaf change slowly, as its parent's alleles follow it).
class BatchedBins {
 public:
  BatchedBins(int bins, int batches) : counts_(batches, std::vector<double>(bins, 0.0)) {}
  void add(int batch, int bin) { counts_[batch][bin]++; }
  // The sum of squared standardised deviations of the bins whose exact share
  // (mass over its total) is at least 1 %, the others pooled as one bin.
  double statistic(std::vector<double> mass) const {
    double total = 0;
    for (double m : mass) total += m;
    std::vector<int> binOf(mass.size());
    std::vector<double> share;
    int others = -1;
    for (size_t i = 0; i < mass.size(); i++) {
      if (mass[i] / total >= 0.01) {
        binOf[i] = static_cast<int>(share.size());
        share.push_back(mass[i] / total);
      } else {
        if (others < 0) {
          others = static_cast<int>(share.size());
          share.push_back(0);
        }
        binOf[i] = others;
        share[others] += mass[i] / total;
      }
    }
    const double batches = static_cast<double>(counts_.size());
    std::vector<double> sum(share.size(), 0.0), sumSq(share.size(), 0.0);
    for (const auto& batch : counts_) {
      double draws = 0;
      for (double c : batch) draws += c;
      std::vector<double> f(share.size(), 0.0);
      for (size_t i = 0; i < batch.size(); i++) f[binOf[i]] += batch[i] / draws;
      for (size_t j = 0; j < f.size(); j++) {
        sum[j] += f[j];
        sumSq[j] += f[j] * f[j];
      }
    }
    double statistic = 0;
    for (size_t j = 0; j < share.size(); j++) {
      const double mean = sum[j] / batches;
      const double variance = (sumSq[j] / batches - mean * mean) / (batches - 1);
      statistic += (mean - share[j]) * (mean - share[j]) / variance;
    }
    return statistic;
  }

 private:
  std::vector<std::vector<double>> counts_;
};

// The Beta(a, b) distribution function of whole a and b: the chance of at
// least a successes in a + b - 1 trials of probability x.
double betaCdf(int a, int b, double x) {
  const int trials = a + b - 1;
  double sum = 0, choose = 1;
  for (int j = 0; j <= trials; j++) {
    if (j >= a) sum += choose * std::pow(x, j) * std::pow(1 - x, trials - j);
    choose = choose * (trials - j) / (j + 1);
  }
  return sum;
}

// On the fixed genealogy of three leaves the joint posterior of the
// location, the ancestral and internal alleles, the three indicators and the
// share can be summed exactly: 2^9 allele states and 2^3 indicator states at
// each of 400 locations, the share integrated analytically (a Beta(2 + k,
// 3 + 3 - k) of k sporadic leaves). The moves must give the indicators' eight
// states, the share and the location their exact marginals. Over 10 seeds
// the statistics (about chi-square with up to 10 degrees of freedom) stayed
// below 8 (indicators), 23 (share) and 21 (location); with a sporadic child
// kept in its parent's allele conditionals the indicators' reached 48000 and
// more, with the indicators' prior odds left out 140, with the share drawn
// from Beta(a + k, b + n - k + 1) 160 (and the share's 16000).
TEST(SporadicMoves, GiveTheIndicatorsTheShareAndTheLocationTheirExactMarginalsOnAFixedGenealogy) {
  if (kSanitized) GTEST_SKIP() << "release builds only";
  ParamSpec p = threeLeavesOnThreeMarkers();
  p.seed = -19;
  p.iterate = "1 0 1 0";  // ancestral haplotype and location; age and frequencies fixed
  p.adjust = "1 0.004 0.3 0.3 0.1";
  const auto run = setUpRun(p.text());
  const RunSettings& s = run->settings;
  const SporadicPrior prior{2, 3};
  enableSporadic(run->setup.chains, s, prior);
  Chain& chain = run->chain();
  const MoveContext ctx = moveContextOf(s, run->control, run->setup, MoveOptions{true, false, false});
  TreeMatrix& m = chain.tree;
  const int firstAllele = m.layout.firstAllele;
  std::vector<int> internal, leaves;
  for (int r = 0; r < m.rows; r++) (isInternal(m, r) ? internal : leaves).push_back(r);
  ASSERT_EQ(internal.size(), 2u);
  ASSERT_EQ(leaves.size(), 3u);

  // Exact: by the midpoint rule on 400 cells of [0, 0.01], summed over every
  // allele and indicator state.
  const Chain saved = chain;
  std::vector<double> location(10, 0.0), indicators(8, 0.0);
  for (int cell = 0; cell < 400; cell++) {
    const double x = (cell + 0.5) * 0.01 / 400;
    for (int z = 0; z < 8; z++) {
      int k = 0;
      for (int i = 0; i < 3; i++) {
        chain.sporadic.leaf[leaves[i]] = z >> i & 1;
        k += z >> i & 1;
      }
      const double indicatorPrior = std::exp(std::lgamma(prior.a + k) + std::lgamma(prior.b + 3 - k) -
                                             std::lgamma(prior.a + prior.b + 3));
      for (int state = 0; state < 512; state++) {
        for (int j = 0; j < 3; j++) {
          chain.rootHaplotype[j] = 1 + (state >> j & 1);
          m[internal[0]][firstAllele + j] = 1 + (state >> (3 + j) & 1);
          m[internal[1]][firstAllele + j] = 1 + (state >> (6 + j) & 1);
        }
        const double logLik = rescoreTree(
            m, BranchModel{x, s.mapDist, chain.alleleFreq, chain.rootHaplotype, chain.sporadicLeaves()}, Rescore::All);
        const double mass =
            std::exp(logLik + rootHaplotypeLogProb(chain.alleleFreq, chain.rootHaplotype)) * indicatorPrior;
        location[cell / 40] += mass;
        indicators[z] += mass;
      }
    }
  }
  chain = saved;
  chain.rng = &run->rng;
  double total = 0;
  for (double mass : indicators) total += mass;
  std::vector<double> share(10, 0.0);
  for (int z = 0; z < 8; z++) {
    const int k = (z & 1) + (z >> 1 & 1) + (z >> 2 & 1);
    for (int bin = 0; bin < 10; bin++)
      share[bin] += indicators[z] / total * (betaCdf(2 + k, 6 - k, (bin + 1) / 10.0) - betaCdf(2 + k, 6 - k, bin / 10.0));
  }

  const long iterations = 1000000;
  const int batches = 50;
  BatchedBins locationBins(10, batches), indicatorBins(8, batches), shareBins(10, batches);
  for (long t = 0; t < iterations; t++) {
    moveMutLocationAcross(chain, ctx);
    gibbsRootHaplotype(chain, ctx);
    gibbsInternalAlleles(chain, ctx);
    moveSporadic(chain, ctx);
    if (t % 10 != 0) continue;
    const int batch = static_cast<int>(t * batches / iterations);
    locationBins.add(batch, std::min(9, static_cast<int>(chain.mutLocation / 0.001)));
    int z = 0;
    for (int i = 0; i < 3; i++) z |= chain.sporadic.leaf[leaves[i]] << i;
    indicatorBins.add(batch, z);
    shareBins.add(batch, std::min(9, static_cast<int>(chain.sporadic.share * 10)));
  }
  EXPECT_LT(indicatorBins.statistic(indicators), 35) << "the indicators";
  EXPECT_LT(shareBins.statistic(share), 35) << "the share";
  EXPECT_LT(locationBins.statistic(location), 35) << "the location";
}

// Beta draws of small, even and large shapes: the mean and variance of
// 40000 draws within five standard errors, every draw inside (0, 1).
TEST(DrawBeta, HasTheMeanAndVarianceOfItsShapesAndStaysInsideTheUnitInterval) {
  Random rng = Random::pcgStream(21, 0);
  for (const auto& [a, b] : std::vector<std::pair<double, double>>{{0.3, 0.7}, {1, 1}, {2, 30}, {400, 5}}) {
    const int n = 40000;
    double sum = 0, sumSq = 0;
    for (int i = 0; i < n; i++) {
      const double x = drawBeta(a, b, rng);
      ASSERT_TRUE(x > 0 && x < 1) << x;
      sum += x;
      sumSq += x * x;
    }
    const double mean = a / (a + b), variance = a * b / ((a + b) * (a + b) * (a + b + 1));
    EXPECT_NEAR(sum / n, mean, 5 * std::sqrt(variance / n)) << a << " " << b;
    EXPECT_NEAR(sumSq / n - (sum / n) * (sum / n), variance, 5 * variance * std::sqrt(2.0 / n) + 1e-12) << a << " " << b;
  }
  EXPECT_GT(drawBeta(1e-3, 1e-3, rng), 0.0) << "shapes that round a draw onto an edge";
}

}  // namespace
