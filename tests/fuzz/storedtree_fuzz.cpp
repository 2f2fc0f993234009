// Fuzz target: the stored-genealogy reader ("inmat.txt") for a run of
// genotypes under genetic model 1 with individual haplotypes stored, so that
// the Partner and Individual columns are checked too.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "core/failure.h"
#include "genealogy/treestore.h"
#include "input/reader.h"

namespace {

const char* const kRun =
    "Data as genotypes\n1\nGenetic model\n1\nRead old file\n0\nUse fixed random seed\n-7\n#chromosomes\n4\n"
    "#loci per chromosome\n2\nNumbers of haplotypes in the normal pop\n6 1 1\n4 2 1\n5 1 2\nMap distance\n0 0.01\n"
    "Run simulation\n0\nMutation location for simulation\n0.005\nMutation's low and high boundary\n0 0.01\n"
    "#chains\n1\nStarting value\n-99\nPopulation growth rate\n1\nProportion of population sampled\n0.01\n"
    "Iterate ancestral state, mutation age, mutation location, allele freq\n1 1 1 0\nFlip all Loci\n0\n"
    "Adjustment level\n0.1 0.01 0.5 0.5 0.1\nBurn-in iteration\n10\nIterations\n10\n"
    "Screen and file updates\n1 1 1 1 1\nNumber of histogram bars\n5\nAlpha level\n0.05\nMutation age\n10\n"
    "Mutation age boundaries\n1 50\nStar genealogy\n0\nLoci for the root\n1 1\nPatient haplo- or genotypes:\n"
    "1 2 1 1\n2 2 1 2\nUse sequence weights\n0\n";

// The run's settings, read once (a fuzz target has no other place to keep them).
const RunSettings& settings() {
  static const RunSettings s = [] {
    std::istringstream in(kRun);
    return readParameterFile(in);
  }();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const RunSettings& s = settings();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  TreeMatrix m = makeTreeMatrix(2 * s.numChrom - 1, treeLayoutOf(s));
  std::vector<int> root;
  try {
    parseGenealogy(in, s.alleles.highestLabel, m, root);
  } catch (const RunFailure&) {
  }
  return 0;
}
