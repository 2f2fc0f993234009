// What the reader derives from the tables it read: the allele tables of the
// run and the check that every allele label occurs in the data.
#pragma once

#include "input/readstate.h"
#include "input/settings.h"

// Fills s.alleles: highestLabel, controlCount, the largest labels and the starting
// allele frequencies.
void deriveAlleleTables(RunSettings& s, ReaderTables& tables);

// Rejects the input, listing every allele label 1..highestLabel[l] that occurs in
// neither table (each with two bells, then "Program terminated").
void checkAllelesPresent(const RunSettings& s);
