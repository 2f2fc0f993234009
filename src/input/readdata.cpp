#include "input/readdata.h"

#include <cstdlib>
#include <ctime>
#include <string>
#include <type_traits>
#include <vector>

#include "input/derived.h"
#include "input/failure.h"
#include "input/readstate.h"
#include "input/scan.h"
#include "input/tables.h"
#include "sampler/random.h"

namespace {

constexpr int kMaxChains = 1000;

// Rejection with the exit status the run gives every bad value (1).
[[noreturn]] void reject(const std::string& message) { throw failLine(message); }

void requireSwitch(int value, const std::string& message) {
  if (value != 0 && value != 1) reject(message);
}

// A label found by its locating character, then one integer on the next line.
int readLocatedInt(std::istream& in, char x, const std::string& entry) {
  locateEntry(in, x, entry);
  discardLabelLine(in, entry);
  return readInt(in, entry);
}

double readLocatedDouble(std::istream& in, char x, const std::string& entry) {
  locateEntry(in, x, entry);
  discardLabelLine(in, entry);
  return readDouble(in, entry);
}

// An entry whose label began with the previous list's end character: only the
// rest of its label line remains.
int readIntAfterList(std::istream& in, const std::string& entry) {
  discardLabelLine(in, entry);
  return readInt(in, entry);
}

template <typename T, typename Check>
std::vector<T> readList(std::istream& in, const std::string& endLetters, const std::string& entry,
                        const Check& check) {
  std::vector<T> values;
  while (!listEnds(in, endLetters, entry)) {
    T value;
    if constexpr (std::is_same_v<T, int>)
      value = readInt(in, entry);
    else
      value = readDouble(in, entry);
    check(value);
    values.push_back(value);
    skipWhite(in);
  }
  return values;
}

void readSwitchesAndSizes(std::istream& in, int32_t* seed) {
  const std::string genotypes = "Data as genotypes";
  discardLabelLine(in, genotypes);
  pset.dataAsGenotypes = readInt(in, genotypes);
  requireSwitch(pset.dataAsGenotypes, "\"Data as genotypes\" should be 0 or 1.");

  pset.geneticModel = readLocatedInt(in, 'G', "Genetic model");
  requireSwitch(pset.geneticModel, "\"Genetic model\" should be 0 or 1.");
  if (pset.dataAsGenotypes == 0) pset.geneticModel = 0;

  pset.readOld = readLocatedInt(in, 'R', "Read old file");
  requireSwitch(pset.readOld, "\"Read old file\" should be 0 or 1.");

  const int fixedSeed = readLocatedInt(in, 'U', "Use fixed random seed");
  if (fixedSeed > 0) reject("\"Use fixed random seed\" should be 0 or negative.");
  // The generator negates the seed; the most negative int has no negation.
  if (fixedSeed < -2147483647) reject("\"Use fixed random seed\" should be at least -2147483647.");
  pset.randomSeed = fixedSeed;
  if (fixedSeed < 0) {
    *seed = fixedSeed;
  } else {
    srandom(static_cast<unsigned>(time(nullptr)));
    *seed = -rand();
  }

  int chromosomes = readLocatedInt(in, '#', "# chromosomes");
  if (chromosomes <= 0) reject("\"# chromosomes\" should be positive integer.");
  if (pset.dataAsGenotypes == 1 && chromosomes % 2 != 0)
    throw RunFailure{1, "There must be an even number of chromosomes when using genotypes."};
  if (pset.dataAsGenotypes == 1 && pset.geneticModel == 0) chromosomes /= 2;
  if (chromosomes < 2)
    reject("\"# chromosomes\" gives fewer than 2 leaves; a genealogy needs at least two.");
  pset.numChrom = chromosomes;

  pset.numLoci = readLocatedInt(in, '#', "#loci per chromosome");
  if (pset.numLoci <= 0) reject("\"#loci per chromosome\" should be positive integer.");
  const int lociLimit = pset.dataAsGenotypes == 1 ? kPatientColumns / 2 : kPatientColumns - 1;
  if (pset.numLoci > lociLimit)
    reject("\"#loci per chromosome\" should be at most " + std::to_string(lociLimit) +
           (pset.dataAsGenotypes == 1 ? " for genotype data." : " for haplotype data."));
}

void readMapDistances(std::istream& in) {
  const std::string entry = "Map distance";
  discardLabelLine(in, entry);
  pset.mapDist.assign(pset.numLoci + 1, 0.0);
  std::vector<double> values;
  while (!listEnds(in, "R", entry)) {
    const double value = readDouble(in, entry);
    if (!values.empty() && !(value > values.back()))
      throw failLine("The numbers of \"Map distance\" should be increasing");
    values.push_back(value);
    skipWhite(in);
  }
  if (static_cast<int>(values.size()) != pset.numLoci) reject("\"Map distance\" should have #loci entries");
  if (values[0] != 0) reject("\"Map distance\" should start at 0.");
  for (int k = 1; k <= pset.numLoci; k++) pset.mapDist[k] = values[k - 1];
}

void readMutationRange(std::istream& in) {
  pset.runSimulation = readIntAfterList(in, "Run simulation");
  requireSwitch(pset.runSimulation, "\"Run simulation\" should be 0 or 1.");
  pset.simMutLoc = readLocatedDouble(in, 'M', "Mutation location for simulation");

  const std::string bounds = "Mutation's low and high boundary";
  locateEntry(in, 'M', bounds);
  discardLabelLine(in, bounds);
  const auto range = readList<double>(in, "#", bounds, [](double) {});
  if (range.size() != 2) reject("You should have 2 numbers for \"Mutation's low and high boundary\".");
  pset.mutLocLow = range[0];
  pset.mutLocHigh = range[1];
  if (!(pset.mutLocLow < pset.mutLocHigh)) reject("Mutation's low boundary should less than high boundary.");

  pset.numChains = readIntAfterList(in, "Simulation runs");
  if (pset.numChains <= 0) reject("\"Simulation runs\" should be positive.");
  // Every chain holds its own frequency tables and genealogies.
  if (pset.numChains > kMaxChains) reject("\"Simulation runs\" should be at most 1000.");
  pset.mutLocation.assign(pset.numChains, 0.0);
  pset.mutAge.assign(pset.numChains, 0.0);
  pset.rootHaplotype.assign(pset.numChains, std::vector<int>(pset.numLoci, 0));

  const double start = readLocatedDouble(in, 'S', "Starting value for mutation location");
  pset.mutLocation.assign(pset.numChains, start);
}

void readPopulationAndSwitches(std::istream& in) {
  pset.growthRate = readLocatedDouble(in, 'P', "Population growth rate ");
  if (!(pset.growthRate > 0)) reject("\"Population growth rate \" should be positive.");
  pset.propSampled = readLocatedDouble(in, 'P', "Proportion of population sampled ");
  if (!(pset.propSampled > 0)) reject("\"Proportion of population sampled \" should be positive.");

  const std::string iterate = "Iterate ancestral state, mutation age, mutatin location, allele freq";
  locateEntry(in, 'I', iterate);
  discardLabelLine(in, iterate);
  const auto flags = readList<int>(in, "F", iterate, [&](int v) {
    if (v != 0 && v != 1) reject("The number of \"" + iterate + "\" should be 0 or 1.");
  });
  if (flags.size() != 4) reject("You should have 4 numbers for \"" + iterate + "\".");
  pset.iterRoot = flags[0];
  pset.iterAge = flags[1];
  pset.iterLocation = flags[2];
  pset.iterFreq = flags[3];
  if (pset.runSimulation == 1) pset.mutLocation.assign(pset.numChains, pset.simMutLoc);
  // The reflecting location move cannot bring a start outside the bounds back in.
  const double start = pset.mutLocation[0];
  if (start != -99 && !(start >= pset.mutLocLow && start <= pset.mutLocHigh))
    reject("The starting mutation location should lie within \"Mutation's low and high boundary\", or be -99.");

  pset.flipAllLoci = readIntAfterList(in, "Flip all Loci");
  requireSwitch(pset.flipAllLoci, "\"Flip all Loci\" should be 0 or 1.");
}

void readSamplerSettings(std::istream& in) {
  const std::string adjust = "Adjustment level for tree, recdist, ancestral, and internal states, alleles";
  locateEntry(in, 'A', adjust);
  discardLabelLine(in, adjust);
  const auto steps = readList<double>(in, "B", adjust, [&](double v) {
    if (v < 0) reject("The number of \"" + adjust + "\" should be non-negative.");
  });
  if (steps.size() != 5) throw RunFailure{-1, "You should have 5 numbers for \"" + adjust + "\".\n"};
  pset.adjTree = steps[0];
  pset.adjRecDist = steps[1];
  pset.adjRoot = steps[2];
  pset.adjInternal = steps[3];
  pset.adjFreq = steps[4];

  pset.burnIn = readIntAfterList(in, "Burn-in iteration");
  if (pset.burnIn <= 0) reject("\"Burn-in iteration\" should be positive integer.");
  pset.iterations = readLocatedInt(in, 'I', "Iterations");
  if (pset.iterations <= 0) reject("\"Iterations\" should be positive integer.");

  const std::string updates =
      "Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes...";
  locateEntry(in, 'S', updates);
  discardLabelLine(in, updates);
  const auto settings = readList<int>(in, "N", updates, [](int v) {
    if (v < 0) reject("The numbers for \"Screen update and file update ...\" should be non-negative integers.");
  });
  if (settings.size() != 5) reject("You should have 5 numbers for \"" + updates + "\".");
  pset.screenUpdate = settings[0];
  pset.fileUpdate = settings[1];
  pset.storeProps = settings[2];
  pset.storePopHaplotypes = settings[3];
  pset.storeIndHaplotypes = settings[4];

  pset.histBars = readIntAfterList(in, "Number of histogram bars");
  if (pset.histBars <= 0) reject("\"Number of histogram bars\" should be positive integer.");
  pset.alphaLevel = readLocatedDouble(in, 'A', "Alpha level for recdist");
  if (!(pset.alphaLevel < 1) || !(pset.alphaLevel > 0))
    reject("\"Alpha level for recdist\" should be positive and less than 1.");
}

void readMutationAge(std::istream& in, int32_t* seed) {
  const double age = readLocatedDouble(in, 'M', "Mutation age");
  if (!(age > 0) && age != -99) reject("\"Mutation age\" should be positive or -99(random).");
  pset.mutAge.assign(pset.numChains, age);

  const std::string bounds = "Mutation age boundaries";
  locateEntry(in, 'M', bounds);
  discardLabelLine(in, bounds);
  if (pset.iterAge == 0) {
    if (age == -99)
      reject("\"Mutation age\" -99 (random) needs the age to be iterated; give a positive age or set the "
             "mutation age to be iterated.");
    if (!eatWhite(in, 'S')) throw failLine(endedInside(bounds));
    pset.mutAgeLow = pset.mutAgeHigh = age;
  } else {
    const auto range = readList<double>(in, "S", bounds, [](double v) {
      if (v < 0) reject("\"Mutation age boundaries\" should be a non-negative integer.");
    });
    if (range.size() != 2) reject("You should have 2 numbers for \"Mutation age boundaries\".");
    pset.mutAgeLow = range[0];
    pset.mutAgeHigh = range[1];
    if (!(pset.mutAgeLow < pset.mutAgeHigh))
      reject("\"Mutation age boundaries\": the first number should be less than the second one.");
  }
  if (pset.iterAge == 1 && age != -99 && !(age >= pset.mutAgeLow && age <= pset.mutAgeHigh))
    reject("\"Mutation age\" should lie within \"Mutation age boundaries\", or be -99(random).");
  if (age == -99) {
    const double span = pset.mutAgeHigh - pset.mutAgeLow;
    const double width = span < 100 ? span : 100;
    for (int c = 0; c < pset.numChains; c++) pset.mutAge[c] = pset.mutAgeLow + ran1(seed) * width;
  }
}

void readGenealogyStart(std::istream& in) {
  pset.starGenealogy = readIntAfterList(in, "Star genealogy");
  if (pset.starGenealogy != 0 && pset.starGenealogy != 1)
    reject("\"Star genealogy\" should be 0(no) or 1(yes).");

  const std::string root = "Loci for the root";
  locateEntry(in, 'L', root);
  discardLabelLine(in, root);
  const auto alleles = readList<double>(in, "PF", root, [](double v) {
    if (!(v > 0)) reject("\"Loci for the root\" should be positive integer.");
    if (v > kMaxAlleleLabel) reject("\"Loci for the root\" should hold allele labels of at most 498.");
  });
  if (static_cast<int>(alleles.size()) != pset.numLoci) reject("You should have #loci for \"Loci for the root\".");
  for (int k = 0; k < pset.numLoci; k++) pset.rootHaplotype[0][k] = static_cast<int>(alleles[k]);
  for (int c = 1; c < pset.numChains; c++) pset.rootHaplotype[c] = pset.rootHaplotype[0];
}

}  // namespace

int readdata3(int32_t* seed, int* numSegsOut, std::istream& paramFile, std::ostream& logFile,
              PatientTable& patientData) {
  paramFile.clear();
  paramFile.seekg(0);
  pset = ParameterSet{};
  segweights[0] = segweights[1] = segweights[2] = 0;
  ReaderTables tables;
  readSwitchesAndSizes(paramFile, seed);
  readControlTable(paramFile, tables);
  readMapDistances(paramFile);
  readMutationRange(paramFile);
  readPopulationAndSwitches(paramFile);
  readSamplerSettings(paramFile);
  readMutationAge(paramFile, seed);
  readGenealogyStart(paramFile);
  readPatientTable(paramFile, tables, patientData);
  const int maxAllele = deriveAlleleTables(tables, patientData);

  pset.useSeqWeights = readIntAfterList(paramFile, "Use sequence weights");
  requireSwitch(pset.useSeqWeights, "\"Use sequence weights\" should be 0 or 1.");
  numsegs = 0;
  if (pset.useSeqWeights == 1) {
    readSequenceWeights(paramFile, tables);
    *numSegsOut = numsegs;
  }

  writeParameterEcho(logFile, tables, patientData, seed);
  return allelesAllPresent(patientData) ? maxAllele : 0;
}
