// Data simulated by mutloc, written out as a VCF and prepared back, gives the
// same patient and control tables.
#include <gtest/gtest.h>

#include <sstream>

#include "prepare/vcffiles.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

constexpr int kLoci = 8;
constexpr int kPatientChromosomes = 40;

// Every chromosome of a table, each as its alleles.
std::vector<std::vector<int>> chromosomes(const std::map<std::string, int>& rows) {
  std::vector<std::vector<int>> all;
  for (const auto& [haplotype, count] : rows) {
    std::istringstream in(haplotype);
    std::vector<int> alleles;
    for (int a; in >> a;) alleles.push_back(a);
    for (int k = 0; k < count; k++) all.push_back(alleles);
  }
  return all;
}

// Two chromosomes per sample, as phased genotypes (label 1 is the REF allele).
void addSamples(const std::vector<std::vector<int>>& haplotypes, const std::string& prefix,
                std::vector<std::string>& samples, std::vector<std::string>& sites) {
  for (size_t h = 0; h < haplotypes.size(); h += 2) {
    samples.push_back(prefix + std::to_string(h / 2));
    for (int m = 0; m < kLoci; m++)
      sites[m] += " " + std::to_string(haplotypes[h][m] - 1) + "|" + std::to_string(haplotypes[h + 1][m] - 1);
  }
}

TEST(PrepareRoundTrip, SimulatedHaplotypesComeBackAsTheyWere) {
  // Three labels at every marker, each present among the 20 control chromosomes.
  ParamSpec simulation;
  simulation.loci = kLoci;
  simulation.chromosomes = kPatientChromosomes;
  simulation.control.clear();
  for (int row = 0; row < 10; row++) {
    simulation.control += "2";
    for (int m = 0; m < kLoci; m++) simulation.control += " " + std::to_string((row + m) % 3 + 1);
    simulation.control += "\n";
  }
  simulation.map = "0 0.005 0.01 0.02 0.025 0.03 0.04 0.05";
  simulation.bounds = "0 0.05";
  simulation.simulate = 1;
  simulation.simLocation = 0.022;
  simulation.growth = 0.05;
  simulation.iterate = "0 0 0 0";
  simulation.age = 100;
  simulation.burnIn = 1;
  simulation.iterations = 1;
  simulation.updates = "1 1 1 1 0";
  simulation.root = "1 2 3 1 2 3 1 2";
  simulation.patients = std::to_string(kPatientChromosomes) + " " + simulation.root + "\n";
  ScratchDir dir;
  dir.write("sim.txt", simulation.text());
  const RunResult sim = runMutloc(dir, {"sim.txt"});
  ASSERT_EQ(sim.status, 0) << sim.out;
  const std::map<std::string, int> patients = countedRows(dir.read("sim.txt.hap"));
  const std::map<std::string, int> controls = countedRows(simulation.control);
  ASSERT_EQ(chromosomes(patients).size(), static_cast<size_t>(kPatientChromosomes));
  ASSERT_GE(patients.size(), 4u) << "too few distinct haplotypes to be a test";

  // The markers at map position x Morgans lie at 1000 + x * 1e8 base pairs: 1 cM per Mb.
  std::vector<std::string> sites, samples;
  std::istringstream map(simulation.map);
  for (double x; map >> x;)
    sites.push_back("7 " + std::to_string(1000 + static_cast<long>(x * 1e8 + 0.5)) + " . A C,G");
  addSamples(chromosomes(controls), "control", samples, sites);
  addSamples(chromosomes(patients), "case", samples, sites);
  writeBgzippedVcf(dir.file("sim.vcf.gz"), vcfText(samples, sites));
  std::string cases, controlIds;
  for (const std::string& s : samples) (s[0] == 'c' && s[1] == 'a' ? cases : controlIds) += s + "\n";
  dir.write("cases.txt", cases);
  dir.write("controls.txt", controlIds);

  const RunResult prepared =
      runPrepare(dir, {"--vcf", "sim.vcf.gz", "--cases", "cases.txt", "--controls", "controls.txt", "--cm-per-mb", "1",
                       "--min-maf", "0", "--max-missing", "0", "-o", "p.txt", "--chains", "1", "--burn-in", "5",
                       "--iterations", "10"});
  ASSERT_EQ(prepared.status, 0) << prepared.err;
  const std::string p = dir.read("p.txt");
  EXPECT_EQ(entry(p, "Map distance"), simulation.map);
  EXPECT_EQ(tableRows(p, "Numbers of haplotypes in the normal pop", "Map distance"), controls);
  EXPECT_EQ(tableRows(p, "Patient haplo- or genotypes:", "Use sequence weights"), patients);
  const RunResult run = runMutloc(dir, {"p.txt"});
  EXPECT_EQ(run.status, 0) << run.out;
}

}  // namespace
