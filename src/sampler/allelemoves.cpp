#include "sampler/allelemoves.h"

#include <algorithm>
#include <cmath>

#include "input/check.h"
#include "input/parameters.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/acceptance.h"
#include "sampler/chainstate.h"
#include "sampler/kernels.h"
#include "sampler/random.h"

namespace {

// Recomputes a leaf's branch (and its partner's, when that column exists).
void recomputeLeaf(ChainState& chain, int c, int leaf) {
  proposedLogLik = 0;
  tprob(chain.tree, pset.mutLocation[c], pset.mapDist, &proposedLogLik, pset.alleleFreq[c], pset.rootHaplotype[c],
        leaf, hasPartnerColumn() ? 2 : 1);
}

void saveColumn(const TreeMatrix& m) {
  for (int r = 0; r < m.rows; r++) branchLogLikSaved[r] = m[r][BranchLogLik];
}

void restoreColumn(TreeMatrix& m) { restoreBranchLogLikColumn(m, branchLogLikSaved); }

// The allele cells a leaf proposal may touch: the leaf's own, and with
// genetic model 1 its partner's. Saved whole and restored whole on rejection.
struct LeafCells {
  TreeMatrix& m;
  int leaf;
  int partner;  // -1 without a Partner column
  double leafLogLik = 0;
  double partnerLogLik = 0;

  LeafCells(TreeMatrix& tree, int label)
      : m(tree), leaf(label), partner(hasPartnerColumn() ? cellInt(tree[label][Partner]) : -1) {}

  void save() {
    std::copy(m[leaf] + TMAT, m[leaf] + TMAT + TOTLOCI, phaseScratch.begin());
    if (partner >= 0) std::copy(m[partner] + TMAT, m[partner] + TMAT + TOTLOCI, phaseScratch.begin() + TOTLOCI);
    leafLogLik = m[leaf][BranchLogLik];
    if (partner >= 0) partnerLogLik = m[partner][BranchLogLik];
  }
  void restore() {
    std::copy(phaseScratch.begin(), phaseScratch.begin() + TOTLOCI, m[leaf] + TMAT);
    if (partner >= 0) std::copy(phaseScratch.begin() + TOTLOCI, phaseScratch.begin() + 2 * TOTLOCI, m[partner] + TMAT);
    restoreBranchLogLik(m, leaf, leafLogLik);
    if (partner >= 0) restoreBranchLogLik(m, partner, partnerLogLik);
  }

  // Redraws the unknown allele of listed offset j. Phase exchanges may have
  // carried the data allele into the listed cell; the imputed allele then sits
  // at the same locus of the other chromosome, and that cell is redrawn. True
  // when the allele changed.
  bool redraw(int j, int32_t* seed) {
    const int L = pset.numLoci;
    const int locus = j < L ? j : j - L;
    double* cell = &m[leaf][TMAT + j];
    if (*cell > 0) {
      if (partner >= 0)
        cell = &m[partner][TMAT + j];
      else if (TOTLOCI == 2 * L)
        cell = &m[leaf][TMAT + (j < L ? j + L : j - L)];
    }
    const int drawn = -(random2(maxall[locus], seed) + 1);
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
bool proposeMissing(LeafCells& cells, const MissingCells& record, int first, int count, int32_t* seed) {
  bool changed = false;
  if (pset.flipAllLoci) {
    for (int e = 0; e < count; e++)
      if (ran1(seed) > 0.5 && cells.redraw(record[3 + first + e], seed)) changed = true;
  } else if (ran1(seed) > 0.5) {
    changed = cells.redraw(record[3 + first + random2(count, seed)], seed);
  }
  return changed;
}

}  // namespace

double secondChromSum(const double* row, int c) {
  const int L = pset.numLoci;
  double sum = 0;
  for (int k = 0; k < L; k++) sum += std::log(pset.alleleFreq[c](alleleOf(row[TMAT + L + k]), k));
  return sum;
}

void moveAlleleFreqs(int c, int32_t* seed) {
  ChainState& chain = chains[c];
  FrequencyTable& freq = pset.alleleFreq[c];
  auto propose = [&](int k) {
    for (int a = 1; a <= maxall[k]; a++) freqScratch[a] = freq(a, k);
    adjfreq(seed, k, c);
    saveColumn(chain.tree);
    proposedLogLik = 0;
    tprob(chain.tree, pset.mutLocation[c], pset.mapDist, &proposedLogLik, freq, pset.rootHaplotype[c], -1, 0);
    const double f = getalllik(chain.tree, largestAlleleCount, c);
    if (accepted((proposedLogLik + f) - (chain.logLik + chain.freqLogLik), seed)) {
      chain.logLik = proposedLogLik;
      chain.freqLogLik = f;
      chain.acceptFreq++;
    } else {
      restoreColumn(chain.tree);
      for (int a = 1; a <= maxall[k]; a++) freq(a, k) = freqScratch[a];
    }
  };
  if (pset.flipAllLoci) {
    for (int k = 0; k < pset.numLoci; k++) propose(k);
  } else {
    propose(random2(pset.numLoci, seed));
  }
}

void moveMissingAlleles(int c, int32_t* seed) {
  ChainState& chain = chains[c];
  const bool genotypesModel0 = pset.dataAsGenotypes != 0 && pset.geneticModel == 0;
  for (const MissingCells& record : chain.missingCells) {
    LeafCells cells(chain.tree, record[0]);
    const int carrierCount = record[1];
    const int secondCount = record[2];
    if (!genotypesModel0) {
      cells.save();
      if (proposeMissing(cells, record, 0, carrierCount, seed)) {
        recomputeLeaf(chain, c, cells.leaf);
        if (accepted(proposedLogLik - chain.logLik, seed))
          chain.logLik = proposedLogLik;
        else
          cells.restore();
      }
      continue;
    }
    // Carrier chromosome, then second chromosome: two proposals, each with
    // its own decision; a chromosome with no listed cell is skipped.
    for (int half = 0; half < 2; half++) {
      const int first = half == 0 ? 0 : carrierCount;
      const int count = half == 0 ? carrierCount : secondCount;
      if (count == 0) continue;
      cells.save();
      const double oldSum = secondChromSum(chain.tree[cells.leaf], c);
      if (!proposeMissing(cells, record, first, count, seed)) continue;
      recomputeLeaf(chain, c, cells.leaf);
      const double newSum = secondChromSum(chain.tree[cells.leaf], c);
      if (accepted((proposedLogLik + newSum) - (chain.logLik + oldSum), seed)) {
        chain.logLik = proposedLogLik;
        chain.secondChromLogProb = chain.secondChromLogProb - oldSum + newSum;
      } else {
        cells.restore();
      }
    }
  }
}

void moveRootHaplotype(int c, int32_t* seed) {
  ChainState& chain = chains[c];
  rootProposal = pset.rootHaplotype[c];
  adjY0(rootProposal, seed, &changedFlag, pset.flipAllLoci);
  if (changedFlag == 0) return;
  const double saved = chain.tree[chain.rootLabel][BranchLogLik];
  proposedLogLik = 0;
  tprob(chain.tree, pset.mutLocation[c], pset.mapDist, &proposedLogLik, pset.alleleFreq[c], rootProposal,
        chain.rootLabel, 1);
  const double h = probhap(pset.alleleFreq[c], rootProposal, pset.numLoci);
  if (accepted((proposedLogLik + h) - (chain.logLik + chain.rootHapLogProb), seed)) {
    pset.rootHaplotype[c] = rootProposal;
    chain.logLik = proposedLogLik;
    chain.rootHapLogProb = h;
    chain.acceptRoot++;
  } else {
    restoreBranchLogLik(chain.tree, chain.rootLabel, saved);
  }
}

void moveInternalAlleles(int c, int32_t* seed) {
  ChainState& chain = chains[c];
  TreeMatrix& m = chain.tree;
  const int L = pset.numLoci;
  int handled = 0;
  for (int r = 0; r < m.rows && handled < pset.numChrom - 1; r++) {
    double* row = m[r];
    if (cellInt(row[LeftChild]) == -1) continue;
    handled++;
    for (int k = 0; k < L; k++) internalProposal[k] = internalSaved[k] = cellInt(row[TMAT + k]);
    adjYi(internalProposal, seed, &changedFlag, pset.flipAllLoci);
    if (changedFlag == 0) continue;
    const int left = cellInt(row[LeftChild]);
    const int right = cellInt(row[RightChild]);
    const double savedOwn = row[BranchLogLik];
    const double savedLeft = m[left][BranchLogLik];
    const double savedRight = m[right][BranchLogLik];
    for (int k = 0; k < L; k++) row[TMAT + k] = internalProposal[k];
    proposedLogLik = 0;
    tprob(m, pset.mutLocation[c], pset.mapDist, &proposedLogLik, pset.alleleFreq[c], pset.rootHaplotype[c], r, 0);
    if (accepted(proposedLogLik - chain.logLik, seed, Decision::OnEquality)) {
      chain.logLik = proposedLogLik;
      chain.acceptInternal++;
    } else {
      for (int k = 0; k < L; k++) row[TMAT + k] = internalSaved[k];
      restoreBranchLogLik(m, r, savedOwn);
      restoreBranchLogLik(m, left, savedLeft);
      restoreBranchLogLik(m, right, savedRight);
    }
  }
  MUTLOC_CHECK(handled == pset.numChrom - 1);
}

void movePhase(int c, int32_t* seed) {
  ChainState& chain = chains[c];
  TreeMatrix& m = chain.tree;
  const int L = pset.numLoci;
  for (int r = 0; r < m.rows; r++) {
    double* row = m[r];
    if (cellInt(row[LeftChild]) != -1) continue;
    if (pset.geneticModel == 0) {
      LeafCells cells(m, r);
      cells.save();
      const double oldSum = secondChromSum(row, c);
      bool changed = false;
      for (int k = 0; k < L; k++) {
        if (row[TMAT + k] == row[TMAT + L + k]) continue;
        if (ran1(seed) > 0.5) {
          changed = true;
          std::swap(row[TMAT + k], row[TMAT + L + k]);
        }
      }
      if (!changed) continue;
      recomputeLeaf(chain, c, r);
      const double newSum = secondChromSum(row, c);
      if (accepted((proposedLogLik + newSum) - (chain.logLik + oldSum), seed)) {
        chain.logLik = proposedLogLik;
        chain.secondChromLogProb = chain.secondChromLogProb - oldSum + newSum;
      } else {
        cells.restore();
      }
    } else {
      const int q = cellInt(row[Partner]);
      if (!(cellInt(row[Label]) > cellInt(m[q][Label]))) continue;
      LeafCells cells(m, r);
      cells.save();
      bool changed = false;
      for (int k = 0; k < L; k++) {
        if (row[TMAT + k] == m[q][TMAT + k]) continue;
        if (ran1(seed) > 0.5) {
          changed = true;
          std::swap(row[TMAT + k], m[q][TMAT + k]);
        }
      }
      if (!changed) continue;
      recomputeLeaf(chain, c, r);
      if (accepted(proposedLogLik - chain.logLik, seed))
        chain.logLik = proposedLogLik;
      else
        cells.restore();
    }
  }
}
