#include "input/derived.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "input/failure.h"
#include "sampler/random.h"

namespace {

constexpr double kRareFrequency = 0.001;
constexpr int kTotalRow = 499;

// Calls visit(locus, label) for every allele label of the patient table,
// including the zero rows beyond those read.
template <typename Visit>
void forEachPatientAllele(const PatientTable& patientData, const Visit& visit) {
  for (const auto& row : patientData)
    for (int l = 0; l < pset.numLoci; l++) {
      if (pset.dataAsGenotypes == 1) {
        visit(l, row[2 * l]);
        visit(l, row[2 * l + 1]);
      } else {
        visit(l, row[l + 1]);
      }
    }
}

// Starting frequencies of one locus's labels 1..maxall[l]: rare labels get the
// floor, the others share what is left.
void adjustRareFrequencies(FrequencyTable& freq, int locus) {
  const int k = maxall[locus];
  int rare = 0;
  for (int a = 1; a <= k; a++)
    if (freq(a, locus) < kRareFrequency) rare++;
  for (int a = 1; a <= k; a++) {
    if (freq(a, locus) < kRareFrequency)
      freq(a, locus) = kRareFrequency;
    else if (pset.iterFreq == 1)
      freq(a, locus) = (1 - kRareFrequency * rare) / (k - rare);
    else
      freq(a, locus) = freq(a, locus) * (1 - kRareFrequency * rare);
  }
}

template <typename T>
void writeList(std::ostream& out, const std::vector<T>& values) {
  for (const T& v : values) out << v << " ";
  out << "\n";
}

void writePatientRows(std::ostream& log, const ReaderTables& tables) {
  for (const auto& row : tables.patientRows) {
    if (pset.dataAsGenotypes == 0) {
      for (int v : row) log << v << " ";
    } else {
      for (int l = 0; l < pset.numLoci; l++) log << row[2 * l] << " ";
      for (int l = 0; l < pset.numLoci; l++) log << row[2 * l + 1] << " ";
    }
    log << "\n";
  }
}

}  // namespace

int deriveAlleleTables(ReaderTables& tables, const PatientTable& patientData) {
  const int loci = pset.numLoci;
  auto& counts = tables.controlCounts;
  maxall.assign(loci, 0);
  for (int l = 0; l < loci; l++)
    for (int a = 1; a <= kMaxAlleleLabel; a++)
      if (counts[a][l] > 0) maxall[l] = a;
  forEachPatientAllele(patientData, [](int l, int label) { maxall[l] = std::max(maxall[l], label); });
  for (int l = 0; l < loci; l++)
    if (maxall[l] == 0)
      throw failLine("Marker " + std::to_string(l + 1) + " has no allele label in the control or patient data.");
  const int maxAllele = std::max(tables.largestControlLabel, *std::max_element(maxall.begin(), maxall.end()));

  normmat.assign(maxAllele + 1, std::vector<int>(loci, 0));
  for (int a = 0; a <= maxAllele; a++)
    for (int l = 0; l < loci; l++) normmat[a][l] = static_cast<int>(counts[a][l]);

  FrequencyTable start;
  start.loci = loci;
  start.cells.assign(static_cast<size_t>(maxAllele + 1) * loci, 0.0);
  for (int l = 0; l < loci; l++) {
    double total = 0;
    for (int a = 0; a < kTotalRow; a++) total += counts[a][l];
    counts[kTotalRow][l] = total;
    if (total == 0) {
      // No control data at this locus: every label in use starts equally likely.
      for (int a = 1; a <= maxall[l]; a++) start(a, l) = 1.0 / maxall[l];
    } else {
      for (int a = 0; a < kTotalRow; a++) counts[a][l] /= total;
      for (int a = 0; a <= maxAllele; a++) start(a, l) = counts[a][l];
    }
    adjustRareFrequencies(start, l);
  }
  pset.alleleFreq.assign(pset.numChains, start);
  return maxAllele;
}

void writeParameterEcho(std::ostream& log, const ReaderTables& tables, const PatientTable&, int32_t* seed) {
  log << "Using genotypes?\n" << pset.dataAsGenotypes << "\n";
  log << "Genetic model\n" << pset.geneticModel << "\n";
  log << "Read old?\n" << pset.readOld << "\n";
  log << "Fixed random seed?\n" << pset.randomSeed << "\n";
  log << "#Chrom\n" << pset.numChrom << "\n";
  log << "#Loci\n" << pset.numLoci << "\n";
  log << "Frequencies\n";
  for (int l = 0; l < pset.numLoci; l++)
    for (int a = 1; a <= maxall[l]; a++) log << pset.alleleFreq[0](a, l) << " ";
  log << "\n";
  log << "Map distances\n";
  writeList(log, std::vector<double>(pset.mapDist.begin() + 1, pset.mapDist.end()));
  log << "Run simulation?\n" << pset.runSimulation << "\n";
  if (pset.runSimulation == 1)
    log << "Mutation location\n" << pset.simMutLoc << "\n";
  else
    log << "No simulation running, so mut. location not set\n";
  log << "Low and high mutation boundaries\n" << pset.mutLocLow << " " << pset.mutLocHigh << "\n";
  log << "Number of chains\n" << pset.numChains << "\n";
  log << "Starting value(s) for mutation\n";
  if (pset.mutLocation[0] == -99) {
    for (int c = 0; c < pset.numChains; c++)
      pset.mutLocation[c] = pset.mutLocLow + ran1(seed) * (pset.mutLocHigh - pset.mutLocLow);
    log << "-99 \n";
  } else {
    writeList(log, pset.mutLocation);
  }
  log << "Population growth rate\n" << pset.growthRate << "\n";
  log << "Proportion sampled\n" << pset.propSampled << "\n";
  log << "Iterate ancestral haplotypes, mutation age, mutation location, allele freq?\n"
      << pset.iterRoot << " " << pset.iterAge << " " << pset.iterLocation << " " << pset.iterFreq << "\n";
  log << "Flip all loci?\n" << pset.flipAllLoci << "\n";
  log << "Adjustment level for tree, recdist, ancestral states, internal states, and allele freq.\n"
      << stepSize(pset.adjTree) << " " << stepSize(pset.adjRecDist) << " " << stepSize(pset.adjRoot) << " "
      << stepSize(pset.adjInternal) << " " << stepSize(pset.adjFreq) << "\n";
  log << "Burn-in iterations\n" << pset.burnIn << "\n";
  log << "\"Real\" iterations\n" << pset.iterations << "\n";
  log << "Screen, file updates, store acceptance props, store pop.haplotypes, ind. haplotypes?\n"
      << pset.screenUpdate << " " << pset.fileUpdate << " " << pset.storeProps << " " << pset.storePopHaplotypes
      << " " << pset.storeIndHaplotypes << "\n";
  log << "Histogram bars\n" << pset.histBars << "\n";
  log << "Alpha level for histogram\n" << pset.alphaLevel << "\n";
  log << "Mutation age\n";
  writeList(log, pset.mutAge);
  if (pset.iterAge == 1) log << "Mutation age boundaries\n" << pset.mutAgeLow << " " << pset.mutAgeHigh << "\n";
  log << "Use star phylogeny?\n" << pset.starGenealogy << "\n";
  log << (pset.dataAsGenotypes == 1 ? "Genotype frequencies" : "Haplotype frequencies");
  if (pset.runSimulation == 1) {
    log << " were simulated\n";
  } else {
    log << "\n";
    writePatientRows(log, tables);
  }
  log << "Use sequence data?\n" << pset.useSeqWeights << "\n";
  if (pset.useSeqWeights == 1) {
    log << "Seg. weights\n" << segweights[0] << " " << segweights[1] << " " << segweights[2] << " \n";
    for (int k = 0; k < numsegs; k++) log << tables.segmentPositions[k] << " " << tables.segmentLetters[k] << "\n";
  } else {
    log << "Sequence data not used\n";
  }
}

bool allelesAllPresent(const PatientTable& patientData) {
  std::vector<std::vector<bool>> inPatients(pset.numLoci);
  for (int l = 0; l < pset.numLoci; l++) inPatients[l].assign(maxall[l] + 1, false);
  forEachPatientAllele(patientData, [&](int l, int label) {
    if (label > 0) inPatients[l][label] = true;
  });
  bool allPresent = true;
  for (int l = 0; l < pset.numLoci; l++)
    for (int a = 1; a <= maxall[l]; a++) {
      if (normmat[a][l] > 0 || inPatients[l][a]) continue;
      std::cout << "\a\a" << std::flush;
      std::printf("Missing allele labelled %d from marker %d\nFix input file\n", a, l + 1);
      std::fflush(stdout);
      allPresent = false;
    }
  return allPresent;
}
