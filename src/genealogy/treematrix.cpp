#include "genealogy/treematrix.h"

#include <algorithm>

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

void copytree(const TreeMatrix& from, TreeMatrix& to) { to.cells = from.cells; }

void mysorttreemat(TreeMatrix& m, int rows, int ncols, int col) {
  pivotQuicksort(
      0, rows, [&m, col](long r) { return m[static_cast<int>(r)][col]; },
      [&m, ncols](long i, long j) { std::swap_ranges(m[static_cast<int>(i)], m[static_cast<int>(i)] + ncols, m[static_cast<int>(j)]); });
}

void mysorttreematrev(TreeMatrix& m, int rows, int ncols) {
  for (int i = 0; i < rows / 2; i++) std::swap_ranges(m[i], m[i] + ncols, m[rows - 1 - i]);
}

int rowOfLabel(const TreeMatrix& m, int label) {
  for (int r = 0; r < m.rows; r++)
    if (cellInt(m[r][Label]) == label) return r;
  return -1;
}
