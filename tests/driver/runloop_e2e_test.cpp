// Whole runs of the program: reproducibility, the layout of the ".dat" trace
// and of the progress lines, the iterations at which reports and haplotype
// tallies happen, and the samples behind the histograms.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> result;
  std::istringstream in(line);
  for (std::string word; in >> word;) result.push_back(word);
  return result;
}

// Progress lines: an iteration index followed by at least eight values.
std::vector<std::string> screenLines(const std::string& out) {
  std::vector<std::string> result;
  for (const auto& line : lines(out)) {
    const auto w = words(line);
    if (w.size() >= 9 && w[0].find_first_not_of("0123456789") == std::string::npos) result.push_back(line);
  }
  return result;
}

// Sum of the counts of a ".hpf" tally (first value of every line).
long tallied(const std::string& hpf) {
  long total = 0;
  for (const auto& line : lines(hpf)) total += std::stol(words(line).at(0));
  return total;
}

// Six chromosomes, three loci, missing alleles, sampled frequencies; burn-in
// 100 and 230 sampling iterations, so the last iteration is t = 329.
ParamSpec smallRun(int chains, const std::string& updates) {
  ParamSpec p;
  p.seed = -23;
  p.chromosomes = 6;
  p.loci = 3;
  p.control = "5 1 2 1\n3 2 1 3\n4 1 1 2\n2 3 2 1\n";
  p.map = "0 0.004 0.01";
  p.chains = chains;
  p.growth = 0.05;
  p.iterate = "1 1 1 1";
  p.adjust = "2 0.003 0.3 0.3 0.1";
  p.burnIn = 100;
  p.iterations = 230;
  p.updates = updates;
  p.bars = 5;
  p.ageBounds = "1 50";
  p.root = "1 1 1";
  p.patients = "2 1 -1 1\n1 2 1 3\n2 -1 2 -1\n1 1 1 2\n";
  return p;
}

RunResult run(const ScratchDir& dir, const ParamSpec& params) {
  dir.write("p.txt", params.text());
  const RunResult result = runMutloc(dir, {"p.txt"}, "", 120);
  EXPECT_EQ(result.status, 0) << result.out;
  return result;
}

TEST(RunLoop, SameSeedGivesByteIdenticalOutputs) {
  ParamSpec genotypes = smallRun(2, "50 10 1 1 1");
  genotypes.genotypes = 1;
  genotypes.model = 1;
  genotypes.patients = "1 2 1 1 -1 3\n2 2 -1 -1 1 2\n1 3 2 1 3 -1\n";
  for (const ParamSpec& params : {smallRun(3, "50 10 1 1 1"), genotypes}) {
    ScratchDir first, second;
    EXPECT_EQ(run(first, params).out, run(second, params).out);
    for (const auto& ext : kOutputExtensions) EXPECT_EQ(first.read("p.txt" + ext), second.read("p.txt" + ext)) << ext;
  }
}

struct ReportCase {
  const char* name;
  int chains;
  const char* updates;                // screen, file, proportions, haplotypes, individuals
  std::vector<std::string> datAt;     // iterations with a ".dat" line
  std::vector<std::string> screenAt;  // iterations with progress lines
  long tallies;                       // ".hpf" tallies of the six leaves, the final one included
};
void PrintTo(const ReportCase& c, std::ostream* out) { *out << c.name; }

class Reports : public testing::TestWithParam<ReportCase> {};

TEST_P(Reports, LayoutAndIterationsOfTraceProgressLinesAndTallies) {
  const ReportCase& expected = GetParam();
  const int M = expected.chains;
  const bool proportions = words(expected.updates)[2] != "0";
  ScratchDir dir;
  const RunResult result = run(dir, smallRun(M, expected.updates));

  // Per chain five values (ten with proportions), each followed by a space;
  // with several chains R alone at the end, 0 before its first computation.
  const auto dat = lines(dir.read("p.txt.dat"));
  ASSERT_EQ(dat.size(), expected.datAt.size());
  const size_t group = proportions ? 10 : 5;
  for (size_t i = 0; i < dat.size(); i++) {
    const auto w = words(dat[i]);
    ASSERT_EQ(w.size(), M * group + (M > 1 ? 1 : 0)) << dat[i];
    for (int c = 0; c < M; c++) EXPECT_EQ(w[group * c], expected.datAt[i]) << dat[i];
    EXPECT_EQ(dat[i].back() == ' ', M == 1) << dat[i];
  }
  if (M > 1 && expected.datAt[0] == "0") {
    EXPECT_EQ(words(dat[0]).back(), "0");
  }

  // Nine values per chain; with several chains chain 0 adds a double tab and R.
  const auto screen = screenLines(result.out);
  ASSERT_EQ(screen.size(), M * expected.screenAt.size());
  for (size_t i = 0; i < screen.size(); i++) {
    const size_t tabs = screen[i].find("\t\t");
    EXPECT_EQ(tabs != std::string::npos, M > 1 && i % M == 0) << screen[i];
    EXPECT_EQ(words(screen[i].substr(0, tabs)).size(), 9u) << screen[i];
    EXPECT_EQ(words(screen[i])[0], expected.screenAt[i / M]);
  }
  EXPECT_EQ(tallied(dir.read("p.txt.hpf")), 6 * expected.tallies);
}

// Burn-in 100, last iteration 329: with a file update of 50 the tallies fall
// at t = 150, 200, 250 and 300. Intervals of 0 leave only the last iteration.
const std::vector<std::string> kEvery50 = {"0", "50", "100", "150", "200", "250", "300", "329"};
INSTANTIATE_TEST_SUITE_P(
    SweepRun, Reports,
    testing::Values(ReportCase{"SeveralChainsWithProportions", 3, "50 50 1 1 0", kEvery50, kEvery50, 5},
                    ReportCase{"OneChainWithoutProportions", 1, "100 50 0 1 0", kEvery50,
                               {"0", "100", "200", "300", "329"}, 5},
                    ReportCase{"ZeroIntervals", 2, "0 0 1 1 0", {"329"}, {"329"}, 1}),
    [](const testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

// Per chain of a histogram file with five bars: the samples counted and the
// centres of the populated bars. With equal samples all centres coincide and
// the populated bar may be written on any line.
std::vector<std::pair<long, std::vector<double>>> histograms(const std::string& text, int chains) {
  const auto all = lines(text);
  std::vector<std::pair<long, std::vector<double>>> result(chains);
  for (int c = 0; c < chains; c++)
    for (int b = 0; b < 5; b++) {
      const auto bar = words(all.at(c * 6 + b));
      result[c].first += std::stol(bar.at(2));
      if (bar[2] != "0") result[c].second.push_back(std::stod(bar[0]));
    }
  return result;
}

TEST(RunLoop, SamplesAreStoredInEverySamplingIteration) {
  // One sampling iteration: one location and one age per chain. An unstored
  // sample would be the array's 0; the locations and ages here are positive.
  ParamSpec params = smallRun(2, "10 10 1 1 0");
  params.burnIn = 20;
  params.iterations = 1;
  ScratchDir dir;
  run(dir, params);
  for (const char* file : {"p.txt.sig", "p.txt.tre"})
    for (const auto& [samples, centres] : histograms(dir.read(file), 2)) {
      EXPECT_EQ(samples, 1) << file;
      ASSERT_EQ(centres.size(), 1u) << file;
      EXPECT_GT(centres[0], 0) << file;
    }
  EXPECT_EQ(tallied(dir.read("p.txt.hpf")), 6) << "no tally during the run: t = burn-in is not after it";

  // A location that is not iterated is still stored as every sample.
  params.iterate = "1 1 0 0";
  params.start = 0.004;
  params.iterations = 50;
  ScratchDir fixed;
  run(fixed, params);
  for (const auto& chain : histograms(fixed.read("p.txt.sig"), 2))
    EXPECT_EQ(chain, (std::pair<long, std::vector<double>>{50, {0.004}}));
}

TEST(RunLoop, RunFinishesWhenProposedAgesAreNotPositive) {
  // Ages in [0, 1] with an age step of 5: many proposals fold to ages <= 0.
  ParamSpec params = smallRun(2, "100 10 1 1 0");
  params.ageBounds = "0 1";
  params.adjust = "5 0.003 0.3 0.3 0.1";
  ScratchDir dir;
  run(dir, params);
  for (const auto& line : lines(dir.read("p.txt.dat")))
    for (int c = 0; c < 2; c++) EXPECT_GT(std::stod(words(line)[10 * c + 3]), 0) << "accepted ages stay positive";
}

}  // namespace
