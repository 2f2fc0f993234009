#include "results/histogram.h"

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

void writeHistograms(const std::vector<std::vector<double>>& samples, long count, int bars, double alphaLevel,
                     std::ostream& out) {
  static const double kLevels[] = {0.99, 0.95, 0.9, 0.8, 0.5};
  for (const auto& s : samples) {
    const double width = (s[count - 1] - s[0]) / bars;
    Bars histogram{std::vector<double>(bars), std::vector<int>(bars, 0), std::vector<int>(bars, 1)};
    long k = 0;
    for (int b = 0; b < bars; b++) {
      const double lower = b == 0 ? s[0] : s[0] + b * width;
      histogram.centre[b] = lower + width / 2;
      if (b == bars - 1) {
        histogram.count[b] = static_cast<int>(count - k);
      } else {
        const double upper = s[0] + (b + 1) * width;
        for (; k < count && s[k] < upper; k++) histogram.count[b]++;
      }
    }
    markRegion(histogram, count, 1 - alphaLevel);
    for (int b = 0; b < bars; b++)
      out << histogram.centre[b] << " " << static_cast<double>(histogram.count[b]) / count << " "
          << histogram.count[b] << " " << histogram.inRegion[b] << "\n";
    for (double level : kLevels) {
      const int kept = markRegion(histogram, count, level);
      out << level * 100 << "% = " << (histogram.centre[bars - 1] - histogram.centre[0]) / bars * kept << " ";
    }
    out << "\n";
  }
}
