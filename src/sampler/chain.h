// One chain: everything its moves write, and what they read besides the run
// settings.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "core/random.h"
#include "genealogy/treematrix.h"
#include "genealogy/treeops.h"
#include "input/settings.h"
#include "model/likelihood.h"
#include "sampler/samplingoptions.h"
#include "sampler/sharedcontrol.h"

// One unknown-allele record: leaf label, count of listed carrier cells, count
// of listed second-chromosome cells, then the listed allele-column offsets.
using MissingCells = std::vector<int>;

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
};

struct Chain {
  int index = 0;                     // the chain this record belongs to (0 .. chains-1)
  int level = 0;                     // 0: the chain itself; 1..K: its heated companions
  double beta = 1;                   // the power of the tree likelihood in this record's target
  Random* rng = nullptr;             // the stream this chain draws from (may be shared)
  StepSet* steps = nullptr;          // the step sizes its moves read

  TreeMatrix tree;                   // current genealogy and allele states, canonical order
  TreeMatrix proposalTree;           // proposed genealogy
  std::vector<double> sortedTimes;   // node times of tree, ascending
  int rootLabel = 0;                 // label of the root of tree

  double mutLocation = 0;            // current mutation location
  double mutAge = 0;                 // current mutation age
  double proposedAge = 0;            // age in force for this iteration's genealogy move
  FrequencyTable alleleFreq;         // current allele frequencies
  std::vector<int> rootHaplotype;    // current ancestral haplotype

  // Stored score terms, natural logarithms.
  double logLik = 0;                 // log-likelihood of the patient alleles
  double secondChromLogProb = 0;     // genetic model 0: log frequencies of the second chromosomes
  double coalPrior = 0;              // log prior of the node times
  double mutAgePrior = 0;            // log prior of the mutation age
  double rootHapLogProb = 0;         // 1 + log population probability of the root haplotype
  double mutLocPrior = 0;            // log prior of the mutation location (sequence weights)
  double freqLogLik = 0;             // log-likelihood of the allele frequencies

  long acceptTree = 0;               // accepted genealogy moves
  long acceptMutLoc = 0;             // accepted location moves
  long acceptRoot = 0;               // accepted root-haplotype moves
  long acceptInternal = 0;           // accepted internal-node moves
  long acceptFreq = 0;               // accepted allele-frequency moves
  long acceptNodeTime = 0;           // accepted one-node time moves (local moves)
  long acceptExchange = 0;           // accepted neighbour exchanges (local moves)
  long acceptScale = 0;              // accepted scalings of the whole genealogy (local moves)

  // This iteration's samples: the location after the location move, and the
  // age before the genealogy move when an age was proposed (else 0).
  double locationSample = 0;
  double ageSample = 0;

  std::vector<int> missingLeaves;          // leaves with unknown allele cells
  std::vector<MissingCells> missingCells;  // one record per entry of missingLeaves

  MoveScratch scratch;

  // The log posterior written to ".dat": every stored term but freqLogLik,
  // summed in this order.
  double logPosterior() const {
    return logLik + secondChromLogProb + coalPrior + rootHapLogProb + mutLocPrior + mutAgePrior;
  }
};

// One stored term of a chain, with the name messages give it.
struct StoredTerm {
  const char* name;
  double value;
};

// Every stored score term of the chain.
inline std::array<StoredTerm, 7> storedTerms(const Chain& c) {
  return {{{"log-likelihood", c.logLik},
           {"second-chromosome term", c.secondChromLogProb},
           {"node-time prior", c.coalPrior},
           {"mutation-age prior", c.mutAgePrior},
           {"root-haplotype term", c.rootHapLogProb},
           {"location prior", c.mutLocPrior},
           {"allele-frequency log-likelihood", c.freqLogLik}}};
}

// A term no state can have: an impossible state scores -inf, but NaN or +inf
// only come from arithmetic that failed.
inline bool isBrokenTerm(double value) { return std::isnan(value) || (std::isinf(value) && value > 0); }

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
