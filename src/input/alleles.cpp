#include "input/alleles.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/failure.h"

namespace {

constexpr double kRareFrequency = 0.001;
constexpr int kTotalRow = 499;

// Calls visit(locus, label) for every allele label of the patient rows.
template <typename Visit>
void forEachPatientAllele(const RunSettings& s, const Visit& visit) {
  for (const auto& row : s.patientRows)
    for (int l = 0; l < s.numLoci; l++) {
      if (s.genotypes) {
        visit(l, row[2 * l]);
        visit(l, row[2 * l + 1]);
      } else {
        visit(l, row[l + 1]);
      }
    }
}

// Starting frequencies of one locus's labels 1..highestLabel[l]: rare labels get the
// floor, the others share what is left.
void adjustRareFrequencies(const RunSettings& s, FrequencyTable& freq, int locus) {
  const int k = s.alleles.highestLabel[locus];
  int rare = 0;
  for (int a = 1; a <= k; a++)
    if (freq(a, locus) < kRareFrequency) rare++;
  for (int a = 1; a <= k; a++) {
    if (freq(a, locus) < kRareFrequency)
      freq(a, locus) = kRareFrequency;
    else if (s.iterFreq)
      freq(a, locus) = (1 - kRareFrequency * rare) / (k - rare);
    else
      freq(a, locus) = freq(a, locus) * (1 - kRareFrequency * rare);
  }
}

}  // namespace

void deriveAlleleTables(RunSettings& s, ReaderTables& tables) {
  const int loci = s.numLoci;
  auto& counts = tables.controlCounts;
  AlleleTables& t = s.alleles;
  auto& highestLabel = t.highestLabel;
  highestLabel.assign(loci, 0);
  for (int l = 0; l < loci; l++)
    for (int a = 1; a <= kMaxAlleleLabel; a++)
      if (counts[a][l] > 0) highestLabel[l] = a;
  forEachPatientAllele(s, [&](int l, int label) { highestLabel[l] = std::max(highestLabel[l], label); });
  for (int l = 0; l < loci; l++)
    if (highestLabel[l] == 0)
      throw failLine("Marker " + std::to_string(l + 1) + " has no allele label in the control or patient data.");
  t.largest = *std::max_element(highestLabel.begin(), highestLabel.end());
  t.maxAllele = std::max(tables.largestControlLabel, t.largest);

  t.controlCount.assign(t.maxAllele + 1, std::vector<int>(loci, 0));
  for (int a = 0; a <= t.maxAllele; a++)
    for (int l = 0; l < loci; l++) t.controlCount[a][l] = static_cast<int>(counts[a][l]);

  FrequencyTable& start = t.startFrequencies;
  start.loci = loci;
  start.cells.assign(static_cast<size_t>(t.maxAllele + 1) * loci, 0.0);
  for (int l = 0; l < loci; l++) {
    double total = 0;
    for (int a = 0; a < kTotalRow; a++) total += counts[a][l];
    counts[kTotalRow][l] = total;
    if (total == 0) {
      // No control data at this locus: every label in use starts equally likely.
      for (int a = 1; a <= highestLabel[l]; a++) start(a, l) = 1.0 / highestLabel[l];
    } else {
      for (int a = 0; a < kTotalRow; a++) counts[a][l] /= total;
      for (int a = 0; a <= t.maxAllele; a++) start(a, l) = counts[a][l];
    }
    adjustRareFrequencies(s, start, l);
  }
}

void checkAllelesPresent(const RunSettings& s) {
  const auto& highestLabel = s.alleles.highestLabel;
  std::vector<std::vector<bool>> inPatients(s.numLoci);
  for (int l = 0; l < s.numLoci; l++) inPatients[l].assign(highestLabel[l] + 1, false);
  forEachPatientAllele(s, [&](int l, int label) {
    if (label > 0) inPatients[l][label] = true;
  });
  std::string report;
  for (int l = 0; l < s.numLoci; l++)
    for (int a = 1; a <= highestLabel[l]; a++) {
      if (s.alleles.controlCount[a][l] > 0 || inPatients[l][a]) continue;
      report += "\a\aMissing allele labelled " + std::to_string(a) + " from marker " + std::to_string(l + 1) +
                "\nFix input file\n";
    }
  if (!report.empty()) throw RunFailure{1, report + "Program terminated\n"};
}
