#include "sampler/allelemoves.h"

#include <algorithm>
#include <cmath>

#include "core/check.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/acceptance.h"
#include "sampler/kernels.h"

namespace {

// The allele cells a leaf proposal may touch: the leaf's own, and with
// genetic model 1 its partner's. Saved whole and restored whole on rejection.
struct LeafCells {
  TreeMatrix& m;
  std::vector<double>& saved;
  int leaf;
  int partner;  // -1 without a Partner column
  double leafLogLik = 0;
  double partnerLogLik = 0;

  LeafCells(Chain& chain, int label)
      : m(chain.tree),
        saved(chain.scratch.cells),
        leaf(label),
        partner(chain.tree.layout.partner ? cellInt(chain.tree[label][Partner]) : -1) {}

  void save() {
    const int firstAllele = m.layout.firstAllele;
    const int cells = m.layout.alleleColumns;
    std::copy(m[leaf] + firstAllele, m[leaf] + firstAllele + cells, saved.begin());
    if (partner >= 0) std::copy(m[partner] + firstAllele, m[partner] + firstAllele + cells, saved.begin() + cells);
    leafLogLik = m[leaf][BranchLogLik];
    if (partner >= 0) partnerLogLik = m[partner][BranchLogLik];
  }
  void restore() {
    const int firstAllele = m.layout.firstAllele;
    const int cells = m.layout.alleleColumns;
    std::copy(saved.begin(), saved.begin() + cells, m[leaf] + firstAllele);
    if (partner >= 0) std::copy(saved.begin() + cells, saved.begin() + 2 * cells, m[partner] + firstAllele);
    restoreBranchLogLik(m, leaf, leafLogLik);
    if (partner >= 0) restoreBranchLogLik(m, partner, partnerLogLik);
  }

  // Redraws the unknown allele of listed offset j. Phase exchanges may have
  // carried the data allele into the listed cell; the imputed allele then sits
  // at the same locus of the other chromosome, and that cell is redrawn. True
  // when the allele changed.
  bool redraw(int j, const std::vector<int>& highestLabel, Random& rng) {
    const int L = m.layout.loci;
    const int firstAllele = m.layout.firstAllele;
    const int locus = j < L ? j : j - L;
    double* cell = &m[leaf][firstAllele + j];
    if (*cell > 0) {
      if (partner >= 0)
        cell = &m[partner][firstAllele + j];
      else if (m.layout.secondChromosome())
        cell = &m[leaf][firstAllele + (j < L ? j + L : j - L)];
    }
    const int drawn = -(rng.below(highestLabel[locus]) + 1);
    // Both alleles of the locus known: nothing to impute here.
    if (*cell > 0) return false;
    const int old = cellInt(*cell);
    *cell = drawn;
    return drawn != old;
  }
};

// One proposal on the listed offsets first .. first+count-1 of a missing-cell
// record: every offset redrawn with probability one half (all loci), or one
// offset drawn at random with probability one half.
bool proposeMissing(LeafCells& cells, const MissingCells& record, int first, int count, const MoveContext& ctx,
                    Random& rng) {
  const auto& highestLabel = ctx.settings.alleles.highestLabel;
  bool changed = false;
  if (ctx.settings.flipAllLoci) {
    for (int e = 0; e < count; e++)
      if (rng.uniform() > 0.5 && cells.redraw(record.columns[first + e], highestLabel, rng)) changed = true;
  } else if (rng.uniform() > 0.5) {
    changed = cells.redraw(record.columns[first + rng.below(count)], highestLabel, rng);
  }
  return changed;
}

double secondChromSum(const Chain& chain, int row) {
  return addSecondChromLogFreqs(0, chain.tree, row, chain.alleleFreq);
}

// Scores a leaf proposal already written into the leaf's cells (and its
// partner's), then keeps it or restores the saved cells. With genotypes
// under genetic model 0 the leaf's second-chromosome term is compared too,
// against oldSecondSum, its value before the proposal.
void decideLeafProposal(Chain& chain, const MoveContext& ctx, LeafCells& cells, double oldSecondSum) {
  const bool second = ctx.settings.genotypesModel0();
  const double proposed =
      rescoreTree(chain.tree, branchModelOf(chain, ctx.settings), Rescore::LeafAndPartner, cells.leaf);
  const double newSecondSum = second ? secondChromSum(chain, cells.leaf) : 0;
  const double logRatio = temperedChange(chain, proposed - chain.logLik, newSecondSum - oldSecondSum, [&] {
    return second ? (proposed + newSecondSum) - (chain.logLik + oldSecondSum) : proposed - chain.logLik;
  });
  if (accepted(logRatio, *chain.rng)) {
    chain.logLik = proposed;
    if (second) chain.secondChromLogProb = chain.secondChromLogProb - oldSecondSum + newSecondSum;
  } else {
    cells.restore();
  }
}

}  // namespace

BranchModel branchModelOf(const Chain& chain, const RunSettings& s) {
  return BranchModel{chain.mutLocation, s.mapDist, chain.alleleFreq, chain.rootHaplotype, chain.sporadicLeaves()};
}

void moveAlleleFreqs(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  FrequencyTable& freq = chain.alleleFreq;
  std::vector<double>& savedFreq = chain.scratch.freq;
  std::vector<double>& savedColumn = chain.scratch.branchLogLiks;
  Random& rng = *chain.rng;
  auto propose = [&](int k) {
    const int alleles = s.alleles.highestLabel[k];
    for (int a = 1; a <= alleles; a++) savedFreq[a] = freq(a, k);
    proposeFrequency(freq, k, alleles, chain.steps->freq, rng);
    for (int r = 0; r < chain.tree.rows; r++) savedColumn[r] = chain.tree[r][BranchLogLik];
    const double proposed = rescoreTree(chain.tree, branchModelOf(chain, s), Rescore::All);
    const double f = frequencyLogLik(s, chain.tree, freq);
    const double logRatio = temperedChange(chain, proposed - chain.logLik, f - chain.freqLogLik,
                                    [&] { return (proposed + f) - (chain.logLik + chain.freqLogLik); });
    if (accepted(logRatio, rng)) {
      chain.logLik = proposed;
      chain.freqLogLik = f;
      chain.accepted[MoveKind::Frequencies]++;
    } else {
      restoreBranchLogLikColumn(chain.tree, savedColumn);
      for (int a = 1; a <= alleles; a++) freq(a, k) = savedFreq[a];
    }
  };
  if (s.flipAllLoci) {
    for (int k = 0; k < s.numLoci; k++) propose(k);
  } else {
    propose(rng.below(s.numLoci));
  }
}

void moveMissingAlleles(Chain& chain, const MoveContext& ctx) {
  const bool genotypesModel0 = ctx.settings.genotypesModel0();
  Random& rng = *chain.rng;
  for (const MissingCells& record : chain.missingCells) {
    LeafCells cells(chain, record.leaf);
    const int carrierCount = record.carrierCount;
    const int secondCount = record.secondCount;
    if (!genotypesModel0) {
      cells.save();
      if (proposeMissing(cells, record, 0, carrierCount, ctx, rng)) decideLeafProposal(chain, ctx, cells, 0);
      continue;
    }
    // Carrier chromosome, then second chromosome: two proposals, each with
    // its own decision; a chromosome with no listed cell is skipped.
    for (int half = 0; half < 2; half++) {
      const int first = half == 0 ? 0 : carrierCount;
      const int count = half == 0 ? carrierCount : secondCount;
      if (count == 0) continue;
      cells.save();
      const double oldSum = secondChromSum(chain, cells.leaf);
      if (proposeMissing(cells, record, first, count, ctx, rng)) decideLeafProposal(chain, ctx, cells, oldSum);
    }
  }
}

void moveRootHaplotype(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  Random& rng = *chain.rng;
  std::vector<int>& proposal = chain.scratch.rootProposal;
  proposal = chain.rootHaplotype;
  if (!redrawAlleles(proposal, s.alleles.highestLabel, chain.steps->root.load(), s.flipAllLoci, rng)) return;
  const double saved = chain.tree[chain.rootLabel][BranchLogLik];
  const BranchModel model{chain.mutLocation, s.mapDist, chain.alleleFreq, proposal, chain.sporadicLeaves()};
  const double proposed = rescoreTree(chain.tree, model, Rescore::Node, chain.rootLabel);
  const double h = rootHaplotypeLogProb(chain.alleleFreq, proposal);
  const double logRatio = temperedChange(chain, proposed - chain.logLik, h - chain.rootHapLogProb,
                                  [&] { return (proposed + h) - (chain.logLik + chain.rootHapLogProb); });
  if (accepted(logRatio, rng)) {
    chain.rootHaplotype = proposal;
    chain.logLik = proposed;
    chain.rootHapLogProb = h;
    chain.accepted[MoveKind::Root]++;
  } else {
    restoreBranchLogLik(chain.tree, chain.rootLabel, saved);
  }
}

void moveInternalAlleles(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  Random& rng = *chain.rng;
  TreeMatrix& m = chain.tree;
  const int L = s.numLoci;
  const int firstAllele = m.layout.firstAllele;
  std::vector<int>& proposal = chain.scratch.internalProposal;
  std::vector<int>& saved = chain.scratch.internalSaved;
  int handled = 0;
  for (int r = 0; r < m.rows && handled < s.numChrom - 1; r++) {
    double* row = m[r];
    if (cellInt(row[LeftChild]) == -1) continue;
    handled++;
    for (int k = 0; k < L; k++) proposal[k] = saved[k] = cellInt(row[firstAllele + k]);
    if (!redrawAlleles(proposal, s.alleles.highestLabel, chain.steps->internal.load(), s.flipAllLoci, rng)) continue;
    const int left = cellInt(row[LeftChild]);
    const int right = cellInt(row[RightChild]);
    const double savedOwn = row[BranchLogLik];
    const double savedLeft = m[left][BranchLogLik];
    const double savedRight = m[right][BranchLogLik];
    for (int k = 0; k < L; k++) row[firstAllele + k] = proposal[k];
    const double proposed = rescoreTree(m, branchModelOf(chain, s), Rescore::NodeAndChildren, r);
    const double logRatio = temperedChange(chain, proposed - chain.logLik, 0, [&] { return proposed - chain.logLik; });
    if (accepted(logRatio, rng, Decision::OnEquality)) {
      chain.logLik = proposed;
      chain.accepted[MoveKind::Internal]++;
    } else {
      for (int k = 0; k < L; k++) row[firstAllele + k] = saved[k];
      restoreBranchLogLik(m, r, savedOwn);
      restoreBranchLogLik(m, left, savedLeft);
      restoreBranchLogLik(m, right, savedRight);
    }
  }
  MUTLOC_CHECK(handled == s.numChrom - 1);
}

void movePhase(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  TreeMatrix& m = chain.tree;
  const int L = s.numLoci;
  const int firstAllele = m.layout.firstAllele;
  for (int r = 0; r < m.rows; r++) {
    double* row = m[r];
    if (cellInt(row[LeftChild]) != -1) continue;
    // Genetic model 0: the two chromosomes are the carrier and second columns
    // of one leaf; model 1: two partner leaves, handled from the larger label.
    double* other = row + L;
    if (s.genotypesModel1()) {
      const int q = cellInt(row[Partner]);
      if (!(cellInt(row[Label]) > cellInt(m[q][Label]))) continue;
      other = m[q];
    }
    LeafCells cells(chain, r);
    cells.save();
    const double oldSum = s.genotypesModel0() ? secondChromSum(chain, r) : 0;
    bool changed = false;
    for (int k = 0; k < L; k++) {
      if (row[firstAllele + k] == other[firstAllele + k]) continue;
      if (chain.rng->uniform() > 0.5) {
        changed = true;
        std::swap(row[firstAllele + k], other[firstAllele + k]);
      }
    }
    if (changed) decideLeafProposal(chain, ctx, cells, oldSum);
  }
}
