#include "model/likelihood.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/check.h"

namespace {

// The cached exponentials of one row, valid for branch length t.
double* branchExpsOf(const TreeMatrix& m, int row, double t) {
  const int stride = 2 * m.layout.loci + 1;
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

void recomputeRow(TreeMatrix& m, int row, const BranchModel& model) {
  m[row][BranchLogLik] = std::log(model.isSporadic(row) ? populationProbability(m, row, model.freq)
                                                        : branchProbability(m, row, model));
}

void recomputeAll(TreeMatrix& m, const BranchModel& model) {
  for (int r = 0; r < m.rows; r++) recomputeRow(m, r, model);
  rebuildSums(m);
}

void recomputeOne(TreeMatrix& m, int row, const BranchModel& model) {
  recomputeRow(m, row, model);
  updateSum(m, row);
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

double branchProbability(const TreeMatrix& m, int row, const BranchModel& model) {
  const double x = model.location;
  const std::vector<double>& pos = model.map;
  const FrequencyTable& freq = model.freq;
  const std::vector<int>& root = model.root;
  const int L = m.layout.loci;
  const int firstAllele = m.layout.firstAllele;
  BranchScratch& scratch = m.scratch;
  const double t = m[row][BranchLength];
  const double* node = m[row];
  const int parent = cellInt(node[Parent]);
  const double* parentRow = parent == -1 ? nullptr : m[parent];

  // The mutation lies between markers b-1 and b.
  int b = firstMarkerRightOf(x, pos, L);

  // One pass from the last marker inward: the node's allele frequencies, the
  // first locus right of the mutation and the last locus left of it where the
  // node differs from its parent, and the products F(k..L) of the frequencies
  // from locus k outward (right of the mutation only).
  std::vector<double>& f = scratch.freq;
  std::vector<double>& F = scratch.suffix;
  f.resize(L + 2);
  F.resize(L + 2);
  F[L + 1] = 1;
  int first = L + 1;
  int last = 0;
  for (int k = L; k >= 1; k--) {
    const double cell = std::fabs(node[firstAllele + k - 1]);
    f[k] = freq(static_cast<int>(cell), k - 1);
    // Allele cells hold whole numbers, so comparing magnitudes compares alleles.
    const double reference = parentRow ? std::fabs(parentRow[firstAllele + k - 1]) : root[k - 1];
    const bool differs = cell != reference;
    if (k >= b) {
      F[k] = f[k] * F[k + 1];
      if (differs) first = k;
    } else if (differs && last == 0) {
      last = k;
    }
  }
  double* const e = branchExpsOf(m, row, t);  // e[k] = e^(-pos[k] t)
  double* const g = e + L;                    // g[k] = e^(pos[k] t)

  // Right side: the first crossover lies between markers m-1 and m for m from
  // b up to the first differing locus (or beyond the last marker); loci from
  // m on then carry population alleles, weighed by F(m..L).
  double right = 1;
  if (b <= L) {
    const int top = std::min(first, L);
    for (int k = b; k <= top; k++)
      if (std::isnan(e[k])) e[k] = std::exp(-pos[k] * t);
    const double ext = std::exp(x * t);
    right = (b == 1 ? 1 - ext : 1 - std::exp(-(pos[b] - x) * t)) * F[b];
    for (int mm = b + 1; mm <= top; mm++) right += ext * (e[mm - 1] - e[mm]) * F[mm];
    if (first == L + 1) right += ext * e[L];
    if (b == 1) return right;
  }

  // Left side, mirrored: the first crossover lies between markers m and m+1
  // for m from the last differing locus up to b-1; P(1..m) weighs loci 1..m.
  const int to = b - 1;
  std::vector<double>& P = scratch.prefix;
  P.resize(L + 2);
  P[0] = 1;
  for (int k = 1; k <= to; k++) P[k] = P[k - 1] * f[k];
  for (int k = std::max(last, 2); k <= to; k++)
    if (std::isnan(g[k])) g[k] = std::exp(pos[k] * t);
  const double emxt = std::exp(-x * t);
  double left = 0;
  int mm = last;
  if (mm == 0) {
    left += emxt;
    mm = 1;
  }
  if (mm == 1 && to > 1) {
    left += emxt * (g[2] - 1) * P[1];
    mm = 2;
  }
  for (; mm < to; mm++) left += emxt * (g[mm + 1] - g[mm]) * P[mm];
  left += (1 - std::exp(-(x - pos[to]) * t)) * P[to];
  return b == L + 1 ? left : right * left;
}

double populationProbability(const TreeMatrix& m, int row, const FrequencyTable& freq) {
  const double* cells = m[row] + m.layout.firstAllele;
  double p = 1;
  for (int k = 0; k < m.layout.loci; k++) p *= freq(alleleOf(cells[k]), k);
  return p;
}

double rescoreTree(TreeMatrix& m, const BranchModel& model, Rescore what, int node) {
  if (what == Rescore::All) {
    recomputeAll(m, model);
    return logLikTotal(m);
  }
  MUTLOC_CHECK(node >= 0 && node < m.rows);
  recomputeOne(m, node, model);
  if (what == Rescore::NodeAndChildren) {
    const int left = cellInt(m[node][LeftChild]);
    const int right = cellInt(m[node][RightChild]);
    if (left == -1) {
      recomputeAll(m, model);
    } else {
      recomputeOne(m, left, model);
      recomputeOne(m, right, model);
    }
  } else if (what == Rescore::LeafAndPartner && m.layout.partner) {
    recomputeOne(m, cellInt(m[node][Partner]), model);
  }
  return logLikTotal(m);
}

double addSecondChromLogFreqs(double sum, const TreeMatrix& m, int row, const FrequencyTable& freq) {
  const int L = m.layout.loci;
  const double* cells = m[row] + m.layout.firstAllele + L;
  for (int k = 0; k < L; k++) sum += std::log(freq(alleleOf(cells[k]), k));
  return sum;
}

double frequencyLogLik(const RunSettings& s, const TreeMatrix& m, const FrequencyTable& freq) {
  const int L = s.numLoci;
  const auto& controlCount = s.alleles.controlCount;
  double sum = 0;
  for (int a = 1; a <= s.alleles.largest; a++)
    for (int k = 1; k <= L; k++) {
      const int count = controlCount[a][k - 1];
      if (count != 0) sum += count * std::log(freq(a, k - 1));
    }
  if (s.genotypesModel0())
    for (int r = 0; r < m.rows; r++)
      if (cellInt(m[r][LeftChild]) < 0) sum = addSecondChromLogFreqs(sum, m, r, freq);
  return sum;
}

void BranchSplit::weigh(const TreeMatrix& m, int row, double x, const std::vector<double>& pos) {
  const int L = m.layout.loci;
  const double t = m[row][BranchLength];
  L_ = L;
  b_ = firstMarkerRightOf(x, pos, L);
  double* const e = branchExpsOf(m, row, t);  // e[k] = e^(-pos[k] t), g[k] = e^(pos[k] t)
  double* const g = e + L;
  // Every entry a sum reads is written below or by sum() (right side b..L+1,
  // left side 0..b-1), so the vectors only need their size.
  E_.resize(L + 2);
  D_.resize(L + 2);
  f_.resize(L + 2);
  differs_.resize(L + 2);
  S_.resize(L + 2);
  V_.resize(L + 3);
  if (b_ <= L) {
    // As branchProbability's right side: the first crossover between markers
    // m-1 and m, m = b..L, or none before the end (m = L+1).
    const double ext = std::exp(x * t);
    for (int k = b_; k <= L; k++)
      if (std::isnan(e[k])) e[k] = std::exp(-pos[k] * t);
    E_[b_] = b_ == 1 ? 1 - ext : 1 - std::exp(-(pos[b_] - x) * t);
    for (int mm = b_ + 1; mm <= L; mm++) E_[mm] = ext * (e[mm - 1] - e[mm]);
    E_[L + 1] = ext * e[L];
  }
  if (b_ >= 2) {
    // Mirrored on the left: between markers m and m+1, m = 0..b-1.
    const int to = b_ - 1;
    for (int k = 2; k <= to; k++)
      if (std::isnan(g[k])) g[k] = std::exp(pos[k] * t);
    const double emxt = std::exp(-x * t);
    D_[0] = emxt;
    for (int mm = 1; mm < to; mm++) D_[mm] = emxt * (g[mm + 1] - (mm == 1 ? 1.0 : g[mm]));  // pos[1] = 0
    D_[to] = 1 - std::exp(-(x - pos[to]) * t);
  }
}

void BranchSplit::sumWith() {
  const int L = L_;
  if (b_ <= L) {
    double F = 1;  // f[m] ... f[L], built from the end
    for (int mm = L + 1; mm >= b_; mm--) {
      if (mm <= L) F *= f_[mm];
      S_[mm] = E_[mm] * F;
    }
    for (int mm = b_ + 1; mm <= L + 1; mm++) S_[mm] += S_[mm - 1];
  }
  if (b_ >= 2) {
    const int to = b_ - 1;
    double P = 1;  // f[1] ... f[m]
    for (int mm = 0; mm <= to; mm++) {
      if (mm >= 1) P *= f_[mm];
      V_[mm] = D_[mm] * P;
    }
    V_[to + 1] = 0;
    for (int mm = to - 1; mm >= 0; mm--) V_[mm] += V_[mm + 1];
  }
  placeDifferences();
}

void BranchSplit::placeDifferences() {
  const int L = L_;
  right_ = left_ = 1;
  first_ = second_ = L + 1;
  last_ = secondLast_ = 0;
  if (b_ <= L) {
    for (int k = L; k >= b_; k--)
      if (differs_[k]) {
        second_ = first_;
        first_ = k;
      }
    right_ = S_[first_];
  }
  if (b_ >= 2) {
    const int to = b_ - 1;
    for (int k = 1; k <= to; k++)
      if (differs_[k]) {
        secondLast_ = last_;
        last_ = k;
      }
    left_ = V_[last_];
  }
}

double BranchSplit::own1(int k) const {
  // The terms that hold locus k's frequency, without it; recounted where the
  // frequency is 0 rather than divided by.
  if (k >= b_) {
    const int upTo = std::min(k, firstWithout(k));
    if (f_[k] != 0) return S_[upTo] / f_[k];
    double own = 0;
    for (int mm = b_; mm <= upTo; mm++) {
      double F = 1;
      for (int j = mm; j <= L_; j++)
        if (j != k) F *= f_[j];
      own += E_[mm] * F;
    }
    return own;
  }
  const int from = std::max(k, lastWithout(k));
  if (f_[k] != 0) return V_[from] / f_[k];
  double own = 0;
  for (int mm = from; mm < b_; mm++) {
    double P = 1;
    for (int j = 1; j <= mm; j++)
      if (j != k) P *= f_[j];
    own += D_[mm] * P;
  }
  return own;
}

double BranchSplit::own2(int k) const {
  if (k >= b_) {
    const int without = firstWithout(k);
    return without > k ? S_[without] - S_[k] : 0;
  }
  const int without = lastWithout(k);
  return without < k ? V_[without] - V_[k] : 0;
}

double BranchSplit::ref1(int k) const {
  return k >= b_ ? S_[std::min(k, firstWithout(k))] : V_[std::max(k, lastWithout(k))];
}

void profileBranch(const TreeMatrix& m, int row, const BranchModel& model, BranchProfile& out) {
  const int L = m.layout.loci;
  const int firstAllele = m.layout.firstAllele;
  const int parent = cellInt(m[row][Parent]);
  out.split.weigh(m, row, model.location, model.map);
  if (parent == -1)
    out.split.sum(m[row] + firstAllele, [&](int k) { return model.root[k]; }, model.freq);
  else
    out.split.sum(m[row] + firstAllele, [&](int k) { return alleleOf(m[parent][firstAllele + k]); }, model.freq);
  for (auto* v : {&out.own1, &out.own2, &out.ref1, &out.ref2, &out.other}) v->resize(L);
  for (int k = 1; k <= L; k++) {
    out.own1[k - 1] = out.split.own1(k);
    out.own2[k - 1] = out.split.own2(k);
    out.ref1[k - 1] = out.split.ref1(k);
    out.ref2[k - 1] = out.split.ref2(k);
    out.other[k - 1] = out.split.other(k);
  }
}
