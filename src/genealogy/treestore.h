// The text form of a genealogy: the ".mat" output and the "inmat.txt" input.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "genealogy/treematrix.h"

// Writes every cell of m row by row (each value followed by a blank, a line end
// after each row), then the root alleles, each followed by a blank.
void writeGenealogy(const TreeMatrix& m, const std::vector<int>& root, std::ostream& out);

// Reads a genealogy in writeGenealogy's format into m (whose shape it must
// have) and root. Throws RunFailure when the text is short, holds a
// non-number or does not describe a genealogy of the run's shape with alleles
// within highestLabel; m and root are then unchanged.
void parseGenealogy(std::istream& in, const std::vector<int>& highestLabel, TreeMatrix& m, std::vector<int>& root);

// Why m is not one binary tree of the run's shape (labels, links, times,
// alleles within highestLabel, partners, individuals), or "" when it is.
std::string genealogyFault(const TreeMatrix& m, const std::vector<int>& highestLabel);

// parseGenealogy from the file "inmat.txt" in the current directory.
void readStoredGenealogy(const std::vector<int>& highestLabel, TreeMatrix& m, std::vector<int>& root);
