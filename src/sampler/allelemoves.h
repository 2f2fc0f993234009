// Moves of the discrete and frequency parts of a chain's state.
#pragma once

#include "model/likelihood.h"
#include "sampler/chain.h"

void moveAlleleFreqs(Chain& chain, const MoveContext& ctx);
void moveMissingAlleles(Chain& chain, const MoveContext& ctx);
void moveRootHaplotype(Chain& chain, const MoveContext& ctx);
void moveInternalAlleles(Chain& chain, const MoveContext& ctx);
void movePhase(Chain& chain, const MoveContext& ctx);

// What the chain's alleles are scored against at its current location.
BranchModel branchModelOf(const Chain& chain, const RunSettings& s);
