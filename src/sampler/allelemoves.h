// Moves of the discrete and frequency parts of a chain's state.
#pragma once

#include <cstdint>

void moveAlleleFreqs(int c, int32_t* seed);
void moveMissingAlleles(int c, int32_t* seed);
void moveRootHaplotype(int c, int32_t* seed);
void moveInternalAlleles(int c, int32_t* seed);
void movePhase(int c, int32_t* seed);

// Sum over loci of the log frequencies of a leaf row's second-chromosome
// alleles (genotypes under genetic model 0).
double secondChromSum(const double* row, int c);
