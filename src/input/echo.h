// The parameter echo at the head of ".log".
#pragma once

#include <ostream>
#include <vector>

#include "input/settings.h"

// Writes every parameter as read, with the chains' starting locations and
// ages as drawn (a random starting location is echoed as -99).
void writeParameterEcho(std::ostream& log, const RunSettings& s, long seedUsed, const std::vector<double>& startLocations,
                        const std::vector<double>& startAges);
