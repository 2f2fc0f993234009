#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "prepare/failure.h"
#include "prepare/thinning.h"
#include "prepare/vcfsites.h"
#include "prepare/vcffiles.h"
#include "support/e2e.h"

namespace {

// Cases and controls interleaved, listed in other orders in their files.
const std::vector<std::string> kSamples = {"k1", "c2", "k2", "c1", "k3", "c3"};
const std::vector<std::string> kSites = {
    "7 1000 rs1 A G    0|1 1|1 0|0 1|1 1|0 1|0",
    "7 2000 rs2 C T,G  0|2 2|2 0|0 2|2 2|0 2|0",  // T is carried by nobody
    "7 2000 rs2b C T   0|1 1|1 0|0 1|1 1|0 1|0",  // same map position as rs2
    "7 3000 . G A,T    1|2 1|1 0|0 .|1 2|0 1|0",
    "7 4000 rs4 T C    0|0 0|0 0|0 0|0 0|0 0|0",  // monomorphic
    "7 5000 rs5 G A    0|1 .|. 1|0 0|0 0|0 0|1",
    "7 6000 rs6 A C    ./. ./. ./. 0|1 0|1 ./.",  // too many missing
    "7 7000 rs7 A C    0|0 1|1 0|0 1|1 0|0 1|1",  // no control carries C
};
const std::vector<std::string> kFilters = {"--cases", "cases.txt", "--controls", "controls.txt", "--min-maf", "0.1",
                                           "--max-missing", "0.2", "-o", "p.txt"};

// The sites with '|' turned into '/' in the given samples' columns.
std::vector<std::string> unphased(std::vector<std::string> sites, const std::vector<int>& samples) {
  for (std::string& site : sites) {
    std::istringstream words(site);
    std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
    for (int s : samples) std::replace(w[5 + s].begin(), w[5 + s].end(), '|', '/');
    site.clear();
    for (const std::string& word : w) site += word + " ";
  }
  return sites;
}

void writeInputs(const ScratchDir& dir, const std::vector<std::string>& sites = kSites) {
  dir.write("a.vcf", vcfText(kSamples, sites));
  dir.write("cases.txt", "c3\nc1\n\nc2\n");
  dir.write("controls.txt", "k3\nk1\nk2\n");
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// A prepared file must run; short settings keep it quick.
void expectMutlocRuns(const ScratchDir& dir) {
  const RunResult run = runMutloc(dir, {"p.txt"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(endsWithFinished(run.out));
}

const std::vector<std::string> kShort = {"--chains", "1", "--burn-in", "5", "--iterations", "10"};

TEST(Prepare, PhasedCasesGiveHaplotypeRowsAndTheMarkerTable) {
  ScratchDir dir;
  writeInputs(dir);
  const RunResult r = runPrepare(dir, with({"--vcf", "a.vcf", "--cm-per-mb", "1"}, with(kFilters, kShort)));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("8 sites read; left out: 1 with too many missing alleles, 2 below the control MAF"),
            std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1 site at the map position of an earlier site left out (the first is kept): 7:2000 (rs2b)"),
            std::string::npos) << r.err;
  EXPECT_NE(r.out.find("haplotype data, 6 patient chromosomes (3 cases), 6 control haplotypes, 4 markers"),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nNext: mutloc p.txt --mix (the recommended way to run). Keep p.txt.markers.tsv beside it"),
            std::string::npos) << r.out;

  const std::string p = dir.read("p.txt");
  EXPECT_EQ(entry(p, "Data as genotypes"), "0");
  EXPECT_EQ(entry(p, "#chromosomes"), "6");
  EXPECT_EQ(entry(p, "#loci per chromosome"), "4");
  EXPECT_EQ(entry(p, "Map distance"), "0 0.00001 0.00002 0.00004");
  EXPECT_EQ(entry(p, "Mutation's low and high boundary"), "0 0.00004");
  EXPECT_EQ(entry(p, "Adjustment level for tree, recdist, ancestral, and internal states, alleles"),
            "1 0.000004 0.3 0.3 0.05");
  EXPECT_EQ(entry(p, "Loci for the root"), "2 2 2 1");  // the cases' most frequent alleles
  // Labels in the VCF's order, skipping alleles nobody carries (T of rs2).
  EXPECT_EQ(tableRows(p, "Numbers of haplotypes in the normal pop", "Map distance"),
            (std::map<std::string, int>{
                {"1 1 2 1", 1}, {"2 2 3 2", 1}, {"1 1 1 2", 1}, {"1 1 1 1", 2}, {"2 2 3 1", 1}}));
  EXPECT_EQ(tableRows(p, "Patient haplo- or genotypes:", "Use sequence weights"),
            (std::map<std::string, int>{{"2 2 2 -1", 2}, {"2 2 -1 1", 1}, {"2 2 2 1", 2}, {"1 1 1 2", 1}}));
  EXPECT_EQ(dir.read("p.txt.markers.tsv"),
            "index\tchromosome\tposition\tid\talleles\tcM\tmorgans\tcontrol_frequencies\n"
            "1\t7\t1000\trs1\tA,G\t0.001\t0\t0.666667,0.333333\n"
            "2\t7\t2000\trs2\tC,G\t0.002\t0.00001\t0.666667,0.333333\n"
            "3\t7\t3000\t.\tG,A,T\t0.003\t0.00002\t0.5,0.166667,0.333333\n"
            "4\t7\t5000\trs5\tG,A\t0.005\t0.00004\t0.666667,0.333333\n");
  expectMutlocRuns(dir);

  // The same samples from a PLINK phenotype file, matched on IID.
  const std::string first = p;
  dir.write("p.pheno", "#FID IID PHENO\nf1 k1 1\nf2 c2 2\nf3 k2 1\nf4 c1 2\nf5 k3 1\nf6 c3 2\nf7 x9 -9\n");
  const RunResult pheno = runPrepare(dir, {"--vcf", "a.vcf", "--cm-per-mb", "1", "--pheno", "p.pheno", "--min-maf",
                                           "0.1", "--max-missing", "0.2", "-o", "p.txt", "--chains", "1", "--burn-in",
                                           "5", "--iterations", "10"});
  ASSERT_EQ(pheno.status, 0) << pheno.err;
  EXPECT_EQ(dir.read("p.txt"), first);

  // A missing call written as a lone "." is two missing alleles, like ".|.".
  std::vector<std::string> lone = kSites;
  lone[5] = "7 5000 rs5 G A    0|1 . 1|0 0|0 0|0 0|1";
  writeInputs(dir, lone);
  const RunResult dot = runPrepare(dir, with({"--vcf", "a.vcf", "--cm-per-mb", "1"}, with(kFilters, kShort)));
  ASSERT_EQ(dot.status, 0) << dot.err;
  EXPECT_EQ(dir.read("p.txt"), first);

  // Model values far below the map's decimals are written as given.
  const RunResult small = runPrepare(dir, with({"--vcf", "a.vcf", "--cm-per-mb", "1", "--growth", "1.23456789e-05",
                                                "--sampled", "2.5e-07", "--max-age", "123.25"}, kFilters));
  ASSERT_EQ(small.status, 0) << small.err;
  const std::string tiny = dir.read("p.txt");
  EXPECT_EQ(entry(tiny, "Population growth rate"), "1.23456789e-05");
  EXPECT_EQ(entry(tiny, "Proportion of population sampled"), "2.5e-07");
  EXPECT_EQ(entry(tiny, "Mutation age boundaries"), "1 123.25");
}

TEST(Prepare, UnphasedCasesOrDominantInheritanceGiveGenotypeRows) {
  ScratchDir dir;
  writeInputs(dir, unphased(kSites, {1, 3, 5}));
  RunResult r = runPrepare(dir, with({"--vcf", "a.vcf", "--cm-per-mb", "1"}, with(kFilters, kShort)));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("The cases are not all phased (c3 at 7:1000 (rs1)): genotype data, genetic model 1 (both chromosomes"),
            std::string::npos) << r.err;
  std::string p = dir.read("p.txt");
  EXPECT_EQ(entry(p, "Data as genotypes"), "1");
  EXPECT_EQ(entry(p, "Genetic model"), "1");
  EXPECT_EQ(entry(p, "#chromosomes"), "6");
  const std::string rows = "2/2 2/2 2/2 -1/-1\n2/2 2/2 -1/2 1/1\n2/1 2/1 2/1 1/2\n";
  EXPECT_NE(p.find("Patient haplo- or genotypes:\n" + rows + "Use sequence weights"), std::string::npos) << p;
  expectMutlocRuns(dir);

  writeInputs(dir);
  r = runPrepare(dir, with({"--vcf", "a.vcf", "--cm-per-mb", "1", "--inheritance", "dominant"},
                           with(kFilters, kShort)));
  ASSERT_EQ(r.status, 0) << r.err;
  p = dir.read("p.txt");
  EXPECT_EQ(entry(p, "Data as genotypes"), "1");
  EXPECT_EQ(entry(p, "Genetic model"), "0");
  EXPECT_EQ(entry(p, "#chromosomes"), "6");
  EXPECT_NE(p.find("Patient haplo- or genotypes:\n" + rows + "Use sequence weights"), std::string::npos) << p;
  expectMutlocRuns(dir);
}

TEST(Prepare, MapFilesAreInterpolatedAtEachMarker) {
  ScratchDir dir;
  writeInputs(dir);
  dir.write("plink.map", "7 rsA 0.5 500\n7 rsB 1.5 2500\n7 rsX 0 -1\n7 rsC 2.0 6000\n8 rsD 9 100\n");
  dir.write("hapmap.txt", "Chromosome Position(bp) Rate(cM/Mb) Map(cM)\nchr7 500 0 0.5\nchr7 2500 0 1.5\n"
                          "chr7 6000 0 2.0\n");
  for (const std::string map : {"plink.map", "hapmap.txt"}) {
    const RunResult r = runPrepare(dir, with({"--vcf", "a.vcf", "--map", map}, kFilters));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(entry(dir.read("p.txt"), "Map distance"), "0 0.005 0.0082142857 0.0110714286") << map;
    EXPECT_NE(dir.read("p.txt.markers.tsv").find("\t0.75\t0\t"), std::string::npos) << map;
  }
  // At most two markers: the two ends of the map are the two parts' best.
  const RunResult r = runPrepare(dir, with({"--vcf", "a.vcf", "--map", "plink.map", "--max-markers", "2"}, kFilters));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(entry(dir.read("p.txt"), "#loci per chromosome"), "2");
}

TEST(Prepare, ThinningKeepsTheMostInformativeSiteOfEachPartOfTheMap) {
  const std::vector<double> information = {0.1, 0.5, 0.2, 0.3, 0.1, 0.4, 0.2, 0.1, 0.5, 0.3};
  std::vector<double> even;
  for (int k = 0; k < 10; k++) even.push_back(k);
  EXPECT_EQ(thinEvenly(even, information, 3), (std::vector<size_t>{1, 5, 8}));
  EXPECT_EQ(thinEvenly(even, information, 20).size(), 10u);
  // The middle part is empty: its place goes to the best site left.
  EXPECT_EQ(thinEvenly({0, 1, 2, 10}, {0.1, 0.3, 0.2, 0.1}, 3), (std::vector<size_t>{1, 2, 3}));
}

TEST(Prepare, UsableSitesBeyondTheMemoryBudgetAreRefusedWithTheRegionAdvice) {
  ScratchDir dir;
  dir.write("a.vcf", vcfText(kSamples, kSites));
  SampleRoles roles;
  roles.cases = {"c1", "c2", "c3"};
  roles.controls = {"k1", "k2", "k3"};
  EXPECT_EQ(readVcfSites(dir.file("a.vcf"), std::nullopt, roles, SiteFilter{}).sites.size(), 7u);
  try {
    readVcfSites(dir.file("a.vcf"), std::nullopt, roles, SiteFilter{0, 1, 300});
    ADD_FAILURE() << "no refusal";
  } catch (const PrepareError& e) {
    EXPECT_NE(std::string(e.what()).find("read a shorter region with --region"), std::string::npos) << e.what();
  }
}

TEST(Prepare, ARegionIsReadThroughTheIndexWhenThereIsOne) {
  ScratchDir dir;
  writeInputs(dir);
  ASSERT_EQ(runPrepare(dir, with({"--vcf", "a.vcf", "--cm-per-mb", "1"}, kFilters)).status, 0);
  const std::string expected = dir.read("p.txt");

  std::vector<std::string> twoChromosomes = kSites;
  twoChromosomes.push_back("8 100 rs8 A C 0|1 1|1 0|0 1|1 1|0 1|0");
  std::vector<std::string> broken = twoChromosomes;
  broken.push_back("8 200 rs9 A C 0|Q 1|1 0|0 1|1 1|0 1|0");  // a genotype htslib cannot parse
  const std::vector<std::string> region = {"--region", "7:500-7,500", "--cm-per-mb", "1"};
  writeIndexedBcf(dir.file("a.bcf"), vcfText(kSamples, twoChromosomes));
  writeBgzippedVcf(dir.file("broken.vcf.gz"), vcfText(kSamples, broken));
  dir.write("broken.vcf", vcfText(kSamples, broken));
  dir.write("two.vcf", vcfText(kSamples, twoChromosomes));
  for (const std::string vcf : {"a.bcf", "broken.vcf.gz", "two.vcf"}) {
    std::filesystem::remove(dir.file("p.txt"));
    const RunResult r = runPrepare(dir, with(with({"--vcf", vcf}, region), kFilters));
    ASSERT_EQ(r.status, 0) << vcf << ": " << r.err;
    EXPECT_EQ(dir.read("p.txt"), expected) << vcf;
  }
  // Without an index the whole file is read, and its fault found.
  RunResult r = runPrepare(dir, with(with({"--vcf", "broken.vcf"}, region), kFilters));
  EXPECT_EQ(r.err, "mutloc-prepare: The VCF broken.vcf is malformed after 8:100.\n");
  r = runPrepare(dir, with({"--vcf", "two.vcf", "--cm-per-mb", "1"}, kFilters));
  EXPECT_NE(r.err.find("holds sites on more than one chromosome (7 and 8); choose one with --region"),
            std::string::npos) << r.err;
}

// Every input the program rejects: one line on standard error naming the file
// or sample, status 1, and no output.
TEST(Prepare, BadInputIsOneLineAndWritesNothing) {
  std::string manyCases;  // 501 cases whose 1002 chromosomes all differ
  std::vector<std::string> manySamples = {"k1", "k2"}, manySites;
  for (int c = 0; c < 501; c++) manySamples.push_back("c" + std::to_string(c));
  for (int c = 0; c < 501; c++) manyCases += "c" + std::to_string(c) + "\n";
  for (int bit = 0; bit < 10; bit++) {
    std::string site = "7 " + std::to_string(1000 * (bit + 1)) + " . A C 0|1 0|1";
    for (int h = 0; h < 1002; h += 2)
      site += " " + std::to_string((h >> bit) & 1) + "|" + std::to_string(((h + 1) >> bit) & 1);
    manySites.push_back(site);
  }
  struct Case {
    std::string name;
    std::map<std::string, std::string> files;
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<std::string> vcf = {"--vcf", "a.vcf", "--cm-per-mb", "1"};
  const std::vector<Case> cases = {
      {"no VCF", {}, {"--vcf", "none.vcf", "--cm-per-mb", "1"}, "Cannot read the VCF none.vcf: No such file"},
      {"not a VCF", {{"a.vcf", "hello\n"}}, vcf, "The VCF a.vcf is not a VCF or BCF file."},
      {"broken record",
       {{"a.vcf", vcfText(kSamples, {kSites[0], "7 x . A C 0|1 1|1 0|0 1|1 1|0 1|0"})}},
       vcf,
       "The VCF a.vcf is malformed after 7:1000."},
      {"no genotypes",
       {{"a.vcf", vcfText(kSamples, {kSites[0], "7 1500 x A"})}},
       vcf,
       "The VCF a.vcf has no genotypes (GT) at 7:1500."},
      {"absent samples, all named",
       {{"cases.txt", "c1\nc7\nc8\n"}, {"controls.txt", "k1\nk9\n"}},
       vcf,
       "Samples c7 and c8 (cases) and k9 (a control) are not in the VCF a.vcf; correct the lists, or give "
       "--ignore-missing-samples to go on without them."},
      {"empty list", {{"controls.txt", "\n"}}, vcf, "controls.txt names no sample."},
      {"one marker",
       {},
       with(vcf, {"--region", "7:1-1500"}),
       "The region 7:1-1500 of a.vcf has fewer than two usable markers (1 site read;"},
      {"map short of the region",
       {{"m.map", "7 a 0 1\n7 b 1 4000\n"}},
       {"--vcf", "a.vcf", "--map", "m.map"},
       "The map m.map does not cover 7:5000 (its rows for that chromosome span 1-4000)."},
      {"malformed map",
       {{"m.map", "7 a 0 1\n7 b x 4000\n"}},
       {"--vcf", "a.vcf", "--map", "m.map"},
       "The map m.map line 2: the map position (cM) is not a number."},
      {"map of another chromosome",
       {{"m.map", "8 a 0 1\n"}},
       {"--vcf", "a.vcf", "--map", "m.map"},
       "The map m.map has no rows for chromosome 7."},
      {"unphased controls",
       {{"a.vcf", vcfText(kSamples, unphased(kSites, {0}))}},
       vcf,
       "Control k1 is not phased at 7:1000 (rs1) in a.vcf: control haplotypes are counted, so phase the controls"},
      {"both roles", {{"controls.txt", "k1\nc1\n"}}, vcf, "Sample c1 is both a case and a control"},
      {"too many haplotypes",
       {{"a.vcf", vcfText(manySamples, manySites)}, {"cases.txt", manyCases}, {"controls.txt", "k1\nk2\n"}},
       vcf,
       "The 501 cases carry 1002 distinct haplotypes at the 10 chosen markers, more than the 1000 rows"},
      {"options beyond the model's ranges",
       {},
       with(vcf, {"--max-age", "1e9"}),
       "mutloc would refuse the parameter file these options make (change --growth, --sampled or --max-age): "},
      {"output is an input",
       {},
       {"--vcf", "a.vcf", "--cm-per-mb", "1", "-o", "cases.txt"},
       "The output cases.txt is the input cases.txt; choose another -o."},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    writeInputs(dir);
    for (const auto& [name, text] : c.files) dir.write(name, text);
    // The case's own -o replaces the usual one.
    const bool output = std::find(c.args.begin(), c.args.end(), "-o") != c.args.end();
    const std::vector<std::string> args =
        with(output ? std::vector<std::string>(kFilters.begin(), kFilters.end() - 2) : kFilters, c.args);
    const RunResult r = runPrepare(dir, args);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.err.rfind("mutloc-prepare: " + c.message, 0), 0u) << c.name << ": " << r.err;
    EXPECT_EQ(occurrences(r.err, "\n"), 1) << c.name << ": " << r.err;
    EXPECT_FALSE(dir.exists("p.txt") || dir.exists("p.txt.markers.tsv")) << c.name;
  }
  // A bad or unknown option: status 2.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"--region", "7:100"}, {"--inheritance", "additive"}, {"--map", "m.map"}, {"--chains", "0"},
           {"--max-markers", "1"}, {"--seed", "abc"}}) {
    ScratchDir dir;
    writeInputs(dir);
    const RunResult r = runPrepare(dir, with(with(vcf, kFilters), args));
    EXPECT_EQ(r.status, 2) << args[0] << ": " << r.err;
    EXPECT_FALSE(dir.exists("p.txt")) << args[0];
  }
  ScratchDir dir;
  writeInputs(dir);
  EXPECT_EQ(runPrepare(dir, {"--vcf", "a.vcf", "--cm-per-mb", "1", "-o", "p.txt"}).status, 2);  // no samples
  EXPECT_EQ(runPrepare(dir, {"--vcf", "a.vcf", "--pheno", "x", "--cases", "cases.txt", "-o", "p.txt"}).status, 2);
}

// Controls with a missing allele stay in the table: each missing allele is
// drawn from the controls' called alleles at its site, from the seed.
TEST(Prepare, MissingControlAllelesAreFilledSoThatEveryControlStays) {
  std::vector<std::string> sites = kSites;
  sites[0] = "7 1000 rs1 A G    .|1 1|1 0|. 1|1 1|0 1|0";  // k1 and k2 each miss one allele
  ScratchDir dir;
  writeInputs(dir, sites);
  const std::vector<std::string> args = with({"--vcf", "a.vcf", "--cm-per-mb", "1", "--seed", "7"}, kFilters);
  const RunResult r = runPrepare(dir, args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("6 control haplotypes"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("2 missing control alleles at 1 marker filled in, each drawn from the controls' called "
                       "alleles at its site (--seed -7)"),
            std::string::npos)
      << r.err;
  const std::string first = dir.read("p.txt");
  EXPECT_EQ(entry(first, "Use fixed random seed"), "-7") << "a positive seed stands for its negative";
  int controls = 0;
  for (const auto& [row, n] : tableRows(first, "Numbers of haplotypes in the normal pop", "Map distance"))
    controls += n;
  EXPECT_EQ(controls, 6);
  ASSERT_EQ(runPrepare(dir, args).status, 0);
  EXPECT_EQ(dir.read("p.txt"), first) << "the same seed fills the same alleles";
}

TEST(Prepare, PhenotypesFromAFamFileChromosomeNamesWithOrWithoutChrAndSamplesTheVcfLacks) {
  ScratchDir dir;
  writeInputs(dir);
  const std::vector<std::string> vcf = {"--vcf", "a.vcf", "--cm-per-mb", "1"};
  ASSERT_EQ(runPrepare(dir, with(vcf, kFilters)).status, 0);
  const std::string expected = dir.read("p.txt");
  const std::vector<std::string> filters(kFilters.begin() + 4, kFilters.end());
  // A .fam: phenotype in column 6, -9 and 0 left out and counted.
  dir.write("p.fam", "f1 k1 0 0 1 1\nf2 c2 0 0 2 2\nf3 k2 0 0 1 1\nf4 c1 0 0 1 2\nf5 k3 0 0 2 1\nf6 c3 0 0 2 2\n"
                     "f7 x8 0 0 1 -9\nf8 x9 0 0 1 0\n");
  RunResult r = runPrepare(dir, with(with(vcf, {"--pheno", "p.fam"}), filters));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("p.txt"), expected);
  EXPECT_NE(r.err.find("2 samples of p.fam with a phenotype other than 1 (control) or 2 (case)"), std::string::npos)
      << r.err;
  // chr7 finds the file's 7, with or without an index.
  writeBgzippedVcf(dir.file("a.vcf.gz"), vcfText(kSamples, kSites));
  for (const std::string file : {"a.vcf", "a.vcf.gz"}) {
    r = runPrepare(dir, with({"--vcf", file, "--cm-per-mb", "1", "--region", "chr7:1-10000"}, kFilters));
    ASSERT_EQ(r.status, 0) << file << ": " << r.err;
    EXPECT_EQ(dir.read("p.txt"), expected) << file;
  }
  r = runPrepare(dir, with({"--vcf", "a.vcf.gz", "--cm-per-mb", "1", "--region", "chr8:1-10000"}, kFilters));
  EXPECT_NE(r.err.find("(0 sites read; left out: 0 with too many missing alleles, 0 below the control MAF, 0 "
                       "monomorphic, 0 with more than 498 alleles; the file names its chromosomes 7)."),
            std::string::npos)
      << r.err;
  // Listed samples the file lacks may be left out, named and counted.
  dir.write("cases.txt", "c1\nc2\nc3\nc7\n");
  r = runPrepare(dir, with(with(vcf, {"--ignore-missing-samples"}), kFilters));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("p.txt"), expected);
  EXPECT_NE(r.err.find("1 listed sample not in a.vcf left out (--ignore-missing-samples): c7."), std::string::npos)
      << r.err;
  // An output that names a folder is refused.
  r = runPrepare(dir, with(std::vector<std::string>(kFilters.begin(), kFilters.end() - 2), with(vcf, {"-o", "out/"})));
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("out/ is a folder"), std::string::npos) << r.err;
}

}  // namespace
