// Which samples of the VCF are cases and which are controls.
#pragma once

#include <string>
#include <vector>

struct SampleRoles {
  std::vector<std::string> cases;
  std::vector<std::string> controls;
  int unknown = 0;  // samples of a phenotype file that are neither (-9, 0, NA, ...)
};

// Two lists of sample IDs, one a line (blank lines skipped).
SampleRoles readSampleLists(const std::string& casesFile, const std::string& controlsFile);

// A phenotype file in PLINK's layout: FID IID PHENO per line, or a .fam
// file (six columns: FID IID father mother sex PHENO); 2 = case, 1 = control, anything
// else (0, -9, NA) left out and counted; a header line starts with FID or #.
// Samples are named by their IID.
SampleRoles readPhenotypes(const std::string& file);
