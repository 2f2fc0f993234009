#include "model/likelihood.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "input/check.h"

namespace {

// Per-branch working values, kept between calls so that an evaluation
// allocates nothing.
struct BranchScratch {
  std::vector<double> freq;      // frequency of the node's allele at locus k (index k)
  std::vector<double> suffix;    // product of freq over loci k..L
  std::vector<double> prefix;    // product of freq over loci 1..k
} scratch;

// The cached exponentials of one row, valid for branch length t.
double* branchExpsOf(const TreeMatrix& m, int row, double t) {
  const int stride = 2 * pset.numLoci + 1;
  const size_t size = static_cast<size_t>(m.rows) * stride;
  if (m.branchExps.size() != size) m.branchExps.assign(size, std::numeric_limits<double>::quiet_NaN());
  double* cache = &m.branchExps[static_cast<size_t>(row) * stride];
  if (!(cache[0] == t)) {
    cache[0] = t;
    std::fill(cache + 1, cache + stride, std::numeric_limits<double>::quiet_NaN());
  }
  return cache;
}

int sumsLeaves(const TreeMatrix& m) {
  int leaves = 1;
  while (leaves < m.rows) leaves *= 2;
  return leaves;
}

void rebuildSums(TreeMatrix& m) {
  const int leaves = sumsLeaves(m);
  m.logLikSums.assign(2 * static_cast<size_t>(leaves), 0.0);
  for (int r = 0; r < m.rows; r++) m.logLikSums[leaves + r] = m[r][BranchLogLik];
  for (int i = leaves - 1; i >= 1; i--) m.logLikSums[i] = m.logLikSums[2 * i] + m.logLikSums[2 * i + 1];
}

void updateSum(TreeMatrix& m, int row) {
  const int leaves = sumsLeaves(m);
  if (m.logLikSums.size() != 2 * static_cast<size_t>(leaves)) {
    rebuildSums(m);
    return;
  }
  int i = leaves + row;
  m.logLikSums[i] = m[row][BranchLogLik];
  for (i /= 2; i >= 1; i /= 2) m.logLikSums[i] = m.logLikSums[2 * i] + m.logLikSums[2 * i + 1];
}

void recomputeRow(TreeMatrix& m, int row, double x, const std::vector<double>& pos, const FrequencyTable& freq,
                  const std::vector<int>& root) {
  m[row][BranchLogLik] = std::log(branchProbability(m, row, x, pos, freq, root));
}

}  // namespace

double logLikTotal(const TreeMatrix& m) { return m.logLikSums.empty() ? 0.0 : m.logLikSums[1]; }

void restoreBranchLogLik(TreeMatrix& m, int row, double value) {
  m[row][BranchLogLik] = value;
  updateSum(m, row);
}

void restoreBranchLogLikColumn(TreeMatrix& m, const std::vector<double>& saved) {
  for (int r = 0; r < m.rows; r++) m[r][BranchLogLik] = saved[r];
  rebuildSums(m);
}

double freqpr(const TreeMatrix& m, int row, const FrequencyTable& freq, int i, int j) {
  double product = 1;
  for (int k = i; k <= j; k++) product *= freq(alleleOf(m[row][TMAT + k - 1]), k - 1);
  return product;
}

double branchProbability(const TreeMatrix& m, int row, double x, const std::vector<double>& pos,
                         const FrequencyTable& freq, const std::vector<int>& root) {
  const int L = pset.numLoci;
  const double t = m[row][BranchLength];
  const double* node = m[row];
  const int parent = cellInt(node[Parent]);
  const double* parentRow = parent == -1 ? nullptr : m[parent];
  auto differs = [&](int k) {
    const int reference = parentRow ? alleleOf(parentRow[TMAT + k - 1]) : root[k - 1];
    return alleleOf(node[TMAT + k - 1]) != reference;
  };

  int b;
  if (x <= 0) {
    b = 1;
  } else if (x >= pos[L]) {
    b = L + 1;
  } else {
    b = 2;
    while (x > pos[b]) b++;
  }

  double* const exps = branchExpsOf(m, row, t);
  auto& f = scratch.freq;
  f.resize(L + 2);
  for (int k = 1; k <= L; k++) f[k] = freq(alleleOf(node[TMAT + k - 1]), k - 1);

  // First crossover right of the mutation between markers m-1 and m, for m
  // from `from` up to the first differing locus. F(m..L) are the products of
  // the node's frequencies from locus m outward.
  auto rightSide = [&](int from) {
    int first = L + 1;
    for (int k = from; k <= L; k++)
      if (differs(k)) {
        first = k;
        break;
      }
    auto& F = scratch.suffix;
    F.resize(L + 2);
    F[L + 1] = 1;
    for (int k = L; k >= from; k--) F[k] = f[k] * F[k + 1];
    const double ext = std::exp(x * t);
    double* e = exps;
    for (int k = from; k <= std::min(first, L); k++)
      if (std::isnan(e[k])) e[k] = std::exp(-pos[k] * t);
    double sum = 0;
    for (int mm = from; mm <= first; mm++) {
      if (mm > from && mm <= L)
        sum += ext * (e[mm - 1] - e[mm]) * F[mm];
      else if (mm == from && mm <= L)
        sum += (from == 1 ? 1 - ext : 1 - std::exp(-(pos[from] - x) * t)) * F[from];
      else
        sum += ext * e[L];
    }
    return sum;
  };
  // First crossover left of the mutation between markers m and m+1, for m
  // from the last differing locus up to `to`; F(1..m) inward products.
  auto leftSide = [&](int to) {
    int last = 0;
    for (int k = to; k >= 1; k--)
      if (differs(k)) {
        last = k;
        break;
      }
    auto& F = scratch.prefix;
    F.resize(L + 2);
    F[0] = 1;
    for (int k = 1; k <= to; k++) F[k] = F[k - 1] * f[k];
    const double emxt = std::exp(-x * t);
    double* g = exps + L;
    for (int k = std::max(last, 2); k <= to; k++)
      if (std::isnan(g[k])) g[k] = std::exp(pos[k] * t);
    double sum = 0;
    for (int mm = last; mm <= to; mm++) {
      if (mm > 1 && mm < to)
        sum += emxt * (g[mm + 1] - g[mm]) * F[mm];
      else if (mm == to && mm >= 1)
        sum += (1 - std::exp(-(x - pos[to]) * t)) * F[to];
      else if (mm == 1)
        sum += emxt * (g[2] - 1) * F[1];
      else
        sum += emxt;
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
    for (int r = 0; r < m.rows; r++) recomputeRow(m, r, x, pos, freq, root);
    rebuildSums(m);
    *result = logLikTotal(m);
    return;
  }
  MUTLOC_CHECK(start < m.rows);
  recomputeRow(m, start, x, pos, freq, root);
  updateSum(m, start);
  if (type == 0) {
    const int left = cellInt(m[start][LeftChild]);
    const int right = cellInt(m[start][RightChild]);
    if (left == -1) {
      for (int r = 0; r < m.rows; r++) recomputeRow(m, r, x, pos, freq, root);
      rebuildSums(m);
    } else {
      recomputeRow(m, left, x, pos, freq, root);
      updateSum(m, left);
      recomputeRow(m, right, x, pos, freq, root);
      updateSum(m, right);
    }
  } else if (type == 2 && hasPartnerColumn()) {
    const int partner = cellInt(m[start][Partner]);
    recomputeRow(m, partner, x, pos, freq, root);
    updateSum(m, partner);
  }
  *result = logLikTotal(m);
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
