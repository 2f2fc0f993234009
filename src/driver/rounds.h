// Runs that stop when the chains agree (--until-converged): after the burn-in
// the run samples in rounds, the file's "Iterations" the first, each later
// one a quarter of the sampling done so far (at least "Iterations"), and
// after each round it asks whether the pooled R-hat and effective sample
// sizes of the sampled quantities have reached their targets. The rounds end
// at the same iterations whatever the thread count, and the test reads only
// the samples file, so a run stops at the same iteration on any machine
// (unless --max-time ends it).
#pragma once

#include <string>

#include "results/convergence.h"

struct RoundRule {
  bool on = false;               // --until-converged
  double targetRhat = 1.01;      // every R-hat at most this
  double targetEss = 400;        // every bulk and tail ESS at least this
  long maxIterations = 1000000;  // sampling iterations at most (after the burn-in)
  double maxSeconds = 86400;     // wall time of this process at most (0: no limit)

  // The words a checkpoint holds ("until=1 target-rhat=1.01 ..."); "" when off.
  // The time limit is left out: it is the resuming process's own.
  std::string toWords() const;
  static RoundRule fromWords(const std::string& words);

  // The sampling iterations done when the round that is under way after
  // `sampled` of them ends (a round that ended at `sampled` is followed by
  // the next): rounds end at I, then each time a quarter further (at least
  // I further), never past maxIterations. I: the file's "Iterations".
  long roundEnd(long sampled, long firstRound) const;
  // The number of rounds whose end is at or before `sampled`.
  int roundsDone(long sampled, long firstRound) const;
};

// The test after a round: which quantities are sampled (a fixed one has no
// R-hat) and whether every sampled one has reached the targets.
struct RoundVerdict {
  Diagnostics location, age;
  bool reached = false;
};
RoundVerdict judgeRound(const ChainDraws& locations, const ChainDraws& ages, bool locationSampled, bool ageSampled,
                        const RoundRule& rule);

// "R-hat 1.023, ESS bulk 350, tail 410" for progress lines.
std::string diagnosticsText(const Diagnostics& d);
