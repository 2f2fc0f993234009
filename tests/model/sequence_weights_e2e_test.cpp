// Whole runs with sequence weights, from segment rows in the parameter file
// and from an annotation file: the location samples follow the weights.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// Monomorphic markers: every genealogy explains the data equally well at any
// location, so the sampled locations follow the prior alone.
ParamSpec uninformative() {
  ParamSpec p;
  p.control = "15 1 1\n";
  p.patients = "4 1 1\n";
  p.start = 0.002;
  p.burnIn = 500;
  p.iterations = 20000;
  p.updates = "0 1 0 0 0";
  return p;
}

struct WeightedRun {
  std::vector<double> locations;  // chain 0's location at every sampling iteration
  std::string log;
  std::string exons;  // "exons.txt", empty when not written
};

WeightedRun run(const ParamSpec& p, const std::string& annotation = "") {
  ScratchDir dir;
  dir.write("p.txt", p.text());
  if (!annotation.empty()) dir.write("genes.gb", annotation);
  const RunResult result = runMutloc(dir, {"p.txt"});
  EXPECT_EQ(result.status, 0) << result.out;
  WeightedRun r;
  std::istringstream dat(dir.read("p.txt.dat"));
  std::string line;
  while (std::getline(dat, line)) {
    std::istringstream fields(line);
    long t = 0;
    double location = 0;
    if (fields >> t >> location && t >= p.burnIn) r.locations.push_back(location);
  }
  EXPECT_EQ(r.locations.size(), static_cast<size_t>(p.iterations));
  r.log = dir.read("p.txt.log");
  if (dir.exists("exons.txt")) r.exons = dir.read("exons.txt");
  return r;
}

double shareWithin(const std::vector<double>& xs, double low, double high) {
  long inside = 0;
  for (double x : xs) inside += x > low && x <= high;
  return xs.empty() ? 0 : static_cast<double>(inside) / xs.size();
}

// Segments on the map scale: the stretch (0.004, 0.006] is the second row's.
std::string segmentRows(const std::string& weights, char middle) {
  return weights + "\n0 n\n0.004 " + middle + "\n0.006 n\n0.01 n\n";
}

TEST(SequenceWeights, SegmentRowsDrawTheLocationIntoTheHeavyExon) {
  // Exon weight 100 over a fifth of the range: prior mass 0.2 / 0.208 there.
  ParamSpec weighted = uninformative();
  weighted.seqWeights = 1;
  weighted.weights = segmentRows("100 1 1", 'e');
  const WeightedRun withWeights = run(weighted);
  const WeightedRun without = run(uninformative());
  EXPECT_GT(shareWithin(withWeights.locations, 0.004, 0.006), 0.85);
  EXPECT_LT(shareWithin(without.locations, 0.004, 0.006), 0.4);

  const std::string echo = withWeights.log.substr(withWeights.log.find("Seg. weights\n"));
  EXPECT_EQ(echo.rfind("Seg. weights\n100 1 1 \n0 n\n0.004 e\n0.006 n\n0.01 n\n", 0), 0u) << echo;
}

TEST(SequenceWeights, AZeroWeightSegmentIsNeverEnteredThoughTheLikelihoodAllowsIt) {
  ParamSpec closed = uninformative();
  closed.seqWeights = 1;
  closed.weights = segmentRows("1 0 1", 'i');
  ParamSpec open = closed;
  open.weights = segmentRows("1 1 1", 'i');

  const WeightedRun blocked = run(closed);
  EXPECT_GT(shareWithin(run(open).locations, 0.004, 0.006), 0.1);
  // Printed to 6 significant digits; keep clear of the two boundaries.
  EXPECT_EQ(shareWithin(blocked.locations, 0.004 + 1e-8, 0.006 - 1e-8), 0.0);
  // The chain still crosses the closed stretch from one side to the other.
  EXPECT_GT(shareWithin(blocked.locations, 0.006, 0.01), 0.2);
  EXPECT_GT(shareWithin(blocked.locations, -1, 0.004), 0.2);
}

TEST(SequenceWeights, AnnotationFileWeightsExonsAndWritesExonsTxtInTheRunFolder) {
  // Markers at contig bases 1000 and 1001000 span the map 0 .. 0.01; the two
  // exons cover 0.00399 .. 0.00499 and 0.00599 .. 0.00699 on that scale.
  ParamSpec p = uninformative();
  p.seqWeights = 1;
  p.weights = "100 1 1\nI\ngenes.gb\n1000 1001000\n";
  const std::string annotation =
      "     mRNA            join(400000..500000,600000..700000)\n"
      "                     /gene=\"ABC1\"\n";
  const WeightedRun r = run(p, annotation);

  std::ostringstream expected;
  for (auto [base, letter] : std::vector<std::pair<double, char>>{
           {1, 'n'}, {400000, 'e'}, {500001, 'i'}, {600000, 'e'}, {700001, 'n'}})
    expected << (base - 1000) / 100000000 << " " << letter << "\n";
  EXPECT_EQ(r.exons, expected.str());
  EXPECT_NE(r.log.find("Seg. weights\n100 1 1 \n" + expected.str()), std::string::npos) << r.log;

  const double inExons = shareWithin(r.locations, 0.00399, 0.00499001) + shareWithin(r.locations, 0.00599, 0.00699001);
  EXPECT_GT(inExons, 0.85);
}

}  // namespace
