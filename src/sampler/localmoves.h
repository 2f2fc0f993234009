// Local genealogy moves: one internal node's time between its children's and
// its parent's, and a nearest-neighbour exchange whose moved node gets its
// alleles redrawn from its new neighbourhood. Both keep the times of every
// node but one, so they change little of the tree at a time. And one move of
// the whole tree's height: every node time and the mutation age scaled by one
// factor, which keeps the tree's shape.
#pragma once

#include "sampler/chain.h"

// One time proposal for every internal node in turn (reflected window of
// half-width nodeTime between the node's children and its parent, or the
// mutation age for the root).
void moveNodeTimes(Chain& chain, const MoveContext& ctx);

// One exchange proposal for every internal node but the root: one of its
// children, chosen at random, changes places with its sibling (when the
// times allow), and the node's alleles are redrawn locus by locus from their
// conditionals; the redraws' probabilities enter the acceptance ratio.
void moveExchanges(Chain& chain, const MoveContext& ctx);

// One proposal scaling the mutation age and every internal node's time by
// e^u, u uniform in (-scale, scale); the n scaled values give the
// Jacobian e^(n u). Only when the age is sampled.
void moveTreeScale(Chain& chain, const MoveContext& ctx);
