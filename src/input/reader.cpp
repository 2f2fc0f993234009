#include "input/reader.h"

#include <cmath>
#include <string>
#include <vector>

#include "core/failure.h"
#include "input/alleles.h"
#include "input/ranges.h"
#include "input/readstate.h"
#include "input/scan.h"
#include "input/tables.h"

namespace {

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

// A 0/1 entry found by its locating character.
bool readLocatedSwitch(std::istream& in, char x, const std::string& entry, const std::string& message) {
  const int value = readLocatedInt(in, x, entry);
  requireSwitch(value, message);
  return value == 1;
}

// An entry whose label began with the previous list's end character: only the
// rest of its label line remains.
int readIntAfterList(std::istream& in, const std::string& entry) {
  discardLabelLine(in, entry);
  return readInt(in, entry);
}

bool readSwitchAfterList(std::istream& in, const std::string& entry, const std::string& message) {
  const int value = readIntAfterList(in, entry);
  requireSwitch(value, message);
  return value == 1;
}

void readSwitchesAndSizes(std::istream& in, RunSettings& s) {
  const std::string genotypes = "Data as genotypes";
  discardLabelLine(in, genotypes);
  const int dataAsGenotypes = readInt(in, genotypes);
  requireSwitch(dataAsGenotypes, "\"Data as genotypes\" should be 0 or 1.");
  s.genotypes = dataAsGenotypes == 1;

  const bool model1 = readLocatedSwitch(in, 'G', "Genetic model", "\"Genetic model\" should be 0 or 1.");
  // The genetic model only means something for genotypes.
  s.geneticModel = model1 && s.genotypes ? GeneticModel::TwoLeavesPerIndividual : GeneticModel::OneLeafPerIndividual;
  s.readOld = readLocatedSwitch(in, 'R', "Read old file", "\"Read old file\" should be 0 or 1.");

  const int fixedSeed = readLocatedInt(in, 'U', "Use fixed random seed");
  if (fixedSeed > 0) reject("\"Use fixed random seed\" should be 0 or negative.");
  // The generator negates the seed; the most negative int has no negation.
  if (fixedSeed < -2147483647) reject("\"Use fixed random seed\" should be at least -2147483647.");
  s.fileSeed = fixedSeed;

  int chromosomes = readLocatedInt(in, '#', "# chromosomes");
  if (chromosomes <= 0) reject("\"# chromosomes\" should be positive integer.");
  if (chromosomes > kMaxChromosomes) reject("\"# chromosomes\" should be at most 20000.");
  if (s.genotypes && chromosomes % 2 != 0)
    throw RunFailure{1, "There must be an even number of chromosomes when using genotypes."};
  if (s.genotypesModel0()) chromosomes /= 2;
  if (chromosomes < 2) reject("\"# chromosomes\" gives fewer than 2 leaves; a genealogy needs at least two.");
  s.numChrom = chromosomes;

  s.numLoci = readLocatedInt(in, '#', "#loci per chromosome");
  if (s.numLoci <= 0) reject("\"#loci per chromosome\" should be positive integer.");
  const int lociLimit = s.genotypes ? kPatientColumns / 2 : kPatientColumns - 1;
  if (s.numLoci > lociLimit)
    reject("\"#loci per chromosome\" should be at most " + std::to_string(lociLimit) +
           (s.genotypes ? " for genotype data." : " for haplotype data."));
}

void readMapDistances(std::istream& in, RunSettings& s) {
  const std::string entry = "Map distance";
  discardLabelLine(in, entry);
  double previous = 0;
  bool first = true;
  const auto values = readList<double>(in, "R", entry, [&](double value) {
    if (!first && !(value > previous)) reject("The numbers of \"Map distance\" should be increasing");
    previous = value;
    first = false;
  });
  if (static_cast<int>(values.size()) != s.numLoci) reject("\"Map distance\" should have #loci entries");
  if (values[0] != 0) reject("\"Map distance\" should start at 0.");
  s.mapDist.assign(1, 0.0);
  s.mapDist.insert(s.mapDist.end(), values.begin(), values.end());
}

void readMutationRange(std::istream& in, RunSettings& s) {
  s.runSimulation = readSwitchAfterList(in, "Run simulation", "\"Run simulation\" should be 0 or 1.");
  s.simMutLoc = readLocatedDouble(in, 'M', "Mutation location for simulation");

  const std::string bounds = "Mutation's low and high boundary";
  const auto range = readLocatedList<double>(in, 'M', bounds, "#", [](double) {});
  if (range.size() != 2) reject("You should have 2 numbers for \"Mutation's low and high boundary\".");
  s.mutLocLow = range[0];
  s.mutLocHigh = range[1];
  if (!(s.mutLocLow < s.mutLocHigh)) reject("Mutation's low boundary should less than high boundary.");

  s.numChains = readIntAfterList(in, "Simulation runs");
  if (const std::string problem = chainsProblem(s.numChains); !problem.empty()) reject(problem);
  s.startLocation = readLocatedDouble(in, 'S', "Starting value for mutation location");
}

void readPopulationAndSwitches(std::istream& in, RunSettings& s) {
  s.growthRate = readLocatedDouble(in, 'P', "Population growth rate ");
  if (!(s.growthRate > 0)) reject("\"Population growth rate \" should be positive.");
  if (s.growthRate < kMinGrowthRate) reject("\"Population growth rate \" should be at least 1e-10.");
  if (s.growthRate > kMaxGrowthRate) reject("\"Population growth rate \" should be at most 1e100.");
  s.propSampled = readLocatedDouble(in, 'P', "Proportion of population sampled ");
  if (!(s.propSampled > 0)) reject("\"Proportion of population sampled \" should be positive.");
  if (s.propSampled < kMinProportionSampled)
    reject("\"Proportion of population sampled \" should be at least 1e-100.");
  if (s.propSampled > 1) reject("\"Proportion of population sampled \" should be at most 1.");

  const std::string iterate = "Iterate ancestral state, mutation age, mutatin location, allele freq";
  const auto flags = readLocatedList<int>(in, 'I', iterate, "F", [&](int v) {
    if (v != 0 && v != 1) reject("The number of \"" + iterate + "\" should be 0 or 1.");
  });
  if (flags.size() != 4) reject("You should have 4 numbers for \"" + iterate + "\".");
  s.iterRoot = flags[0] == 1;
  s.iterAge = flags[1] == 1;
  s.iterLocation = flags[2] == 1;
  s.iterFreq = flags[3] == 1;
  // Simulated data start every chain at the simulated location.
  if (s.runSimulation) s.startLocation = s.simMutLoc;
  // The reflecting location move cannot bring a start outside the bounds back in.
  const double start = s.startLocation;
  if (start != kRandomValue && !(start >= s.mutLocLow && start <= s.mutLocHigh))
    reject("The starting mutation location should lie within \"Mutation's low and high boundary\", or be -99.");

  s.flipAllLoci = readSwitchAfterList(in, "Flip all Loci", "\"Flip all Loci\" should be 0 or 1.");
}

void readSamplerSettings(std::istream& in, RunSettings& s) {
  const std::string adjust = "Adjustment level for tree, recdist, ancestral, and internal states, alleles";
  const auto steps = readLocatedList<double>(in, 'A', adjust, "B", [&](double v) {
    if (v < 0) reject("The number of \"" + adjust + "\" should be non-negative.");
  });
  if (steps.size() != 5) throw RunFailure{-1, "You should have 5 numbers for \"" + adjust + "\".\n"};
  s.steps = StepSizes{steps[0], steps[1], steps[2], steps[3], steps[4]};
  if (s.steps.tree > kMaxTreeStep)
    reject("The first number (the tree step) of \"" + adjust + "\" should be at most 10.");

  s.burnIn = readIntAfterList(in, "Burn-in iteration");
  if (const std::string problem = burnInProblem(s.burnIn); !problem.empty()) reject(problem);
  s.iterations = readLocatedInt(in, 'I', "Iterations");
  if (const std::string problem = iterationsProblem(s.iterations); !problem.empty()) reject(problem);

  const std::string updates =
      "Screen and file updates, save acceptance props, save haplotypes, save individual haplotypes...";
  const auto values = readLocatedList<int>(in, 'S', updates, "N", [](int v) {
    if (v < 0) reject("The numbers for \"Screen update and file update ...\" should be non-negative integers.");
  });
  if (values.size() != 5) reject("You should have 5 numbers for \"" + updates + "\".");
  s.screenUpdate = values[0];
  s.fileUpdate = values[1];
  s.storeProps = values[2];
  s.storePopHaplotypes = values[3];
  s.storeIndHaplotypes = values[4];

  s.histBars = readIntAfterList(in, "Number of histogram bars");
  if (s.histBars <= 0) reject("\"Number of histogram bars\" should be positive integer.");
  if (s.histBars > kMaxHistogramBars) reject("\"Number of histogram bars\" should be at most 10000.");
  s.alphaLevel = readLocatedDouble(in, 'A', "Alpha level for recdist");
  if (!(s.alphaLevel < 1) || !(s.alphaLevel > 0)) reject("\"Alpha level for recdist\" should be positive and less than 1.");
}

void readMutationAge(std::istream& in, RunSettings& s) {
  const double age = readLocatedDouble(in, 'M', "Mutation age");
  if (!(age > 0) && age != kRandomValue) reject("\"Mutation age\" should be positive or -99(random).");
  if (age > kMaxAge) reject("\"Mutation age\" should be at most 1e10 generations.");
  s.startAge = age;

  const std::string bounds = "Mutation age boundaries";
  if (!s.iterAge) {
    locateEntry(in, 'M', bounds);
    discardLabelLine(in, bounds);
    if (age == kRandomValue)
      reject("\"Mutation age\" -99 (random) needs the age to be iterated; give a positive age or set the "
             "mutation age to be iterated.");
    if (!skipPast(in, 'S')) reject(endedInside(bounds));
    s.mutAgeLow = s.mutAgeHigh = age;
  } else {
    const auto range = readLocatedList<double>(in, 'M', bounds, "S", [](double v) {
      if (v < 0) reject("\"Mutation age boundaries\" should be a non-negative integer.");
    });
    if (range.size() != 2) reject("You should have 2 numbers for \"Mutation age boundaries\".");
    s.mutAgeLow = range[0];
    s.mutAgeHigh = range[1];
    if (!(s.mutAgeLow < s.mutAgeHigh))
      reject("\"Mutation age boundaries\": the first number should be less than the second one.");
    if (s.mutAgeHigh > kMaxAge) reject("\"Mutation age boundaries\" should be at most 1e10 generations.");
    if (age != kRandomValue && !(age >= s.mutAgeLow && age <= s.mutAgeHigh))
      reject("\"Mutation age\" should lie within \"Mutation age boundaries\", or be -99(random).");
  }
}

void readGenealogyStart(std::istream& in, RunSettings& s) {
  const int star = readIntAfterList(in, "Star genealogy");
  if (star != 0 && star != 1) reject("\"Star genealogy\" should be 0(no) or 1(yes).");
  s.starGenealogy = star == 1;

  const std::string root = "Loci for the root";
  const auto alleles = readLocatedList<double>(in, 'L', root, "PF", [](double v) {
    if (!(v > 0) || v != std::floor(v)) reject("\"Loci for the root\" should be positive integer.");
    if (v > kMaxAlleleLabel) reject("\"Loci for the root\" should hold allele labels of at most 498.");
  });
  if (static_cast<int>(alleles.size()) != s.numLoci) reject("You should have #loci for \"Loci for the root\".");
  s.rootHaplotype.assign(alleles.begin(), alleles.end());
}

}  // namespace

// The file's counts are whole numbers of at most 2147483647; a command line's
// are checked against the same bound.
std::string chainsProblem(long chains) {
  if (chains <= 0) return "\"Simulation runs\" should be positive.";
  if (chains > kMaxChains) return "\"Simulation runs\" should be at most 1000.";
  return "";
}

std::string burnInProblem(long burnIn) {
  if (burnIn <= 0) return "\"Burn-in iteration\" should be positive integer.";
  if (burnIn > 2147483647L) return "\"Burn-in iteration\" should be at most 2147483647.";
  return "";
}

std::string iterationsProblem(long iterations) {
  if (iterations <= 0) return "\"Iterations\" should be positive integer.";
  if (iterations > 2147483647L) return "\"Iterations\" should be at most 2147483647.";
  return "";
}

void applyRunLength(RunSettings& s, const RunLength& length) {
  if (length.chains > 0) s.numChains = static_cast<int>(length.chains);
  if (length.burnIn > 0) s.burnIn = length.burnIn;
  if (length.iterations > 0) s.iterations = length.iterations;
}

RunSettings readParameterFile(std::istream& paramFile) {
  paramFile.clear();
  paramFile.seekg(0);
  RunSettings s;
  ReaderTables tables;
  readSwitchesAndSizes(paramFile, s);
  readControlTable(paramFile, s, tables);
  readMapDistances(paramFile, s);
  readMutationRange(paramFile, s);
  readPopulationAndSwitches(paramFile, s);
  readSamplerSettings(paramFile, s);
  readMutationAge(paramFile, s);
  readGenealogyStart(paramFile, s);
  readPatientTable(paramFile, s);
  deriveAlleleTables(s, tables);

  s.useSeqWeights = readSwitchAfterList(paramFile, "Use sequence weights", "\"Use sequence weights\" should be 0 or 1.");
  if (s.useSeqWeights) readSequenceWeights(paramFile, s);
  checkAllelesPresent(s);
  checkModelRanges(s);
  return s;
}
