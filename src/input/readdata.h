// The parameter-file reader.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

#include "input/parameters.h"

// Reads and validates the whole parameter file from its start, fills pset, the
// global tables and patientData, stores the starting random state in *seed and
// draws the random starting values, writes the parameter echo to logFile and
// checks that every allele label occurs in the data. Returns maxAllele, or 0
// when the allele check failed (the reports are already printed). Any other
// bad input throws RunFailure.
int readdata3(int32_t* seed, int* numSegsOut, std::istream& paramFile, std::ostream& logFile,
              PatientTable& patientData);
