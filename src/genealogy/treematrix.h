// One chain's genealogy and the allele states of all its nodes: 2n-1 rows of
// TMAT structural columns followed by TOTLOCI allele columns, held as doubles.
#pragma once

#include <cstddef>
#include <vector>

extern int TMAT;     // structural columns per row: 7, 8 or 9
extern int TOTLOCI;  // allele columns per row: L, or 2L with genotypes under genetic model 0

// Structural columns. Partner exists only with genotypes under genetic model 1,
// Individual (column TMAT-1) only when individual haplotypes are stored.
enum TreeColumn { Label = 0, LeftChild = 1, RightChild = 2, Parent = 3, Time = 4, BranchLength = 5, BranchLogLik = 6, Partner = 7 };

struct TreeMatrix {
  int rows = 0;               // 2n - 1
  int width = 0;              // TMAT + TOTLOCI
  std::vector<double> cells;  // row-major; reordering moves row contents
  // Pairwise partial sums of the BranchLogLik column (a complete binary tree
  // over the rows, total at index 1), kept current by the likelihood so that
  // a change at one branch costs a logarithmic update, not a column sum.
  std::vector<double> logLikSums;
  // Per row: the branch length the entries were computed for, then
  // e^(-pos[k] t) and e^(pos[k] t) for k = 1..L (NaN until needed). They
  // depend on nothing else, so a row whose length is unchanged reuses them.
  mutable std::vector<double> branchExps;
  double* operator[](int r) { return cells.data() + static_cast<std::size_t>(r) * width; }
  const double* operator[](int r) const { return cells.data() + static_cast<std::size_t>(r) * width; }
};

// A matrix of the run's shape with every cell -1 except Time and BranchLogLik 0.
TreeMatrix makeTreeMatrix(int rows);

// Column index of the Individual column (TMAT - 1); meaningful only when it exists.
int individualColumn();
bool hasPartnerColumn();
bool hasIndividualColumn();

// Integers held in the matrix, read back by truncation toward zero.
inline int cellInt(double value) { return static_cast<int>(value); }
// The allele a cell holds: imputed alleles are stored negated.
inline int alleleOf(double value) {
  const int a = static_cast<int>(value);
  return a < 0 ? -a : a;
}

// Copies every cell (the likelihood's working sums along).
// Copies every cell (the likelihood's working sums along).
void copytree(const TreeMatrix& from, TreeMatrix& to);

// Sorts the first rows rows ascending by column col (first-row pivot quicksort:
// the order among equal keys is that of the shared partition scheme).
void mysorttreemat(TreeMatrix& m, int rows, int ncols, int col);

// Reverses the order of the first rows rows.
void mysorttreematrev(TreeMatrix& m, int rows, int ncols);
