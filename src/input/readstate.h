// Working tables of one pass of the parameter reader, shared by its steps.
#pragma once

#include <vector>

struct ReaderTables {
  // Control counts: rows by allele label 0..499 (row 499 becomes the per-locus
  // total), one column per locus.
  std::vector<std::vector<double>> controlCounts;
  int largestControlLabel = 0;  // largest positive control label read
};
