// The results report tools/mutloc-report: its summary numbers checked against
// statistics computed here from the run's trace and histograms, its plots,
// and its refusal of missing or broken inputs and of runs without samples.
// Needs Rscript with coda.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

const std::string kReportScript = std::string(MUTLOC_SOURCE_DIR) + "/tools/mutloc-report";

// What the test needs to know of a run's file layout.
struct RunLayout {
  int chains;
  bool storeProps;
  long burnIn;
  int bars;
  double alpha = 0.05;
};

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) result.push_back(line);
  return result;
}

std::vector<double> numbers(const std::string& line, size_t count) {
  std::istringstream in(line);
  std::vector<double> result(count);
  for (auto& value : result) in >> value;
  return result;
}

RunResult runReport(const ScratchDir& dir, const std::string& args) {
  const std::string command =
      "cd '" + dir.path + "' && '" + kReportScript + "' " + args + " > .report-out 2> .report-err";
  const int status = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  result.out = dir.read(".report-out");
  result.err = dir.read(".report-err");
  return result;
}

std::map<std::string, std::string> parseSummary(const std::string& text) {
  std::map<std::string, std::string> entries;
  for (const auto& line : lines(text)) {
    if (line[0] == '#') continue;
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) entries[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return entries;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double mean(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += v;
  return sum / values.size();
}

// `bars` equal bars from the minimum to the maximum (values on an inner edge
// go up, the maximum to the last bar): the centres of the most populated bar
// and of the lowest and highest bar of the credible region, which drops the
// least populated bars (lower first on ties) until they hold the tail mass.
struct PooledHistogram {
  double mode, regionLow, regionHigh;
  int regionBars;
};

PooledHistogram pooledHistogram(const std::vector<double>& values, int bars, double alpha) {
  const double low = *std::min_element(values.begin(), values.end());
  const double width = (*std::max_element(values.begin(), values.end()) - low) / bars;
  std::vector<int> counts(bars, 0);
  for (double v : values) {
    int bar = 0;
    while (bar < bars - 1 && v >= low + (bar + 1) * width) ++bar;
    ++counts[bar];
  }
  std::vector<int> order(bars);
  for (int b = 0; b < bars; ++b) order[b] = b;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return counts[a] < counts[b]; });
  std::vector<bool> inside(bars, true);
  const double tail = values.size() - std::floor((1 - alpha) * values.size());
  long dropped = 0;
  for (int b : order) {
    dropped += counts[b];
    inside[b] = false;
    if (dropped >= tail) break;
  }
  const auto centre = [&](long b) { return low + b * width + width / 2; };
  const auto first = std::find(inside.begin(), inside.end(), true) - inside.begin();
  const auto last = bars - 1 - (std::find(inside.rbegin(), inside.rend(), true) - inside.rbegin());
  return {centre(std::max_element(counts.begin(), counts.end()) - counts.begin()), centre(first), centre(last),
          static_cast<int>(std::count(inside.begin(), inside.end(), true))};
}

// Per chain, the post-burn-in location and age columns of a ".dat" trace,
// and the last row's acceptance proportions.
struct Trace {
  std::vector<std::vector<double>> location, age, accept;
};

Trace readTrace(const std::string& dat, const RunLayout& layout) {
  const int group = layout.storeProps ? 10 : 5;
  Trace trace;
  trace.location.resize(layout.chains);
  trace.age.resize(layout.chains);
  trace.accept.resize(layout.chains);
  for (const auto& line : lines(dat)) {
    const auto row = numbers(line, layout.chains * group);
    for (int c = 0; c < layout.chains; ++c) {
      const double* values = &row[c * group];
      if (layout.storeProps) trace.accept[c].assign(values + 5, values + 10);
      if (values[0] < layout.burnIn) continue;
      trace.location[c].push_back(values[1]);
      trace.age[c].push_back(values[3]);
    }
  }
  return trace;
}

// One chain's histogram from a ".sig" or ".tre" file: centres, counts, flags.
struct Bars {
  std::vector<double> centre, count, inside;
};

Bars readBars(const std::string& text, int chain, int bars) {
  const auto all = lines(text);
  Bars result;
  for (int b = 0; b < bars; ++b) {
    const auto row = numbers(all.at(chain * (bars + 1) + b), 4);
    result.centre.push_back(row[0]);
    result.count.push_back(row[2]);
    result.inside.push_back(row[3]);
  }
  return result;
}

// Relative tolerance far below the 6 significant digits of the trace values.
void expectClose(const std::map<std::string, std::string>& summary, const std::string& key, double expected) {
  const auto found = summary.find(key);
  ASSERT_NE(found, summary.end()) << "summary lacks " << key;
  EXPECT_NEAR(std::stod(found->second), expected, 1e-6 * std::fabs(expected)) << key;
}

// Medians, means and modes of every chain and pooled, the credible-region ends
// and the final acceptance proportions, all recomputed from the run's files.
void expectSummaryMatchesRunFiles(const ScratchDir& dir, const RunLayout& layout) {
  const auto summary = parseSummary(dir.read("p.txt.report/summary.txt"));
  const Trace trace = readTrace(dir.read("p.txt.dat"), layout);
  EXPECT_EQ(summary.at("chains"), std::to_string(layout.chains));
  EXPECT_EQ(summary.at("rows.used"), std::to_string(trace.location[0].size()));
  const std::map<std::string, std::pair<const std::vector<std::vector<double>>*, std::string>> variables = {
      {"location", {&trace.location, "p.txt.sig"}}, {"age", {&trace.age, "p.txt.tre"}}};
  for (const auto& [name, source] : variables) {
    const auto& perChain = *source.first;
    std::vector<double> pooled;
    for (int c = 0; c < layout.chains; ++c) {
      const std::string key = "chain." + std::to_string(c) + "." + name + ".";
      expectClose(summary, key + "median", median(perChain[c]));
      expectClose(summary, key + "mean", mean(perChain[c]));
      const Bars bars = readBars(dir.read(source.second), c, layout.bars);
      const auto top = std::max_element(bars.count.begin(), bars.count.end()) - bars.count.begin();
      expectClose(summary, key + "mode", bars.centre[top]);
      std::vector<double> region;
      for (int b = 0; b < layout.bars; ++b)
        if (bars.inside[b] != 0) region.push_back(bars.centre[b]);
      ASSERT_FALSE(region.empty());
      expectClose(summary, key + "region.low", region.front());
      expectClose(summary, key + "region.high", region.back());
      EXPECT_EQ(summary.at(key + "region.bars"), std::to_string(region.size()));
      const double ess = std::stod(summary.at(key + "ess"));
      EXPECT_TRUE(std::isfinite(ess) && ess > 0) << key << "ess " << ess;
      pooled.insert(pooled.end(), perChain[c].begin(), perChain[c].end());
    }
    expectClose(summary, "pooled." + name + ".median", median(pooled));
    expectClose(summary, "pooled." + name + ".mean", mean(pooled));
    const PooledHistogram histogram = pooledHistogram(pooled, layout.bars, layout.alpha);
    const std::string key = "pooled." + name + ".";
    expectClose(summary, key + "mode", histogram.mode);
    expectClose(summary, key + "region.low", histogram.regionLow);
    expectClose(summary, key + "region.high", histogram.regionHigh);
    EXPECT_EQ(summary.at(key + "region.bars"), std::to_string(histogram.regionBars)) << key;
  }
  const char* moves[] = {"tree", "location", "root", "internal", "frequency"};
  for (int c = 0; c < layout.chains; ++c)
    for (int m = 0; m < 5; ++m) {
      const std::string key = "chain." + std::to_string(c) + ".accept." + moves[m];
      if (layout.storeProps)
        expectClose(summary, key, trace.accept[c][m]);
      else
        EXPECT_EQ(summary.count(key), 0u) << key;
    }
}

void expectPlots(const ScratchDir& dir) {
  for (const char* plot : {"trace-location", "trace-age", "trace-logpost", "hist-location", "hist-age"}) {
    const std::string name = std::string("p.txt.report/") + plot + ".png";
    ASSERT_TRUE(dir.exists(name)) << name;
    EXPECT_EQ(dir.read(name).substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
  }
}

class ResultsReport : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v Rscript > /dev/null 2>&1") != 0)
      FAIL() << "Rscript is not on the PATH: install r-base-core and r-cran-coda to test the report";
  }
};

// Three chains of a small haplotype run with acceptance proportions stored;
// 15 bars and alpha 0.2 so the histogram layout and the regions do not rest on
// the defaults.
ParamSpec threeChainRun() {
  ParamSpec p = threeChainsOnThreeMarkers();
  p.seed = -41;
  p.chromosomes = 6;
  p.burnIn = 200;
  p.iterations = 1000;
  p.updates = "500 10 1 1 0";
  p.bars = 15;
  p.alpha = 0.2;
  p.ageBounds = "1 50";
  p.patients = "2 1 -1 1\n1 2 1 3\n2 -1 2 -1\n1 1 1 2\n";
  return p;
}

TEST_F(ResultsReport, SummaryOfAFreshMultiChainRunMatchesItsFiles) {
  ScratchDir dir;
  dir.write("p.txt", threeChainRun().text());
  const RunResult run = runMutloc(dir, {"p.txt"}, "", 120);
  ASSERT_EQ(run.status, 0) << run.out;

  // A truth at chain 0's most populated location bar lies in its region; an
  // age far beyond every sample does not.
  const RunLayout layout{3, true, 200, 15, 0.2};
  const Bars location = readBars(dir.read("p.txt.sig"), 0, layout.bars);
  const double truth = location.centre[std::max_element(location.count.begin(), location.count.end()) -
                                       location.count.begin()];
  std::ostringstream args;
  args.precision(17);
  args << "p.txt --truth " << truth << " --truth-age 100000";
  const RunResult report = runReport(dir, args.str());
  ASSERT_EQ(report.status, 0) << report.err;

  expectSummaryMatchesRunFiles(dir, layout);
  expectPlots(dir);
  const auto summary = parseSummary(dir.read("p.txt.report/summary.txt"));
  EXPECT_EQ(summary.at("burnin"), "200");
  EXPECT_EQ(summary.at("rows.dropped"), "20");  // iterations 0, 10, .., 190
  EXPECT_EQ(summary.at("chain.0.location.truth.inside"), "yes");
  EXPECT_EQ(summary.at("chain.0.age.truth.inside"), "no");
  for (const char* key : {"gelman.location.point", "gelman.location.upper", "gelman.age.point", "gelman.age.upper"}) {
    const double value = std::stod(summary.at(key));
    EXPECT_TRUE(std::isfinite(value) && value > 0.5) << key << " " << value;
  }
  EXPECT_LE(std::stod(summary.at("gelman.location.point")), std::stod(summary.at("gelman.location.upper")));
  EXPECT_EQ(summary.at("mode.kind"), "mode of the histogram (centre of its fullest bar)");
  EXPECT_EQ(summary.at("region.kind"), "80% HPD region of the histogram (its fullest bars)");

  // The founder probabilities are plotted only beside a founder table (runs
  // with --sporadic), whose allele column may be genotypes.
  EXPECT_FALSE(dir.exists("p.txt.report/founder.png"));
  dir.write("p.txt.founder.tsv",
            "row\tchromosomes\tgenotype\tfounder_probability\tboth_founder\tchain1\tchain2\tchain3\n"
            "1\t2\t1/2 -1/1 2/2\t0.75\t0.5\t0.7\t0.8\t0.75\n2\t2\t1/1 1/1 1/1\t0.1\t0\t0.1\t0.1\t0.1\n");
  ASSERT_EQ(runReport(dir, "p.txt").status, 0);
  EXPECT_EQ(dir.read("p.txt.report/founder.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
}

// A prepared parameter file's marker table beside it: mutloc's summary and
// the report give the location in base pairs too, linear between markers; a
// table that does not fit gets a warning and the results stay in Morgans.
TEST_F(ResultsReport, WithAMarkerTableBesideTheRunLocationsAreAlsoInBasePairs) {
  ScratchDir dir;
  dir.write("p.txt", threeChainRun().text());
  const std::string table =
      "index\tchromosome\tposition\tid\talleles\tcM\tmorgans\tcontrol_frequencies\n"
      "1\t7\t1000\t.\tA,C,G\t5\t0\t0.5,0.3,0.2\n"
      "2\t7\t3000\trs2\tA,C,G\t5.4\t0.004\t0.5,0.3,0.2\n"
      "3\t7\t3600\t.\tA,C,G\t6\t0.01\t0.5,0.3,0.2\n";
  dir.write("p.txt.markers.tsv", table);
  const RunResult run = runMutloc(dir, {"p.txt", "--no-menu"}, "", 120);
  ASSERT_EQ(run.status, 0) << run.out;
  const auto basePairs = [](double x) {
    return x <= 0.004 ? 1000 + x / 0.004 * 2000 : 3000 + (x - 0.004) / 0.006 * 600;
  };
  const std::string json = dir.read("p.txt.summary.json");
  EXPECT_NE(json.find("\"chromosome\": \"7\""), std::string::npos);
  EXPECT_NE(run.err.find("location on chromosome 7: median "), std::string::npos) << run.err;

  ASSERT_EQ(runReport(dir, "p.txt --truth 0.005").status, 0);
  expectPlots(dir);  // in base pairs, the ticks named rs2, m1, m3
  auto summary = parseSummary(dir.read("p.txt.report/summary.txt"));
  EXPECT_EQ(summary.at("chromosome"), "7");
  for (const std::string key : {"chain.0.location.", "chain.2.location.", "pooled.location."}) {
    EXPECT_NEAR(std::stod(summary.at(key + "bp.median")), basePairs(std::stod(summary.at(key + "median"))), 0.5) << key;
    EXPECT_NEAR(std::stod(summary.at(key + "bp.region.high")),
                basePairs(std::stod(summary.at(key + "region.high"))), 0.5) << key;
  }

  // The map of another version of the file: a warning from both, Morgans only.
  dir.write("p.txt.markers.tsv", std::string(table).replace(table.find("0.004"), 5, "0.005"));
  const RunResult again = runMutloc(dir, {"p.txt", "--no-menu"}, "", 120);
  EXPECT_NE(again.err.find("p.txt.markers.tsv does not list the markers"), std::string::npos) << again.err;
  EXPECT_EQ(dir.read("p.txt.summary.json").find("base_pairs"), std::string::npos);
  const RunResult report = runReport(dir, "p.txt");
  EXPECT_EQ(report.status, 0);
  EXPECT_NE(report.err.find("p.txt.markers.tsv does not list the markers"), std::string::npos) << report.err;
  EXPECT_EQ(parseSummary(dir.read("p.txt.report/summary.txt")).count("pooled.location.bp.median"), 0u);
}

// The stored runs cover the other layouts: two chains without acceptance
// proportions, and a single chain, which has no Gelman-Rubin factor.
TEST_F(ResultsReport, SummaryOfStoredRunsMatchesTheirFiles) {
  const std::map<std::string, RunLayout> runs = {{"geno0", {2, false, 100, 20}}, {"quickstart", {1, true, 1000, 20}}};
  for (const auto& [folder, layout] : runs) {
    SCOPED_TRACE(folder);
    ScratchDir dir;
    for (const char* ext : {".log", ".dat", ".sig", ".tre"})
      dir.write(std::string("p.txt") + ext, testData("e2e/golden/" + folder + "/p.txt" + ext));
    const RunResult report = runReport(dir, "p.txt");
    ASSERT_EQ(report.status, 0) << report.err;
    expectSummaryMatchesRunFiles(dir, layout);
    const auto summary = parseSummary(dir.read("p.txt.report/summary.txt"));
    if (layout.chains == 1) {
      EXPECT_EQ(summary.at("gelman.location.point"), "NA");
      EXPECT_EQ(summary.count("gelman.location.note"), 1u);
    } else {
      EXPECT_NE(summary.at("gelman.location.point"), "NA");
    }
  }
  ScratchDir plotted;
  for (const char* ext : {".log", ".dat", ".sig", ".tre"})
    plotted.write(std::string("p.txt") + ext, testData(std::string("e2e/golden/quickstart/p.txt") + ext));
  ASSERT_EQ(runReport(plotted, "p.txt --truth-age 10").status, 0);
  expectPlots(plotted);
}

// Chains whose log posteriors sit at different levels have not found the same
// mode, whatever the location's factor says: the report warns.
TEST_F(ResultsReport, ChainsAtDifferentLogPosteriorLevelsGetAWarning) {
  ScratchDir dir;
  for (const char* ext : {".log", ".sig", ".tre"})
    dir.write(std::string("p.txt") + ext, testData(std::string("e2e/golden/geno0/p.txt") + ext));
  // The second chain's log posterior (its third value) lowered by 100.
  std::string shifted;
  for (const std::string& line : lines(testData("e2e/golden/geno0/p.txt.dat"))) {
    std::istringstream in(line);
    std::vector<std::string> values{std::istream_iterator<std::string>(in), {}};
    values[7] = std::to_string(std::stod(values[7]) - 100);
    for (const std::string& value : values) shifted += value + " ";
    shifted += "\n";
  }
  dir.write("p.txt.dat", testData("e2e/golden/geno0/p.txt.dat"));
  ASSERT_EQ(runReport(dir, "p.txt").status, 0);
  const auto level = parseSummary(dir.read("p.txt.report/summary.txt"));
  dir.write("p.txt.dat", shifted);
  const RunResult report = runReport(dir, "p.txt");
  ASSERT_EQ(report.status, 0) << report.err;
  const auto apart = parseSummary(dir.read("p.txt.report/summary.txt"));
  EXPECT_EQ(apart.at("gelman.location.point"), level.at("gelman.location.point"));
  EXPECT_GT(std::stod(apart.at("gelman.logpost.point")), 1.5);
  EXPECT_NE(apart.at("gelman.logpost.warning").find("the chains sit at different levels"), std::string::npos);
  EXPECT_NE(report.err.find("mutloc-report: warning: the log posterior's Gelman-Rubin factor is "), std::string::npos)
      << report.err;
}

TEST_F(ResultsReport, MissingOrBrokenInputsEndWithOneLineAndNonZeroStatus) {
  ScratchDir dir;
  for (const char* ext : {".log", ".sig", ".tre"})
    dir.write(std::string("p.txt") + ext, testData(std::string("e2e/golden/quickstart/p.txt") + ext));
  const std::string dat = testData("e2e/golden/quickstart/p.txt.dat");

  RunResult report = runReport(dir, "p.txt");
  EXPECT_NE(report.status, 0);
  EXPECT_NE(report.err.find("p.txt.dat"), std::string::npos) << report.err;
  EXPECT_EQ(std::count(report.err.begin(), report.err.end(), '\n'), 1) << report.err;
  EXPECT_FALSE(dir.exists("p.txt.report/summary.txt"));

  // A trace line with one value too many, as from a run with another chain count.
  dir.write("p.txt.dat", dat + "11000 0.004 -16 6.8 -10 0.9 0.7 0.2 0.2 0 0.5\n");
  report = runReport(dir, "p.txt");
  EXPECT_NE(report.status, 0);
  EXPECT_NE(report.err.find("p.txt.dat"), std::string::npos) << report.err;

  // A histogram cut short.
  dir.write("p.txt.dat", dat);
  dir.write("p.txt.sig", testData("e2e/golden/quickstart/p.txt.sig").substr(0, 100));
  report = runReport(dir, "p.txt");
  EXPECT_NE(report.status, 0);
  EXPECT_NE(report.err.find("p.txt.sig"), std::string::npos) << report.err;

  EXPECT_NE(runReport(dir, "").status, 0);
}

// A run stopped from the menu during burn-in leaves empty histograms; the
// report says why in one line instead of calling them malformed.
TEST_F(ResultsReport, RunStoppedDuringBurnInGetsOneLineSayingSo) {
  ScratchDir dir;
  ParamSpec p = threeChainRun();
  p.burnIn = 100000000;
  dir.write("p.txt", p.text());
  ASSERT_EQ(runMutloc(dir, {"p.txt"}, "9\n6\n", 120).status, 0);
  ASSERT_EQ(dir.read("p.txt.sig"), "");

  const RunResult report = runReport(dir, "p.txt");
  EXPECT_EQ(report.status, 1);
  EXPECT_NE(report.err.find("stopped during burn-in"), std::string::npos) << report.err;
  EXPECT_EQ(std::count(report.err.begin(), report.err.end(), '\n'), 1) << report.err;
  EXPECT_FALSE(dir.exists("p.txt.report/summary.txt"));
}

}  // namespace
