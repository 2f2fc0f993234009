// The end-of-run summary: its keys and their values, and the warning for
// chains that have not mixed.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>

#include "results/summary.h"

namespace {

TEST(Summary, JsonHoldsEstimatesPerChainAndPooledWithDiagnosticsAtThePooledLevel) {
  // Two chains of 0..99, the second shifted by 0.5: medians 49.5 and 50.
  ChainDraws draws(2);
  for (int i = 0; i < 100; i++) {
    draws[0].push_back(i);
    draws[1].push_back(i + 0.5);
  }
  const QuantitySummary location = summarise(draws, 10);
  EXPECT_DOUBLE_EQ(location.chains[0].median, 49.5);
  EXPECT_DOUBLE_EQ(location.chains[1].mean, 50);
  EXPECT_DOUBLE_EQ(location.pooled.median, 49.75);
  SummaryContext context;
  context.seed = -5;
  context.drawsPerChain = 100;
  context.acceptance.assign(kMoveKinds, {0.5, 0.25});
  const auto json = nlohmann::json::parse(summaryJson(location, summarise(draws, 10), context, 100));
  for (const char* quantity : {"location", "age"}) {
    const auto& pooled = json[quantity]["pooled"];
    for (const char* key : {"median", "mean", "mode", "interval95", "rhat", "ess_bulk", "ess_tail"})
      EXPECT_TRUE(pooled.contains(key)) << quantity << " " << key;
    ASSERT_EQ(json[quantity]["chains"].size(), 2u);
    EXPECT_FALSE(json[quantity]["chains"][0].contains("rhat"));
    EXPECT_EQ(json[quantity]["chains"][1]["interval95"].size(), 2u);
  }
  EXPECT_EQ(json["acceptance"]["internal"], (nlohmann::json{0.5, 0.25}));
  EXPECT_EQ(json["seed"], -5);
  EXPECT_EQ(json["draws_used"], 100);
}

TEST(Summary, ChainsThatHaveNotMixedGetAWarningLine) {
  ChainDraws apart(2);
  for (int i = 0; i < 500; i++) {
    apart[0].push_back(i % 7);
    apart[1].push_back(100 + i % 5);
  }
  const QuantitySummary q = summarise(apart, 20);
  std::ostringstream err;
  writeSummaryLines(err, q, q, SummaryContext{});
  EXPECT_NE(err.str().find("mutloc: warning: the location's R-hat is "), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("mode of the histogram "), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("equal-tailed 95% "), std::string::npos) << err.str();
}

// Draws piled against the upper bound 1 (bounds 0..1, 10 bars of 0.1): the
// pooled interval and the second chain's reach within a bar of it.
TEST(Summary, IntervalsWithinABarOfALocationBoundAreNamedAndWarnedAbout) {
  ChainDraws draws(2);
  for (int i = 0; i < 200; i++) {
    draws[0].push_back(0.5 + 0.2 * i / 200);
    draws[1].push_back(0.75 + 0.2 * i / 200);
  }
  const QuantitySummary q = summarise(draws, 10);
  SummaryContext context;
  context.histBars = 10;
  context.locationHigh = 1;
  context.acceptance.assign(kMoveKinds, {0.5, 0.5});
  const std::vector<BoundContact> contacts = intervalsAtBounds(q, context);
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_EQ(contacts[0].interval + " " + contacts[0].bound, "pooled upper");
  EXPECT_EQ(contacts[1].interval + " " + contacts[1].bound, "chain 2 upper");
  std::ostringstream err;
  writeSummaryLines(err, q, q, context);
  EXPECT_NE(err.str().find("(pooled, chain 2) reaches the upper bound, 1, within one histogram bar: the mutation may "
                           "lie outside the region"),
            std::string::npos)
      << err.str();
  const auto json = nlohmann::json::parse(summaryJson(q, q, context, 200));
  EXPECT_EQ(json["location_at_bound"].size(), 2u);
  // Wider bounds hold both intervals: no warning.
  context.locationLow = -1;
  context.locationHigh = 2;
  EXPECT_TRUE(intervalsAtBounds(q, context).empty());
}

TEST(Summary, AStoppedRunSaysSoAndLeavesOutTheEstimatesItHasNoDrawsFor) {
  SummaryContext context;
  context.acceptance.assign(kMoveKinds, {0.5});
  context.completion = RunCompletion{false, 57, 1100, "SIGTERM", "mutloc --resume p.txt.ckpt p.txt"};
  const QuantitySummary none = summarise(ChainDraws(1), 10);
  const auto json = nlohmann::json::parse(summaryJson(none, none, context, 0));
  EXPECT_FALSE(json.contains("location"));
  EXPECT_FALSE(json.contains("age"));
  EXPECT_NE(json["no_draws"].get<std::string>().find("within the burn-in"), std::string::npos);
  EXPECT_EQ(json["completed"], false);
  EXPECT_EQ(json["iterations_done"], 57);
  EXPECT_EQ(json["stopped_by"], "SIGTERM");
  EXPECT_EQ(json["resume_command"], "mutloc --resume p.txt.ckpt p.txt");
  EXPECT_EQ(json.dump().find("null"), std::string::npos) << json.dump();
}

}  // namespace
