// The parameter-file reader.
#pragma once

#include <istream>

#include "input/settings.h"

// Reads and validates the whole parameter file from its start and derives the
// allele tables; checks that every allele label occurs in the data. Any bad
// input throws RunFailure. Draws nothing: random starting values are drawn
// where the chains are set up.
RunSettings readParameterFile(std::istream& paramFile);
