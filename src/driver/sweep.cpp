#include "driver/sweep.h"

#include <iostream>

#include "sampler/sweep.h"

namespace {

// Chain 0's leaf haplotypes, at the file-update iterations after burn-in.
void tallyHaplotypes(const RunSettings& s, const Chain& chain0, HaplotypeTallies& tallies, long t) {
  if (!(t > s.burnIn && s.fileUpdate > 0 && t % s.fileUpdate == 0)) return;
  if (s.storesPopHaplotypes()) tallyPopulationHaplotypes(tallies, chain0.tree);
  if (s.storesIndHaplotypes()) tallyIndividualHaplotypes(tallies, chain0.tree);
}

}  // namespace

SweepEnd runSweeps(std::vector<Chain>& chains, const MoveContext& ctx, TraceReport& trace, HaplotypeTallies& tallies) {
  const RunSettings& s = ctx.settings;
  const long total = s.burnIn + s.iterations;
  trace.start();
  for (long t = 0; t < total; t++) {
    for (Chain& chain : chains) {
      updateChain(chain, ctx, t);
      storeProportions(chain, ctx, t);
      trace.reportChain(chain, ctx.control, t);
    }
    trace.endIteration(chains, t);
    if (pausePoint(ctx.control)) {
      if (ctx.control.stopSignalled.load())
        std::cout << "\nProgram will now be terminated, with data saved to output files" << std::endl;
      return SweepEnd{t, true};
    }
    tallyHaplotypes(s, chains[0], tallies, t);
  }
  return SweepEnd{total - 1, false};
}
