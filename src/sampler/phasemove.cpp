#include "sampler/phasemove.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/check.h"
#include "model/likelihood.h"
#include "sampler/acceptance.h"
#include "sampler/allelemoves.h"

namespace {

// States of one side of the mutation: bit i set when chromosome i is past
// its first crossover there (its alleles from the population, weighed by
// their frequencies), clear while it still carries its parent's alleles.
constexpr int kStates = 4;

// One individual's two chromosomes and what their alleles are weighed against.
struct Individual {
  double* cells[2] = {nullptr, nullptr};  // allele cells of each chromosome, loci 0..L-1
  // Chromosome i's reference alleles (its leaf's parent's, or the ancestral
  // haplotype's) when it hangs on a branch; null for a population chromosome
  // (genetic model 0's second one), whose alleles only weigh by frequency.
  const double* parentCells[2] = {nullptr, nullptr};
  const std::vector<int>* root[2] = {nullptr, nullptr};
  const BranchSplit* split[2] = {nullptr, nullptr};
  int rows[2] = {-1, -1};

  bool onBranch(int i) const { return split[i] != nullptr; }
  int reference(int i, int locus) const {
    return parentCells[i] ? alleleOf(parentCells[i][locus]) : (*root[i])[locus];
  }
  // The state every walk outward starts in: population chromosomes are past
  // their crossover from the start.
  int startState() const { return (onBranch(0) ? 0 : 1) | (onBranch(1) ? 0 : 2); }
};

// Genotype data have at most 50 markers.
constexpr int kMaxLoci = 64;

// The loci of one side in outward order and each branch chromosome's
// crossover weights: switchWeight[i][p], the first crossover falling at
// position p (its locus the first population one), and endWeight[i], none
// before the last.
struct Side {
  int loci[kMaxLoci];
  int count = 0;
  double switchWeight[2][kMaxLoci];
  double endWeight[2] = {1, 1};
};

class PhaseDraw {
 public:
  PhaseDraw(const Individual& ind, const FrequencyTable& freq, std::vector<double>& backward)
      : ind_(ind), freq_(freq), backward_(backward) {}

  // Draws the side's phases into swap (1: exchange the two alleles of the
  // locus); false when the conditional has no mass, leaving swap alone.
  bool draw(const Side& side, std::vector<char>& swap, Random& rng) {
    const int n = side.count;
    backward_.assign(static_cast<size_t>(n + 1) * kStates, 0.0);
    const int start = ind_.startState();
    for (int state = 0; state < kStates; state++) {
      if ((state & start) != start) continue;
      double w = 1;
      for (int i = 0; i < 2; i++)
        if (!(state >> i & 1)) w *= side.endWeight[i];
      at(n, state) = w;
    }
    for (int p = n - 1; p >= 0; p--) {
      double top = 0;
      for (int state = 0; state < kStates; state++) {
        if ((state & start) != start) continue;
        double sum = 0;
        for (int next = state; next < kStates; next++)
          if ((next & state) == state) sum += step(side, p, state, next) * at(p + 1, next);
        at(p, state) = sum;
        top = std::max(top, sum);
      }
      // Each position's sums scaled to at most 1: only their ratios matter,
      // and products of many frequencies would underflow.
      if (!(top > 0) || !std::isfinite(top)) return false;
      for (int state = 0; state < kStates; state++) at(p, state) /= top;
    }
    int state = start;
    for (int p = 0; p < n; p++) {
      double weights[kStates] = {0, 0, 0, 0};
      double total = 0;
      for (int next = state; next < kStates; next++)
        if ((next & state) == state) total += weights[next] = step(side, p, state, next) * at(p + 1, next);
      double u = rng.uniform() * total;
      int chosen = state;
      for (int next = state; next < kStates; next++) {
        if (weights[next] <= 0) continue;
        chosen = next;
        if (u <= weights[next]) break;
        u -= weights[next];
      }
      state = chosen;
      const int k = side.loci[p];
      if (!heterozygous(k)) continue;
      const double kept = alleleWeight(state, k, false), exchanged = alleleWeight(state, k, true);
      swap[k] = rng.uniform() * (kept + exchanged) > kept;
    }
    return true;
  }

  bool heterozygous(int k) const { return alleleOf(ind_.cells[0][k]) != alleleOf(ind_.cells[1][k]); }

 private:
  double& at(int p, int state) { return backward_[static_cast<size_t>(p) * kStates + state]; }

  // The weight of locus k's alleles in a state, as they are or exchanged.
  double alleleWeight(int state, int k, bool exchange) const {
    double w = 1;
    for (int i = 0; i < 2; i++) {
      const int a = alleleOf(ind_.cells[exchange ? 1 - i : i][k]);
      if (state >> i & 1)
        w *= freq_(a, k);
      else if (a != ind_.reference(i, k))
        return 0;
    }
    return w;
  }

  // From `state` before position p to `next` at it: the crossovers that fall
  // there, times the locus's weight summed over its phases.
  double step(const Side& side, int p, int state, int next) const {
    double w = 1;
    for (int i = 0; i < 2; i++)
      if ((next >> i & 1) && !(state >> i & 1)) w *= side.switchWeight[i][p];
    if (w == 0) return 0;
    const int k = side.loci[p];
    double phases = alleleWeight(next, k, false);
    if (heterozygous(k)) phases += alleleWeight(next, k, true);
    return w * phases;
  }

  const Individual& ind_;
  const FrequencyTable& freq_;
  std::vector<double>& backward_;
};

// Both sides of the mutation for the chromosomes on branches.
void sidesOf(const Individual& ind, int L, Side& right, Side& left) {
  const BranchSplit& any = *ind.split[0];
  const int b = any.firstRight();
  right.count = left.count = 0;
  for (int k = b; k <= L; k++) right.loci[right.count++] = k - 1;
  for (int k = b - 1; k >= 1; k--) left.loci[left.count++] = k - 1;
  for (int i = 0; i < 2; i++) {
    if (!ind.onBranch(i)) continue;
    const BranchSplit& split = *ind.split[i];
    for (int p = 0; p < right.count; p++) right.switchWeight[i][p] = split.rightWeight(right.loci[p] + 1);
    for (int p = 0; p < left.count; p++) left.switchWeight[i][p] = split.leftWeight(left.loci[p] + 1);
    right.endWeight[i] = right.count > 0 ? split.rightWeight(L + 1) : 1;
    left.endWeight[i] = left.count > 0 ? split.leftWeight(0) : 1;
  }
}

}  // namespace

void gibbsPhase(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  TreeMatrix& m = chain.tree;
  const int L = s.numLoci;
  const int firstAllele = m.layout.firstAllele;
  const bool model0 = s.genotypesModel0();
  MUTLOC_CHECK(L <= kMaxLoci);
  BranchSplit* splits[2] = {&chain.scratch.ownSplit, &chain.scratch.leftSplit};
  std::vector<char>& swap = chain.scratch.phaseSwap;
  swap.resize(L);
  Side right, left;
  for (int r = 0; r < m.rows; r++) {
    if (isInternal(m, r)) continue;
    Individual ind;
    ind.rows[0] = r;
    if (!model0) {
      // Two partner leaves, handled from the larger label.
      const int q = cellInt(m[r][Partner]);
      if (!(r > q)) continue;
      ind.rows[1] = q;
    }
    ind.cells[0] = m[r] + firstAllele;
    ind.cells[1] = model0 ? m[r] + firstAllele + L : m[ind.rows[1]] + firstAllele;
    for (int i = 0; i < 2; i++) {
      if (ind.rows[i] < 0) continue;
      const int parent = cellInt(m[ind.rows[i]][Parent]);
      ind.parentCells[i] = parent == -1 ? nullptr : m[parent] + firstAllele;
      ind.root[i] = &chain.rootHaplotype;
      splits[i]->weigh(m, ind.rows[i], chain.mutLocation, s.mapDist);
      ind.split[i] = splits[i];
    }
    PhaseDraw phases(ind, chain.alleleFreq, chain.scratch.phaseBackward);
    bool any = false;
    for (int k = 0; k < L && !any; k++) any = phases.heterozygous(k);
    if (!any) continue;
    sidesOf(ind, L, right, left);
    std::fill(swap.begin(), swap.end(), 0);
    if (!phases.draw(right, swap, *chain.rng) || !phases.draw(left, swap, *chain.rng)) continue;
    if (std::find(swap.begin(), swap.end(), 1) == swap.end()) continue;

    auto exchange = [&] {
      for (int k = 0; k < L; k++)
        if (swap[k]) std::swap(ind.cells[0][k], ind.cells[1][k]);
    };
    double savedLogLik[2] = {m[r][BranchLogLik], ind.rows[1] >= 0 ? m[ind.rows[1]][BranchLogLik] : 0};
    const double oldSecond = model0 ? addSecondChromLogFreqs(0, m, r, chain.alleleFreq) : 0;
    exchange();
    const double proposed = rescoreTree(m, branchModelOf(chain, s), Rescore::LeafAndPartner, r);
    const double newSecond = model0 ? addSecondChromLogFreqs(0, m, r, chain.alleleFreq) : 0;
    // The draw is exact for the cold target; a companion's target raises the
    // likelihood to beta, and the cold conditional's ratio leaves (beta - 1)
    // times the likelihood's change.
    if (chain.beta != 1 && !accepted((chain.beta - 1) * (proposed - chain.logLik), *chain.rng)) {
      exchange();
      for (int i = 0; i < 2; i++)
        if (ind.rows[i] >= 0) restoreBranchLogLik(m, ind.rows[i], savedLogLik[i]);
      continue;
    }
    chain.logLik = proposed;
    if (model0) chain.secondChromLogProb = chain.secondChromLogProb - oldSecond + newSecond;
  }
}
