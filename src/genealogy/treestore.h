// The text form of a genealogy: the ".mat" output and the "inmat.txt" input.
#pragma once

#include <istream>
#include <ostream>

#include "genealogy/treematrix.h"

// Writes every cell of m row by row (each value followed by a blank, a line end
// after each row), then chain 0's root alleles, each followed by a blank.
void storemat(const TreeMatrix& m, std::ostream& out);

// Reads a genealogy in storemat's format into m and chain 0's root alleles.
// Throws RunFailure when the text is short, holds a non-number or does not
// describe a genealogy of the run's shape.
void readTreeText(TreeMatrix& m, std::istream& in);

// readTreeText from the file "inmat.txt" in the current directory.
void readmat(TreeMatrix& m);
