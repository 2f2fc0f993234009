#include "input/parameters.h"

ParameterSet pset;
std::vector<int> maxall;
std::vector<std::vector<int>> normmat;
double segweights[3] = {0, 0, 0};
int numsegs = 0;

PatientTable makePatientTable() { return PatientTable(kPatientRows, std::vector<int>(kPatientColumns, 0)); }
