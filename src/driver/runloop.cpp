#include "driver/runloop.h"

#include <algorithm>
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

// The last iteration of a stretch of chains running ahead that starts at t:
// no further than plan.aheadSteps iterations, the run's or round's end, a
// checkpoint, or an iteration after which the chains must meet.
long stretchEnd(const SweepPlan& plan, long t, long total) {
  long end = t;
  while (end - t + 1 < plan.aheadSteps && end + 1 < total) {
    if (plan.checkpointEvery > 0 && (end + 1) % plan.checkpointEvery == 0) break;
    if (plan.meetAfter && plan.meetAfter(end)) break;
    end++;
  }
  return end;
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
  // --max-time: iteration t becomes the last.
  const auto endIfTimeUp = [&](long t) {
    if (!(plan.timeUp && t + 1 < total && plan.timeUp())) return;
    total = t + 1;
    trace.setEnd(total);
    timeEnded = true;
  };
  // Running ahead: the copies of the chains after each iteration of the
  // stretch under way, which ends after iteration stretchLast.
  std::vector<std::vector<Chain>> views;
  if (plan.advance) views.assign(static_cast<size_t>(std::max(1, plan.aheadSteps)), chains);
  long stretchFirst = 0, stretchLast = -1;
  for (long t = plan.firstIteration; t < total; t++) {
    std::vector<Chain>* now = &chains;  // the chains as they were after iteration t
    if (plan.advance) {
      if (t > stretchLast) {
        // Asked before a stretch instead of after every iteration's moves.
        endIfTimeUp(t);
        stretchFirst = t;
        stretchLast = stretchEnd(plan, t, total);
        plan.advance(chains, views, static_cast<int>(stretchLast - t + 1));
      }
      now = &views[static_cast<size_t>(t - stretchFirst)];
    } else {
      if (plan.update) plan.update(chains);
      // Known before the reports, so that the last iteration has its ".dat" line.
      endIfTimeUp(t);
    }
    const bool stretchEnds = !plan.advance || t == stretchLast;
    for (Chain& chain : *now) {
      if (!plan.update && !plan.advance) updateChain(chain, ctx);
      storeProportions(chain, ctx, t);
      trace.reportChain(chain, ctx.control, t);
    }
    trace.endIteration(*now, t);
    // Checked after the trace line (which shows the broken value) and before
    // the samples: nothing sampled from here on would mean anything.
    std::string broken = brokenTermReport(*now, plan.tempering, t);
    if (!broken.empty()) {
      // The results are written from the chains as the broken iteration left them.
      if (now != &chains) chains = *now;
      return SweepEnd{t - 1, true, std::move(broken)};
    }
    if (plan.afterIteration) plan.afterIteration(t);
    if (plan.samples && t >= s.burnIn) plan.samples->append(*now);
    if (plan.founders && t >= s.burnIn) plan.founders->add(*now);
    // The round's test before the checkpoint: a run that goes on writes it.
    if (plan.roundEnded && t + 1 == total && !timeEnded) {
      total = plan.roundEnded(t);
      trace.setEnd(total);
    }
    const bool checkpointing = plan.checkpointEvery > 0;
    if (checkpointing && (t + 1) % plan.checkpointEvery == 0 && t + 1 < total) plan.checkpoint(t);
    // A stop asked for during the last iteration comes too late to cut the
    // run. Chains running ahead can stop only where they meet.
    if (stretchEnds && pausePoint(ctx.control) && t + 1 < total) {
      if (ctx.control.stopSignal.load() != 0)
        std::cout << "\nProgram will now be terminated, with data saved to output files" << std::endl;
      if (checkpointing) plan.checkpoint(t);
      return SweepEnd{t, true, ""};
    }
    tallyHaplotypes(s, (*now)[0], tallies, t);
  }
  return SweepEnd{total - 1, false, ""};
}
