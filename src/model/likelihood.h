// Probability of the allele states of a genealogy given the mutation location,
// the marker map, the allele frequencies and the ancestral haplotype.
#pragma once

#include <vector>

#include "genealogy/treematrix.h"
#include "input/settings.h"

// Which branches a rescoring recomputes; the others must be current.
enum class Rescore {
  All,              // every branch
  NodeAndChildren,  // a node's branch and its two children's (every branch for a leaf)
  Node,             // one branch
  LeafAndPartner,   // a leaf's branch and, when that column exists, its Partner's
};

// What a branch is scored against besides the genealogy.
struct BranchModel {
  double location;                  // mutation location x
  const std::vector<double>& map;   // marker positions, index 1..L
  const FrequencyTable& freq;       // allele frequencies
  const std::vector<int>& root;     // ancestral haplotype
};

// Recomputes BranchLogLik for the rows `what` names (around row `node`, unused
// for All) of the canonical matrix m and returns the matrix's log-likelihood:
// the column summed pairwise (see logLikTotal).
double rescoreTree(TreeMatrix& m, const BranchModel& model, Rescore what, int node = -1);

// Log-likelihood of allele frequencies freq given the control counts (and,
// with genotypes under genetic model 0, the leaves' second chromosomes).
double frequencyLogLik(const RunSettings& s, const TreeMatrix& m, const FrequencyTable& freq);

// sum plus, locus by locus in order, the log frequencies of a leaf row's
// second-chromosome alleles (genotypes under genetic model 0). Every sum of
// these terms adds them in this order, so totals built leaf by leaf round the
// same way wherever they are built.
double addSecondChromLogFreqs(double sum, const TreeMatrix& m, int row, const FrequencyTable& freq);

// The matrix's log-likelihood: the BranchLogLik column summed pairwise over a
// complete binary tree of the rows, the same however the column came about.
double logLikTotal(const TreeMatrix& m);

// Writes saved BranchLogLik values back (a move undoing its proposal) and
// keeps the total current.
void restoreBranchLogLik(TreeMatrix& m, int row, double value);
void restoreBranchLogLikColumn(TreeMatrix& m, const std::vector<double>& saved);

// Probability of one branch: row's haplotype descending from its parent's (or
// from the ancestral haplotype) over BranchLength with the mutation at x.
double branchProbability(const TreeMatrix& m, int row, const BranchModel& model);
