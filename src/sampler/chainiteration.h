// One iteration's pass of the moves over a chain.
#pragma once

#include <array>

#include "sampler/chain.h"

// One pass of every enabled move over the chain; sets the iteration's samples.
void updateChain(Chain& chain, const MoveContext& ctx);

// The chain's acceptance proportions after iteration t, for the first
// kMoveKinds kinds of move (indexed by MoveKind): accepted moves over
// possible proposals, burn-in included.
std::array<double, kMoveKinds> acceptanceProportions(const Chain& chain, const MoveContext& ctx, long t);

// Stores the chain's acceptance proportions in the shared record for the menu.
void storeProportions(const Chain& chain, const MoveContext& ctx, long t);

// Lock and release of the pause mutex: an open menu holds the sampler here.
// True when a stop was requested.
bool pausePoint(SharedControl& control);
