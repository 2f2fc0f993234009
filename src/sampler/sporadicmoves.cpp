#include "sampler/sporadicmoves.h"

#include <cmath>

#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/allelemoves.h"
#include "sampler/kernels.h"

void moveSporadic(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  SporadicState& sporadic = chain.sporadic;
  TreeMatrix& m = chain.tree;
  Random& rng = *chain.rng;
  const BranchModel model = branchModelOf(chain, s);
  const double priorLogOdds = std::log(sporadic.share) - std::log1p(-sporadic.share);
  bool changed = false;
  for (int r = 0; r < m.rows; r++) {
    if (isInternal(m, r)) continue;
    // The leaf's branch term under its current indicator is stored; the
    // other is formed as a rescoring would form it.
    const bool was = sporadic.leaf[r] != 0;
    const double stored = m[r][BranchLogLik];
    const double population = was ? stored : std::log(populationProbability(m, r, chain.alleleFreq));
    const double founder = was ? std::log(branchProbability(m, r, model)) : stored;
    const double logOdds = priorLogOdds + chain.beta * (population - founder);
    const double u = rng.uniform();
    // Both terms -inf: no indicator makes the state possible; it stays.
    if (std::isnan(logOdds)) continue;
    const bool now = u < 1 / (1 + std::exp(-logOdds));
    if (now == was) continue;
    sporadic.leaf[r] = now;
    restoreBranchLogLik(m, r, now ? population : founder);
    changed = true;
  }
  if (changed) chain.logLik = logLikTotal(m);
  const int count = sporadic.count();
  if (!sporadic.prior.fixed())
    sporadic.share = drawBeta(sporadic.prior.a + count, sporadic.prior.b + s.numChrom - count, rng);
  sporadic.logPrior = sporadicLogPrior(count, s.numChrom, sporadic.share, sporadic.prior);
}
