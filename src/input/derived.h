// What the parameter reader derives from the tables it read: the allele tables
// of the run, the parameter echo in ".log" and the final allele check.
#pragma once

#include <cstdint>
#include <ostream>

#include "input/parameters.h"
#include "input/readstate.h"

// Fills maxall, normmat and every chain's starting allele frequencies; returns
// maxAllele, the highest allele label anywhere.
int deriveAlleleTables(ReaderTables& tables, const PatientTable& patientData);

// Writes every parameter to the log stream; draws the random starting
// locations when the file asks for them.
void writeParameterEcho(std::ostream& log, const ReaderTables& tables, const PatientTable& patientData,
                        int32_t* seed);

// Reports on standard output every allele label 1..maxall[l] that occurs in
// neither table; true when there is none.
bool allelesAllPresent(const PatientTable& patientData);
