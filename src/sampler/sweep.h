// The sampler's iterations over all chains.
#pragma once

#include <cstdint>

#include "sampler/reports.h"

struct SweepEnd {
  long lastIteration;  // last iteration completed
  bool stopped;        // the run ended on a stop request
};

// Runs burn-in and sampling iterations until the last one or a stop request.
SweepEnd runSweeps(const ReportStreams& out, int32_t* seed);

// One pass of every enabled move over chain c in iteration t.
void updateChain(int c, long t, int32_t* seed);
