// One chain: everything its moves write, and what they read besides the run
// settings.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/random.h"
#include "genealogy/treematrix.h"
#include "genealogy/treeops.h"
#include "input/settings.h"
#include "model/likelihood.h"
#include "sampler/samplingoptions.h"
#include "sampler/sharedcontrol.h"

// A leaf with unknown allele cells, and the allele-column offsets of those
// cells: the carrier chromosome's (offsets below the locus count) first, then
// the second chromosome's (genetic model 0).
struct MissingCells {
  int leaf = 0;              // the leaf's label
  int carrierCount = 0;      // listed offsets on the carrier chromosome
  int secondCount = 0;       // listed offsets on the second chromosome
  std::vector<int> columns;  // carrierCount + secondCount offsets, ascending
};

// Working space of the moves, sized at set-up so that the moves do not
// allocate (the Gibbs location move's lists grow on their first use, to the
// largest move's size, and then stay).
struct MoveScratch {
  std::vector<double> freq;             // saved frequencies of a frequency move
  std::vector<double> cells;            // saved allele cells of a leaf (and its partner)
  std::vector<int> rootProposal;        // proposed root haplotype
  std::vector<int> internalProposal;    // proposed internal-node alleles
  std::vector<int> internalSaved;       // saved internal-node alleles
  std::vector<double> branchLogLiks;    // saved BranchLogLik column
  std::vector<double> sortedTimesProposal;  // ascending times of a proposed genealogy
  std::vector<int> labelOrder;          // in-order labels of the genealogy move
  std::vector<int> rowsByTime;          // rows of a genealogy in ascending order of Time
  SequenceLinks links;                  // the rebuild's linked list
  // The allele conditionals of the Gibbs moves: the split branches around
  // one node, the log weights and weights of one locus's labels, and the
  // alleles a move redraws (rows, before, after).
  BranchSplit ownSplit, leftSplit, rightSplit;
  std::vector<double> labelLogWeights, labelWeights;
  std::vector<int> redrawRows, redrawOld, redrawNew;
  // The whole-phase draw: its backward sums, and the loci it exchanges.
  std::vector<double> phaseBackward;
  std::vector<char> phaseSwap;
  // The allele conditionals' logarithms of the frequencies, by frequency
  // cell, with the frequency each was taken of: a frequency that changed
  // since is taken again, so the table never needs clearing.
  std::vector<double> logFreqOf, logFreq;
};

// The sporadic patient chromosomes (--sporadic): which leaves do not descend
// from the founder, and their share. A sporadic leaf stays in the genealogy,
// whose topology and node times keep their prior over all n leaves; only
// its alleles stop depending on its parent (see BranchModel).
struct SporadicState {
  std::vector<uint8_t> leaf;  // by row: 1 for a sporadic leaf; empty without --sporadic
  double share = 0;           // the probability that a leaf is sporadic
  double logPrior = 0;        // stored term: the indicators' prior and the share's (sporadicLogPrior)
  SporadicPrior prior;

  bool active() const { return !leaf.empty(); }
  int count() const {
    int sporadic = 0;
    for (uint8_t z : leaf) sporadic += z;
    return sporadic;
  }
};

// Everything of a chain its moves write: genealogy, location, age,
// frequencies, ancestral haplotype, imputed alleles, stored score terms and
// this iteration's samples. A swap of temperatures exchanges it whole; a
// checkpoint holds it (see forEachSaved).
struct ChainState {
  TreeMatrix tree;                   // current genealogy and allele states, canonical order
  TreeMatrix proposalTree;           // proposed genealogy
  std::vector<double> sortedTimes;   // node times of tree, ascending
  int rootLabel = 0;                 // label of the root of tree

  double mutLocation = 0;            // current mutation location
  double mutAge = 0;                 // current mutation age
  double proposedAge = 0;            // age in force for this iteration's genealogy move
  FrequencyTable alleleFreq;         // current allele frequencies
  std::vector<int> rootHaplotype;    // current ancestral haplotype

  // Stored score terms, natural logarithms (see forEachStoredTerm).
  double logLik = 0;                 // log-likelihood of the patient alleles
  double secondChromLogProb = 0;     // genetic model 0: log frequencies of the second chromosomes
  double coalPrior = 0;              // log prior of the node times
  double mutAgePrior = 0;            // log prior of the mutation age
  double rootHapLogProb = 0;         // 1 + log population probability of the root haplotype
  double mutLocPrior = 0;            // log prior of the mutation location (sequence weights)
  double freqLogLik = 0;             // log-likelihood of the allele frequencies

  SporadicState sporadic;            // with --sporadic

  // This iteration's samples: the location after the location move, and the
  // age before the genealogy move when an age was proposed (else 0).
  double locationSample = 0;
  double ageSample = 0;

  std::vector<int> missingLeaves;          // leaves with unknown allele cells
  std::vector<MissingCells> missingCells;  // one record per entry of missingLeaves

  // The log posterior written to ".dat": every stored term but freqLogLik,
  // summed in this order (the sporadic term last, with --sporadic only).
  double logPosterior() const {
    const double sum = logLik + secondChromLogProb + coalPrior + rootHapLogProb + mutLocPrior + mutAgePrior;
    return sporadic.active() ? sum + sporadic.logPrior : sum;
  }

  // The indicators the branch scoring reads (null without --sporadic).
  const std::vector<uint8_t>* sporadicLeaves() const { return sporadic.active() ? &sporadic.leaf : nullptr; }
  bool isSporadic(int row) const { return sporadic.active() && sporadic.leaf[row] != 0; }
};

// Accepted proposals of each kind of move since the first iteration. They
// belong to the record (its temperature), not to its state: swaps leave them.
struct AcceptanceCounts {
  std::array<long, kCountedMoveKinds> counts{};
  long& operator[](MoveKind kind) { return counts[static_cast<size_t>(kind)]; }
  long operator[](MoveKind kind) const { return counts[static_cast<size_t>(kind)]; }
};

struct Chain : ChainState {
  int index = 0;                     // the chain this record belongs to (0 .. chains-1)
  int level = 0;                     // 0: the chain itself; 1..K: its heated companions
  double beta = 1;                   // the power of the tree likelihood in this record's target
  Random* rng = nullptr;             // the stream this chain draws from (may be shared)
  StepSet* steps = nullptr;          // the step sizes its moves read
  // The leaf (label) of every patient chromosome, in the patient table's
  // order (with genotypes under genetic model 1 the two chromosomes of an
  // individual one after the other); leaves keep their labels for good.
  std::vector<int> chromosomeLeaf;

  AcceptanceCounts accepted;
  MoveScratch scratch;
};

// Calls f(name, term) for every stored score term of the state, with the
// name messages give it, in the order checkpoints hold them.
template <typename State, typename F>
void forEachStoredTerm(State& c, F&& f) {
  f("log-likelihood", c.logLik);
  f("second-chromosome term", c.secondChromLogProb);
  f("node-time prior", c.coalPrior);
  f("mutation-age prior", c.mutAgePrior);
  f("root-haplotype term", c.rootHapLogProb);
  f("location prior", c.mutLocPrior);
  f("allele-frequency log-likelihood", c.freqLogLik);
  if (c.sporadic.active()) f("sporadic-chromosome term", c.sporadic.logPrior);
}

// A term no state can have: an impossible state scores -inf, but NaN or +inf
// only come from arithmetic that failed.
inline bool isBrokenTerm(double value) { return std::isnan(value) || (std::isinf(value) && value > 0); }

// One stored term, with the name messages give it.
struct StoredTerm {
  const char* name = nullptr;
  double value = 0;
};

// The state's first stored term that no state can have (name null: none).
inline StoredTerm brokenTerm(const ChainState& c) {
  StoredTerm found;
  forEachStoredTerm(c, [&found](const char* name, double value) {
    if (!found.name && isBrokenTerm(value)) found = {name, value};
  });
  return found;
}

// Calls visit(field) for every field of a chain (Chain or const Chain) that
// a checkpoint holds, in the order it holds them: the state but for what
// every iteration proposes afresh, and the acceptance counts; with
// --sporadic then the indicators, the share and the chromosomes' leaves.
// The unknown-allele records, checked as they are read, follow them (see
// saveChain).
template <typename C, typename Visit>
void forEachSaved(C& chain, Visit&& visit) {
  visit(chain.tree.cells);
  visit(chain.sortedTimes);
  visit(chain.rootLabel);
  visit(chain.mutLocation);
  visit(chain.mutAge);
  visit(chain.alleleFreq.cells);
  visit(chain.rootHaplotype);
  forEachStoredTerm(chain, [&visit](const char*, auto& term) { visit(term); });
  for (auto& count : chain.accepted.counts) visit(count);
  visit(chain.locationSample);
  visit(chain.ageSample);
  if (chain.sporadic.active()) {
    visit(chain.sporadic.leaf);
    visit(chain.sporadic.share);
    visit(chain.chromosomeLeaf);
  }
}


// What every move reads besides its chain: the settings, the step sizes, and
// what the set-up found out about the run.
struct MoveContext {
  const RunSettings& settings;
  SharedControl& control;
  bool hasMissing = false;   // some chain has a leaf with unknown alleles
  int lociPerFreqMove = 1;   // loci proposed per allele-frequency move
  MoveOptions moves = {};
};

// The log acceptance ratio of a proposal that changes the tree likelihood by
// likelihoodChange and the other terms by restChange, at the chain's
// temperature. Cold chains compute it as every run does (cold() gives that
// expression), so that runs without heating keep their exact arithmetic.
template <typename Cold>
double temperedChange(const Chain& chain, double likelihoodChange, double restChange, const Cold& cold) {
  return chain.beta == 1 ? cold() : chain.beta * likelihoodChange + restChange;
}
