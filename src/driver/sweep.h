// The iterations of a run over all chains: moves, reports, pause point and
// haplotype tallies, in the order every run keeps.
#pragma once

#include <vector>

#include "results/haplotypes.h"
#include "results/trace.h"
#include "sampler/chain.h"

struct SweepEnd {
  long lastIteration;  // last iteration completed
  bool stopped;        // the run ended on a stop request
};

// Runs burn-in and sampling iterations until the last one or a stop request.
SweepEnd runSweeps(std::vector<Chain>& chains, const MoveContext& ctx, TraceReport& trace, HaplotypeTallies& tallies);
