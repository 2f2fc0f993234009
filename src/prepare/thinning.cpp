#include "prepare/thinning.h"

#include <algorithm>

std::vector<size_t> thinEvenly(const std::vector<double>& positions, const std::vector<double>& information,
                               size_t keep) {
  const size_t n = positions.size();
  std::vector<size_t> chosen;
  if (n <= keep) {
    for (size_t k = 0; k < n; k++) chosen.push_back(k);
    return chosen;
  }
  const double first = positions.front(), span = positions.back() - first;
  std::vector<bool> taken(n, false);
  std::vector<long> best(keep, -1);  // the chosen site of each part
  for (size_t k = 0; k < n; k++) {
    const size_t part = std::min(keep - 1, static_cast<size_t>((positions[k] - first) / span * keep));
    if (best[part] < 0 || information[k] > information[best[part]]) best[part] = static_cast<long>(k);
  }
  for (long k : best)
    if (k >= 0) taken[k] = true;
  size_t count = static_cast<size_t>(std::count(taken.begin(), taken.end(), true));
  std::vector<size_t> rest;
  for (size_t k = 0; k < n; k++)
    if (!taken[k]) rest.push_back(k);
  std::stable_sort(rest.begin(), rest.end(), [&](size_t a, size_t b) { return information[a] > information[b]; });
  for (size_t k = 0; count < keep; k++, count++) taken[rest[k]] = true;
  for (size_t k = 0; k < n; k++)
    if (taken[k]) chosen.push_back(k);
  return chosen;
}
