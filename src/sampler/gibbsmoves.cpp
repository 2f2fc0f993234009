#include "sampler/gibbsmoves.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/acceptance.h"
#include "sampler/allelemoves.h"
#include "sampler/kernels.h"

namespace {

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();
constexpr double kJumpShare = 0.2;

double logOf(double x) { return x > 0 ? std::log(x) : kMinusInfinity; }

// The conditional of one allele over the labels of locus k (index: label, 0
// unused), in the chain's scratch. The moves write log weights: the branch
// factors of many markers are products of many frequencies, and their
// product over three branches would underflow (at 99 markers of 30 alleles
// it did, to 0 for valid alleles). normalise() then scales them so that the
// largest weight is 1.
struct Conditional {
  std::vector<double>& logWeight;
  std::vector<double>& weight;
  double sum = 0;     // of the weights; not above 0 when no label has mass
  double logSum = 0;

  double largest(int labels) const {
    double top = kMinusInfinity;
    for (int l = 1; l <= labels; l++) top = std::max(top, logWeight[l]);
    return top;
  }

  // Raises the weights (the likelihood factors) to the power beta, relative
  // to the largest.
  void temper(int labels, double beta) {
    const double top = largest(labels);
    if (!(top > kMinusInfinity)) return;
    for (int l = 1; l <= labels; l++)
      logWeight[l] = beta == 1 ? logWeight[l] - top : beta * (logWeight[l] - top);
  }

  void normalise(int labels) {
    const double top = largest(labels);
    sum = 0;
    if (!(top > kMinusInfinity) || !std::isfinite(top)) return;
    for (int l = 1; l <= labels; l++) {
      logWeight[l] -= top;
      weight[l] = std::exp(logWeight[l]);
      sum += weight[l];
    }
    logSum = std::log(sum);
    linear = false;
  }

  // Weights formed directly (see AlleleScorer::internal); their logarithms
  // are taken only for the probability of a drawn label.
  bool linear = false;

  // Log of the normalised probability of label a (-inf without mass).
  double logProbability(int a) const {
    if (!(sum > 0)) return kMinusInfinity;
    return linear ? logOf(weight[a]) - logSum : logWeight[a] - logSum;
  }

  // One uniform draw; keeps `current` when no label has mass.
  int draw(int labels, int current, Random& rng) const {
    const double u = rng.uniform();
    if (!(sum > 0) || !std::isfinite(sum)) return current;
    double running = 0;
    for (int l = 1; l <= labels; l++) {
      running += weight[l];
      if (u * sum <= running) return l;
    }
    return labels;
  }
};

// The conditionals of the alleles of one node (or of the ancestral
// haplotype) at a location: the splits of the branches the allele is on,
// weighed once for the node and re-summed, without exponentials, after any
// of its alleles changes.
struct AlleleScorer {
  Chain& chain;
  const RunSettings& s;
  double location;
  const std::vector<int>& root;
  BranchSplit &own, &left, &right;
  int focused = -1;    // the internal node whose three branches are weighed, or -1
  bool ancestralFocus = false;

  AlleleScorer(Chain& c, const RunSettings& settings, double x)
      : chain(c),
        s(settings),
        location(x),
        root(c.rootHaplotype),
        own(c.scratch.ownSplit),
        left(c.scratch.leftSplit),
        right(c.scratch.rightSplit) {}

  // Sums the focused branches after focusing.
  void sumAll() { sumFocused(true); }
  // Re-sums them after one of the focused alleles changed. The children's
  // frequencies (and the root node's, below the ancestral haplotype) stay,
  // and with them their sums: only where they differ from the focus moves.
  void resum() { sumFocused(false); }

  void sumFocused(bool full) {
    const TreeMatrix& m = chain.tree;
    const int firstAllele = m.layout.firstAllele;
    const FrequencyTable& freq = chain.alleleFreq;
    if (ancestralFocus) {
      auto fromRoot = [&](int k) { return root[k]; };
      if (full)
        own.sum(m[chain.rootLabel] + firstAllele, fromRoot, freq);
      else
        own.resumReference(m[chain.rootLabel] + firstAllele, fromRoot);
      return;
    }
    if (focused < 0) return;
    const int v = focused;
    const int parent = cellInt(m[v][Parent]);
    if (parent == -1)
      own.sum(m[v] + firstAllele, [&](int k) { return root[k]; }, freq);
    else
      own.sum(m[v] + firstAllele, [&](int k) { return alleleOf(m[parent][firstAllele + k]); }, freq);
    auto fromV = [&](int k) { return alleleOf(m[v][firstAllele + k]); };
    const double* leftCells = m[cellInt(m[v][LeftChild])] + firstAllele;
    const double* rightCells = m[cellInt(m[v][RightChild])] + firstAllele;
    if (full) {
      left.sum(leftCells, fromV, freq);
      right.sum(rightCells, fromV, freq);
    } else {
      left.resumReference(leftCells, fromV);
      right.resumReference(rightCells, fromV);
    }
  }

  void focus(int v) {
    if (focused == v && !ancestralFocus) return;
    const TreeMatrix& m = chain.tree;
    own.weigh(m, v, location, s.mapDist);
    left.weigh(m, cellInt(m[v][LeftChild]), location, s.mapDist);
    right.weigh(m, cellInt(m[v][RightChild]), location, s.mapDist);
    focused = v;
    ancestralFocus = false;
    sumAll();
  }

  void focusAncestral() {
    if (ancestralFocus) return;
    own.weigh(chain.tree, chain.rootLabel, location, s.mapDist);
    ancestralFocus = true;
    focused = -1;
    sumAll();
  }

  // log f(l, k), kept per frequency cell while the frequency stays.
  double logFrequency(int l, int k) {
    const size_t cell = static_cast<size_t>(l) * chain.alleleFreq.loci + k;
    const double f = chain.alleleFreq.cells[cell];
    std::vector<double>& of = chain.scratch.logFreqOf;
    if (of.size() != chain.alleleFreq.cells.size()) {
      of.assign(chain.alleleFreq.cells.size(), std::numeric_limits<double>::quiet_NaN());
      chain.scratch.logFreq.assign(of.size(), 0.0);
    }
    if (!(of[cell] == f)) {
      of[cell] = f;
      chain.scratch.logFreq[cell] = logOf(f);
    }
    return chain.scratch.logFreq[cell];
  }

  // Internal node v's allele at locus k (0-based): its own branch to its
  // parent (or to the ancestral haplotype) and its two children's branches,
  // the likelihood raised to the chain's power.
  void internal(int v, int k, Conditional& out) {
    focus(v);
    const TreeMatrix& m = chain.tree;
    const int firstAllele = m.layout.firstAllele;
    const int parent = cellInt(m[v][Parent]);
    const int reference = parent == -1 ? root[k] : alleleOf(m[parent][firstAllele + k]);
    const int leftChild = cellInt(m[v][LeftChild]), rightChild = cellInt(m[v][RightChild]);
    const int leftAllele = alleleOf(m[leftChild][firstAllele + k]);
    const int rightAllele = alleleOf(m[rightChild][firstAllele + k]);
    const int labels = s.alleles.highestLabel[k];
    const int locus = k + 1;
    const double a = own.own1(locus), b = own.own2(locus);
    // A sporadic child's alleles do not depend on v's: its branch is the
    // same factor for every label.
    const bool leftDescends = !chain.isSporadic(leftChild), rightDescends = !chain.isSporadic(rightChild);
    const double l1 = leftDescends ? left.ref1(locus) : 1, l2 = leftDescends ? left.ref2(locus) : 0;
    const double r1 = rightDescends ? right.ref1(locus) : 1, r2 = rightDescends ? right.ref2(locus) : 0;
    // Cold chains form the weights as products, each branch's pair of terms
    // scaled by its larger one: logarithms and exponentials of every label's
    // three factors were a third of a run's time. A product so small that it
    // may have lost precision is formed again from logarithms.
    if (chain.beta == 1 && linearWeights(k, labels, reference, leftAllele, rightAllele, a, b, l1, l2, r1, r2, out))
      return;
    // Labels other than the three neighbours' take the first terms only.
    const double logA = logOf(a), logL1 = logOf(l1), logR1 = logOf(r1);
    const double logLeftSame = logOf(l1 + l2), logRightSame = logOf(r1 + r2);
    std::vector<double>& w = out.logWeight;
    for (int l = 1; l <= labels; l++) {
      w[l] = (l == reference ? logOf(a * chain.alleleFreq(l, k) + b) : logA + logFrequency(l, k)) +
             (l == leftAllele ? logLeftSame : logL1) + (l == rightAllele ? logRightSame : logR1);
    }
    out.temper(labels, chain.beta);
    out.normalise(labels);
  }

  // The weights of internal() as scaled products; false (nothing usable
  // written) when the sum is not safely above the smallest normal numbers.
  bool linearWeights(int k, int labels, int reference, int leftAllele, int rightAllele, double a, double b, double l1,
                     double l2, double r1, double r2, Conditional& out) {
    const double ownScale = std::max(a, b), leftScale = std::max(l1, l2), rightScale = std::max(r1, r2);
    if (!(ownScale > 0 && leftScale > 0 && rightScale > 0) || !std::isfinite(ownScale + leftScale + rightScale))
      return false;
    a /= ownScale;
    b /= ownScale;
    l1 /= leftScale;
    l2 /= leftScale;
    r1 /= rightScale;
    r2 /= rightScale;
    std::vector<double>& w = out.weight;
    double sum = 0;
    for (int l = 1; l <= labels; l++) {
      const double f = chain.alleleFreq(l, k);
      w[l] = (l == reference ? a * f + b : a * f) * (l == leftAllele ? l1 + l2 : l1) *
             (l == rightAllele ? r1 + r2 : r1);
      sum += w[l];
    }
    if (!(sum > 1e-250) || !std::isfinite(sum)) return false;
    out.sum = sum;
    out.logSum = std::log(sum);
    out.linear = true;
    return true;
  }

  // The ancestral allele at locus k: its population frequency and the root's
  // branch (only the branch is raised to the chain's power).
  void ancestral(int k, Conditional& out) {
    focusAncestral();
    const int rootAllele = alleleOf(chain.tree[chain.rootLabel][chain.tree.layout.firstAllele + k]);
    const int labels = s.alleles.highestLabel[k];
    const int locus = k + 1;
    const double other = logOf(own.ref1(locus)), same = logOf(own.ref1(locus) + own.ref2(locus));
    for (int l = 1; l <= labels; l++) out.logWeight[l] = l == rootAllele ? same : other;
    out.temper(labels, chain.beta);
    for (int l = 1; l <= labels; l++) out.logWeight[l] += logFrequency(l, k);
    out.normalise(labels);
  }
};

// The alleles a location move across markers redraws: those at loci
// from .. to-1 of every internal node, from the youngest node up, then of
// the ancestral haplotype (when it is sampled), marker by marker. Each is
// drawn after its children's, which carry the data's evidence at the new
// location. The lists live in the chain's scratch.
class RedrawPlan {
 public:
  RedrawPlan(Chain& chain, const RunSettings& s, int from, int to)
      : chain_(chain), s_(s), from_(from), to_(to), slots_(chain.scratch.redrawRows),
        old_(chain.scratch.redrawOld), drawn_(chain.scratch.redrawNew),
        conditional_{chain.scratch.labelLogWeights, chain.scratch.labelWeights} {
    const TreeMatrix& m = chain.tree;
    slots_.clear();
    for (int r = 0; r < m.rows; r++)
      if (isInternal(m, r)) slots_.push_back(r);
    std::sort(slots_.begin(), slots_.end(),
              [&m](int a, int c) { return m[a][Time] < m[c][Time] || (m[a][Time] == m[c][Time] && a < c); });
    if (s.iterRoot) slots_.push_back(kAncestral);
    old_.clear();
    drawn_.clear();
    for (int slot : slots_)
      for (int k = from_; k < to_; k++) old_.push_back(cell(k, slot));
  }

  bool empty() const { return from_ >= to_; }

  // Draws every allele of the plan from its conditional at location `at`,
  // leaving the draws in place; returns their log probability.
  double draw(double at) { return pass(at, true); }
  // Puts the alleles from before back, one after another, scoring each by
  // its conditional at `at`; returns the log probability of drawing them.
  double restore(double at) { return pass(at, false); }
  // Puts the draws in place (after restore).
  void keepDrawn() {
    size_t n = 0;
    for (int slot : slots_)
      for (int k = from_; k < to_; k++) setCell(k, slot, drawn_[n++]);
  }

 private:
  static constexpr int kAncestral = -1;  // the slot of the ancestral haplotype

  int cell(int k, int slot) const {
    return slot == kAncestral ? chain_.rootHaplotype[k] : alleleOf(chain_.tree[slot][chain_.tree.layout.firstAllele + k]);
  }
  void setCell(int k, int slot, int a) {
    if (slot == kAncestral)
      chain_.rootHaplotype[k] = a;
    else
      chain_.tree[slot][chain_.tree.layout.firstAllele + k] = a;
  }

  double pass(double at, bool drawing) {
    AlleleScorer scorer(chain_, s_, at);
    double logProbability = 0;
    size_t n = 0;
    for (int slot : slots_)
      for (int k = from_; k < to_; k++, n++) {
        if (slot == kAncestral)
          scorer.ancestral(k, conditional_);
        else
          scorer.internal(slot, k, conditional_);
        const int labels = s_.alleles.highestLabel[k];
        const int before = cell(k, slot);
        const int a = drawing ? conditional_.draw(labels, before, *chain_.rng) : old_[n];
        logProbability += conditional_.logProbability(a);
        setCell(k, slot, a);
        if (a != before) scorer.resum();
        if (drawing) drawn_.push_back(a);
      }
    return logProbability;
  }

  Chain& chain_;
  const RunSettings& s_;
  const int from_, to_;
  std::vector<int>& slots_;
  std::vector<int>& old_;    // the alleles before, in the plan's order
  std::vector<int>& drawn_;  // the alleles drawn, in the same order
  Conditional conditional_;
};

}  // namespace

double redrawNodeAlleles(Chain& chain, const RunSettings& s, int v, const std::vector<int>* target,
                         std::vector<int>& drawn) {
  TreeMatrix& m = chain.tree;
  const int firstAllele = m.layout.firstAllele;
  AlleleScorer scorer(chain, s, chain.mutLocation);
  Conditional conditional{chain.scratch.labelLogWeights, chain.scratch.labelWeights};
  double logProbability = 0;
  for (int k = 0; k < s.numLoci; k++) {
    scorer.internal(v, k, conditional);
    const int labels = s.alleles.highestLabel[k];
    const int before = alleleOf(m[v][firstAllele + k]);
    const int a = target ? (*target)[k] : conditional.draw(labels, before, *chain.rng);
    logProbability += conditional.logProbability(a);
    m[v][firstAllele + k] = a;
    if (a != before) scorer.resum();
    if (!target) drawn[k] = a;
  }
  return logProbability;
}

void gibbsInternalAlleles(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  TreeMatrix& m = chain.tree;
  const int firstAllele = m.layout.firstAllele;
  AlleleScorer scorer(chain, s, chain.mutLocation);
  Conditional conditional{chain.scratch.labelLogWeights, chain.scratch.labelWeights};
  for (int v = 0; v < m.rows; v++) {
    if (!isInternal(m, v)) continue;
    bool changed = false;
    for (int k = 0; k < s.numLoci; k++) {
      scorer.internal(v, k, conditional);
      const int current = alleleOf(m[v][firstAllele + k]);
      const int drawn = conditional.draw(s.alleles.highestLabel[k], current, *chain.rng);
      m[v][firstAllele + k] = drawn;
      if (drawn != current) {
        changed = true;
        scorer.resum();
      }
    }
    if (!changed) continue;
    chain.logLik = rescoreTree(m, branchModelOf(chain, s), Rescore::NodeAndChildren, v);
    chain.accepted[MoveKind::Internal]++;
  }
}

void gibbsRootHaplotype(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  AlleleScorer scorer(chain, s, chain.mutLocation);
  Conditional conditional{chain.scratch.labelLogWeights, chain.scratch.labelWeights};
  bool changed = false;
  for (int k = 0; k < s.numLoci; k++) {
    scorer.ancestral(k, conditional);
    const int current = chain.rootHaplotype[k];
    const int drawn = conditional.draw(s.alleles.highestLabel[k], current, *chain.rng);
    chain.rootHaplotype[k] = drawn;
    if (drawn != current) {
      changed = true;
      scorer.resum();
    }
  }
  if (!changed) return;
  chain.logLik = rescoreTree(chain.tree, branchModelOf(chain, s), Rescore::Node, chain.rootLabel);
  chain.rootHapLogProb = rootHaplotypeLogProb(chain.alleleFreq, chain.rootHaplotype);
  chain.accepted[MoveKind::Root]++;
}

void moveMutLocationAcross(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  Random& rng = *chain.rng;
  TreeMatrix& m = chain.tree;
  const int L = s.numLoci;
  const double x = chain.mutLocation;
  double proposed = x;
  // One proposal in five is a jump anywhere between the bounds: a chain whose
  // location settled in a poor mode far from the better one cannot walk
  // there through the improbable locations between. Both proposals are
  // symmetric, so their mixture is.
  if (rng.uniform() < kJumpShare)
    proposed = s.mutLocLow + rng.uniform() * (s.mutLocHigh - s.mutLocLow);
  else
    proposeLocation(proposed, s.mutLocLow, s.mutLocHigh, chain.steps->location, rng);
  // The markers that change sides (0-based loci from .. to-1).
  const int b = firstMarkerRightOf(x, s.mapDist, L);
  const int bProposed = firstMarkerRightOf(proposed, s.mapDist, L);
  RedrawPlan plan(chain, s, std::min(b, bProposed) - 1, std::max(b, bProposed) - 1);

  std::vector<double>& savedColumn = chain.scratch.branchLogLiks;
  for (int r = 0; r < m.rows; r++) savedColumn[r] = m[r][BranchLogLik];
  // The stored root term may predate a frequency move: the ratio compares
  // terms taken with the same (current) frequencies.
  const bool rootRedrawn = !plan.empty() && s.iterRoot;
  const double oldRootLogProb =
      rootRedrawn ? rootHaplotypeLogProb(chain.alleleFreq, chain.rootHaplotype) : chain.rootHapLogProb;

  const double forward = plan.draw(proposed);
  const double newLogLik = rescoreTree(
      m, BranchModel{proposed, s.mapDist, chain.alleleFreq, chain.rootHaplotype, chain.sporadicLeaves()}, Rescore::All);
  const double newRootLogProb =
      rootRedrawn ? rootHaplotypeLogProb(chain.alleleFreq, chain.rootHaplotype) : chain.rootHapLogProb;
  const double reverse = plan.restore(x);
  double prior = 0;
  Decision rule = Decision::Strict;
  if (s.useSeqWeights) {
    prior = locationLogPrior(s.segments, proposed);
    if (isForbiddenLocation(prior)) rule = Decision::Forbidden;
  }
  // A forward draw without mass (no label the conditional could give) is
  // no proposal the reverse move could answer: rejected, never accepted
  // with a log ratio of +inf.
  const double logRatio = chain.beta * (newLogLik - chain.logLik) + (newRootLogProb - oldRootLogProb) +
                          (prior - chain.mutLocPrior) + (reverse - forward);
  if (accepted(std::isnan(logRatio) || forward == kMinusInfinity ? kMinusInfinity : logRatio, rng, rule)) {
    plan.keepDrawn();
    chain.mutLocation = proposed;
    // The branch terms still hold the proposal's scoring (restoring the old
    // alleles does not touch them), which is the state kept: no rescoring.
    chain.logLik = newLogLik;
    chain.rootHapLogProb = newRootLogProb;
    chain.mutLocPrior = prior;
    chain.accepted[MoveKind::Location]++;
  } else {
    restoreBranchLogLikColumn(m, savedColumn);
  }
}
