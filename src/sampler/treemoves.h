// Moves of the genealogy with the mutation age, and of the mutation location.
#pragma once

#include "sampler/chain.h"

// Sets the chain's proposed age to its age and, when the age is sampled (and
// the genealogy is not a star), moves it; true when an age was proposed.
bool proposeMutAge(Chain& chain, const MoveContext& ctx);

// One genealogy proposal at the chain's proposed age, accepted or rejected
// together with that age.
void moveGenealogy(Chain& chain, const MoveContext& ctx);

void moveMutLocation(Chain& chain, const MoveContext& ctx);
