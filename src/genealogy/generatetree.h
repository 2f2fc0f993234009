// Starting genealogies, and simulated data when the run asks for them.
#pragma once

#include <cstdint>

#include "genealogy/treematrix.h"

// Builds chain c's starting genealogy in m (freshly made, canonical labels in
// creation order): node times from the prior truncated to the chain's age, or
// a star just below it; a random topology from the root downward; the drawn
// ancestral haplotype when it is sampled; internal alleles (and, when
// simulating, leaf alleles) by descent with crossovers.
void generatetree(int32_t* seed, TreeMatrix& m, int c);

// The allele drawn from the frequencies of locus k with one uniform u: the
// first label a at which u is at most the running sum; 0 when none qualifies.
int drawAllele(const double* freqColumn, int stride, int maxLabel, double u);
