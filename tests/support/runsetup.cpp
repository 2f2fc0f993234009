#include "support/runsetup.h"

#include <sstream>

#include "input/reader.h"

std::string ParamSpec::text() const {
  std::ostringstream t;
  t << "Data as genotypes\n" << genotypes << "\nGenetic model\n" << model << "\nRead old file\n" << readOld
    << "\nUse fixed random seed\n" << seed << "\n#chromosomes\n" << chromosomes << "\n#loci per chromosome\n" << loci
    << "\nNumbers of haplotypes in the normal pop\n" << control << "Map distance\n" << map
    << "\nRun simulation\n" << simulate << "\nMutation location for simulation\n" << simLocation
    << "\nMutation's low and high boundary\n" << bounds << "\n#chains\n" << chains
    << "\nStarting value for mutation location\n" << start << "\nPopulation growth rate\n" << growth
    << "\nProportion of population sampled\n" << sampled
    << "\nIterate ancestral state, mutation age, mutation location, allele freq\n" << iterate
    << "\nFlip all Loci\n" << flip << "\nAdjustment level for tree, recdist, ancestral, and internal states, alleles\n"
    << adjust << "\nBurn-in iteration\n" << burnIn << "\nIterations\n" << iterations
    << "\nScreen and file updates, save acceptance props, save haplotypes, save individual haplotypes\n" << updates
    << "\nNumber of histogram bars\n" << bars << "\nAlpha level for recdist\n" << alpha << "\nMutation age\n" << age
    << "\nMutation age boundaries\n" << ageBounds << "\nStar genealogy\n" << star << "\nLoci for the root\n" << root
    << "\nPatient haplo- or genotypes:\n" << patients << "Use sequence weights\n" << seqWeights << "\n";
  if (seqWeights == 1) t << "Weights for exons, introns, non-genes\n" << weights;
  return t.str();
}

ParamSpec twoChainsOfTwentyLeaves(long burnIn, long iterations, const std::string& updates) {
  ParamSpec p;
  p.chromosomes = 20;
  p.patients = "12 1 1\n8 2 2\n";
  p.chains = 2;
  p.burnIn = burnIn;
  p.iterations = iterations;
  p.updates = updates;
  return p;
}

ParamSpec uninformativeFiveByThree() {
  ParamSpec p;
  p.seed = -11;
  p.chromosomes = 5;
  p.loci = 3;
  p.control = "10 1 1 1\n";
  p.map = "0 0.005 0.01";
  p.root = "1 1 1";
  p.patients = "5 1 1 1\n";
  return p;
}

ParamSpec threeChainsOnThreeMarkers() {
  ParamSpec p;
  p.loci = 3;
  p.control = "5 1 2 1\n3 2 1 3\n4 1 1 2\n2 3 2 1\n";
  p.map = "0 0.004 0.01";
  p.chains = 3;
  p.growth = 0.05;
  p.iterate = "1 1 1 1";
  p.adjust = "2 0.003 0.3 0.3 0.1";
  p.root = "1 1 1";
  return p;
}

ParamSpec threeLeavesOnThreeMarkers() {
  ParamSpec p;
  p.chromosomes = 3;
  p.loci = 3;
  p.control = "6 1 1 1\n3 2 2 1\n2 1 2 2\n";
  p.map = "0 0.005 0.01";
  p.age = 40;
  p.ageBounds = "1 100";
  p.root = "1 1 1";
  p.patients = "1 1 1 1\n1 1 2 1\n1 2 2 2\n";
  return p;
}

RunSettings loadParameters(const std::string& text) {
  std::istringstream in(text);
  return readParameterFile(in);
}

std::unique_ptr<TestRun> setUpRun(const std::string& text) {
  auto run = std::make_unique<TestRun>();
  run->settings = loadParameters(text);
  run->rng = Random(static_cast<int32_t>(run->settings.fileSeed));
  run->control.prepare(run->settings);
  run->start = drawStartingValues(run->settings, run->rng);
  std::ostringstream log;
  run->setup = setupChains(run->settings, run->start, run->rng, run->control, log);
  return run;
}
