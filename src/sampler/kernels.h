// Proposal kernels: each changes part of a chain's state in place; the moves
// decide whether to keep the change.
#pragma once

#include <cstdint>
#include <vector>

// Moves one random allele frequency of locus k in chain c by a reflected
// uniform step of half-width adjFreq and rescales the locus's other alleles.
void adjfreq(int32_t* seed, int k, int c);

// Moves location x by a uniform step of half-width adjRecDist, reflected into
// [mutLocLow, mutLocHigh]. A step wider than the interval is shrunk to it and
// reported instead of moving.
void adjrecrate(double& x, int32_t* seed);

// Redraws alleles of an ancestral (adjY0) or internal-node (adjYi) haplotype:
// one random locus (all == 0) or every locus, each with probability adjRoot or
// adjInternal. *changed = 1 when any allele was redrawn.
void adjY0(std::vector<int>& hap, int32_t* seed, int* changed, int all);
void adjYi(std::vector<int>& hap, int32_t* seed, int* changed, int all);
