#include "sampler/sweep.h"

#include "sampler/allelemoves.h"
#include "sampler/gibbsmoves.h"
#include "sampler/localmoves.h"
#include "sampler/treemoves.h"

void updateChain(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  const bool gibbs = ctx.moves.gibbs;
  if (s.iterFreq) moveAlleleFreqs(chain, ctx);
  if (ctx.hasMissing) moveMissingAlleles(chain, ctx);
  chain.ageSample = proposeMutAge(chain, ctx) ? chain.mutAge : 0;
  moveGenealogy(chain, ctx);
  if (ctx.moves.localMoves) {
    moveNodeTimes(chain, ctx);
    moveExchanges(chain, ctx);
    moveTreeScale(chain, ctx);
  }
  if (s.iterLocation) gibbs ? moveMutLocationAcross(chain, ctx) : moveMutLocation(chain, ctx);
  chain.locationSample = chain.mutLocation;
  if (s.iterRoot) gibbs ? gibbsRootHaplotype(chain, ctx) : moveRootHaplotype(chain, ctx);
  gibbs ? gibbsInternalAlleles(chain, ctx) : moveInternalAlleles(chain, ctx);
  if (s.genotypes) movePhase(chain, ctx);
}

void acceptanceProportions(const Chain& chain, const MoveContext& ctx, long t, double out[kMoveKinds]) {
  const long k = t + 1;
  out[0] = static_cast<double>(chain.acceptTree) / k;
  out[1] = static_cast<double>(chain.acceptMutLoc) / k;
  out[2] = static_cast<double>(chain.acceptRoot) / k;
  out[3] = static_cast<double>(chain.acceptInternal) / ((ctx.settings.numChrom - 1) * k);
  out[4] = static_cast<double>(chain.acceptFreq) / (k * ctx.lociPerFreqMove);
}

void storeProportions(const Chain& chain, const MoveContext& ctx, long t) {
  double values[kMoveKinds];
  acceptanceProportions(chain, ctx, t, values);
  for (int kind = 0; kind < kMoveKinds; kind++) ctx.control.props[kind][chain.index].store(values[kind]);
}

bool pausePoint(SharedControl& control) {
  pthread_mutex_lock(&control.pauseMutex);
  pthread_mutex_unlock(&control.pauseMutex);
  return control.stopRequested.load() != 0;
}
