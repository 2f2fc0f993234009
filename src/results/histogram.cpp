#include "results/histogram.h"

#include <algorithm>
#include <cmath>

#include "core/sorting.h"

namespace {

struct Bars {
  std::vector<double> centre;
  std::vector<int> count;
  std::vector<int> inRegion;
};

// Flags the least populated bars out of the region until they hold at least
// count - floor(level * count) samples; returns the bars kept. The bars are
// left in centre order.
int markRegion(Bars& bars, long count, double level) {
  const int n = static_cast<int>(bars.centre.size());
  sortByIntKey(bars.centre.data(), bars.count.data(), n);
  bars.inRegion.assign(n, 1);
  const double drop = count - std::floor(level * count);
  long dropped = 0;
  int kept = n;
  for (int b = 0; b < n; b++) {
    dropped += bars.count[b];
    bars.inRegion[b] = 0;
    kept--;
    if (dropped >= drop) break;
  }
  sortCarryingTwo(bars.centre.data(), bars.count.data(), bars.inRegion.data(), n);
  return kept;
}

}  // namespace

void HistogramBars::startCounting(int bars) {
  width_ = (high_ - low_) / bars;
  uppers_.resize(bars - 1);
  for (int b = 0; b + 1 < bars; b++) uppers_[b] = low_ + (b + 1) * width_;
  counts_.assign(bars, 0);
}

void HistogramBars::count(double v) {
  // The upper edges never decrease, so the first one above v names its bar.
  counts_[std::upper_bound(uppers_.begin(), uppers_.end(), v) - uppers_.begin()]++;
}

double histogramBytes(int chains, int bars) {
  const double perHistogram = 8.0 * bars + 4.0 * bars;  // upper edges and counts
  const double block = 8.0 * bars + 3 * 4.0 * bars;     // centres, counts, region flags
  return 2.0 * chains * perHistogram + block;
}

void writeHistogram(const HistogramBars& histogram, long count, double alphaLevel, std::ostream& out) {
  static const double kLevels[] = {0.99, 0.95, 0.9, 0.8, 0.5};
  const int bars = static_cast<int>(histogram.counts().size());
  const double width = histogram.width();
  Bars b{std::vector<double>(bars), histogram.counts(), std::vector<int>(bars, 1)};
  for (int k = 0; k < bars; k++) {
    const double lower = k == 0 ? histogram.low() : histogram.low() + k * width;
    b.centre[k] = lower + width / 2;
  }
  markRegion(b, count, 1 - alphaLevel);
  for (int k = 0; k < bars; k++)
    out << b.centre[k] << " " << static_cast<double>(b.count[k]) / count << " " << b.count[k] << " " << b.inRegion[k]
        << "\n";
  for (double level : kLevels) {
    const int kept = markRegion(b, count, level);
    out << level * 100 << "% = " << (b.centre[bars - 1] - b.centre[0]) / bars * kept << " ";
  }
  out << "\n";
}

void writeHistograms(const std::vector<std::vector<double>>& samples, long count, int bars, double alphaLevel,
                     std::ostream& out) {
  for (const auto& s : samples) {
    HistogramBars histogram;
    for (long k = 0; k < count; k++) histogram.widen(s[k]);
    histogram.startCounting(bars);
    for (long k = 0; k < count; k++) histogram.count(s[k]);
    writeHistogram(histogram, count, alphaLevel, out);
  }
}
