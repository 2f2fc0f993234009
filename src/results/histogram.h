// Histograms with credible regions of the sampled mutation locations (".sig")
// and ages (".tre").
#pragma once

#include <ostream>
#include <vector>

// samples[c] holds chain c's samples, the first count of them sorted ascending.
// Writes per chain one line per bar (centre, relative frequency, count,
// in-region flag for the region that leaves out alphaLevel) and one line with
// the region lengths at the levels 99, 95, 90, 80 and 50 %.
void writeHistograms(const std::vector<std::vector<double>>& samples, long count, int bars, double alphaLevel,
                     std::ostream& out);
