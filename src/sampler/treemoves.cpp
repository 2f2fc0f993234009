#include "sampler/treemoves.h"

#include <utility>

#include "genealogy/treeops.h"
#include "input/parameters.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/acceptance.h"
#include "sampler/chainstate.h"
#include "sampler/kernels.h"
#include "sampler/random.h"

bool proposeMutAge(int c, int32_t* seed) {
  pset.curMutAge = pset.mutAge[c];
  if (pset.iterAge == 0 || pset.starGenealogy != 0) return false;
  double age = pset.curMutAge + (2 * ran1(seed) - 1) * stepSize(pset.adjTree);
  if (age < pset.mutAgeLow) age = 2 * pset.mutAgeLow - age;
  if (age > pset.mutAgeHigh) age = 2 * pset.mutAgeHigh - age;
  pset.curMutAge = age;
  return true;
}

void moveGenealogy(int c, int32_t* seed) {
  // An age at or below 0 leaves no room for node times: no proposal.
  if (!(pset.curMutAge > 0)) return;
  ChainState& chain = chains[c];
  const int n = pset.numChrom;
  const int N = 2 * n - 1;
  labelOrder.resize(N);
  rotate_nodes(chain.tree, n, seed);
  copytree(chain.tree, chain.proposalTree);
  getlabelorder(0, chain.rootLabel, N, labelOrder, chain.tree);
  adjcoaltimes(chain.proposalTree, n, seed);
  timeOrder(chain.proposalTree, rowsByTime);
  for (int i = 0; i < N; i++) sortedTimesProposal[i] = chain.proposalTree[rowsByTime[i]][Time];
  const int proposedRoot = cellInt(chain.proposalTree[rowsByTime[N - 1]][Label]);
  reassignnodes(chain.proposalTree, rowsByTime, labelOrder);

  proposedLogLik = 0;
  tprob(chain.proposalTree, pset.mutLocation[c], pset.mapDist, &proposedLogLik, pset.alleleFreq[c],
        pset.rootHaplotype[c], -1, 0);
  const double agePrior = tpriormut(n, pset.curMutAge, pset.growthRate);
  const double timesPrior = tprior(n, sortedTimesProposal, pset.propSampled, pset.growthRate);
  const double d = (proposedLogLik + timesPrior + agePrior) - (chain.logLik + chain.coalPrior + chain.mutAgePrior);
  if (!accepted(d, seed)) return;
  // The proposal becomes the current genealogy; the old one is scratch now.
  std::swap(chain.tree, chain.proposalTree);
  chain.sortedTimes = sortedTimesProposal;
  chain.logLik = proposedLogLik;
  chain.rootLabel = proposedRoot;
  chain.coalPrior = timesPrior;
  chain.mutAgePrior = agePrior;
  chain.acceptTree++;
  pset.mutAge[c] = pset.curMutAge;
}

void moveMutLocation(int c, int32_t* seed) {
  ChainState& chain = chains[c];
  double x = pset.mutLocation[c];
  adjrecrate(x, seed);
  for (int r = 0; r < chain.tree.rows; r++) branchLogLikSaved[r] = chain.tree[r][BranchLogLik];
  proposedLogLik = 0;
  tprob(chain.tree, x, pset.mapDist, &proposedLogLik, pset.alleleFreq[c], pset.rootHaplotype[c], -1, 0);
  double prior = 0;
  double d = proposedLogLik - chain.logLik;
  Decision rule = Decision::Strict;
  if (pset.useSeqWeights == 1) {
    prior = sequenceprob(x);
    d = (proposedLogLik + prior) - (chain.logLik + chain.mutLocPrior);
    if (isForbiddenLocation(prior)) rule = Decision::Forbidden;
  }
  if (accepted(d, seed, rule)) {
    pset.mutLocation[c] = x;
    chain.logLik = proposedLogLik;
    chain.mutLocPrior = prior;
    chain.acceptMutLoc++;
  } else {
    restoreBranchLogLikColumn(chain.tree, branchLogLikSaved);
  }
}
