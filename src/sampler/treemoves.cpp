#include "sampler/treemoves.h"

#include <utility>

#include "genealogy/treeops.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/acceptance.h"
#include "sampler/allelemoves.h"
#include "sampler/kernels.h"

bool proposeMutAge(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  chain.proposedAge = chain.mutAge;
  if (!s.iterAge || s.starGenealogy) return false;
  const double stepped = chain.proposedAge + (2 * chain.rng->uniform() - 1) * chain.steps->tree.load();
  double age = stepped;
  if (age < s.mutAgeLow) age = 2 * s.mutAgeLow - age;
  if (age > s.mutAgeHigh) age = 2 * s.mutAgeHigh - age;
  // A step wider than the age range can bounce past the other bound; the fold
  // goes on as often as it takes. (Within one reflection it gives the same
  // age, but rounds differently, so the common case keeps the two lines above.)
  if (!(age >= s.mutAgeLow && age <= s.mutAgeHigh)) age = foldIntoRange(stepped, s.mutAgeLow, s.mutAgeHigh);
  chain.proposedAge = age;
  return true;
}

void moveGenealogy(Chain& chain, const MoveContext& ctx) {
  const double age = chain.proposedAge;
  // An age at or below 0 leaves no room for node times: no proposal.
  if (!(age > 0)) return;
  const RunSettings& s = ctx.settings;
  Random& rng = *chain.rng;
  MoveScratch& scratch = chain.scratch;
  TreeMatrix& proposal = chain.proposalTree;
  const int n = s.numChrom;
  const int N = 2 * n - 1;
  swapChildrenAtRandom(chain.tree, rng);
  copyTree(chain.tree, proposal);
  inOrderLabels(chain.tree, chain.rootLabel, scratch.labelOrder);
  const double step = chain.steps->tree.load();
  perturbNodeTimes(proposal, step, age, rng);
  // The times were folded into [0, age], the reverse move folds into the
  // current age: unless the two agree the proposal is not symmetric.
  const double hastings =
      ctx.moves.symmetricGenealogy ? 0 : perturbationLogRatio(chain.tree, proposal, step, chain.mutAge, age);
  timeOrder(proposal, scratch.rowsByTime);
  for (int i = 0; i < N; i++) scratch.sortedTimesProposal[i] = proposal[scratch.rowsByTime[i]][Time];
  const int proposedRoot = cellInt(proposal[scratch.rowsByTime[N - 1]][Label]);
  rebuildFromSequence(proposal, scratch.rowsByTime, scratch.labelOrder, age, scratch.links);

  const double proposedLogLik = rescoreTree(proposal, branchModelOf(chain, s), Rescore::All);
  const double agePrior = mutationAgeLogPrior(n, age, s.growthRate, s.propSampled);
  const double timesPrior = nodeTimesLogPrior(n, scratch.sortedTimesProposal, s.propSampled, s.growthRate, age);
  const double logRatio = temperedChange(
      chain, proposedLogLik - chain.logLik, (timesPrior - chain.coalPrior) + (agePrior - chain.mutAgePrior),
      [&] { return (proposedLogLik + timesPrior + agePrior) - (chain.logLik + chain.coalPrior + chain.mutAgePrior); });
  if (!accepted(ctx.moves.symmetricGenealogy ? logRatio : logRatio + hastings, rng)) return;
  // The proposal becomes the current genealogy; the old one is scratch now.
  std::swap(chain.tree, chain.proposalTree);
  chain.sortedTimes = scratch.sortedTimesProposal;
  chain.logLik = proposedLogLik;
  chain.rootLabel = proposedRoot;
  chain.coalPrior = timesPrior;
  chain.mutAgePrior = agePrior;
  chain.accepted[MoveKind::Genealogy]++;
  chain.mutAge = age;
}

void moveMutLocation(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  Random& rng = *chain.rng;
  std::vector<double>& savedColumn = chain.scratch.branchLogLiks;
  double x = chain.mutLocation;
  proposeLocation(x, s.mutLocLow, s.mutLocHigh, chain.steps->location, rng);
  for (int r = 0; r < chain.tree.rows; r++) savedColumn[r] = chain.tree[r][BranchLogLik];
  const BranchModel model{x, s.mapDist, chain.alleleFreq, chain.rootHaplotype, chain.sporadicLeaves()};
  const double proposed = rescoreTree(chain.tree, model, Rescore::All);
  double prior = 0;
  Decision rule = Decision::Strict;
  if (s.useSeqWeights) {
    prior = locationLogPrior(s.segments, x);
    if (isForbiddenLocation(prior)) rule = Decision::Forbidden;
  }
  const double logRatio = temperedChange(chain, proposed - chain.logLik, prior - chain.mutLocPrior, [&] {
    return s.useSeqWeights ? (proposed + prior) - (chain.logLik + chain.mutLocPrior) : proposed - chain.logLik;
  });
  if (accepted(logRatio, rng, rule)) {
    chain.mutLocation = x;
    chain.logLik = proposed;
    chain.mutLocPrior = prior;
    chain.accepted[MoveKind::Location]++;
  } else {
    restoreBranchLogLikColumn(chain.tree, savedColumn);
  }
}
