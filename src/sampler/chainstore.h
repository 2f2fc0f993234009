// A chain's whole state as bytes, for checkpoints.
#pragma once

#include <string>
#include <vector>

#include "core/binaryio.h"
#include "sampler/chain.h"

void saveChain(ByteWriter& out, const Chain& chain);

// Reads a chain saved by saveChain into chain, which must already have the
// run's shape (see makeChains). Returns why the bytes are no chain of this
// run ("" when they are); throws ShortRecord when they end early.
std::string loadChain(ByteReader& in, const RunSettings& s, Chain& chain);
