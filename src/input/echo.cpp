#include "input/echo.h"

namespace {

template <typename T>
void writeList(std::ostream& out, const std::vector<T>& values) {
  for (const T& v : values) out << v << " ";
  out << "\n";
}

// Genotype rows are echoed first alleles, then second alleles.
void writePatientRows(std::ostream& log, const RunSettings& s) {
  for (const auto& row : s.patientRows) {
    if (!s.genotypes) {
      for (int v : row) log << v << " ";
    } else {
      for (int l = 0; l < s.numLoci; l++) log << row[2 * l] << " ";
      for (int l = 0; l < s.numLoci; l++) log << row[2 * l + 1] << " ";
    }
    log << "\n";
  }
}

}  // namespace

void writeParameterEcho(std::ostream& log, const RunSettings& s, long seedUsed, const std::vector<double>& startLocations,
                        const std::vector<double>& startAges) {
  const auto& highestLabel = s.alleles.highestLabel;
  log << "Using genotypes?\n" << int(s.genotypes) << "\n";
  log << "Genetic model\n" << static_cast<int>(s.geneticModel) << "\n";
  log << "Read old?\n" << int(s.readOld) << "\n";
  log << "Fixed random seed?\n" << seedUsed << "\n";
  log << "#Chrom\n" << s.numChrom << "\n";
  log << "#Loci\n" << s.numLoci << "\n";
  log << "Frequencies\n";
  for (int l = 0; l < s.numLoci; l++)
    for (int a = 1; a <= highestLabel[l]; a++) log << s.alleles.startFrequencies(a, l) << " ";
  log << "\n";
  log << "Map distances\n";
  writeList(log, std::vector<double>(s.mapDist.begin() + 1, s.mapDist.end()));
  log << "Run simulation?\n" << int(s.runSimulation) << "\n";
  if (s.runSimulation)
    log << "Mutation location\n" << s.simMutLoc << "\n";
  else
    log << "No simulation running, so mut. location not set\n";
  log << "Low and high mutation boundaries\n" << s.mutLocLow << " " << s.mutLocHigh << "\n";
  log << "Number of chains\n" << s.numChains << "\n";
  log << "Starting value(s) for mutation\n";
  if (s.startLocation == kRandomValue)
    log << "-99 \n";
  else
    writeList(log, startLocations);
  log << "Population growth rate\n" << s.growthRate << "\n";
  log << "Proportion sampled\n" << s.propSampled << "\n";
  log << "Iterate ancestral haplotypes, mutation age, mutation location, allele freq?\n"
      << int(s.iterRoot) << " " << int(s.iterAge) << " " << int(s.iterLocation) << " " << int(s.iterFreq) << "\n";
  log << "Flip all loci?\n" << int(s.flipAllLoci) << "\n";
  log << "Adjustment level for tree, recdist, ancestral states, internal states, and allele freq.\n"
      << s.steps.tree << " " << s.steps.location << " " << s.steps.root << " " << s.steps.internal << " "
      << s.steps.freq << "\n";
  log << "Burn-in iterations\n" << s.burnIn << "\n";
  log << "\"Real\" iterations\n" << s.iterations << "\n";
  log << "Screen, file updates, store acceptance props, store pop.haplotypes, ind. haplotypes?\n"
      << s.screenUpdate << " " << s.fileUpdate << " " << s.storeProps << " " << s.storePopHaplotypes << " "
      << s.storeIndHaplotypes << "\n";
  log << "Histogram bars\n" << s.histBars << "\n";
  log << "Alpha level for histogram\n" << s.alphaLevel << "\n";
  log << "Mutation age\n";
  writeList(log, startAges);
  if (s.iterAge) log << "Mutation age boundaries\n" << s.mutAgeLow << " " << s.mutAgeHigh << "\n";
  log << "Use star phylogeny?\n" << int(s.starGenealogy) << "\n";
  log << (s.genotypes ? "Genotype frequencies" : "Haplotype frequencies");
  if (s.runSimulation) {
    log << " were simulated\n";
  } else {
    log << "\n";
    writePatientRows(log, s);
  }
  log << "Use sequence data?\n" << int(s.useSeqWeights) << "\n";
  if (s.useSeqWeights) {
    const SequenceSegments& seg = s.segments;
    log << "Seg. weights\n" << seg.weights[0] << " " << seg.weights[1] << " " << seg.weights[2] << " \n";
    for (int k = 0; k < seg.count(); k++) log << seg.start[k] << " " << seg.letters[k] << "\n";
  } else {
    log << "Sequence data not used\n";
  }
}
