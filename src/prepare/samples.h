// Which samples of the VCF are cases and which are controls.
#pragma once

#include <string>
#include <vector>

struct SampleRoles {
  std::vector<std::string> cases;
  std::vector<std::string> controls;
};

// Two lists of sample IDs, one a line (blank lines skipped).
SampleRoles readSampleLists(const std::string& casesFile, const std::string& controlsFile);

// A phenotype file in PLINK's layout: FID IID PHENO per line, 2 = case,
// 1 = control, anything else (0, -9, NA) left out; a header line starts
// with FID or #. Samples are named by their IID.
SampleRoles readPhenotypes(const std::string& file);
