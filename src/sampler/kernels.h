// Proposal kernels: each changes part of a chain's state in place; the moves
// decide whether to keep the change.
#pragma once

#include <vector>

#include "core/random.h"
#include "core/shared.h"
#include "input/settings.h"

// Moves one random allele frequency of locus k by a reflected uniform step of
// half-width step (a step above 1 is lowered to 1, for good) and rescales the
// locus's other alleles.
void proposeFrequency(FrequencyTable& freq, int k, int alleles, SharedDouble& step, Random& rng);

// Moves location x by a uniform step of half-width step, reflected into
// [lo, hi]. A step wider than the interval is shrunk to it and reported
// instead of moving.
void proposeLocation(double& x, double lo, double hi, SharedDouble& step, Random& rng);

// x folded into [lo, hi] (lo < hi) by reflecting at both ends as often as it
// takes: the image of a point on a walk bounced between two walls.
double foldIntoRange(double x, double lo, double hi);

// Redraws alleles of a haplotype, each visited locus with probability q: one
// random locus, or every locus when all is set. True when any allele was
// redrawn (even to the same label).
bool redrawAlleles(std::vector<int>& hap, const std::vector<int>& highestLabel, double q, bool all, Random& rng);

// A draw from the Beta(a, b) distribution (a, b > 0), as X / (X + Y) of two
// gamma draws (Marsaglia and Tsang's method on Box-Muller normals), kept
// inside (0, 1): a share at 0 or 1 would score log 0.
double drawBeta(double a, double b, Random& rng);
