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

TEST(Summary, ChainsThatHaveNotMixedGetAWarningLineEvenWhenQuiet) {
  ChainDraws apart(2);
  for (int i = 0; i < 500; i++) {
    apart[0].push_back(i % 7);
    apart[1].push_back(100 + i % 5);
  }
  const QuantitySummary q = summarise(apart, 20);
  std::ostringstream err;
  writeSummaryLines(err, q, q, SummaryContext{}, true);
  EXPECT_NE(err.str().find("mutloc: warning: the location's R-hat is "), std::string::npos) << err.str();
  EXPECT_EQ(err.str().find("summary over"), std::string::npos) << "quiet: the warnings only";
}

}  // namespace
