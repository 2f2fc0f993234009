// Histograms with credible regions: bar counts, the tie order of equally
// populated bars, the level line and the per-chain blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "results/histogram.h"

namespace {

struct Bar {
  double centre, frequency;
  int count, flag;
};

// Bar lines of chain c (bars lines, then its level line) from Histogram's output.
std::vector<Bar> barsOf(const std::string& text, int bars, int c, std::string* levels = nullptr) {
  std::istringstream in(text);
  std::string line;
  std::vector<Bar> result;
  for (int k = 0; std::getline(in, line); k++) {
    if (k / (bars + 1) != c) continue;
    if (k % (bars + 1) == bars) {
      if (levels) *levels = line;
      continue;
    }
    Bar bar{};
    EXPECT_TRUE(std::istringstream(line) >> bar.centre >> bar.frequency >> bar.count >> bar.flag) << line;
    result.push_back(bar);
  }
  return result;
}

std::string histogram(const std::vector<std::vector<double>>& samples, long count, int bars, double alpha) {
  std::ostringstream out;
  writeHistograms(samples, count, bars, alpha, out);
  return out.str();
}

const std::vector<double> kZeroToNine = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(Histogram, WorkedExampleDropsTheBarTheQuicksortPutsFirstAmongEqualCounts) {
  // Five bars of two samples each: the count sort leaves the bar centred at
  // 6.3 first, so it alone leaves the 80% region.
  const std::string expected =
      "0.9 0.2 2 1\n2.7 0.2 2 1\n4.5 0.2 2 1\n6.3 0.2 2 0\n8.1 0.2 2 1\n"
      "99% = 5.76 95% = 5.76 90% = 5.76 80% = 5.76 50% = 2.88 \n";
  EXPECT_EQ(histogram({kZeroToNine}, 10, 5, 0.2), expected);
  // A run stopped early passes longer arrays; only the first count samples count.
  std::vector<double> stored = kZeroToNine;
  stored.resize(25, 0.0);
  EXPECT_EQ(histogram({stored}, 10, 5, 0.2), expected);
}

TEST(Histogram, AlphaCloseToOneWithFewerThanAThousandSamplesFlagsEveryBarOut) {
  for (const Bar& bar : barsOf(histogram({kZeroToNine}, 10, 5, 0.999), 5, 0)) EXPECT_EQ(bar.flag, 0);
}

TEST(Histogram, EqualSamplesAllFallIntoTheLastBar) {
  std::string levels;
  const std::vector<Bar> bars = barsOf(histogram({{3, 3, 3, 3, 3}}, 5, 4, 0.05), 4, 0, &levels);
  ASSERT_EQ(bars.size(), 4u);
  int full = 0;
  for (const Bar& bar : bars) {
    EXPECT_EQ(bar.centre, 3);
    EXPECT_TRUE(bar.count == 0 || bar.count == 5);
    full += bar.count == 5;
  }
  EXPECT_EQ(full, 1);
  EXPECT_EQ(levels, "99% = 0 95% = 0 90% = 0 80% = 0 50% = 0 ");
}

// Deterministic, unevenly spread samples in ascending order.
std::vector<double> skewedSamples(int count, double power) {
  std::vector<double> s;
  for (int k = 0; k < count; k++) s.push_back(std::pow(std::fmod(k * 0.618034, 1.0), power));
  std::sort(s.begin(), s.end());
  return s;
}

TEST(Histogram, EachChainGetsABlockWhoseRegionKeepsTheFullestBars) {
  const int bars = 20;
  const long count = 997;
  const double alpha = 0.1;
  const std::vector<std::vector<double>> samples = {skewedSamples(count, 2), skewedSamples(count, 0.5)};
  const std::string text = histogram(samples, count, bars, alpha);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * (bars + 1));
  for (int c = 0; c < 2; c++) {
    SCOPED_TRACE("chain " + std::to_string(c));
    double frequencies = 0;
    long counted = 0, inRegion = 0;
    int fullestOut = 0, emptiestIn = count;
    std::string levels;
    const std::vector<Bar> block = barsOf(text, bars, c, &levels);
    for (size_t b = 0; b < block.size(); b++) {
      if (b > 0) { EXPECT_GT(block[b].centre, block[b - 1].centre); }
      frequencies += block[b].frequency;
      counted += block[b].count;
      inRegion += block[b].flag * block[b].count;
      if (block[b].flag) emptiestIn = std::min(emptiestIn, block[b].count);
      if (!block[b].flag) fullestOut = std::max(fullestOut, block[b].count);
    }
    EXPECT_NEAR(frequencies, 1.0, 1e-4);
    EXPECT_EQ(counted, count);
    EXPECT_LE(inRegion, static_cast<long>(std::floor((1 - alpha) * count)));
    EXPECT_LE(fullestOut, emptiestIn);
    // Each chain's block is what the chain alone would give.
    std::string alone;
    barsOf(histogram({samples[c]}, count, bars, alpha), bars, 0, &alone);
    EXPECT_EQ(levels, alone);
  }
}

}  // namespace
