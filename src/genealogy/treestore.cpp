#include "genealogy/treestore.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/failure.h"

namespace {

const char* const kStoredTree = "inmat.txt";

// Why a text or a matrix is no genealogy of the run.
struct Fault {
  std::string why;
};

[[noreturn]] void invalid(const std::string& why) { throw Fault{why}; }

bool isWhole(double v) { return std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 2147483648.0; }

// Checks that the matrix is one binary tree over labels 0..2n-2 with n leaves,
// parents older than children, and alleles the frequency tables can score.
void validateTree(const TreeMatrix& m, const std::vector<int>& highestLabel) {
  const TreeLayout& layout = m.layout;
  const int rows = m.rows;
  const int n = (rows + 1) / 2;
  std::vector<int> rowOf(rows, -1);
  for (int r = 0; r < rows; r++) {
    for (int c = 0; c < m.width; c++)
      if (c != BranchLogLik && !std::isfinite(m[r][c]))
        invalid("row " + std::to_string(r + 1) + " holds a value that is not finite");
    for (int c : {int(Label), int(LeftChild), int(RightChild), int(Parent), int(Partner)}) {
      if (c == Partner && !layout.partner) continue;
      if (!isWhole(m[r][c]) || m[r][c] < -1 || m[r][c] >= rows)
        invalid("row " + std::to_string(r + 1) + " has a label or link outside 0.." + std::to_string(rows - 1));
    }
    const int label = cellInt(m[r][Label]);
    if (label < 0 || rowOf[label] != -1) invalid("the labels are not 0.." + std::to_string(rows - 1) + " once each");
    rowOf[label] = r;
  }
  int leaves = 0;
  int roots = 0;
  std::vector<int> childOf(rows, -1);
  for (int r = 0; r < rows; r++) {
    const double* row = m[r];
    const int left = cellInt(row[LeftChild]);
    const int right = cellInt(row[RightChild]);
    if ((left == -1) != (right == -1) || (left != -1 && left == right))
      invalid("node " + std::to_string(cellInt(row[Label])) + " does not have two children or none");
    if (left == -1) {
      leaves++;
      if (row[Time] != 0) invalid("leaf " + std::to_string(cellInt(row[Label])) + " has a time other than 0");
    } else {
      for (int child : {left, right}) {
        if (childOf[child] != -1) invalid("node " + std::to_string(child) + " has two parents");
        childOf[child] = cellInt(row[Label]);
        const double* childRow = m[rowOf[child]];
        if (cellInt(childRow[Parent]) != cellInt(row[Label]))
          invalid("node " + std::to_string(child) + " does not name its parent");
        if (childRow[Time] > row[Time]) invalid("node " + std::to_string(child) + " is older than its parent");
      }
    }
    if (cellInt(row[Parent]) == -1) roots++;
    if (row[BranchLength] < 0) invalid("node " + std::to_string(cellInt(row[Label])) + " has a negative branch length");
  }
  if (leaves != n || roots != 1) invalid("it is not one binary tree with " + std::to_string(n) + " leaves");
  for (int label = 0; label < rows; label++)
    if (childOf[label] == -1 && cellInt(m[rowOf[label]][Parent]) != -1)
      invalid("node " + std::to_string(label) + " is not a child of its parent");
  int reached = 0;
  std::vector<int> pending;
  for (int r = 0; r < rows; r++)
    if (cellInt(m[r][Parent]) == -1) pending.push_back(cellInt(m[r][Label]));
  while (!pending.empty()) {
    const double* row = m[rowOf[pending.back()]];
    pending.pop_back();
    reached++;
    if (cellInt(row[LeftChild]) != -1) {
      pending.push_back(cellInt(row[LeftChild]));
      pending.push_back(cellInt(row[RightChild]));
    }
  }
  if (reached != rows) invalid("some nodes cannot be reached from the root");

  const int loci = layout.loci;
  for (int r = 0; r < rows; r++)
    for (int j = 0; j < layout.alleleColumns; j++) {
      const double v = m[r][layout.firstAllele + j];
      const int locus = j % loci;
      if (!isWhole(v) || alleleOf(v) < 1 || alleleOf(v) > highestLabel[locus])
        invalid("row " + std::to_string(r + 1) + " holds an allele outside the labels of marker " +
                std::to_string(locus + 1));
    }
  const int individuals = layout.partner ? n / 2 : n;
  for (int r = 0; r < rows; r++) {
    const bool leaf = cellInt(m[r][LeftChild]) == -1;
    if (layout.partner) {
      const double partner = m[r][Partner];
      const bool valid = leaf ? partner >= 0 && cellInt(m[rowOf[cellInt(partner)]][LeftChild]) == -1 &&
                                    cellInt(m[rowOf[cellInt(partner)]][Partner]) == cellInt(m[r][Label]) &&
                                    cellInt(partner) != cellInt(m[r][Label])
                              : partner == -1;
      if (!valid) invalid("row " + std::to_string(r + 1) + " has a partner that is not a leaf paired with it");
    }
    if (layout.individual) {
      const double individual = m[r][layout.individualColumn()];
      const bool valid = leaf ? isWhole(individual) && individual >= 0 && individual < individuals : individual == -1;
      if (!valid) invalid("row " + std::to_string(r + 1) + " has an individual number out of range");
    }
  }
}

}  // namespace

void writeGenealogy(const TreeMatrix& m, const std::vector<int>& root, std::ostream& out) {
  for (int r = 0; r < m.rows; r++) {
    for (int c = 0; c < m.width; c++) out << m[r][c] << " ";
    out << "\n";
  }
  for (int allele : root) out << allele << " ";
}

std::string genealogyFault(const TreeMatrix& m, const std::vector<int>& highestLabel) {
  try {
    validateTree(m, highestLabel);
  } catch (const Fault& fault) {
    return fault.why;
  }
  return "";
}

void parseGenealogy(std::istream& in, const std::vector<int>& highestLabel, TreeMatrix& m, std::vector<int>& root) {
  try {
    TreeMatrix read = m;
    for (double& cell : read.cells) {
      // Words rather than formatted doubles: a branch log-likelihood of -inf is
      // written as such and must read back.
      std::string word;
      if (!(in >> word)) invalid("it ends early");
      char* end = nullptr;
      cell = std::strtod(word.c_str(), &end);
      if (end == word.c_str() || *end != '\0') invalid("it holds text that is not a number");
    }
    std::vector<int> readRoot(m.layout.loci);
    for (int& allele : readRoot)
      if (!(in >> allele)) invalid(in.eof() ? "it ends before the root alleles" : "a root allele is not a whole number");
    validateTree(read, highestLabel);
    m = read;
    root = readRoot;
  } catch (const Fault& fault) {
    throw failLine(std::string(kStoredTree) + " does not hold a genealogy of this run: " + fault.why + ".");
  }
}

void readStoredGenealogy(const std::vector<int>& highestLabel, TreeMatrix& m, std::vector<int>& root) {
  std::ifstream in(kStoredTree);
  if (!in) throw failLine(std::string(kStoredTree) + " can't be opened for \"Read old file\".");
  parseGenealogy(in, highestLabel, m, root);
}
