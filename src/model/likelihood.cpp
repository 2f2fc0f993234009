#include "model/likelihood.h"

#include <cmath>

#include "input/check.h"

namespace {

// Allele of row at locus k (1-based) and the reference allele it descends from.
struct BranchAlleles {
  const double* node;
  const double* parent;  // nullptr for the root
  const std::vector<int>& root;
  int at(int k) const { return alleleOf(node[TMAT + k - 1]); }
  int reference(int k) const { return parent ? alleleOf(parent[TMAT + k - 1]) : root[k - 1]; }
};

double columnSum(const TreeMatrix& m) {
  double sum = 0;
  for (int r = 0; r < m.rows; r++) sum += m[r][BranchLogLik];
  return sum;
}

void recomputeRow(TreeMatrix& m, int row, double x, const std::vector<double>& pos, const FrequencyTable& freq,
                  const std::vector<int>& root) {
  m[row][BranchLogLik] = std::log(branchProbability(m, row, x, pos, freq, root));
}

}  // namespace

double freqpr(const TreeMatrix& m, int row, const FrequencyTable& freq, int i, int j) {
  double product = 1;
  for (int k = i; k <= j; k++) product *= freq(alleleOf(m[row][TMAT + k - 1]), k - 1);
  return product;
}

double branchProbability(const TreeMatrix& m, int row, double x, const std::vector<double>& pos,
                         const FrequencyTable& freq, const std::vector<int>& root) {
  const int L = pset.numLoci;
  const double t = m[row][BranchLength];
  const int parent = cellInt(m[row][Parent]);
  const BranchAlleles alleles{m[row], parent == -1 ? nullptr : m[parent], root};
  auto F = [&](int i, int j) { return freqpr(m, row, freq, i, j); };

  int b;
  if (x <= 0) {
    b = 1;
  } else if (x >= pos[L]) {
    b = L + 1;
  } else {
    b = 2;
    while (x > pos[b]) b++;
  }

  // First crossover right of the mutation between markers m-1 and m (m from b
  // up to the first differing locus).
  auto rightSide = [&](int from) {
    int first = L + 1;
    for (int k = from; k <= L; k++)
      if (alleles.at(k) != alleles.reference(k)) {
        first = k;
        break;
      }
    double sum = 0;
    for (int mm = from; mm <= first; mm++) {
      if (mm > from && mm <= L)
        sum += std::exp(x * t) * (std::exp(-pos[mm - 1] * t) - std::exp(-pos[mm] * t)) * F(mm, L);
      else if (mm == from && mm <= L)
        sum += (from == 1 ? 1 - std::exp(x * t) : 1 - std::exp(-(pos[from] - x) * t)) * F(from, L);
      else
        sum += std::exp(x * t) * std::exp(-pos[L] * t);
    }
    return sum;
  };
  // First crossover left of the mutation between markers m and m+1 (m from
  // the last differing locus up to `to`).
  auto leftSide = [&](int to) {
    int last = 0;
    for (int k = to; k >= 1; k--)
      if (alleles.at(k) != alleles.reference(k)) {
        last = k;
        break;
      }
    double sum = 0;
    for (int mm = last; mm <= to; mm++) {
      if (mm > 1 && mm < to)
        sum += std::exp(-x * t) * (std::exp(pos[mm + 1] * t) - std::exp(pos[mm] * t)) * F(1, mm);
      else if (mm == to && mm >= 1)
        sum += (1 - std::exp(-(x - pos[to]) * t)) * F(1, to);
      else if (mm == 1)
        sum += std::exp(-x * t) * (std::exp(pos[2] * t) - 1) * F(1, 1);
      else
        sum += std::exp(-x * t);
    }
    return sum;
  };

  if (b == 1) return rightSide(1);
  if (b == L + 1) return leftSide(L);
  return rightSide(b) * leftSide(b - 1);
}

void tprob(TreeMatrix& m, double x, const std::vector<double>& pos, double* result, const FrequencyTable& freq,
           const std::vector<int>& root, int start, int type) {
  if (start < 0) {
    double total = 0;
    for (int r = 0; r < m.rows; r++) {
      recomputeRow(m, r, x, pos, freq, root);
      total += m[r][BranchLogLik];
    }
    *result = total;
    return;
  }
  MUTLOC_CHECK(start < m.rows);
  recomputeRow(m, start, x, pos, freq, root);
  if (type == 0) {
    const int left = cellInt(m[start][LeftChild]);
    const int right = cellInt(m[start][RightChild]);
    if (left == -1) {
      for (int r = 0; r < m.rows; r++) recomputeRow(m, r, x, pos, freq, root);
    } else {
      recomputeRow(m, left, x, pos, freq, root);
      recomputeRow(m, right, x, pos, freq, root);
    }
  } else if (type == 2 && hasPartnerColumn()) {
    recomputeRow(m, cellInt(m[start][Partner]), x, pos, freq, root);
  }
  *result = columnSum(m);
}

double getalllik(const TreeMatrix& m, int A, int chain) {
  const auto& freq = pset.alleleFreq[chain];
  const int L = pset.numLoci;
  double sum = 0;
  for (int a = 1; a <= A; a++)
    for (int k = 1; k <= L; k++) {
      const int count = normmat[a][k - 1];
      if (count != 0) sum += count * std::log(freq(a, k - 1));
    }
  if (pset.dataAsGenotypes == 1 && pset.geneticModel == 0)
    for (int r = 0; r < m.rows; r++)
      if (cellInt(m[r][LeftChild]) < 0)
        for (int k = 1; k <= L; k++) sum += std::log(freq(alleleOf(m[r][TMAT + L + k - 1]), k - 1));
  return sum;
}
