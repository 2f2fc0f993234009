// The Metropolis-Hastings decision shared by every move.
#pragma once

#include "core/random.h"

// How a move settles a proposal whose summed log terms changed by logRatio.
enum class Decision {
  Strict,      // accept when u < p
  OnEquality,  // accept when u <= p (internal-node alleles)
  Forbidden,   // p = 0: the proposal may not be accepted (its draw is still made)
};

// Draws u and compares it with p = min(1, e^logRatio).
bool accepted(double logRatio, Random& rng, Decision rule = Decision::Strict);
