// Fuzz target: the checkpoint reader. An input that begins as a checkpoint
// does is read as a whole file (its checksum almost never matches); any other
// input becomes the records after a valid header, framed with its length and
// a matching checksum, so that the reading of the records themselves is
// exercised.
#include <cstddef>
#include <cstdint>
#include <new>
#include <iostream>
#include <sstream>
#include <string>

#include "core/binaryio.h"
#include "core/failure.h"
#include "driver/checkpoint.h"
#include "input/reader.h"
#include "sampler/chainsetup.h"
#include "sampler/tempering.h"

namespace {

// Two chains of genotypes under genetic model 1 with individual haplotypes
// stored and missing alleles, so that every part of a chain is present.
const char* const kRun =
    "Data as genotypes\n1\nGenetic model\n1\nRead old file\n0\nUse fixed random seed\n-7\n#chromosomes\n4\n"
    "#loci per chromosome\n2\nNumbers of haplotypes in the normal pop\n6 1 1\n4 2 1\n5 1 2\nMap distance\n0 0.01\n"
    "Run simulation\n0\nMutation location for simulation\n0.005\nMutation's low and high boundary\n0 0.01\n"
    "#chains\n2\nStarting value\n-99\nPopulation growth rate\n1\nProportion of population sampled\n0.01\n"
    "Iterate ancestral state, mutation age, mutation location, allele freq\n1 1 1 0\nFlip all Loci\n0\n"
    "Adjustment level\n0.1 0.01 0.5 0.5 0.1\nBurn-in iteration\n10\nIterations\n10\n"
    "Screen and file updates\n1 1 1 1 1\nNumber of histogram bars\n5\nAlpha level\n0.05\nMutation age\n10\n"
    "Mutation age boundaries\n1 50\nStar genealogy\n0\nLoci for the root\n1 1\nPatient haplo- or genotypes:\n"
    "1 -1 1 1\n2 2 1 2\nUse sequence weights\n0\n";

const RunSettings& settings() {
  static const RunSettings s = [] {
    std::istringstream in(kRun);
    return readParameterFile(in);
  }();
  return s;
}

CheckpointIdentity identity() {
  CheckpointIdentity id;
  id.version = MUTLOC_VERSION;
  id.paramHash = 1;
  return id;
}

std::string framed(const std::string& records) {
  ByteWriter body;
  body.put<uint32_t>(2);
  body.putString(MUTLOC_VERSION);
  body.put<uint64_t>(1);
  body.putString("seed=-7");
  std::string bytes = "mutloc checkpoint\n";
  const uint64_t size = body.bytes().size() + records.size();
  bytes.append(reinterpret_cast<const char*>(&size), sizeof size);
  bytes += body.bytes() + records;
  const uint64_t sum = fnv1a64(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(&sum), sizeof sum);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const RunSettings& s = settings();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const bool whole = input.rfind("mutloc checkpoint\n", 0) == 0;
  std::vector<Random> streams(1);
  SharedControl control;
  control.prepare(s);
  TraceReport trace(s, std::cout, "fuzz.dat");
  HaplotypeTallies tallies = makeHaplotypeTallies(s);
  std::vector<Chain> chains = makeChains(s, streams[0], control);
  std::vector<Random> none;
  std::vector<StepSet> noLevels;
  Tempering noCompanions;
  RunRecords records{{&streams, &none, &none, &none}, control, noLevels, trace, tallies, chains, noCompanions};
  try {
    parseCheckpoint(whole ? input : framed(input), "fuzz.ckpt", identity(), s, records);
  } catch (const RunFailure&) {
  }
  return 0;
}
