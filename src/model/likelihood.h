// Probability of the allele states of a genealogy given the mutation location,
// the marker map, the allele frequencies and the ancestral haplotype.
#pragma once

#include <cstdint>
#include <vector>

#include "genealogy/treematrix.h"
#include "input/settings.h"

// Which branches a rescoring recomputes; the others must be current.
enum class Rescore {
  All,              // every branch
  NodeAndChildren,  // a node's branch and its two children's (every branch for a leaf)
  Node,             // one branch
  LeafAndPartner,   // a leaf's branch and, when that column exists, its Partner's
};

// Which markers lie right of the mutation at x on the map (map[1..loci]):
// b such that markers b..loci are right of it and 1..b-1 left (1 when
// x <= 0, loci+1 when x >= the last marker). Inline, and with one exit:
// every branch probability asks, and written with early returns it cost the
// branch probability 3 % more instructions (GCC 12, callgrind).
inline int firstMarkerRightOf(double x, const std::vector<double>& map, int loci) {
  int b;
  if (x <= 0) {
    b = 1;
  } else if (x >= map[loci]) {
    b = loci + 1;
  } else {
    b = 2;
    while (x > map[b]) b++;
  }
  return b;
}

// What a branch is scored against besides the genealogy.
struct BranchModel {
  double location;                  // mutation location x
  const std::vector<double>& map;   // marker positions, index 1..L
  const FrequencyTable& freq;       // allele frequencies
  const std::vector<int>& root;     // ancestral haplotype
  // By row: 1 for a sporadic leaf, whose alleles are drawn from the
  // population whatever its parent holds (--sporadic); null: every leaf
  // descends from the founder.
  const std::vector<uint8_t>* sporadic = nullptr;

  bool isSporadic(int row) const { return sporadic && (*sporadic)[row] != 0; }
};

// Recomputes BranchLogLik for the rows `what` names (around row `node`, unused
// for All) of the canonical matrix m and returns the matrix's log-likelihood:
// the column summed pairwise (see logLikTotal).
double rescoreTree(TreeMatrix& m, const BranchModel& model, Rescore what, int node = -1);

// Log-likelihood of allele frequencies freq given the control counts (and,
// with genotypes under genetic model 0, the leaves' second chromosomes).
double frequencyLogLik(const RunSettings& s, const TreeMatrix& m, const FrequencyTable& freq);

// sum plus, locus by locus in order, the log frequencies of a leaf row's
// second-chromosome alleles (genotypes under genetic model 0). Every sum of
// these terms adds them in this order, so totals built leaf by leaf round the
// same way wherever they are built.
double addSecondChromLogFreqs(double sum, const TreeMatrix& m, int row, const FrequencyTable& freq);

// The matrix's log-likelihood: the BranchLogLik column summed pairwise over a
// complete binary tree of the rows, the same however the column came about.
double logLikTotal(const TreeMatrix& m);

// Writes saved BranchLogLik values back (a move undoing its proposal) and
// keeps the total current.
void restoreBranchLogLik(TreeMatrix& m, int row, double value);
void restoreBranchLogLikColumn(TreeMatrix& m, const std::vector<double>& saved);

// Probability of one branch: row's haplotype descending from its parent's (or
// from the ancestral haplotype) over BranchLength with the mutation at x.
// The branch term of a sporadic leaf is populationProbability instead; this
// is what the leaf's would be if it descended.
double branchProbability(const TreeMatrix& m, int row, const BranchModel& model);

// The population probability of a row's alleles (its carrier chromosome's,
// with genotypes under genetic model 0): the product of their frequencies.
double populationProbability(const TreeMatrix& m, int row, const FrequencyTable& freq);

// One branch's probability split at a single locus, with every other allele
// held (loci k are 1-based here):
//   the node's own allele a at k:      P = (own1(k) * freq(a, k) + own2(k) * [a == reference allele]) * other(k)
//   the reference's (parent's) a at k: P = (ref1(k) + ref2(k) * [a == node's allele]) * other(k)
// where other(k) is the factor of the other side of the mutation. These are
// the sums branchProbability forms, kept as partial sums so that the split
// at any locus costs O(1) after an O(L) set-up, and so that when only the
// alleles change (the branch length and the location stay) they are
// re-summed without any exponential.
class BranchSplit {
 public:
  // The crossover weights of the branch of `row` at location x.
  void weigh(const TreeMatrix& m, int row, double x, const std::vector<double>& map);
  // The sums for the current alleles of the node (nodeCells: its allele
  // cells) and of its reference (referenceAlleles: loci 1..L at index k-1).
  template <typename Reference>
  void sum(const double* nodeCells, const Reference& referenceAllele, const FrequencyTable& freq);
  // The same after only the reference's alleles changed since sum(): the
  // node's frequencies, and so the sums of their products, stay; only the
  // loci where node and reference differ are found again.
  template <typename Reference>
  void resumReference(const double* nodeCells, const Reference& referenceAllele);

  double own1(int k) const;
  double own2(int k) const;
  double ref1(int k) const;
  double ref2(int k) const { return own2(k); }
  double other(int k) const { return k >= b_ ? left_ : right_; }

  // The crossover weights weigh() found: b, the first locus right of the
  // mutation; rightWeight(m), m = b..L+1, the chance that the first crossover
  // right of it lies between markers m-1 and m (L+1: none before the last
  // marker); leftWeight(m), m = 0..b-1, the same between markers m and m+1 on
  // the left (0: none before the first marker).
  int firstRight() const { return b_; }
  double rightWeight(int m) const { return E_[m]; }
  double leftWeight(int m) const { return D_[m]; }

 private:
  void sumWith();
  void placeDifferences();
  int firstWithout(int k) const { return k == first_ ? second_ : first_; }
  int lastWithout(int k) const { return k == last_ ? secondLast_ : last_; }

  int L_ = 0, b_ = 1;
  std::vector<double> E_, D_;        // right-side weights (b..L+1), left-side weights (0..b-1)
  std::vector<double> f_;            // the node's allele frequencies, 1..L
  std::vector<char> differs_;        // node and reference differ, 1..L
  std::vector<double> S_, V_;        // prefix sums of E F, suffix sums of D P
  int first_ = 0, second_ = 0, last_ = 0, secondLast_ = 0;
  double right_ = 1, left_ = 1;
};

template <typename Reference>
void BranchSplit::sum(const double* nodeCells, const Reference& referenceAllele, const FrequencyTable& freq) {
  for (int k = 1; k <= L_; k++) {
    const int a = alleleOf(nodeCells[k - 1]);
    f_[k] = freq(a, k - 1);
    differs_[k] = a != referenceAllele(k - 1);
  }
  sumWith();
}

template <typename Reference>
void BranchSplit::resumReference(const double* nodeCells, const Reference& referenceAllele) {
  for (int k = 1; k <= L_; k++) differs_[k] = alleleOf(nodeCells[k - 1]) != referenceAllele(k - 1);
  placeDifferences();
}

// The same split for every locus at once (k 0-based in the vectors).
struct BranchProfile {
  std::vector<double> own1, own2, ref1, ref2, other;
  BranchSplit split;
};
void profileBranch(const TreeMatrix& m, int row, const BranchModel& model, BranchProfile& out);
