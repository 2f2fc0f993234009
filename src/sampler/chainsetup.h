// Builds the starting state of every chain.
#pragma once

#include <atomic>
#include <ostream>
#include <vector>

#include "core/random.h"
#include "sampler/chain.h"

// Every chain's starting location and age, drawn when the file asks for
// random ones (ages first, then locations, one draw per chain each).
struct StartingValues {
  std::vector<double> locations;
  std::vector<double> ages;
};
StartingValues drawStartingValues(const RunSettings& s, Random& rng);

// What a run stopped by a signal while its chains were built prints.
constexpr const char* kStoppedDuringSetup = "No samples were drawn: the run stopped during set-up.";

// Throws RunFailure with kStoppedDuringSetup when a stop was asked for (*stop
// set; a null stop is never set). The set-up looks between its steps.
void stopIfAsked(const std::atomic<int>* stop);

// Chains of the run's shape, every one drawing from rng and reading steps,
// their genealogies still empty: what setupChains fills and what a
// checkpoint is read into. When stop (the run's stop request) is set, throws
// RunFailure with kStoppedDuringSetup between two chains.
std::vector<Chain> makeChains(const RunSettings& s, Random& rng, StepSet& steps,
                              const std::atomic<int>* stop = nullptr);

// Bytes one chain of the run holds once sized (its two genealogies with their
// caches, its frequencies and scratch), for the memory estimate.
double chainBytes(const RunSettings& s);

struct ChainSetup {
  std::vector<Chain> chains;
  bool hasMissing = false;   // some chain has a leaf with unknown alleles
  int lociPerFreqMove = 1;   // loci proposed per allele-frequency move
};

// Builds every chain's genealogy with the patient data on its leaves and every
// unknown allele filled in, writes the "Rootstate" report to log and computes
// every chain's stored log terms. Every chain draws from rng (in chain order).
// Throws RunFailure at the range checks of the step sizes, when "inmat.txt"
// cannot be used, and (with kStoppedDuringSetup) when stop is set: it is
// looked at before every chain's turn in each step and inside the building
// of a starting genealogy, so a stop is noticed within one chain's step.
ChainSetup setupChains(const RunSettings& s, const StartingValues& start, Random& rng, StepSet& steps,
                       std::ostream& log, const std::atomic<int>* stop = nullptr);

// Computes every stored term of the chain afresh from its state, with its
// sorted node times and root label. The tree's rows must be in canonical
// order (sorted by Label), as the moves keep them: the sums run over the rows
// in that order. The terms of parts the file does not sample stay 0.
void recomputeStoredTerms(Chain& chain, const RunSettings& s);

// Gives every chain the sporadic part of its state (--sporadic): no leaf
// sporadic yet, the share at its prior mean (or fixed), and its stored term.
// The chains' trees must be canonical; their other terms are unchanged,
// which holds while no leaf is sporadic.
void enableSporadic(std::vector<Chain>& chains, const RunSettings& s, const SporadicPrior& prior);

// Chains restored from a checkpoint, with what the set-up would have found.
ChainSetup setupOf(const RunSettings& s, std::vector<Chain> chains);

// The context the moves of these chains run in.
inline MoveContext moveContextOf(const RunSettings& s, SharedControl& control, const ChainSetup& setup,
                                 MoveOptions moves = {}) {
  return MoveContext{s, control, setup.hasMissing, setup.lociPerFreqMove, moves};
}
