#include "genealogy/treematrix.h"

#include <algorithm>
#include <vector>

#include "input/parameters.h"
#include "results/sorting.h"

int TMAT = 7;
int TOTLOCI = 0;

bool hasPartnerColumn() { return pset.dataAsGenotypes == 1 && pset.geneticModel == 1; }
bool hasIndividualColumn() { return pset.storeIndHaplotypes >= 1; }
int individualColumn() { return TMAT - 1; }

TreeMatrix makeTreeMatrix(int rows) {
  TreeMatrix m;
  m.rows = rows;
  m.width = TMAT + TOTLOCI;
  m.cells.assign(static_cast<size_t>(rows) * m.width, -1.0);
  for (int r = 0; r < rows; r++) {
    m[r][Time] = 0;
    m[r][BranchLogLik] = 0;
  }
  return m;
}

void copytree(const TreeMatrix& from, TreeMatrix& to) {
  to.cells = from.cells;
  to.logLikSums = from.logLikSums;
}

// Every label occurs once, so the ascending order by label is unique and any
// sort reaches it: each row goes straight to the row its label names.
// Returns false, changing nothing, when the labels are not 0..rows-1.
bool placeRowsByLabel(TreeMatrix& m, int rows, int ncols) {
  std::vector<bool> seen(rows, false);
  for (int r = 0; r < rows; r++) {
    const int label = cellInt(m[r][Label]);
    if (label < 0 || label >= rows || seen[label]) return false;
    seen[label] = true;
  }
  for (int r = 0; r < rows; r++)
    for (int label = cellInt(m[r][Label]); label != r; label = cellInt(m[r][Label]))
      std::swap_ranges(m[r], m[r] + ncols, m[label]);
  return true;
}

void mysorttreemat(TreeMatrix& m, int rows, int ncols, int col) {
  if (col == Label && placeRowsByLabel(m, rows, ncols)) return;
  pivotQuicksort(
      0, rows, [&m, col](long r) { return m[static_cast<int>(r)][col]; },
      [&m, ncols](long i, long j) { std::swap_ranges(m[static_cast<int>(i)], m[static_cast<int>(i)] + ncols, m[static_cast<int>(j)]); });
}

void mysorttreematrev(TreeMatrix& m, int rows, int ncols) {
  for (int i = 0; i < rows / 2; i++) std::swap_ranges(m[i], m[i] + ncols, m[rows - 1 - i]);
}
