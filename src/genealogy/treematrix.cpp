#include "genealogy/treematrix.h"

#include <algorithm>
#include <vector>

#include "core/sorting.h"

TreeLayout treeLayoutOf(const RunSettings& s) {
  TreeLayout layout;
  layout.loci = s.numLoci;
  layout.partner = s.genotypesModel1();
  layout.individual = s.storesIndHaplotypes();
  layout.firstAllele = 7 + (layout.partner ? 1 : 0) + (layout.individual ? 1 : 0);
  layout.alleleColumns = s.genotypesModel0() ? 2 * s.numLoci : s.numLoci;
  return layout;
}

TreeLayout plainLayout(int loci) {
  TreeLayout layout;
  layout.loci = loci;
  layout.alleleColumns = loci;
  return layout;
}

TreeMatrix makeTreeMatrix(int rows, const TreeLayout& layout) {
  TreeMatrix m;
  m.layout = layout;
  m.rows = rows;
  m.width = layout.width();
  m.cells.assign(static_cast<size_t>(rows) * m.width, -1.0);
  for (int r = 0; r < rows; r++) {
    m[r][Time] = 0;
    m[r][BranchLogLik] = 0;
  }
  return m;
}

void copyTree(const TreeMatrix& from, TreeMatrix& to) {
  to.cells = from.cells;
  to.logLikSums = from.logLikSums;
}

namespace {

// Every label occurs once, so the ascending order by label is unique and any
// sort reaches it: each row goes straight to the row its label names.
// Returns false, changing nothing, when the labels are not 0..rows-1.
bool placeRowsByLabel(TreeMatrix& m) {
  const int rows = m.rows;
  const int ncols = m.width;
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

}  // namespace

void sortRows(TreeMatrix& m, int col) {
  if (col == Label && placeRowsByLabel(m)) return;
  const int ncols = m.width;
  pivotQuicksort(
      0, m.rows, [&m, col](long r) { return m[static_cast<int>(r)][col]; },
      [&m, ncols](long i, long j) {
        std::swap_ranges(m[static_cast<int>(i)], m[static_cast<int>(i)] + ncols, m[static_cast<int>(j)]);
      });
}

void reverseRows(TreeMatrix& m) {
  for (int i = 0; i < m.rows / 2; i++) std::swap_ranges(m[i], m[i] + m.width, m[m.rows - 1 - i]);
}
