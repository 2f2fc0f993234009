// The founder probabilities of a run with --sporadic: PREFIX.founder.tsv and
// the summary's founder_probability and sporadic_share, in the patient
// table's order; and the runs the option refuses.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

std::vector<std::vector<std::string>> tsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

// Eight chromosomes of a haplotype rare in the controls (two of them with an
// allele missing) and two of the controls' commonest.
ParamSpec oneFounderAndTwoOthers() {
  ParamSpec p;
  p.seed = -7;
  p.chromosomes = 10;
  p.loci = 5;
  p.control = "12 2 2 2 2 2\n4 1 1 1 1 1\n6 2 1 2 1 2\n5 1 2 1 2 1\n";
  p.map = "0 0.0025 0.005 0.0075 0.01";
  p.chains = 2;
  p.growth = 0.05;
  p.iterate = "1 1 1 1";
  p.adjust = "2 0.003 0.3 0.3 0.1";
  p.burnIn = 1000;
  p.iterations = 5000;
  p.ageBounds = "1 100";
  p.root = "1 1 1 1 1";
  p.patients = "6 1 1 1 1 1\n2 1 1 1 1 -1\n2 2 2 2 2 2\n";
  return p;
}

TEST(FounderProbabilities, EveryPatientRowInTheTablesOrderWithItsHaplotypeInTheTableAndTheSummary) {
  ScratchDir dir;
  dir.write("p.txt", oneFounderAndTwoOthers().text());
  ASSERT_EQ(runMutloc(dir, {"p.txt", "--no-menu", "-q", "--gibbs", "--sporadic"}).status, 0);
  const auto rows = tsvRows(dir.read("p.txt.founder.tsv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"row", "chromosomes", "haplotype", "founder_probability", "chain1",
                                               "chain2"}));
  const auto summary = nlohmann::json::parse(dir.read("p.txt.summary.json"));
  const auto& founders = summary["founder_probability"];
  ASSERT_EQ(founders.size(), 3u);
  const std::vector<std::string> counts = {"6", "2", "2"}, haplotypes = {"1 1 1 1 1", "1 1 1 1 -1", "2 2 2 2 2"};
  for (int r = 0; r < 3; r++) {
    const auto& row = rows[r + 1];
    ASSERT_EQ(row.size(), 6u);
    EXPECT_EQ(row[0], std::to_string(r + 1));
    EXPECT_EQ(row[1], counts[r]);
    EXPECT_EQ(row[2], haplotypes[r]);
    EXPECT_EQ(founders[r]["row"], r + 1);
    EXPECT_EQ(founders[r]["chromosomes"], std::stoi(counts[r]));
    EXPECT_NEAR(founders[r]["probability"].get<double>(), std::stod(row[3]), 1e-5);
    EXPECT_NEAR(founders[r]["chains"][1].get<double>(), std::stod(row[5]), 1e-5);
    // The pooled probability is the chains' mean (they drew alike).
    EXPECT_NEAR(std::stod(row[3]), (std::stod(row[4]) + std::stod(row[5])) / 2, 1e-5);
  }
  EXPECT_EQ(founders[1]["haplotype"], nlohmann::json({1, 1, 1, 1, -1}));
  EXPECT_GT(std::stod(rows[1][3]), 0.9);
  EXPECT_GT(std::stod(rows[2][3]), 0.9);
  EXPECT_LT(std::stod(rows[3][3]), 0.1) << "the controls' commonest haplotype";
  const auto& share = summary["sporadic_share"]["pooled"];
  EXPECT_GT(share["interval95"][0].get<double>(), 0.0);
  EXPECT_LT(share["median"].get<double>(), 0.5);
  EXPECT_EQ(summary["sporadic_share"]["chains"].size(), 2u);

  // Fixed, the share is given as such; without the option nothing is.
  ASSERT_EQ(runMutloc(dir, {"p.txt", "--no-menu", "-q", "--gibbs", "--sporadic", "--sporadic-share", "0.2", "-o", "f"})
                .status,
            0);
  EXPECT_EQ(nlohmann::json::parse(dir.read("f.summary.json"))["sporadic_share"], nlohmann::json({{"fixed", 0.2}}));
  ASSERT_EQ(runMutloc(dir, {"p.txt", "--no-menu", "-q", "--gibbs", "-o", "q"}).status, 0);
  EXPECT_FALSE(dir.exists("q.founder.tsv"));
  EXPECT_FALSE(nlohmann::json::parse(dir.read("q.summary.json")).contains("founder_probability"));
}

TEST(FounderProbabilities, GenotypesGiveOneRowPerIndividualAndUnderGeneticModel1BothChromosomes) {
  for (int model : {0, 1}) {
    SCOPED_TRACE("genetic model " + std::to_string(model));
    ParamSpec p = oneFounderAndTwoOthers();
    p.genotypes = 1;
    p.model = model;
    p.chromosomes = 8;
    p.patients = "1 1 1 1 1 2 1 1 1 1\n1 1 1 1 1 1 -1 1 1 1\n2 2 2 2 2 2 1 2 2 2\n1 2 1 2 1 2 1 2 1 2\n";
    ScratchDir dir;
    dir.write("p.txt", p.text());
    ASSERT_EQ(runMutloc(dir, {"p.txt", "--no-menu", "-q", "--mix", "--sporadic"}).status, 0);
    const auto rows = tsvRows(dir.read("p.txt.founder.tsv"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0][2], "genotype");
    EXPECT_EQ(rows[0][3], "founder_probability");
    EXPECT_EQ(rows[0][4], model == 1 ? "both_founder" : "chain1");
    EXPECT_EQ(rows[2][1], model == 1 ? "2" : "1");
    EXPECT_EQ(rows[2][2], "1/1 1/1 1/1 -1/1 1/1");
    for (size_t r = 1; r < rows.size(); r++) {
      const double p = std::stod(rows[r][3]);
      EXPECT_TRUE(p >= 0 && p <= 1) << p;
      // Both of an individual's chromosomes descend at most as often as one.
      if (model == 1) {
        EXPECT_LE(std::stod(rows[r][4]), p);
      }
    }
    const auto summary = nlohmann::json::parse(dir.read("p.txt.summary.json"));
    EXPECT_EQ(summary["founder_probability"][1]["genotype"][3], nlohmann::json({-1, 1}));
    EXPECT_EQ(summary["founder_probability"][0].contains("both_founder"), model == 1);
  }
}

TEST(FounderProbabilities, RunsTheOptionCannotServeAreRefusedBeforeAnyFileIsTouched) {
  ScratchDir dir;
  dir.write("p.txt", oneFounderAndTwoOthers().text());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--gibbs", "--sporadic-share", "0.2"}, {"--gibbs", "--sporadic-prior", "1", "2"},
        {"--sporadic"}, {"--gibbs", "--sporadic", "--sporadic-share", "1"},
        {"--gibbs", "--sporadic", "--sporadic-share", "0.1", "--sporadic-prior", "1", "2"}}) {
    std::vector<std::string> all = {"p.txt", "--no-menu"};
    all.insert(all.end(), args.begin(), args.end());
    const RunResult run = runMutloc(dir, all);
    EXPECT_EQ(run.status, 2) << args.back() << run.err;
  }
  // The founder table cannot be written: a folder holds its name.
  ASSERT_EQ(mkdir(dir.file("p.txt.founder.tsv").c_str(), 0755), 0);
  RunResult run = runMutloc(dir, {"p.txt", "--no-menu", "--mix", "--sporadic"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "p.txt.founder.tsv can't be opened.\n");
  EXPECT_FALSE(dir.exists("p.txt.dat"));
  // Leaves not placed from the patient table.
  ParamSpec old = oneFounderAndTwoOthers();
  old.readOld = 1;
  dir.write("r.txt", old.text());
  run = runMutloc(dir, {"r.txt", "--no-menu", "--mix", "--sporadic"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("--sporadic cannot start from inmat.txt"), std::string::npos) << run.out;
  EXPECT_FALSE(dir.exists("r.txt.log"));
}

}  // namespace
