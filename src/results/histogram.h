// Histograms with credible regions of the sampled mutation locations (".sig")
// and ages (".tre").
#pragma once

#include <ostream>
#include <vector>

// One chain's histogram, built from its samples in any order in two passes:
// every sample widens the extent, then (after startCounting) every sample is
// counted into its bar. The bars are those a walk over the sorted samples
// gives: bar b holds the samples below the upper edge low + (b+1)*width that
// no earlier bar took, the last bar the rest.
class HistogramBars {
 public:
  void widen(double v) {
    if (samples_ == 0 || v < low_) low_ = v;
    if (samples_ == 0 || v > high_) high_ = v;
    samples_++;
  }
  void startCounting(int bars);
  void count(double v);

  double low() const { return low_; }
  double width() const { return width_; }
  const std::vector<int>& counts() const { return counts_; }

 private:
  long samples_ = 0;
  double low_ = 0;
  double high_ = 0;
  double width_ = 0;
  std::vector<double> uppers_;  // upper edges of bars 0 .. bars-2
  std::vector<int> counts_;
};

// Bytes the histograms of every chain take while the run writes them (both
// quantities' bars at once, then one block's working copy), for the memory
// estimate.
double histogramBytes(int chains, int bars);

// Writes one chain's block: one line per bar (centre, relative frequency,
// count, 1 when the bar is in the region that leaves out alphaLevel of the
// count samples), then one line with the region lengths at the levels 99, 95,
// 90, 80 and 50 %.
void writeHistogram(const HistogramBars& histogram, long count, double alphaLevel, std::ostream& out);

// The blocks of every chain from samples held in memory: samples[c] holds
// chain c's samples, the first count of them are used.
void writeHistograms(const std::vector<std::vector<double>>& samples, long count, int bars, double alphaLevel,
                     std::ostream& out);
