// The parameter reader in process: derived tables, the ".log" echo, random
// starting values and the locating-letter behaviour of labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "core/failure.h"
#include "core/random.h"
#include "input/echo.h"
#include "sampler/chainsetup.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// The settings read, and the echo a run writes with them.
struct Loaded {
  RunSettings s;
  std::string log;
  double freq(int label, int locus) const { return s.alleles.startFrequencies(label, locus); }
};

Loaded load(const std::string& text) {
  Loaded loaded{loadParameters(text), ""};
  Random rng(static_cast<int32_t>(loaded.s.fileSeed));
  const StartingValues start = drawStartingValues(loaded.s, rng);
  std::ostringstream log;
  writeParameterEcho(log, loaded.s, loaded.s.fileSeed, start.locations, start.ages);
  loaded.log = log.str();
  return loaded;
}

std::string failureOf(const std::string& text) {
  try {
    load(text);
  } catch (const RunFailure& failure) {
    return failure.message;
  }
  return "accepted";
}

TEST(Reader, WorkedExampleDerivedValues) {
  const RunSettings s = load(ParamSpec().text()).s;
  EXPECT_EQ(s.alleles.maxAllele, 2);
  EXPECT_EQ(s.numChrom, 4);
  EXPECT_EQ(s.numLoci, 2);
  EXPECT_EQ(s.mapDist, (std::vector<double>{0, 0, 0.01}));
  EXPECT_EQ(s.alleles.highestLabel, (std::vector<int>{2, 2}));
  EXPECT_EQ(s.alleles.controlCount, (std::vector<std::vector<int>>{{0, 0}, {11, 10}, {4, 5}}));
  // Rows by label 0..2, one column per locus; no label is rare.
  EXPECT_EQ(s.alleles.startFrequencies.cells,
            (std::vector<double>{0, 0, 11.0 / 15, 10.0 / 15, 4.0 / 15, 5.0 / 15}));
  EXPECT_EQ(s.rootHaplotype, (std::vector<int>{1, 1}));
  EXPECT_EQ(s.patientRows, (std::vector<std::vector<int>>{{3, 1, 1}, {1, 2, 2}}));
  EXPECT_EQ(s.segments.count(), 0);
}

TEST(Reader, WorkedExampleEchoMatchesTheStoredLog) {
  const std::string stored = testData("e2e/golden/quickstart/p.txt.log");
  EXPECT_EQ(load(testData("e2e/golden/quickstart/p.txt")).log, stored.substr(0, stored.find("Rootstate\n")));
}

TEST(StartingValues, AgesAreDrawnBeforeLocations) {
  ParamSpec params;
  params.chains = 2;
  Random rng(-5);
  const StartingValues start = drawStartingValues(loadParameters(params.text()), rng);
  Random reference(-5);
  std::vector<double> u(4);
  for (double& v : u) v = reference.uniform();
  // Boundaries 1 and 500 are 499 apart, so the ages span 100 from the low end.
  EXPECT_EQ(start.ages, (std::vector<double>{1 + 100 * u[0], 1 + 100 * u[1]}));
  EXPECT_EQ(start.locations, (std::vector<double>{0.01 * u[2], 0.01 * u[3]}));
  EXPECT_EQ(rng.state().seed, reference.state().seed);

  params.ageBounds = "10 60";
  rng = Random(-5);
  EXPECT_DOUBLE_EQ(drawStartingValues(loadParameters(params.text()), rng).ages[0], 10 + 50 * u[0]);
}

TEST(Reader, LabelsAreFoundInEitherCase) {
  std::string text = ParamSpec().text();
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  const RunSettings s = load(text).s;
  EXPECT_EQ(s.iterations, 10000);
  EXPECT_EQ(s.storePopHaplotypes, 1);
  EXPECT_EQ(s.alphaLevel, 0.05);
  EXPECT_EQ(s.rootHaplotype, (std::vector<int>{1, 1}));
}

TEST(Reader, CommentHoldingTheNextLocatingLetterIsTakenForTheLabel) {
  const std::string text = ParamSpec().text();
  const size_t lineEnd = text.find("growth rate\n1\n") + 13;
  // Without a P the comment is passed over on the way to the real label.
  EXPECT_EQ(failureOf(std::string(text).insert(lineEnd, " (fast)")), "accepted");
  // The P of "per" is taken for the "Proportion" label: the rest of the
  // comment line is skipped and the real label is read as the value.
  EXPECT_EQ(failureOf(std::string(text).insert(lineEnd, " (per year)")),
            "Expected a number for \"Proportion of population sampled \".\n");
}

TEST(Reader, RareAllelesAreRaisedToTheFloor) {
  ParamSpec params;
  params.control = "1000 1 1\n1 2 1\n999 3 2\n";  // label 2 at marker 1: frequency 1/2000
  params.patients = "3 1 1\n1 3 2\n";
  Loaded run = load(params.text());  // frequencies not sampled: the others keep their proportions
  auto freq = [&run](int label, int locus) { return run.freq(label, locus); };
  EXPECT_DOUBLE_EQ(freq(1, 0), 0.5 * 0.999);
  EXPECT_DOUBLE_EQ(freq(2, 0), 0.001);
  EXPECT_DOUBLE_EQ(freq(3, 0), 0.4995 * 0.999);
  EXPECT_DOUBLE_EQ(freq(1, 1), 0.5005);
  EXPECT_EQ(freq(3, 1), 0.0);  // above highestLabel: not adjusted

  params.iterate = "1 1 1 1";
  run = load(params.text());  // sampled: the others share what is left equally
  EXPECT_DOUBLE_EQ(freq(1, 0), 0.999 / 2);
  EXPECT_DOUBLE_EQ(freq(2, 0), 0.001);
  EXPECT_DOUBLE_EQ(freq(3, 0), 0.999 / 2);
  EXPECT_DOUBLE_EQ(freq(1, 1), 0.5);
  EXPECT_EQ(freq(3, 1), 0.0);
}

TEST(Reader, LocusWithoutControlCountsStartsUniform) {
  ParamSpec params;
  params.control = "6 1 -3\n4 2 -3\n5 1 -3\n";  // negative labels do not count
  for (const char* iterate : {"1 1 1 0", "1 1 1 1"}) {
    params.iterate = iterate;
    const Loaded run = load(params.text());
    EXPECT_EQ(run.s.alleles.maxAllele, 2) << iterate;
    EXPECT_EQ(run.s.alleles.controlCount[1][1] + run.s.alleles.controlCount[2][1], 0);
    EXPECT_DOUBLE_EQ(run.freq(1, 1), 0.5) << iterate;
    EXPECT_DOUBLE_EQ(run.freq(2, 1), 0.5) << iterate;
  }
  params.control = "-99\n";  // no control table at all
  const Loaded run = load(params.text());
  EXPECT_DOUBLE_EQ(run.freq(1, 0), 0.5);
  EXPECT_DOUBLE_EQ(run.freq(2, 0), 0.5);
}

TEST(Reader, GenotypeRowsAreStoredAsReadAndEchoedFirstAllelesThenSecond) {
  ParamSpec params;
  params.genotypes = 1;
  params.patients = "1/2 1/1\n2,2 1\\2\n";
  const Loaded run = load(params.text());
  EXPECT_EQ(run.s.numChrom, 2);  // genetic model 0: one leaf per individual
  EXPECT_EQ(run.s.patientRows, (std::vector<std::vector<int>>{{1, 2, 1, 1}, {2, 2, 1, 2}}));
  EXPECT_NE(run.log.find("Genotype frequencies\n1 1 2 1 \n2 1 2 2 \nUse sequence data?\n"), std::string::npos);
}

TEST(Reader, SegmentRowsAfterTheNinesRun) {
  ParamSpec params;
  params.seqWeights = 1;
  params.weights = "1 0.5 0.1\n99999\n0 n\n0.002 e\n0.004 i\n0.008 n\n";
  const Loaded run = load(params.text());
  EXPECT_EQ(run.s.segments.start, (std::vector<double>{0, 0.002, 0.004, 0.008}));
  EXPECT_EQ(run.s.segments.weight, (std::vector<double>{0.1, 1, 0.5, 0.1}));
  const std::string echo = "Use sequence data?\n1\nSeg. weights\n1 0.5 0.1 \n0 n\n0.002 e\n0.004 i\n0.008 n\n";
  EXPECT_EQ(run.log.substr(run.log.size() - echo.size()), echo);

  // Four or six nines are not the run: they stay and are read as a position.
  for (const char* nines : {"9999", "999999"}) {
    params.weights = std::string("1 0.5 0.1\n") + nines + " e\n";
    EXPECT_EQ(load(params.text()).s.segments.start, (std::vector<double>{std::stod(nines)})) << nines;
  }
}

}  // namespace
