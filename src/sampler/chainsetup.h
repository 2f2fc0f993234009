// Builds the starting state of every chain.
#pragma once

#include <cstdint>
#include <ostream>

#include "input/parameters.h"

// Sets TMAT and TOTLOCI, builds every chain's genealogy with the patient data
// on its leaves and every unknown allele filled in, writes the "Rootstate"
// report to log and computes every chain's stored log terms. Throws
// RunFailure at the range checks of the step sizes.
void setupChains(int32_t* seed, const PatientTable& patientData, int maxAllele, std::ostream& log);
