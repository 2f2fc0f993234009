// The state of every chain and the sampler's run-wide tables.
#pragma once

#include <cstdint>
#include <vector>

#include "genealogy/treematrix.h"
#include "input/parameters.h"

// One unknown-allele record: leaf label, count of listed carrier cells, count
// of listed second-chromosome cells, then the listed allele-column offsets.
using MissingCells = std::vector<int>;

struct ChainState {
  TreeMatrix tree;                   // current genealogy and allele states, canonical order
  TreeMatrix proposalTree;           // proposed genealogy
  std::vector<double> sortedTimes;   // node times of tree, ascending
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
  std::vector<double> mutLocSamples; // sampled mutation locations
  std::vector<double> mutAgeSamples; // sampled mutation ages
  double mutLocSum = 0;              // running sum of the location (convergence statistic)
  double mutLocSumSq = 0;            // running sum of its square
  int rootLabel = 0;                 // label of the root of tree
  std::vector<int> missingLeaves;    // leaves of this chain with unknown allele cells
  std::vector<MissingCells> missingCells;  // one record per entry of missingLeaves
};

extern std::vector<ChainState> chains;  // one per chain
extern int hasMissing;                  // some chain has a leaf with unknown alleles
extern int lociPerFreqMove;             // loci proposed per allele-frequency move
extern int largestAlleleCount;          // H: the largest maxall value
extern double convergenceStat;          // last computed potential scale reduction factor

// Acceptance proportions per move kind and chain, shown by the control menu:
// 0 genealogy, 1 mutation location, 2 root alleles, 3 internal alleles, 4 frequencies.
constexpr int kMoveKinds = 5;
extern std::vector<SharedDouble> props[kMoveKinds];

// Scratch shared by all chains' moves.
extern std::vector<double> freqScratch;          // saved frequencies of a frequency move
extern std::vector<double> phaseScratch;         // saved allele cells of a leaf
extern std::vector<int> rootProposal;            // proposed root haplotype
extern std::vector<int> internalProposal;        // proposed internal-node alleles
extern std::vector<int> internalSaved;           // saved internal-node alleles
extern double proposedLogLik;                    // log-likelihood of a proposal
extern int changedFlag;                          // the kernel changed something
extern std::vector<double> branchLogLikSaved;    // saved BranchLogLik column
extern std::vector<double> sortedTimesProposal;  // ascending times of a proposed genealogy
extern std::vector<int> labelOrder;              // in-order labels of the genealogy move
extern std::vector<int> rowsByTime;              // rows of a genealogy in ascending order of Time
extern std::vector<int> leafOrder;               // order in which leaves receive data rows

// Creates props with one zero per chain.
void makeProps(int numChains);
