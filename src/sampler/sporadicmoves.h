// The sporadic patient chromosomes (--sporadic): a Gibbs step for every
// leaf's indicator, then one for the share of sporadic leaves.
#pragma once

#include "sampler/chain.h"

// Every leaf in row order: sporadic with probability proportional to
// share * P(alleles | population)^beta, founder's with (1 - share) *
// P(alleles | parent)^beta (beta: the chain's power); then, unless fixed,
// the share from its Beta full conditional, Beta(a + sporadic, b + leaves -
// sporadic).
void moveSporadic(Chain& chain, const MoveContext& ctx);
