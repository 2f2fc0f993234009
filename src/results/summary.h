// The convergence summary at the end of a run: point estimates, equal-tailed
// 95 % intervals, rank-normalised split-R-hat and effective sample sizes of
// the mutation location and age, per chain and pooled.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "markers/markertable.h"
#include "results/convergence.h"
#include "results/founders.h"
#include "sampler/chain.h"
#include "sampler/sharedcontrol.h"
#include "sampler/tempering.h"
#include "sampler/tuning.h"

// How the run ended: whether it ran every iteration and, if not, what
// stopped it and how it can go on.
struct RunCompletion {
  bool completed = true;
  long iterationsDone = 0;     // burn-in included
  long iterationsPlanned = 0;  // burn-in and sampling iterations
  std::string stoppedBy;       // "SIGINT", "SIGTERM", "menu" or "failure"; empty when completed
  std::string resumeCommand;   // the command that continues the run, when a checkpoint lets it
};

// A run in rounds (--until-converged): its targets and how it ended.
struct RoundsReport {
  double targetRhat = 0, targetEss = 0;
  long maxIterations = 0;   // sampling iterations allowed
  bool reached = false;     // the summary's R-hat and ESS meet the targets
  long iterations = 0;      // sampling iterations done
  int rounds = 0;           // rounds completed
  std::string endedBy;      // "target", "max-iterations", "max-time" or "stop"
};

struct QuantitySummary {
  struct Estimates {
    double median = 0, mean = 0, mode = 0, low = 0, high = 0;  // low, high: the 95 % interval
  };
  std::vector<Estimates> chains;
  Estimates pooled;
  Diagnostics diagnostics;
};

// With --sporadic: the share of sporadic chromosomes and every patient row's
// probability of descending from the founder.
struct SporadicSummary {
  double fixedShare = -1;   // the share, when it was fixed
  QuantitySummary share;    // otherwise its summary
  std::vector<FounderRow> rows;
  bool genotypes = false;   // rows of genotypes
  bool pairs = false;       // genetic model 1: the rows give both_founder too
};

// What the summary reports besides the draws.
struct SummaryContext {
  long seed = 0;              // the seed the run started from
  double seconds = 0;         // wall time of the run
  long drawsPerChain = 0;     // samples each chain drew
  int histBars = 0;           // bars of the histograms that give the mode
  // Acceptance proportions per move kind (as in SharedControl) and chain.
  std::vector<std::vector<double>> acceptance;
  // With heated companions: the powers of the temperatures, and per chain
  // the proportion of accepted swaps between temperatures i and i+1.
  std::vector<double> ladder;
  std::vector<std::vector<double>> swapAcceptance;
  // With tuning: the frozen steps per temperature, by name.
  std::vector<std::vector<std::pair<std::string, double>>> tunedSteps;
  // The marker table beside the parameter file, when there is a usable one:
  // locations are given in base pairs too.
  const MarkerTable* markers = nullptr;
  bool mixingOptions = false;  // the run used moves beyond the default ones
  double locationLow = 0, locationHigh = 0;  // the bounds of the location
  RunCompletion completion;
  const RoundsReport* rounds = nullptr;  // with --until-converged
  const SporadicSummary* sporadic = nullptr;  // with --sporadic
};

// Fills the context's acceptance proportions (every chain's, counted over the
// iterations 0 .. lastIteration), the heated companions' ladder and swap
// proportions (when there are companions) and the tuned steps (with a tuner;
// steps: the cold chains' set, then one per temperature).
void addSamplerRecords(SummaryContext& context, const std::vector<Chain>& chains, const MoveContext& ctx,
                       long lastIteration, const Tempering& tempering, const Tuner* tuner,
                       const std::vector<StepSet*>& steps);

QuantitySummary summarise(const ChainDraws& draws, int histBars);

// The 95 % intervals (the pooled one and every chain's) that reach to within
// one histogram bar of a location bound, a bar being the bounds' width over
// the number of bars: mass piled against a bound means the mutation may lie
// beyond it. Each as "pooled" or "chain N" with "lower" or "upper".
struct BoundContact {
  std::string interval;
  std::string bound;
};
std::vector<BoundContact> intervalsAtBounds(const QuantitySummary& location, const SummaryContext& context);

// The summary as JSON (keys location, age, acceptance, seed, seconds,
// draws_used, draws_per_chain, what the estimates are, where the location
// meets its bounds, how the run ended; in rounds also until_converged; with
// --sporadic sporadic_share and founder_probability). Without draws the
// estimates are left out and no_draws says why.
std::string summaryJson(const QuantitySummary& location, const QuantitySummary& age, const SummaryContext& context,
                        long drawsUsed);

// A few lines for standard error (with --sporadic also the share's), a
// warning line when R-hat of the location or age exceeds 1.01 or a bulk ESS
// is below 400, one when a location interval meets a bound, and in rounds
// the line that says whether the target was reached.
void writeSummaryLines(std::ostream& err, const QuantitySummary& location, const QuantitySummary& age,
                       const SummaryContext& context);

// The end of a run in rounds, in one line: the target reached, or a warning
// that it was not and why the run ended.
std::string roundsLine(const RoundsReport& r);
