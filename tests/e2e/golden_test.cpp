// Whole runs compared byte for byte with stored outputs. Set
// MUTLOC_REGENERATE_GOLDEN=1 to rewrite the stored files from the current
// program instead, then read the diff before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/e2e.h"

namespace {

bool regenerating() { return std::getenv("MUTLOC_REGENERATE_GOLDEN") != nullptr; }

class GoldenRun : public testing::TestWithParam<const char*> {};

TEST_P(GoldenRun, OutputsMatchStoredFilesByteForByte) {
  const std::string folder = std::string("e2e/golden/") + GetParam() + "/";
  ScratchDir dir;
  dir.write("p.txt", testData(folder + "p.txt"));
  const RunResult run = runMutloc(dir, {"p.txt"});
  ASSERT_EQ(run.status, 0) << run.out;

  std::vector<std::pair<std::string, std::string>> produced = {{"stdout.txt", run.out}};
  for (const auto& ext : kOutputExtensions) produced.push_back({"p.txt" + ext, dir.read("p.txt" + ext)});
  for (const auto& [name, text] : produced) {
    if (regenerating()) {
      std::ofstream(std::string(MUTLOC_TEST_DATA) + "/" + folder + name, std::ios::binary) << text;
      continue;
    }
    EXPECT_EQ(text, testData(folder + name)) << "differs: " << folder << name;
  }
}

// quickstart: the worked parameter file. hapfreq: missing alleles, sampled
// frequencies, three chains. geno0 and geno1: unphased genotypes under both
// genetic models.
INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenRun, testing::Values("quickstart", "hapfreq", "geno0", "geno1"));

}  // namespace
