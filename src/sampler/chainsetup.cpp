#include "sampler/chainsetup.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "core/failure.h"
#include "core/shuffle.h"
#include "genealogy/startgenealogy.h"
#include "genealogy/treestore.h"
#include "input/ranges.h"
#include "model/likelihood.h"
#include "model/priors.h"

namespace {

void setIndividual(TreeMatrix& m, int row, int individual) {
  if (m.layout.individual) m[row][m.layout.individualColumn()] = individual;
}

// Pairs the leaves of m (sorted by LeftChild) into individuals in a shuffled
// order; phase(p, q) then fills the pair's alleles. Leaves m sorted by Label.
template <typename Phase>
void pairLeaves(TreeMatrix& m, std::vector<int>& order, int n, ShuffleStream& shuffle, const Phase& phase) {
  sortRows(m, LeftChild);
  for (int i = 0; i < n; i++) order[i] = cellInt(m[i][Label]);
  shuffleLabels(order, shuffle);
  sortRows(m, Label);
  for (int i = 0; i + 1 < n; i += 2) {
    const int p = order[i];
    const int q = order[i + 1];
    m[p][Partner] = q;
    m[q][Partner] = p;
    setIndividual(m, p, i / 2);
    setIndividual(m, q, i / 2);
    phase(p, q);
  }
}

// Places the patient rows on the leaves (rows 0..n-1 after the sort by
// LeftChild) of every chain, each chain in its own shuffled order; the order
// is not reset between chains.
void placePatientData(std::vector<Chain>& chains, const RunSettings& s, Random& rng, ShuffleStream& shuffle,
                      const std::atomic<int>* stop) {
  const int n = s.numChrom;
  const int L = s.numLoci;
  const auto& data = s.patientRows;
  std::vector<int> leafOrder(n);
  for (int i = 0; i < n; i++) leafOrder[i] = i;
  for (auto& chain : chains) {
    stopIfAsked(stop);
    TreeMatrix& m = chain.tree;
    const int firstAllele = m.layout.firstAllele;
    if (!s.genotypes) {
      shuffleLabels(leafOrder, shuffle);
      int r = 0;
      int boundary = data[0][0];
      for (int i = 0; i < n; i++) {
        double* leaf = m[leafOrder[i]];
        for (int j = 0; j < L; j++) leaf[firstAllele + j] = data[r][1 + j];
        setIndividual(m, leafOrder[i], i);
        chain.chromosomeLeaf[i] = cellInt(leaf[Label]);
        if (i == boundary - 1 && i < n - 1) {
          r++;
          boundary += data[r][0];
        }
      }
    } else if (s.genotypesModel0()) {
      shuffleLabels(leafOrder, shuffle);
      for (int i = 0; i < n; i++) {
        double* leaf = m[leafOrder[i]];
        setIndividual(m, leafOrder[i], i);
        chain.chromosomeLeaf[i] = cellInt(leaf[Label]);
        for (int j = 0; j < L; j++) {
          const int a = data[i][2 * j];
          const int b = data[i][2 * j + 1];
          const bool asGiven = rng.uniform() > 0.5;
          leaf[firstAllele + j] = asGiven ? a : b;
          leaf[firstAllele + L + j] = asGiven ? b : a;
        }
      }
    } else {
      int individual = 0;
      pairLeaves(m, leafOrder, n, shuffle, [&](int p, int q) {
        chain.chromosomeLeaf[2 * individual] = p;
        chain.chromosomeLeaf[2 * individual + 1] = q;
        for (int j = 0; j < L; j++) {
          const int a = data[individual][2 * j];
          const int b = data[individual][2 * j + 1];
          const bool asGiven = rng.uniform() > 0.5;
          m[p][firstAllele + j] = asGiven ? a : b;
          m[q][firstAllele + j] = asGiven ? b : a;
        }
        individual++;
      });
      sortRows(m, LeftChild);
    }
  }
}

// Individuals and phases of simulated data (every node already holds
// simulated alleles).
void arrangeSimulatedData(std::vector<Chain>& chains, const RunSettings& s, Random& rng, ShuffleStream& shuffle,
                          const std::atomic<int>* stop) {
  const int n = s.numChrom;
  const int L = s.numLoci;
  if (!s.genotypes) {
    for (auto& chain : chains)
      for (int i = 0; i < n; i++) setIndividual(chain.tree, i, i);
  } else if (s.genotypesModel0()) {
    const FrequencyTable& start = s.alleles.startFrequencies;
    for (auto& chain : chains) {
      const int firstAllele = chain.tree.layout.firstAllele;
      for (int i = 0; i < n; i++) {
        setIndividual(chain.tree, i, i);
        for (int j = 0; j < L; j++) {
          const int a = drawAllele(start.column(j), start.loci, s.alleles.maxAllele, rng.uniform());
          if (a > 0) chain.tree[i][firstAllele + L + j] = a;
        }
      }
    }
    for (auto& chain : chains)
      for (int r = 0; r < chain.tree.rows; r++) {
        double* row = chain.tree[r];
        const int firstAllele = chain.tree.layout.firstAllele;
        if (cellInt(row[LeftChild]) != -1) continue;
        for (int j = 0; j < L; j++)
          if (rng.uniform() > 0.5) std::swap(row[firstAllele + j], row[firstAllele + L + j]);
      }
  } else {
    std::vector<int> order(n);
    for (auto& chain : chains) {
      stopIfAsked(stop);
      TreeMatrix& m = chain.tree;
      const int firstAllele = m.layout.firstAllele;
      pairLeaves(m, order, n, shuffle, [&](int p, int q) {
        for (int j = 0; j < L; j++)
          if (rng.uniform() > 0.5) std::swap(m[p][firstAllele + j], m[q][firstAllele + j]);
      });
    }
    for (auto& chain : chains) {
      stopIfAsked(stop);
      sortRows(chain.tree, LeftChild);
    }
  }
}

// Every chain's ancestral alleles must be labels the frequency tables know.
void checkRootHaplotypes(const std::vector<Chain>& chains, const RunSettings& s) {
  const auto& highestLabel = s.alleles.highestLabel;
  for (const Chain& chain : chains)
    for (int k = 0; k < s.numLoci; k++) {
      const int a = chain.rootHaplotype[k];
      if (a < 1 || a > highestLabel[k])
        throw failLine("The root haplotype of chain " + std::to_string(chain.index + 1) + " holds allele " +
                       std::to_string(a) + " at marker " + std::to_string(k + 1) +
                       ", which is not one of its labels 1.." + std::to_string(highestLabel[k]) + ".");
    }
}

// Unknown cells (negative) become a uniformly drawn label of their locus,
// still negated; columns from..from+L-1 of every row of every chain.
void imputeUnknownAlleles(std::vector<Chain>& chains, const RunSettings& s, Random& rng, int from) {
  for (auto& chain : chains)
    for (int r = 0; r < chain.tree.rows; r++)
      for (int j = 0; j < s.numLoci; j++) {
        double& cell = chain.tree[r][chain.tree.layout.firstAllele + from + j];
        if (cell < 0) cell = -(rng.below(s.alleles.highestLabel[j]) + 1);
      }
}

// Lists the leaves with unknown cells (rows 0..n-1 of the matrix sorted by
// Time, in row order).
void listMissingLeaves(Chain& chain, int n) {
  const TreeMatrix& m = chain.tree;
  for (int r = 0; r < n; r++)
    for (int j = 0; j < m.layout.alleleColumns; j++)
      if (m[r][m.layout.firstAllele + j] < 0) {
        chain.missingLeaves.push_back(cellInt(m[r][Label]));
        break;
      }
}

void recordMissingCells(Chain& chain) {
  const TreeMatrix& m = chain.tree;
  const int L = m.layout.loci;
  for (int leaf : chain.missingLeaves) {
    MissingCells record;
    record.leaf = leaf;
    for (int j = 0; j < m.layout.alleleColumns; j++)
      if (m[leaf][m.layout.firstAllele + j] < 0) {
        (j < L ? record.carrierCount : record.secondCount)++;
        record.columns.push_back(j);
      }
    chain.missingCells.push_back(record);
  }
}

void sizeScratch(Chain& chain, const RunSettings& s) {
  const int N = 2 * s.numChrom - 1;
  const int L = s.numLoci;
  MoveScratch& scratch = chain.scratch;
  scratch.freq.assign(s.alleles.largest + 1, 0.0);
  scratch.cells.assign(2 * L, -1.0);
  scratch.rootProposal.assign(L, 0);
  scratch.internalProposal.assign(L, 0);
  scratch.internalSaved.assign(L, 0);
  scratch.branchLogLiks.assign(N, 0.0);
  scratch.sortedTimesProposal.assign(N, 0.0);
  scratch.labelOrder.assign(N, 0);
  scratch.rowsByTime.reserve(N);
  scratch.labelWeights.assign(s.alleles.largest + 1, 0.0);
  scratch.labelLogWeights.assign(s.alleles.largest + 1, 0.0);
  scratch.logFreqOf.assign(chain.alleleFreq.cells.size(), std::numeric_limits<double>::quiet_NaN());
  scratch.logFreq.assign(chain.alleleFreq.cells.size(), 0.0);
  // The Gibbs location move's lists grow to the largest move's size on first
  // use and then stay: reserving all nodes times all loci here would cost
  // runs without the option memory they never use.
  scratch.redrawRows.reserve(N);
}

}  // namespace

void stopIfAsked(const std::atomic<int>* stop) {
  if (stop && stop->load() != 0) throw failLine(kStoppedDuringSetup);
}

StartingValues drawStartingValues(const RunSettings& s, Random& rng) {
  const int M = s.numChains;
  StartingValues start{std::vector<double>(M, s.startLocation), std::vector<double>(M, s.startAge)};
  if (s.startAge == kRandomValue) {
    const double span = s.mutAgeHigh - s.mutAgeLow;
    const double width = span < 100 ? span : 100;
    for (double& age : start.ages) age = s.mutAgeLow + rng.uniform() * width;
  }
  if (s.startLocation == kRandomValue)
    for (double& x : start.locations) x = s.mutLocLow + rng.uniform() * (s.mutLocHigh - s.mutLocLow);
  return start;
}

std::vector<Chain> makeChains(const RunSettings& s, Random& rng, StepSet& steps, const std::atomic<int>* stop) {
  const int N = 2 * s.numChrom - 1;
  const TreeLayout layout = treeLayoutOf(s);
  std::vector<Chain> chains(s.numChains);
  for (int c = 0; c < s.numChains; c++) {
    stopIfAsked(stop);
    Chain& chain = chains[c];
    chain.index = c;
    chain.rng = &rng;
    chain.steps = &steps;
    chain.tree = makeTreeMatrix(N, layout);
    chain.proposalTree = makeTreeMatrix(N, layout);
    chain.sortedTimes.assign(N, 0.0);
    chain.alleleFreq = s.alleles.startFrequencies;
    chain.rootHaplotype = s.rootHaplotype;
    chain.chromosomeLeaf.assign(s.numChrom, -1);
    sizeScratch(chain, s);
  }
  return chains;
}

double chainBytes(const RunSettings& s) {
  const double n = s.numChrom;
  const double N = 2 * n - 1;
  const double L = s.numLoci;
  const TreeLayout layout = treeLayoutOf(s);
  double sumsLeaves = 1;
  while (sumsLeaves < N) sumsLeaves *= 2;
  // Each of the two genealogies: its cells, the pairwise sums of its branch
  // log-likelihoods, its cached exponentials and the likelihood's scratch.
  const double tree = 8 * (N * layout.width() + 2 * sumsLeaves + N * (2 * L + 1) + 3 * (L + 2));
  // Sorted and proposed node times, the saved column, in-order labels, rows
  // by time and the rebuild's three lists; the allele moves' scratch.
  const double scratch = 8 * 3 * N + 4 * 5 * N + 8 * (s.alleles.largest + 1 + 2 * L) + 4 * 3 * L;
  // The frequencies, and the allele conditionals' logarithms of them.
  const double frequencies = 3 * 8 * (s.alleles.maxAllele + 1) * L;
  // At most one unknown-allele record per leaf (a vector each).
  const double missing = n * (4 + 40 + 4 * (3 + layout.alleleColumns));
  // The chromosomes' leaves, and with --sporadic one indicator per row.
  const double leaves = 4 * n + N;
  return 2 * tree + scratch + frequencies + missing + leaves;
}

void recomputeStoredTerms(Chain& chain, const RunSettings& s) {
  const int n = s.numChrom;
  const TreeMatrix& m = chain.tree;
  chain.logLik = rescoreTree(chain.tree,
                             BranchModel{chain.mutLocation, s.mapDist, chain.alleleFreq, chain.rootHaplotype,
                                         chain.sporadicLeaves()},
                             Rescore::All);
  chain.secondChromLogProb = 0;
  if (s.genotypesModel0())
    for (int r = 0; r < m.rows; r++)
      if (cellInt(m[r][LeftChild]) == -1)
        chain.secondChromLogProb = addSecondChromLogFreqs(chain.secondChromLogProb, m, r, chain.alleleFreq);
  chain.sortedTimes.resize(m.rows);
  for (int r = 0; r < m.rows; r++) {
    chain.sortedTimes[r] = m[r][Time];
    if (cellInt(m[r][Parent]) == -1) chain.rootLabel = cellInt(m[r][Label]);
  }
  std::sort(chain.sortedTimes.begin(), chain.sortedTimes.end());
  chain.mutAgePrior = mutationAgeLogPrior(n, chain.mutAge, s.growthRate, s.propSampled);
  chain.coalPrior = nodeTimesLogPrior(n, chain.sortedTimes, s.propSampled, s.growthRate, chain.mutAge);
  chain.rootHapLogProb = rootHaplotypeLogProb(chain.alleleFreq, chain.rootHaplotype);
  chain.mutLocPrior = s.useSeqWeights && s.iterLocation ? locationLogPrior(s.segments, chain.mutLocation) : 0;
  chain.freqLogLik = s.iterFreq ? frequencyLogLik(s, m, chain.alleleFreq) : 0;
  if (chain.sporadic.active())
    chain.sporadic.logPrior = sporadicLogPrior(chain.sporadic.count(), n, chain.sporadic.share, chain.sporadic.prior);
}

void enableSporadic(std::vector<Chain>& chains, const RunSettings& s, const SporadicPrior& prior) {
  for (Chain& chain : chains) {
    SporadicState& sporadic = chain.sporadic;
    sporadic.leaf.assign(chain.tree.rows, 0);
    sporadic.prior = prior;
    // Every chromosome starts as the founder's; the share starts at its
    // prior mean, and the first sweep draws both from their conditionals.
    sporadic.share = prior.fixed() ? prior.fixedShare : prior.a / (prior.a + prior.b);
    sporadic.logPrior = sporadicLogPrior(0, s.numChrom, sporadic.share, prior);
  }
}

ChainSetup setupOf(const RunSettings& s, std::vector<Chain> chains) {
  ChainSetup setup;
  for (const Chain& chain : chains)
    if (!chain.missingLeaves.empty()) setup.hasMissing = true;
  setup.chains = std::move(chains);
  setup.lociPerFreqMove = s.flipAllLoci ? s.numLoci : 1;
  return setup;
}

ChainSetup setupChains(const RunSettings& s, const StartingValues& start, Random& rng, StepSet& steps,
                       std::ostream& log, const std::atomic<int>* stop) {
  const int n = s.numChrom;
  const int L = s.numLoci;

  std::vector<Chain> chains = makeChains(s, rng, steps, stop);
  ShuffleStream shuffle;
  for (Chain& chain : chains) {
    chain.mutLocation = start.locations[chain.index];
    chain.mutAge = start.ages[chain.index];
  }

  GenealogyStart shared{s.rootHaplotype, s.runSimulation ? s.simMutLoc : start.locations[0]};
  for (Chain& chain : chains) {
    stopIfAsked(stop);
    buildStartingGenealogy(chain.tree, s, chain.mutAge, chain.alleleFreq, shared, rng, shuffle, stop);
    stopIfAsked(stop);  // the genealogy may be unfinished
    sortRows(chain.tree, LeftChild);
  }
  for (Chain& chain : chains) chain.rootHaplotype = shared.root;
  if (!s.runSimulation)
    placePatientData(chains, s, rng, shuffle, stop);
  else
    arrangeSimulatedData(chains, s, rng, shuffle, stop);

  if (s.readOld) readStoredGenealogy(s.alleles.highestLabel, chains[0].tree, chains[0].rootHaplotype);
  checkRootHaplotypes(chains, s);
  checkStepSizes(s);
  log << "Rootstate\n";
  for (int k = 0; k < L; k++) log << chains[0].rootHaplotype[k] << " ";
  log << "\n";

  for (Chain& chain : chains) {
    stopIfAsked(stop);
    sortRows(chain.tree, LeftChild);
    reverseRows(chain.tree);
  }
  imputeUnknownAlleles(chains, s, rng, 0);
  if (s.genotypesModel0()) imputeUnknownAlleles(chains, s, rng, L);

  for (Chain& chain : chains) {
    stopIfAsked(stop);
    sortRows(chain.tree, Label);
    recomputeStoredTerms(chain, s);
  }
  for (Chain& chain : chains) {
    stopIfAsked(stop);
    sortRows(chain.tree, Time);
    // Runs have always started from the frequency term summed over the
    // leaves in this order (genetic model 0 sums their second chromosomes;
    // otherwise the order does not matter).
    if (s.iterFreq && s.genotypesModel0()) chain.freqLogLik = frequencyLogLik(s, chain.tree, chain.alleleFreq);
    listMissingLeaves(chain, n);
  }
  for (Chain& chain : chains) {
    stopIfAsked(stop);
    sortRows(chain.tree, Label);
    recordMissingCells(chain);
  }
  return setupOf(s, std::move(chains));
}
