// Whole runs compared byte for byte with stored outputs. Set
// MUTLOC_REGENERATE_GOLDEN=1 to rewrite the stored files from the current
// program instead, then read the diff before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "support/e2e.h"

namespace {

bool regenerating() { return std::getenv("MUTLOC_REGENERATE_GOLDEN") != nullptr; }

// Runs parameterText as p.txt with the options and compares standard output
// and the eight files with those stored in tests/<folder>.
void expectStoredOutputs(const std::string& parameterText, const std::string& folder,
                         const std::vector<std::string>& options = {}) {
  ScratchDir dir;
  dir.write("p.txt", parameterText);
  std::vector<std::string> arguments = {"p.txt"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  const RunResult run = runMutloc(dir, arguments);
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

std::string fileText(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// quickstart: the worked parameter file. hapfreq: missing alleles, sampled
// frequencies, three chains. geno0 and geno1: unphased genotypes under both
// genetic models. Their stored files are runs computed independently of this
// program, before the genealogy move had its Hastings term: with
// --symmetric-genealogy the program must still give them byte for byte.
class GoldenRun : public testing::TestWithParam<const char*> {};

TEST_P(GoldenRun, WithTheSymmetricGenealogyMoveOutputsMatchTheReferenceRunsByteForByte) {
  const std::string folder = std::string("e2e/golden/") + GetParam() + "/";
  expectStoredOutputs(testData(folder + "p.txt"), folder, {"--symmetric-genealogy"});
}

TEST_P(GoldenRun, OutputsMatchStoredFilesByteForByte) {
  const std::string folder = std::string("e2e/golden/") + GetParam() + "/";
  expectStoredOutputs(testData(folder + "p.txt"), folder + "default/");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenRun, testing::Values("quickstart", "hapfreq", "geno0", "geno1"));

// The shipped examples, 22000 iterations of 3 chains each: the outputs of
// their fixed seeds stay the same as long as no change of the program is
// meant to alter them (CHANGELOG.md).
class ExampleRun : public testing::TestWithParam<const char*> {};

TEST_P(ExampleRun, OutputsMatchStoredFilesByteForByte) {
  const std::string example = GetParam();
  const std::string text = fileText(std::string(MUTLOC_SOURCE_DIR) + "/examples/" + example);
  ASSERT_FALSE(text.empty()) << example;
  expectStoredOutputs(text, "e2e/golden/examples/" + example.substr(0, example.find('/')) + "/");
}

// The examples as they were shipped before the genealogy move had its
// Hastings term, with the outputs they gave then.
TEST_P(ExampleRun, TheEarlierExampleGivesItsEarlierOutputsWithTheSymmetricGenealogyMove) {
  const std::string example = GetParam();
  const std::string folder = "e2e/golden/earlier-examples/" + example.substr(0, example.find('/')) + "/";
  expectStoredOutputs(testData(folder + "p.txt"), folder, {"--symmetric-genealogy"});
}

INSTANTIATE_TEST_SUITE_P(Shipped, ExampleRun,
                         testing::Values("simulated/simulated.txt", "genotypes-model0/genotypes0.txt",
                                         "genotypes-model1/genotypes1.txt", "segment-weights/weighted.txt"));

}  // namespace
