// Probability of the allele states of a genealogy given the mutation location,
// the marker map, the allele frequencies and the ancestral haplotype.
#pragma once

#include <vector>

#include "genealogy/treematrix.h"
#include "input/parameters.h"

// Recomputes BranchLogLik for a set of rows of the canonical matrix m and
// writes the matrix's log-likelihood into *result: the sum of the column,
// added pairwise (see logLikTotal).
//   start < 0:            every row;
//   start >= 0, type 0:   row start and its two children (every row for a leaf);
//   start >= 0, type 1:   row start only;
//   start >= 0, type 2:   row start and its Partner row when that column exists.
// The partial modes need every other row's BranchLogLik to be current.
void tprob(TreeMatrix& m, double x, const std::vector<double>& pos, double* result, const FrequencyTable& freq,
           const std::vector<int>& root, int start, int type);

// Log-likelihood of chain's allele frequencies given the control counts (and,
// with genotypes under genetic model 0, the leaves' second chromosomes).
double getalllik(const TreeMatrix& m, int A, int chain);

// The matrix's log-likelihood: the BranchLogLik column summed pairwise over a
// complete binary tree of the rows, the same however the column came about.
double logLikTotal(const TreeMatrix& m);

// Writes saved BranchLogLik values back (a move undoing its proposal) and
// keeps the total current.
void restoreBranchLogLik(TreeMatrix& m, int row, double value);
void restoreBranchLogLikColumn(TreeMatrix& m, const std::vector<double>& saved);

// Probability of one branch: row's haplotype descending from its parent's (or
// from root) over BranchLength with the mutation at x.
double branchProbability(const TreeMatrix& m, int row, double x, const std::vector<double>& pos,
                         const FrequencyTable& freq, const std::vector<int>& root);
