#include "driver/runloop.h"

#include <cmath>
#include <iostream>
#include <sstream>
#include <utility>

#include "sampler/chainiteration.h"

namespace {

// Chain 0's leaf haplotypes, at the file-update iterations after burn-in.
void tallyHaplotypes(const RunSettings& s, const Chain& chain0, HaplotypeTallies& tallies, long t) {
  if (!(t > s.burnIn && s.fileUpdate > 0 && t % s.fileUpdate == 0)) return;
  if (s.storesPopHaplotypes()) tallyPopulationHaplotypes(tallies, chain0.tree);
  if (s.storesIndHaplotypes()) tallyIndividualHaplotypes(tallies, chain0.tree);
}

// The line that ends a run whose chain or companion holds a term no state
// can have, or "".
std::string brokenTermReport(const std::vector<Chain>& chains, const Tempering* tempering, long t) {
  std::vector<const Chain*> all;
  if (tempering)
    all = tempering->records(chains);
  else
    for (const Chain& chain : chains) all.push_back(&chain);
  for (const Chain* record : all) {
    const StoredTerm term = brokenTerm(*record);
    if (!term.name) continue;
    std::ostringstream line;
    line << "The " << term.name << " of " << recordName(*record) << " became "
         << (std::isnan(term.value) ? "NaN" : "+inf") << " in iteration " << t
         << "; the run stopped there with the results of the iterations before.";
    return line.str();
  }
  return "";
}

}  // namespace

SweepEnd runSweeps(std::vector<Chain>& chains, const MoveContext& ctx, TraceReport& trace, HaplotypeTallies& tallies,
                   const SweepPlan& plan) {
  const RunSettings& s = ctx.settings;
  long total = plan.total > 0 ? plan.total : s.burnIn + s.iterations;
  trace.setEnd(total);
  if (plan.firstIteration > 0) tallyHaplotypes(s, chains[0], tallies, plan.firstIteration - 1);
  trace.start(plan.firstIteration);
  bool timeEnded = false;
  for (long t = plan.firstIteration; t < total; t++) {
    if (plan.update) plan.update(chains);
    // Known before the reports, so that the last iteration has its ".dat" line.
    if (plan.timeUp && t + 1 < total && plan.timeUp()) {
      total = t + 1;
      trace.setEnd(total);
      timeEnded = true;
    }
    for (Chain& chain : chains) {
      if (!plan.update) updateChain(chain, ctx);
      storeProportions(chain, ctx, t);
      trace.reportChain(chain, ctx.control, t);
    }
    trace.endIteration(chains, t);
    // Checked after the trace line (which shows the broken value) and before
    // the samples: nothing sampled from here on would mean anything.
    std::string broken = brokenTermReport(chains, plan.tempering, t);
    if (!broken.empty()) return SweepEnd{t - 1, true, std::move(broken)};
    if (plan.afterIteration) plan.afterIteration(t);
    if (plan.samples && t >= s.burnIn) plan.samples->append(chains);
    if (plan.founders && t >= s.burnIn) plan.founders->add(chains);
    // The round's test before the checkpoint: a run that goes on writes it.
    if (plan.roundEnded && t + 1 == total && !timeEnded) {
      total = plan.roundEnded(t);
      trace.setEnd(total);
    }
    const bool checkpointing = plan.checkpointEvery > 0;
    if (checkpointing && (t + 1) % plan.checkpointEvery == 0 && t + 1 < total) plan.checkpoint(t);
    // A stop asked for during the last iteration comes too late to cut the run.
    if (pausePoint(ctx.control) && t + 1 < total) {
      if (ctx.control.stopSignal.load() != 0)
        std::cout << "\nProgram will now be terminated, with data saved to output files" << std::endl;
      if (checkpointing) plan.checkpoint(t);
      return SweepEnd{t, true, ""};
    }
    tallyHaplotypes(s, chains[0], tallies, t);
  }
  return SweepEnd{total - 1, false, ""};
}
