// Bad parameter files run through the program: each must print its exact
// message on standard output and end with a non-zero status.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

struct BadFile {
  const char* name;
  std::string text;
  std::string out;  // the whole of standard output
  int status = 1;
};

// The quick-start text with the value line after the first line holding
// `label` replaced.
std::string with(const std::string& label, const std::string& value) {
  std::string text = ParamSpec().text();
  if (text.find(label) == std::string::npos) throw std::invalid_argument("no label " + label);
  const size_t start = text.find('\n', text.find(label)) + 1;
  return text.replace(start, text.find('\n', start) - start, value);
}

std::string changed(void (*change)(ParamSpec&)) {
  ParamSpec params;
  change(params);
  return params.text();
}

// The quick-start text cut just after `marker`.
std::string cutAfter(const std::string& marker) {
  const std::string text = ParamSpec().text();
  return text.substr(0, text.find(marker) + marker.size());
}

const std::string kIterate = "\"Iterate ancestral state, mutation age, mutatin location, allele freq\"";
const std::string kAdjust = "\"Adjustment level for tree, recdist, ancestral, and internal states, alleles\"";
const std::string kControl = "\"Numbers of haplotypes in the normal pop\"";
const std::string kPatients = "\"Patient haplo- or genotypes:\"";
const std::string kZeroAllele = "0's are not allowed as input alleles, please recode\n";
const std::string kOddGenotypes = "There must be an even number of chromosomes when using genotypes.";
const std::string kAlpha = "\"Alpha level for recdist\" should be positive and less than 1.\n";
const std::string kStar = "\"Star genealogy\" should be 0(no) or 1(yes).\n";
const std::string kGrowth = "\"Population growth rate \"";
const std::string kSampled = "\"Proportion of population sampled \"";
const std::string kShareTail =
    " of the node-time distribution below that age; it should be at least 1e-10, or the node-time prior loses its "
    "precision.\n";
const std::string kOverflowTail = " should be at most 700, or the branch probabilities overflow.\n";
const std::string kFewLeaves = "\"# chromosomes\" gives fewer than 2 leaves; a genealogy needs at least two.\n";

std::vector<BadFile> badFiles() {
  return {
      // Switches and single values.
      {"genotypes", with("Data as genotypes", "2"), "\"Data as genotypes\" should be 0 or 1.\n"},
      {"model", with("Genetic model", "2"), "\"Genetic model\" should be 0 or 1.\n"},
      {"readOld", with("Read old file", "-1"), "\"Read old file\" should be 0 or 1.\n"},
      {"seed", with("random seed", "3"), "\"Use fixed random seed\" should be 0 or negative.\n"},
      {"chromosomes", with("#chromosomes", "0"), "\"# chromosomes\" should be positive integer.\n"},
      {"loci", with("#loci", "0"), "\"#loci per chromosome\" should be positive integer.\n"},
      {"simulate", with("Run simulation", "2"), "\"Run simulation\" should be 0 or 1.\n"},
      {"boundsCount", with("high boundary", "0"),
       "You should have 2 numbers for \"Mutation's low and high boundary\".\n"},
      {"boundsOrder", with("high boundary", "0.01 0.01"), "Mutation's low boundary should less than high boundary.\n"},
      {"startOutside", with("Starting value", "0.02"),
       "The starting mutation location should lie within \"Mutation's low and high boundary\", or be -99.\n"},
      {"chains", with("#chains", "0"), "\"Simulation runs\" should be positive.\n"},
      {"growth", with("growth rate", "0"), "\"Population growth rate \" should be positive.\n"},
      {"sampled", with("Proportion", "-0.5"), "\"Proportion of population sampled \" should be positive.\n"},
      {"iterateValue", with("allele freq", "1 2 1 0"), "The number of " + kIterate + " should be 0 or 1.\n"},
      {"iterateCount", with("allele freq", "1 1 1"), "You should have 4 numbers for " + kIterate + ".\n"},
      {"flip", with("Flip all Loci", "2"), "\"Flip all Loci\" should be 0 or 1.\n"},
      {"adjustNegative", with("Adjustment", "0.1 -0.01 0.5 0.5 0.1"),
       "The number of " + kAdjust + " should be non-negative.\n"},
      // The one status the program keeps from returning -1.
      {"adjustCount", with("Adjustment", "0.1 0.01 0.5 0.5"), "You should have 5 numbers for " + kAdjust + ".\n", 255},
      {"burnIn", with("Burn-in", "0"), "\"Burn-in iteration\" should be positive integer.\n"},
      {"iterations", with("Iterations\n", "-3"), "\"Iterations\" should be positive integer.\n"},
      {"updatesValue", with("Screen", "100 -1 1 1 0"),
       "The numbers for \"Screen update and file update ...\" should be non-negative integers.\n"},
      {"updatesCount", with("Screen", "100 100 1 1"),
       "You should have 5 numbers for \"Screen and file updates, save acceptance props, save haplotypes, save "
       "individual haplotypes...\".\n"},
      {"bars", with("histogram bars", "0"), "\"Number of histogram bars\" should be positive integer.\n"},
      {"alphaZero", with("Alpha", "0"), kAlpha},
      {"alphaOne", with("Alpha", "1"), kAlpha},
      // An accepted value shows as the reader going on to a later bad entry.
      {"alphaJustBelowOne", changed([](ParamSpec& p) { p.alpha = 0.999; p.star = 2; }), kStar},
      {"age", with("Mutation age\n", "0"), "\"Mutation age\" should be positive or -99(random).\n"},
      {"ageOutside", with("Mutation age\n", "600"),
       "\"Mutation age\" should lie within \"Mutation age boundaries\", or be -99(random).\n"},
      {"randomAgeNotIterated", with("allele freq", "1 0 1 0"),
       "\"Mutation age\" -99 (random) needs the age to be iterated; give a positive age or set the mutation age to "
       "be iterated.\n"},
      // Without age sampling the boundaries are skipped up to the next S.
      {"fixedAgeNotIterated",
       changed([](ParamSpec& p) { p.iterate = "1 0 1 0"; p.age = 50; p.ageBounds = "x"; p.star = 2; }), kStar},
      {"ageBoundsNegative", with("age boundaries", "-1 500"),
       "\"Mutation age boundaries\" should be a non-negative integer.\n"},
      {"ageBoundsCount", with("age boundaries", "1"), "You should have 2 numbers for \"Mutation age boundaries\".\n"},
      {"ageBoundsOrder", with("age boundaries", "500 1"),
       "\"Mutation age boundaries\": the first number should be less than the second one.\n"},
      {"star", with("Star genealogy", "2"), kStar},
      {"rootZero", with("root", "1 0"), "\"Loci for the root\" should be positive integer.\n"},
      {"rootFraction", with("root", "1 2.5"), "\"Loci for the root\" should be positive integer.\n"},
      {"rootCount", with("root", "1"), "You should have #loci for \"Loci for the root\".\n"},
      {"seqWeights", with("sequence weights", "2"), "\"Use sequence weights\" should be 0 or 1.\n"},
      // Control table.
      {"controlZeroAllele", with("normal pop", "4 0 1"), kZeroAllele},
      {"controlShortRow", with("normal pop", "4 2"), kControl + " should have #loci+1 columns.\n"},
      {"controlLongRow", with("normal pop", "4 2 1 1"), kControl + " should have #loci+1 columns.\n"},
      {"controlLabel499", with("normal pop", "4 499 1"), kControl + " holds an allele label above 498.\n"},
      {"controlCountsOverflow", with("normal pop", "2000000000 1 1\n2000000000 1 1"),
       kControl + ": the counts of allele 1 at marker 1 add up to more than 2147483647.\n"},
      {"controlNegativeCount", with("normal pop", "-4 2 1"),
       "The counts of " + kControl + " should not be negative.\n"},
      // Map distances.
      {"mapNotIncreasing", with("Map distance", "0 0"), "The numbers of \"Map distance\" should be increasing\n"},
      {"mapCount", with("Map distance", "0 0.01 0.02"), "\"Map distance\" should have #loci entries\n"},
      {"mapStart", with("Map distance", "0.5 1"), "\"Map distance\" should start at 0.\n"},
      // Patient table.
      {"patientColumns", with("genotypes:", "3 1"),
       " You should have #loci+1 columns for " + kPatients +
           " if data as genotype is 0 or #loci column if data as genotype is 1.\n"},
      {"patientRows", with("genotypes:", "1 1 1\n1 1 1\n1 1 2\n1 2 1\n1 2 2"),
       "The rows of " + kPatients + " should less than # chromosomes.\n"},
      {"patientSum", with("genotypes:", "2 1 1"),
       "The sum of the numbers in the first column of " + kPatients + " should equal to the # chromosomes.\n"},
      {"patientCount", with("genotypes:", "0 1 1"),
       "The first column of " + kPatients + " should hold counts of at least 1.\n"},
      {"patientZeroAllele", with("genotypes:", "3 1 0"), kZeroAllele},
      {"patientLabel499", with("genotypes:", "3 1 499"), kPatients + " holds an allele label above 498.\n"},
      {"genotypeRows", changed([](ParamSpec& p) { p.genotypes = 1; p.patients = "1 2 1 1\n"; }),
       kPatients + " should have one row per individual (2).\n"},
      {"genotypeRowsModel1",
       changed([](ParamSpec& p) { p.genotypes = p.model = 1; p.patients = "1 2 1 1\n2 2 1 2\n1 1 1 1\n"; }),
       kPatients + " should have one row per individual (2).\n"},
      // Chromosome and locus counts.
      {"oddGenotypesModel0", changed([](ParamSpec& p) { p.genotypes = 1; p.chromosomes = 5; }), kOddGenotypes},
      {"oddGenotypesModel1", changed([](ParamSpec& p) { p.genotypes = p.model = 1; p.chromosomes = 5; }),
       kOddGenotypes},
      {"oneLeaf", with("#chromosomes", "1"), kFewLeaves},
      {"oneIndividual", changed([](ParamSpec& p) { p.genotypes = 1; p.chromosomes = 2; }), kFewLeaves},
      {"haplotypeLoci", with("#loci", "100"), "\"#loci per chromosome\" should be at most 99 for haplotype data.\n"},
      {"genotypeLoci", changed([](ParamSpec& p) { p.genotypes = 1; p.loci = 51; }),
       "\"#loci per chromosome\" should be at most 50 for genotype data.\n"},
      // Text the reader cannot use.
      {"endBeforeLabel", cutAfter("Flip all Loci\n0\n"), "The parameter file has no label for " + kAdjust + ".\n"},
      {"endInsideList", cutAfter("boundary\n0 0.01\n"),
       "The parameter file ends before \"Mutation's low and high boundary\" is complete.\n"},
      {"textForNumber", with("growth rate", "fast"), "Expected a number for \"Population growth rate \".\n"},
      // A value fills its token; a count is a whole number.
      {"letterInNumber", with("Iterations\n", "1O000"), "Expected a number for \"Iterations\".\n"},
      {"lettersAfterNumber", with("#loci", "12abc"), "Expected a number for \"#loci per chromosome\".\n"},
      {"twoPoints", with("growth rate", "1.5.2"), "Expected a number for \"Population growth rate \".\n"},
      {"infinity", with("Proportion", "inf"), "Expected a number for \"Proportion of population sampled \".\n"},
      {"notANumber", with("Alpha", "nan"), "Expected a number for \"Alpha level for recdist\".\n"},
      {"hexadecimal", with("Map distance", "0 0x1"), "Expected a number for \"Map distance\".\n"},
      {"halfCount", with("#chromosomes", "2.5"), "Expected a whole number for \"# chromosomes\".\n"},
      {"halfControlCount", with("normal pop", "4.5 2 1"), "Expected a whole number for " + kControl + ".\n"},
      {"glued", with("genotypes:", "3 1 1x"), "Expected a number for " + kPatients + ".\n"},
      // 1e3 and +2 are whole: the reader goes on to the bad star switch.
      {"exponentAndSign", [] {
         std::string text = with("Iterations\n", "1e3");
         text.replace(text.find("#chains\n1"), 9, "#chains\n+2");
         return text.replace(text.find("genealogy\n0"), 11, "genealogy\n2");
       }(), kStar},
      {"longLabel", cutAfter("Burn-in iteration\n1000\nIterations") + std::string(1000, '-') + "\n10000\n",
       "The label line of \"Iterations\" is too long (1000 characters or more).\n"},
      // Segment rows.
      {"segmentLetter", changed([](ParamSpec& p) { p.seqWeights = 1; p.weights = "1 1 1\n0 n\n0.005 E\n"; }),
       "\"Weights for exons, introns, non-genes\": the second column should be i, e or n.\n"},
      {"segmentColumns", changed([](ParamSpec& p) { p.seqWeights = 1; p.weights = "1 1 1\n0 n 2\n"; }),
       "You should have 2 columns for: \"Weights for exons, introns, non genes\".\n"},
      {"segmentOrder", changed([](ParamSpec& p) { p.seqWeights = 1; p.weights = "1 1 1\n0.005 e\n0.005 n\n"; }),
       "The segment positions of \"Weights for exons, introns, non-genes\" should be increasing.\n"},
      {"markerPositionsOrder",
       changed([](ParamSpec& p) { p.seqWeights = 1; p.weights = "1 1 1\nI\nseq.gb\n300 200\n"; }),
       "\"The positions of markers in the contig\" should be increasing.\n"},
      // Values that would break the program rather than the statistics.
      {"seedWithoutNegation", with("random seed", "-2147483648"),
       "\"Use fixed random seed\" should be at least -2147483647.\n"},
      {"tooManyChains", with("#chains", "1001"), "\"Simulation runs\" should be at most 1000.\n"},
      {"markerWithoutLabels", changed([](ParamSpec& p) { p.control = "6 1 -1\n"; p.patients = "4 1 -1\n"; }),
       "Marker 2 has no allele label in the control or patient data.\n"},
      // Upper bounds of sizes, and numbers the arithmetic cannot hold.
      {"chromosomesAbove", with("#chromosomes", "20001"), "\"# chromosomes\" should be at most 20000.\n"},
      {"barsAbove", with("histogram bars", "10001"), "\"Number of histogram bars\" should be at most 10000.\n"},
      {"treeStepAbove", with("Adjustment", "10.01 0.01 0.5 0.5 0.1"),
       "The first number (the tree step) of " + kAdjust + " should be at most 10.\n"},
      {"numberBeyondDouble", with("Map distance", "0 1e400"),
       "\"Map distance\": 1e400 is too large; numbers must lie between -1.7e308 and 1.7e308.\n"},
      {"negativeWeight", changed([](ParamSpec& p) { p.seqWeights = 1; p.weights = "1 -0.5 1\n0 n\n"; }),
       "\"Weights for exons, introns, non-genes\" should not be negative.\n"},
      // Model values just outside their ranges (just inside, they run: see below).
      {"growthBelow", with("growth rate", "9.9e-11"), "\"Population growth rate \" should be at least 1e-10.\n"},
      {"growthAbove", with("growth rate", "1.01e100"), "\"Population growth rate \" should be at most 1e100.\n"},
      {"sampledAbove", with("Proportion", "1.0000001"), "\"Proportion of population sampled \" should be at most 1.\n"},
      {"sampledBelow", with("Proportion", "9.9e-101"),
       "\"Proportion of population sampled \" should be at least 1e-100.\n"},
      {"ageAbove", changed([](ParamSpec& p) { p.iterate = "1 0 1 0"; p.age = 1.01e10; }),
       "\"Mutation age\" should be at most 1e10 generations.\n"},
      {"ageBoundAbove", with("age boundaries", "1 1.01e10"),
       "\"Mutation age boundaries\" should be at most 1e10 generations.\n"},
      {"growthOverAge", changed([](ParamSpec& p) { p.growth = 1e-10; p.ageBounds = "0.99 500"; }),
       kGrowth + " 1e-10 and the lower bound of \"Mutation age boundaries\", 0.99, give a growth rate times age of "
                 "9.9e-11; it should be at least 1e-10, or the age prior loses its precision.\n"},
      {"nodeTimeShare", changed([](ParamSpec& p) { p.growth = 1e-5; p.sampled = 1e-9; p.ageBounds = "0.19 1"; }),
       kGrowth + " 1e-05, " + kSampled + " 1e-09 and the lower bound of \"Mutation age boundaries\", 0.19, leave " +
           "9.50001e-11" + kShareTail},
      {"startAgeShare", changed([](ParamSpec& p) { p.ageBounds = "0 500"; p.age = 1.9e-8; }),
       kGrowth + " 1, " + kSampled + " 0.01 and \"Mutation age\" 1.9e-08 leave 9.5e-11" + kShareTail},
      {"mapTimesAge", with("age boundaries", "1 70001"),
       "\"Map distance\" reaches 0.01 Morgans and \"Mutation age boundaries\" 70001 generations: their product "
       "700.01" + kOverflowTail},
      {"locationTimesAge", changed([](ParamSpec& p) { p.bounds = "0 0.02"; p.ageBounds = "1 35001"; }),
       "\"Mutation's low and high boundary\" reaches 0.02 Morgans and \"Mutation age boundaries\" 35001 "
       "generations: their product 700.02" + kOverflowTail},
      {"fixedAgeTimesMap", changed([](ParamSpec& p) { p.iterate = "1 0 1 0"; p.age = 70001; }),
       "\"Map distance\" reaches 0.01 Morgans and \"Mutation age\" 70001 generations: their product 700.01" +
           kOverflowTail},
      {"starBelowLowerAge", changed([](ParamSpec& p) { p.star = 1; p.ageBounds = "0 500"; }),
       "\"Star genealogy\" places its 3 node times 1e-05 generations apart below the starting age, so the lower "
       "bound of \"Mutation age boundaries\", 0, should be above 3e-05.\n"},
      // Label 2 occurs in neither table at either marker.
      {"missingAlleles", changed([](ParamSpec& p) { p.control = "6 1 1\n4 3 3\n"; p.patients = "3 1 1\n1 3 3\n"; }),
       "\a\aMissing allele labelled 2 from marker 1\nFix input file\n"
       "\a\aMissing allele labelled 2 from marker 2\nFix input file\nProgram terminated\n"},
  };
}

TEST(ReaderMessages, EveryBadFilePrintsItsMessageAndFails) {
  for (const BadFile& bad : badFiles()) {
    ScratchDir dir;
    dir.write("p.txt", bad.text);
    const RunResult run = runMutloc(dir, {"p.txt"}, "", 60);
    EXPECT_EQ(run.out, bad.out) << bad.name;
    EXPECT_EQ(run.status, bad.status) << bad.name;
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) files++;
    EXPECT_EQ(files, 1u) << bad.name << ": a rejected run creates no file";
  }
}

// The values just inside the ranges whose edges the table above crosses: each
// run finishes, and no term it writes is NaN or +inf.
TEST(ReaderMessages, ValuesAtTheEdgesOfTheirRangesRun) {
  const std::vector<std::pair<const char*, void (*)(ParamSpec&)>> edges = {
      {"growth 1e-10", [](ParamSpec& p) { p.growth = 1e-10; }},
      {"growth 1e100", [](ParamSpec& p) { p.growth = 1e100; }},
      {"sampled 1", [](ParamSpec& p) { p.sampled = 1; }},
      {"sampled 1e-100", [](ParamSpec& p) { p.sampled = 1e-100; p.ageBounds = "210 500"; }},
      {"tree step 10", [](ParamSpec& p) { p.adjust = "10 0.01 0.5 0.5 0.1"; }},
      {"age 1e10", [](ParamSpec& p) {
         p.map = p.bounds = "0 7e-08";
         p.ageBounds = "1 1e10";
         p.adjust = "0.1 7e-09 0.5 0.5 0.1";
       }},
      {"node-time share", [](ParamSpec& p) { p.growth = 1e-5; p.sampled = 1e-9; p.ageBounds = "0.21 1"; }},
      {"starting age", [](ParamSpec& p) { p.ageBounds = "0 500"; p.age = 2.1e-8; }},
      {"map times age", [](ParamSpec& p) { p.ageBounds = "1 70000"; }},
      {"location times age", [](ParamSpec& p) { p.bounds = "0 0.02"; p.ageBounds = "1 35000"; }},
      {"star", [](ParamSpec& p) { p.star = 1; p.ageBounds = "3.1e-05 1"; }},
      {"bars", [](ParamSpec& p) { p.bars = 10000; }},
      {"chromosomes", [](ParamSpec& p) {
         p.chromosomes = 20000;
         p.patients = "19999 1 1\n1 2 2\n";
         p.burnIn = p.iterations = 1;
       }},
  };
  for (const auto& [name, change] : edges) {
    ParamSpec p;
    p.burnIn = 5;
    p.iterations = 20;
    p.updates = "1 1 1 1 1";
    change(p);
    ScratchDir dir;
    dir.write("p.txt", p.text());
    const RunResult run = runMutloc(dir, {"--no-menu", "-q", "p.txt"}, "", 120);
    EXPECT_EQ(run.status, 0) << name << ": " << run.out;
    EXPECT_TRUE(endsWithFinished(run.out)) << name;
    std::istringstream dat(dir.read("p.txt.dat"));
    for (std::string word; dat >> word;)
      EXPECT_TRUE(word != "nan" && word != "-nan" && word != "inf") << name << ": " << word;
  }
}

}  // namespace
