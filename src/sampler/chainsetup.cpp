#include "sampler/chainsetup.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "genealogy/generatetree.h"
#include "genealogy/shuffle.h"
#include "genealogy/treestore.h"
#include "input/failure.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/chainstate.h"
#include "sampler/random.h"

namespace {

void sortRows(TreeMatrix& m, int column) { mysorttreemat(m, m.rows, m.width, column); }

void setIndividual(double* row, int individual) {
  if (hasIndividualColumn()) row[individualColumn()] = individual;
}

// Pairs the leaves of m (sorted by LeftChild) into individuals in a shuffled
// order; phase(p, q, i) then fills the pair's alleles. Leaves m sorted by Label.
template <typename Phase>
void pairLeaves(TreeMatrix& m, std::vector<int>& order, int n, const Phase& phase) {
  sortRows(m, LeftChild);
  for (int i = 0; i < n; i++) order[i] = cellInt(m[i][Label]);
  shuffleLabels(order);
  sortRows(m, Label);
  for (int i = 0; i + 1 < n; i += 2) {
    const int p = order[i];
    const int q = order[i + 1];
    m[p][Partner] = q;
    m[q][Partner] = p;
    setIndividual(m[p], i / 2);
    setIndividual(m[q], i / 2);
    phase(p, q);
  }
}

// Places the patient rows on the leaves (rows 0..n-1 after the sort by
// LeftChild) of every chain, each chain in its own shuffled order.
void placePatientData(int32_t* seed, const PatientTable& data) {
  const int n = pset.numChrom;
  const int L = pset.numLoci;
  for (auto& chain : chains) {
    TreeMatrix& m = chain.tree;
    if (pset.dataAsGenotypes == 0) {
      shuffleLabels(leafOrder);
      int r = 0;
      int boundary = data[0][0];
      for (int i = 0; i < n; i++) {
        double* leaf = m[leafOrder[i]];
        for (int j = 0; j < L; j++) leaf[TMAT + j] = data[r][1 + j];
        setIndividual(leaf, i);
        if (i == boundary - 1 && i < n - 1) {
          r++;
          boundary += data[r][0];
        }
      }
    } else if (pset.geneticModel == 0) {
      shuffleLabels(leafOrder);
      for (int i = 0; i < n; i++) {
        double* leaf = m[leafOrder[i]];
        setIndividual(leaf, i);
        for (int j = 0; j < L; j++) {
          const int a = data[i][2 * j];
          const int b = data[i][2 * j + 1];
          const bool asGiven = ran1(seed) > 0.5;
          leaf[TMAT + j] = asGiven ? a : b;
          leaf[TMAT + L + j] = asGiven ? b : a;
        }
      }
    } else {
      int individual = 0;
      pairLeaves(m, leafOrder, n, [&](int p, int q) {
        for (int j = 0; j < L; j++) {
          const int a = data[individual][2 * j];
          const int b = data[individual][2 * j + 1];
          const bool asGiven = ran1(seed) > 0.5;
          m[p][TMAT + j] = asGiven ? a : b;
          m[q][TMAT + j] = asGiven ? b : a;
        }
        individual++;
      });
      sortRows(m, LeftChild);
    }
  }
}

// Individuals and phases of simulated data (every node already holds
// simulated alleles).
void arrangeSimulatedData(int32_t* seed, int maxAllele) {
  const int n = pset.numChrom;
  const int L = pset.numLoci;
  if (pset.dataAsGenotypes == 0) {
    for (auto& chain : chains)
      for (int i = 0; i < n; i++) setIndividual(chain.tree[i], i);
  } else if (pset.geneticModel == 0) {
    const FrequencyTable& start = pset.alleleFreq[0];
    for (auto& chain : chains)
      for (int i = 0; i < n; i++) {
        double* leaf = chain.tree[i];
        setIndividual(leaf, i);
        for (int j = 0; j < L; j++) {
          const int a = drawAllele(&start.cells[j], start.loci, maxAllele, ran1(seed));
          if (a > 0) leaf[TMAT + L + j] = a;
        }
      }
    for (auto& chain : chains)
      for (int r = 0; r < chain.tree.rows; r++) {
        double* row = chain.tree[r];
        if (cellInt(row[LeftChild]) != -1) continue;
        for (int j = 0; j < L; j++)
          if (ran1(seed) > 0.5) std::swap(row[TMAT + j], row[TMAT + L + j]);
      }
  } else {
    std::vector<int> order(n);
    for (auto& chain : chains) {
      TreeMatrix& m = chain.tree;
      pairLeaves(m, order, n, [&](int p, int q) {
        for (int j = 0; j < L; j++)
          if (ran1(seed) > 0.5) std::swap(m[p][TMAT + j], m[q][TMAT + j]);
      });
    }
    for (auto& chain : chains) sortRows(chain.tree, LeftChild);
  }
}

// Every chain's ancestral alleles must be labels the frequency tables know.
void checkRootHaplotypes() {
  for (int c = 0; c < pset.numChains; c++)
    for (int k = 0; k < pset.numLoci; k++) {
      const int a = pset.rootHaplotype[c][k];
      if (a < 1 || a > maxall[k])
        throw failLine("The root haplotype of chain " + std::to_string(c + 1) + " holds allele " + std::to_string(a) +
                       " at marker " + std::to_string(k + 1) + ", which is not one of its labels 1.." +
                       std::to_string(maxall[k]) + ".");
    }
}

// Unknown cells (negative) become a uniformly drawn label of their locus,
// still negated; columns from..from+L-1 of every row of every chain.
void imputeUnknownAlleles(int32_t* seed, int from) {
  for (auto& chain : chains)
    for (int r = 0; r < chain.tree.rows; r++)
      for (int j = 0; j < pset.numLoci; j++) {
        double& cell = chain.tree[r][TMAT + from + j];
        if (cell < 0) cell = -(random2(maxall[j], seed) + 1);
      }
}

// Lists the leaves with unknown cells (rows 0..n-1 of the matrix sorted by
// Time, in row order) of one chain.
void listMissingLeaves(ChainState& chain) {
  for (int r = 0; r < pset.numChrom; r++)
    for (int j = 0; j < TOTLOCI; j++)
      if (chain.tree[r][TMAT + j] < 0) {
        chain.missingLeaves.push_back(cellInt(chain.tree[r][Label]));
        hasMissing = 1;
        break;
      }
}

void recordMissingCells(ChainState& chain) {
  const int L = pset.numLoci;
  for (int leaf : chain.missingLeaves) {
    MissingCells record = {leaf, 0, 0};
    for (int j = 0; j < TOTLOCI; j++)
      if (chain.tree[leaf][TMAT + j] < 0) {
        record[j < L ? 1 : 2]++;
        record.push_back(j);
      }
    chain.missingCells.push_back(record);
  }
}

}  // namespace

void setupChains(int32_t* seed, const PatientTable& patientData, int maxAllele, std::ostream& log) {
  const int n = pset.numChrom;
  const int N = 2 * n - 1;
  const int L = pset.numLoci;
  const int M = pset.numChains;

  const bool genotypesModel0 = pset.dataAsGenotypes == 1 && pset.geneticModel == 0;
  TMAT = 7 + (hasPartnerColumn() ? 1 : 0) + (hasIndividualColumn() ? 1 : 0);
  TOTLOCI = genotypesModel0 ? 2 * L : L;
  largestAlleleCount = 0;
  for (int a : maxall) largestAlleleCount = std::max(largestAlleleCount, a);
  freqScratch.assign(largestAlleleCount + 1, 0.0);
  phaseScratch.assign(2 * L, -1.0);
  leafOrder.resize(n);
  for (int i = 0; i < n; i++) leafOrder[i] = i;
  chains.assign(M, ChainState{});

  for (auto& chain : chains) chain.tree = makeTreeMatrix(N);
  for (int c = 0; c < M; c++) {
    generatetree(seed, chains[c].tree, c);
    sortRows(chains[c].tree, LeftChild);
  }
  if (pset.runSimulation == 0)
    placePatientData(seed, patientData);
  else
    arrangeSimulatedData(seed, maxAllele);

  labelOrder.assign(N, 0);
  if (pset.readOld == 1) readmat(chains[0].tree);
  checkRootHaplotypes();
  log << "Rootstate\n";
  for (int k = 0; k < L; k++) log << pset.rootHaplotype[0][k] << " ";
  log << "\n";

  branchLogLikSaved.assign(N, 0.0);
  sortedTimesProposal.assign(N, 0.0);
  for (auto& chain : chains) {
    chain.sortedTimes.assign(N, 0.0);
    sortRows(chain.tree, LeftChild);
    mysorttreematrev(chain.tree, N, chain.tree.width);
  }
  const double recStep = stepSize(pset.adjRecDist);
  if (recStep > 0.5 || recStep < 0) throw failLine("Recombination distance adjustment(c) out of range (0.0 - 0.5)");

  for (auto& chain : chains) {
    chain.mutLocSamples.assign(pset.iterations, 0.0);
    chain.mutAgeSamples.assign(pset.iterations, 0.0);
  }
  internalProposal.assign(L, 0);
  internalSaved.assign(L, 0);
  rootProposal.assign(L, 0);
  imputeUnknownAlleles(seed, 0);
  if (genotypesModel0) imputeUnknownAlleles(seed, L);

  for (int c = 0; c < M; c++) {
    ChainState& chain = chains[c];
    chain.secondChromLogProb = 0;
    sortRows(chain.tree, Label);
    tprob(chain.tree, pset.mutLocation[c], pset.mapDist, &chain.logLik, pset.alleleFreq[c], pset.rootHaplotype[c],
          -1, 0);
    if (genotypesModel0)
      for (int r = 0; r < N; r++)
        if (cellInt(chain.tree[r][LeftChild]) == -1)
          for (int j = 0; j < L; j++)
            chain.secondChromLogProb += std::log(pset.alleleFreq[c](alleleOf(chain.tree[r][TMAT + L + j]), j));
  }
  const double treeStep = stepSize(pset.adjTree);
  if (!(treeStep > 0)) {
    std::ostringstream message;
    message.precision(4);
    message << "Coalescence time adjustment " << treeStep << " must be a > 0.0";
    throw failLine(message.str());
  }

  for (auto& chain : chains) {
    sortRows(chain.tree, Time);
    for (int r = 0; r < N; r++) {
      chain.sortedTimes[r] = chain.tree[r][Time];
      if (cellInt(chain.tree[r][Parent]) == -1) chain.rootLabel = cellInt(chain.tree[r][Label]);
    }
  }
  for (int c = 0; c < M; c++) {
    ChainState& chain = chains[c];
    pset.curMutAge = pset.mutAge[c];
    chain.mutAgePrior = tpriormut(n, pset.mutAge[c], pset.growthRate);
    chain.coalPrior = tprior(n, chain.sortedTimes, pset.propSampled, pset.growthRate);
    chain.rootHapLogProb = probhap(pset.alleleFreq[c], pset.rootHaplotype[c], L);
    if (pset.useSeqWeights && pset.iterLocation) chain.mutLocPrior = sequenceprob(pset.mutLocation[c]);
    if (pset.iterFreq) chain.freqLogLik = getalllik(chain.tree, largestAlleleCount, c);
  }

  hasMissing = 0;
  for (auto& chain : chains) {
    chain.proposalTree = makeTreeMatrix(N);
    listMissingLeaves(chain);
  }
  for (auto& chain : chains) {
    sortRows(chain.tree, Label);
    recordMissingCells(chain);
  }
  lociPerFreqMove = pset.flipAllLoci ? L : 1;
}
