// The ranges within which the numbers of a parameter file keep the program's
// arithmetic sound: sizes the set-up can build in reasonable time, and model
// values for which the priors and branch probabilities neither overflow nor
// round away. The reader rejects anything outside them.
#pragma once

#include "input/settings.h"

// Patient chromosomes: the starting genealogy is built by one shuffle of the
// active lineages per coalescence, so its set-up grows with the square of
// the count (about half a second a chain at the bound).
constexpr int kMaxChromosomes = 20000;
// Histogram bars: each chain's bars are sorted several times at the end.
constexpr int kMaxHistogramBars = 10000;
// The node-time and age step, as the menu bounds it: node times fold back
// into [0, age] one reflection at a time.
constexpr double kMaxTreeStep = 10;

// Growth rate r and proportion sampled K. The node-time density peaks at
// 2 r^2 / K (with r above K/2): at most 2e300 within these bounds. Below
// r = 1e-10, K - (K - 2r) e^(-rs) cancels down to its rounding error.
constexpr double kMinGrowthRate = 1e-10;
constexpr double kMaxGrowthRate = 1e100;
constexpr double kMinProportionSampled = 1e-100;
// A star genealogy places its internal nodes this far apart (in generations)
// below the starting age, the oldest first.
constexpr double kStarSpacing = 0.00001;
// Mutation ages in generations: beyond this the star genealogy's spacing
// rounds away.
constexpr double kMaxAge = 1e10;
// r times the youngest age of the run (see checkModelRanges): above it
// 1 - e^(-r T) keeps six digits.
constexpr double kMinGrowthOverAge = 1e-10;
// The share of the node-time distribution below that age: the truncated
// node-time prior divides by it, computed as 1 minus a ratio near 1, and
// would round it to 0 (a prior of +inf) where it is tiny.
constexpr double kMinNodeTimeShare = 1e-10;
// The branch probabilities multiply e^(x t) by e^(-pos t) for locations x
// and markers pos right of the first marker and branch lengths t up to the
// age: each factor stays a normal double while the exponent is at most 700.
constexpr double kMaxDistanceTimesAge = 700;

// The share of node times below age T under growth rate r and proportion
// sampled K: K (1 - e^(-rT)) / (K - (K - 2r) e^(-rT)), computed without the
// cancellation the prior's own formula has.
double nodeTimeShareBelow(double T, double r, double K);

// Rejects (RunFailure, naming the entries) growth rate, proportion sampled,
// ages, map and location bounds that break the arithmetic together: the two
// bounds above at the youngest age (a fixed age, the starting age the file
// gives, or the lower age bound; one generation for a lower bound of 0), and
// the distance bound at the oldest; a star genealogy must fit below the
// youngest starting age. Called once the whole file is read (an
// annotation file rescales the map).
void checkModelRanges(const RunSettings& s);

// Rejects (RunFailure) a location step outside [0, 0.5] and a node-time step
// that is not positive, in that order. The set-up calls it once the starting
// genealogies are built, where runs have always reported these.
void checkStepSizes(const RunSettings& s);
