// Starting points built from the data: every chain's genealogy joins the
// patient chromosomes that share the longest segments around a candidate
// location first, with internal alleles taken from their children, and the
// chains' candidate locations spread over the region.
#pragma once

#include <atomic>
#include <vector>

#include "core/random.h"
#include "sampler/chain.h"

// Rebuilds every chain's genealogy above its leaves (which keep their data,
// imputed alleles and partners) and recomputes its stored terms. Chain c
// starts at the centre of the c-th of M equal parts of the location range;
// with options.overdispersed, at a random point of that part, and at a
// random age in the c-th of M parts of the age range (a location or age the
// file fixes stays; with sequence weights the location moves off a segment
// of weight zero). Node times are drawn from the prior below the chain's age.
// A stop request (*stop set) ends it with a RunFailure carrying
// kStoppedDuringSetup.
void smartStart(std::vector<Chain>& chains, const RunSettings& s, const SamplingOptions& options, Random& rng,
                const std::atomic<int>* stop = nullptr);
