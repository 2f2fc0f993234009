// One chain's genealogy and the allele states of all its nodes: 2n-1 rows of
// structural columns followed by the allele columns, held as doubles.
#pragma once

#include <cstddef>
#include <vector>

#include "input/settings.h"

// Structural columns. Partner exists only with genotypes under genetic model 1,
// Individual (the last structural column) only when individual haplotypes are
// stored.
enum TreeColumn { Label = 0, LeftChild = 1, RightChild = 2, Parent = 3, Time = 4, BranchLength = 5, BranchLogLik = 6, Partner = 7 };

// The columns of a row, fixed for a run.
struct TreeLayout {
  int loci = 0;             // marker loci L
  bool partner = false;     // a Partner column (genotypes, genetic model 1)
  bool individual = false;  // an Individual column (individual haplotypes stored)
  int firstAllele = 7;             // structural columns: 7, 8 or 9; the first allele column
  int alleleColumns = 0;          // allele columns: L, or 2L when they hold the second chromosome too
  int width() const { return firstAllele + alleleColumns; }
  int individualColumn() const { return firstAllele - 1; }
  bool secondChromosome() const { return alleleColumns == 2 * loci; }
};

TreeLayout treeLayoutOf(const RunSettings& s);
// A layout of L allele columns without Partner or Individual column.
TreeLayout plainLayout(int loci);

// Working values of the branch likelihood, kept between evaluations so that an
// evaluation allocates nothing.
struct BranchScratch {
  std::vector<double> freq;    // frequency of the node's allele at locus k (index k)
  std::vector<double> suffix;  // product of freq over loci k..L
  std::vector<double> prefix;  // product of freq over loci 1..k
};

struct TreeMatrix {
  TreeLayout layout;
  int rows = 0;               // 2n - 1
  int width = 0;              // layout.width()
  std::vector<double> cells;  // row-major; reordering moves row contents
  // Pairwise partial sums of the BranchLogLik column (a complete binary tree
  // over the rows, total at index 1), kept current by the likelihood so that
  // a change at one branch costs a logarithmic update, not a column sum.
  std::vector<double> logLikSums;
  // Per row: the branch length the entries were computed for, then
  // e^(-pos[k] t) and e^(pos[k] t) for k = 1..L (NaN until needed). They
  // depend on nothing else, so a row whose length is unchanged reuses them.
  mutable std::vector<double> branchExps;
  mutable BranchScratch scratch;
  double* operator[](int r) { return cells.data() + static_cast<std::size_t>(r) * width; }
  const double* operator[](int r) const { return cells.data() + static_cast<std::size_t>(r) * width; }
};

// A matrix with every cell -1 except Time and BranchLogLik 0.
TreeMatrix makeTreeMatrix(int rows, const TreeLayout& layout);

// Integers held in the matrix, read back by truncation toward zero.
inline int cellInt(double value) { return static_cast<int>(value); }
// The allele a cell holds: imputed alleles are stored negated.
inline int alleleOf(double value) {
  const int a = static_cast<int>(value);
  return a < 0 ? -a : a;
}

// A row with children (leaves have LeftChild -1).
inline bool isInternal(const TreeMatrix& m, int r) { return cellInt(m[r][LeftChild]) != -1; }

// Copies every cell (the likelihood's working sums along).
void copyTree(const TreeMatrix& from, TreeMatrix& to);

// Sorts the rows ascending by column col (first-row pivot quicksort: the
// order among equal keys is that of the shared partition scheme).
void sortRows(TreeMatrix& m, int col);

// Reverses the order of the rows.
void reverseRows(TreeMatrix& m);
