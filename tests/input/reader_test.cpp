// The parameter reader in process: derived tables, the ".log" echo, random
// starting values and the locating-letter behaviour of labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "input/failure.h"
#include "input/parameters.h"
#include "input/readdata.h"
#include "sampler/random.h"
#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

struct Loaded {
  int result = 0;
  int segments = -1;
  std::string log;
  PatientTable patients = makePatientTable();
  std::vector<int> row(int r, int width) const { return {patients[r].begin(), patients[r].begin() + width}; }
};

Loaded load(const std::string& text) {
  Loaded loaded;
  std::istringstream in(text);
  std::ostringstream log;
  int32_t seed = 0;
  loaded.result = readdata3(&seed, &loaded.segments, in, log, loaded.patients);
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

double freq(int label, int locus) { return pset.alleleFreq[0](label, locus); }

TEST(Reader, WorkedExampleDerivedValues) {
  const Loaded run = load(ParamSpec().text());
  EXPECT_EQ(run.result, 2);  // maxAllele
  EXPECT_EQ(pset.numChrom, 4);
  EXPECT_EQ(pset.numLoci, 2);
  EXPECT_EQ(pset.mapDist, (std::vector<double>{0, 0, 0.01}));
  EXPECT_EQ(maxall, (std::vector<int>{2, 2}));
  EXPECT_EQ(normmat, (std::vector<std::vector<int>>{{0, 0}, {11, 10}, {4, 5}}));
  // Rows by label 0..2, one column per locus; no label is rare.
  EXPECT_EQ(pset.alleleFreq[0].cells, (std::vector<double>{0, 0, 11.0 / 15, 10.0 / 15, 4.0 / 15, 5.0 / 15}));
  EXPECT_EQ(pset.rootHaplotype, (std::vector<std::vector<int>>{{1, 1}}));
  EXPECT_EQ(run.row(0, 3), (std::vector<int>{3, 1, 1}));
  EXPECT_EQ(run.row(1, 3), (std::vector<int>{1, 2, 2}));
  EXPECT_EQ(run.row(2, kPatientColumns), std::vector<int>(kPatientColumns, 0));
  EXPECT_EQ(run.segments, -1);  // untouched without sequence weights
}

TEST(Reader, WorkedExampleEchoMatchesTheStoredLog) {
  const std::string stored = testData("e2e/golden/quickstart/p.txt.log");
  EXPECT_EQ(load(testData("e2e/golden/quickstart/p.txt")).log, stored.substr(0, stored.find("Rootstate\n")));
}

TEST(Reader, StartingAgesAreDrawnBeforeStartingLocations) {
  ParamSpec params;
  params.chains = 2;
  int32_t seed = 0;
  loadParameters(params.text(), &seed);
  int32_t reference = -5;
  std::vector<double> u(4);
  for (double& v : u) v = ran1(&reference);
  // Boundaries 1 and 500 are 499 apart, so the ages span 100 from the low end.
  EXPECT_DOUBLE_EQ(pset.mutAge[0], 1 + 100 * u[0]);
  EXPECT_DOUBLE_EQ(pset.mutAge[1], 1 + 100 * u[1]);
  EXPECT_DOUBLE_EQ(pset.mutLocation[0], 0.01 * u[2]);
  EXPECT_DOUBLE_EQ(pset.mutLocation[1], 0.01 * u[3]);
  EXPECT_EQ(seed, reference);

  params.ageBounds = "10 60";
  load(params.text());
  EXPECT_DOUBLE_EQ(pset.mutAge[0], 10 + 50 * u[0]);
}

TEST(Reader, LabelsAreFoundInEitherCase) {
  std::string text = ParamSpec().text();
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  EXPECT_EQ(load(text).result, 2);
  EXPECT_EQ(pset.iterations, 10000);
  EXPECT_EQ(pset.storePopHaplotypes, 1);
  EXPECT_EQ(pset.alphaLevel, 0.05);
  EXPECT_EQ(pset.rootHaplotype[0], (std::vector<int>{1, 1}));
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
  load(params.text());  // frequencies not sampled: the others keep their proportions
  EXPECT_DOUBLE_EQ(freq(1, 0), 0.5 * 0.999);
  EXPECT_DOUBLE_EQ(freq(2, 0), 0.001);
  EXPECT_DOUBLE_EQ(freq(3, 0), 0.4995 * 0.999);
  EXPECT_DOUBLE_EQ(freq(1, 1), 0.5005);
  EXPECT_EQ(freq(3, 1), 0.0);  // above maxall: not adjusted

  params.iterate = "1 1 1 1";
  load(params.text());  // sampled: the others share what is left equally
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
    EXPECT_EQ(load(params.text()).result, 2) << iterate;
    EXPECT_EQ(normmat[1][1] + normmat[2][1], 0);
    EXPECT_DOUBLE_EQ(freq(1, 1), 0.5) << iterate;
    EXPECT_DOUBLE_EQ(freq(2, 1), 0.5) << iterate;
  }
  params.control = "-99\n";  // no control table at all
  EXPECT_EQ(load(params.text()).result, 2);
  EXPECT_DOUBLE_EQ(freq(1, 0), 0.5);
  EXPECT_DOUBLE_EQ(freq(2, 0), 0.5);
}

TEST(Reader, GenotypeRowsAreStoredAsReadAndEchoedFirstAllelesThenSecond) {
  ParamSpec params;
  params.genotypes = 1;
  params.patients = "1/2 1/1\n2,2 1\\2\n";
  const Loaded run = load(params.text());
  EXPECT_EQ(pset.numChrom, 2);  // genetic model 0: one leaf per individual
  EXPECT_EQ(run.row(0, 4), (std::vector<int>{1, 2, 1, 1}));
  EXPECT_EQ(run.row(1, 4), (std::vector<int>{2, 2, 1, 2}));
  EXPECT_NE(run.log.find("Genotype frequencies\n1 1 2 1 \n2 1 2 2 \nUse sequence data?\n"), std::string::npos);
}

TEST(Reader, SegmentRowsAfterTheNinesRun) {
  ParamSpec params;
  params.seqWeights = 1;
  params.weights = "1 0.5 0.1\n99999\n0 n\n0.002 e\n0.004 i\n0.008 n\n";
  const Loaded run = load(params.text());
  EXPECT_EQ(run.segments, 4);
  EXPECT_EQ(numsegs, 4);
  EXPECT_EQ(pset.segStart, (std::vector<double>{0, 0.002, 0.004, 0.008}));
  EXPECT_EQ(pset.segWeight, (std::vector<double>{0.1, 1, 0.5, 0.1}));
  const std::string echo = "Use sequence data?\n1\nSeg. weights\n1 0.5 0.1 \n0 n\n0.002 e\n0.004 i\n0.008 n\n";
  EXPECT_EQ(run.log.substr(run.log.size() - echo.size()), echo);

  // Four or six nines are not the run: they stay and are read as a position.
  for (const char* nines : {"9999", "999999"}) {
    params.weights = std::string("1 0.5 0.1\n") + nines + " e\n";
    load(params.text());
    EXPECT_EQ(pset.segStart, (std::vector<double>{std::stod(nines)})) << nines;
  }
}

}  // namespace
