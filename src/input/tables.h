// The table entries of the parameter file: control haplotype counts, patient
// haplotypes or genotypes, and the sequence-weight block.
#pragma once

#include <istream>

#include "input/readstate.h"
#include "input/settings.h"

// "Numbers of haplotypes in the normal pop": fills tables.controlCounts.
void readControlTable(std::istream& in, const RunSettings& s, ReaderTables& tables);

// "Patient haplo- or genotypes:": validates the rows and keeps them in
// s.patientRows unless the data are simulated.
void readPatientTable(std::istream& in, RunSettings& s);

// "Weights for exons, introns, non-genes": the three weights, then segment rows
// or an annotation file with the markers' contig positions; fills s.segments
// (and, with an annotation file, puts the markers on its scale).
void readSequenceWeights(std::istream& in, RunSettings& s);
