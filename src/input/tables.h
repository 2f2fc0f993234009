// The table entries of the parameter file: control haplotype counts, patient
// haplotypes or genotypes, and the sequence-weight block.
#pragma once

#include <istream>

#include "input/parameters.h"
#include "input/readstate.h"

// "Numbers of haplotypes in the normal pop": fills tables.controlCounts.
void readControlTable(std::istream& in, ReaderTables& tables);

// "Patient haplo- or genotypes:": validates the rows and copies them into
// patientData unless the data are simulated.
void readPatientTable(std::istream& in, ReaderTables& tables, PatientTable& patientData);

// "Weights for exons, introns, non-genes": the three weights, then segment rows
// or an annotation file with the markers' contig positions; fills segweights,
// pset.segStart, pset.segWeight and numsegs.
void readSequenceWeights(std::istream& in, ReaderTables& tables);
