// Starting genealogies, and simulated data when the run asks for them.
#pragma once

#include <atomic>
#include <vector>

#include "core/random.h"
#include "core/shuffle.h"
#include "genealogy/treematrix.h"
#include "input/settings.h"

// What the chains' starting genealogies share while they are built one after
// another.
struct GenealogyStart {
  // The ancestral haplotype: the file's, replaced by a draw from the
  // frequencies at every genealogy when it is sampled (and not read from
  // "inmat.txt"); the last draw is every chain's start.
  std::vector<int> root;
  // Location at which the alleles of the nodes are simulated: chain 0's
  // starting location, or the simulated mutation's (-99: drawn once, at the
  // first genealogy).
  double location = 0;
};

// Builds a starting genealogy in m (freshly made; canonical labels in
// creation order) below the mutation age: node times from the prior truncated
// to the age, or a star just below it; a random topology from the root
// downward; the ancestral haplotype drawn when it is sampled; internal alleles
// (and, when simulating, leaf alleles) by descent with crossovers. The
// topology, one shuffle of the active lineages per node, takes time growing
// with the square of the leaves: when *stop (a stop request) is set on the
// way, the genealogy is left unfinished and the caller must not use it.
void buildStartingGenealogy(TreeMatrix& m, const RunSettings& s, double age, const FrequencyTable& freq,
                            GenealogyStart& start, Random& rng, ShuffleStream& shuffle,
                            const std::atomic<int>* stop = nullptr);

// The allele drawn from the frequencies of one locus with one uniform u: the
// first label a at which u is at most the running sum; 0 when none qualifies.
int drawAllele(const double* freqColumn, int stride, int maxLabel, double u);
