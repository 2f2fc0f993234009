// The parameter-file reader.
#pragma once

#include <istream>
#include <string>

#include "input/settings.h"

// Reads and validates the whole parameter file from its start and derives the
// allele tables; checks that every allele label occurs in the data. Any bad
// input throws RunFailure. Draws nothing: random starting values are drawn
// where the chains are set up.
RunSettings readParameterFile(std::istream& paramFile);

// The message of the reader for a number of chains, burn-in or sampling
// iterations outside its range, or "" when the value is fine.
std::string chainsProblem(long chains);
std::string burnInProblem(long burnIn);
std::string iterationsProblem(long iterations);

// Puts the lengths given (those not 0) in place of the file's.
void applyRunLength(RunSettings& s, const RunLength& length);
