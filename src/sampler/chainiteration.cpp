#include "sampler/chainiteration.h"

#include "sampler/allelemoves.h"
#include "sampler/gibbsmoves.h"
#include "sampler/localmoves.h"
#include "sampler/phasemove.h"
#include "sampler/sporadicmoves.h"
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
  if (s.genotypes) ctx.moves.gibbsPhase ? gibbsPhase(chain, ctx) : movePhase(chain, ctx);
  if (chain.sporadic.active()) moveSporadic(chain, ctx);
}

std::array<double, kMoveKinds> acceptanceProportions(const Chain& chain, const MoveContext& ctx, long t) {
  const long k = t + 1;
  // Proposals per iteration: one of each move, one internal-node move per
  // internal node, one frequency move per locus it proposes.
  const double proposed[kMoveKinds] = {1.0 * k, 1.0 * k, 1.0 * k, 1.0 * (ctx.settings.numChrom - 1) * k,
                                       1.0 * k * ctx.lociPerFreqMove};
  std::array<double, kMoveKinds> out{};
  for (int kind = 0; kind < kMoveKinds; kind++)
    out[kind] = static_cast<double>(chain.accepted[static_cast<MoveKind>(kind)]) / proposed[kind];
  return out;
}

void storeProportions(const Chain& chain, const MoveContext& ctx, long t) {
  const auto values = acceptanceProportions(chain, ctx, t);
  for (int kind = 0; kind < kMoveKinds; kind++) ctx.control.acceptance[kind][chain.index].store(values[kind]);
}

bool pausePoint(SharedControl& control) {
  pthread_mutex_lock(&control.pauseMutex);
  pthread_mutex_unlock(&control.pauseMutex);
  return control.stopRequested.load() != 0;
}
