// The iterations of a run over all chains: moves, reports, samples, pause
// point, checkpoints and haplotype tallies, in the order every run keeps.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "results/founders.h"
#include "results/haplotypes.h"
#include "results/samples.h"
#include "results/trace.h"
#include "sampler/chain.h"
#include "sampler/tempering.h"

struct SweepEnd {
  long lastIteration;  // last iteration completed (whose samples were kept)
  bool stopped;        // the run ended before its last iteration
  // Why the run failed: a stored term of a chain became NaN or +inf in the
  // iteration after lastIteration (one line), else empty.
  std::string failure;
};

struct SweepPlan {
  // The iteration after the last one planned: burn-in + iterations, or (in
  // rounds) the end of the round under way.
  long total = 0;
  // 0, or (continuing from a checkpoint) the iteration after the last one
  // completed, whose haplotype tally is then taken first.
  long firstIteration = 0;
  SampleFile* samples = nullptr;  // receives every sampling iteration's samples
  FounderTally* founders = nullptr;  // counts every sampling iteration's founder leaves (--sporadic)
  long checkpointEvery = 0;       // 0: no checkpoints
  // Writes a checkpoint after iteration t's reports (before its tally).
  std::function<void(long t)> checkpoint;
  // When given (chains on streams of their own), updates every chain, and
  // anything coupled to them, before any is reported; without it each chain
  // is reported right after its update, as the one shared stream needs.
  std::function<void(std::vector<Chain>&)> update;
  // When given (chains on streams of their own, coupled to nothing else):
  // moves every chain through the iterations of a stretch of `views.size()`
  // or fewer iterations (`steps`), each chain as far ahead of the others as
  // it goes, leaving in views[k] a copy of every chain after the stretch's
  // k-th iteration; the reports then read the copies in iteration order, so
  // the files are those of chains that met after every iteration. A chain
  // whose stored term breaks stops there. Stretches end where the chains
  // must meet: checkpoints, the round's end, pause points, meetAfter.
  std::function<void(std::vector<Chain>& chains, std::vector<std::vector<Chain>>& views, int steps)> advance;
  int aheadSteps = 1;  // the longest stretch `advance` is given
  // With advance: true after an iteration that couples the chains (the
  // tuner's batches), which therefore ends a stretch.
  std::function<bool(long t)> meetAfter;
  // Called after iteration t's reports, before its samples and checkpoint.
  std::function<void(long t)> afterIteration;
  // In rounds: called when iteration total-1's samples are kept; returns the
  // end of the next round, or total to end the run there.
  std::function<long(long t)> roundEnded;
  // Asked after every iteration's moves; true makes it the last one, as in a
  // run planned to end there (--max-time).
  std::function<bool()> timeUp;
  // The heated companions, whose stored terms are checked with the chains'.
  const Tempering* tempering = nullptr;
};

// Runs burn-in and sampling iterations until the last one, a stop request, or
// an iteration that leaves a stored term NaN or +inf (reported, not sampled).
SweepEnd runSweeps(std::vector<Chain>& chains, const MoveContext& ctx, TraceReport& trace, HaplotypeTallies& tallies,
                   const SweepPlan& plan);
