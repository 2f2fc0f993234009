// The phase of a genotyped individual drawn whole: at all its heterozygous
// markers at once, from the full conditional given everything else (its
// leaves' parents, the location, the branch lengths, the frequencies).
#pragma once

#include "sampler/chain.h"

// One pass over the individuals. A branch's probability depends on its
// leaf's alleles only through where, on each side of the mutation, the leaf
// first differs from its parent and through the frequencies of the alleles
// from the first crossover outward, so the conditional is a chain along the
// markers with a small state per side (which chromosomes have passed their
// first crossover); a backward pass sums it and a forward pass draws from it
// exactly. Cold chains accept every draw; a heated companion (power beta)
// accepts it with probability min(1, (L'/L)^(beta - 1)), the draw then being a
// proposal from the cold conditional.
void gibbsPhase(Chain& chain, const MoveContext& ctx);
