// Allele moves that fit: every internal node's allele at every locus, and
// every allele of the ancestral haplotype, drawn from its full conditional
// (a Gibbs step); and a location move that redraws the internal alleles at
// the loci the mutation crosses, with the redraws' probabilities in the
// acceptance ratio. All respect the chain's temperature.
#pragma once

#include "sampler/chain.h"

// One pass over the internal nodes, each locus in turn.
void gibbsInternalAlleles(Chain& chain, const MoveContext& ctx);

// One pass over the loci of the ancestral haplotype.
void gibbsRootHaplotype(Chain& chain, const MoveContext& ctx);

// A location proposal (the window move, or one time in five a jump anywhere
// between the bounds); when it moves the mutation past markers, the internal
// alleles at those markers (and the ancestral ones, when sampled) are
// redrawn, one after another, from their conditionals at the new location.
void moveMutLocationAcross(Chain& chain, const MoveContext& ctx);

// Draws internal node v's alleles locus by locus, each from its conditional
// given the others (the chain's location and temperature), and leaves them in
// the tree, also in `drawn`; with a target, puts the target's alleles there
// instead. Returns the log probability of drawing that sequence.
double redrawNodeAlleles(Chain& chain, const RunSettings& s, int v, const std::vector<int>* target,
                         std::vector<int>& drawn);
