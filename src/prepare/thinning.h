// Choosing markers among the usable sites.
#pragma once

#include <cstddef>
#include <vector>

// Indices of at most `keep` sites spread evenly over the map: the span from
// the first to the last site is cut into `keep` equal parts and each part
// gives its most informative site (the first one on ties); places left by
// parts without a site go to the most informative sites not yet taken.
// positions must increase; the indices come back increasing.
std::vector<size_t> thinEvenly(const std::vector<double>& positions, const std::vector<double>& information,
                               size_t keep);
