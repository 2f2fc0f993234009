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

// The summary as JSON (keys location, age, acceptance, seed, seconds,
// draws_used, draws_per_chain; with --sporadic sporadic_share and
// founder_probability).
std::string summaryJson(const QuantitySummary& location, const QuantitySummary& age, const SummaryContext& context,
                        long drawsUsed);

// A few lines for standard error (with --sporadic also the share's), and
// (always) a warning line when R-hat of the location or age exceeds 1.01 or
// a bulk ESS is below 400.
void writeSummaryLines(std::ostream& err, const QuantitySummary& location, const QuantitySummary& age,
                       const SummaryContext& context, bool quiet);
