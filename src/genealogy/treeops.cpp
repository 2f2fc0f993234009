#include "genealogy/treeops.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/check.h"
#include "core/sorting.h"

namespace {

void appendInOrder(const TreeMatrix& m, int node, std::vector<int>& order, int& at) {
  if (node == -1 || at >= m.rows) return;
  appendInOrder(m, cellInt(m[node][LeftChild]), order, at);
  order[at++] = cellInt(m[node][Label]);
  appendInOrder(m, cellInt(m[node][RightChild]), order, at);
}

}  // namespace

void swapChildrenAtRandom(TreeMatrix& m, Random& rng) {
  for (int i = 0; i < m.rows; i++)
    if (rng.uniform() > 0.5) std::swap(m[i][LeftChild], m[i][RightChild]);
}

void inOrderLabels(const TreeMatrix& m, int root, std::vector<int>& order) {
  order.resize(m.rows);
  int at = 0;
  appendInOrder(m, root, order, at);
}

void perturbNodeTimes(TreeMatrix& m, double step, double age, Random& rng) {
  for (int i = 0; i < m.rows; i++) {
    double& t = m[i][Time];
    if (t > 0) t = t + (2 * rng.uniform() - 1) * step;
    if (t < 0) t = -t;
    while (t > age) t = std::fabs(2 * age - t);
  }
}

namespace {

// Images of y in [0, top] under the fold into [0, top] that lie within step
// of x.
int foldImagesNear(double y, double x, double step, double top) {
  const double period = 2 * top;
  int count = 0;
  for (double image : {y, -y}) {
    // image + k period within (x - step, x + step)
    const long first = static_cast<long>(std::ceil((x - step - image) / period));
    for (long k = first; image + k * period < x + step; k++)
      if (std::fabs(image + k * period - x) < step) count++;
  }
  return count;
}

}  // namespace

double perturbationLogRatio(const TreeMatrix& from, const TreeMatrix& to, double step, double fromAge, double toAge) {
  // Folded into the same age the move is symmetric; returning at once also
  // keeps a rounded step (no image counted either way) from scoring log 0.
  if (fromAge == toAge) return 0;
  double logRatio = 0;
  for (int r = 0; r < from.rows; r++) {
    const double t = from[r][Time], u = to[r][Time];
    if (!(t > 0)) continue;
    const int forward = foldImagesNear(u, t, step, toAge);
    const int reverse = foldImagesNear(t, u, step, fromAge);
    // t' came from t, so at least one forward image exists (rounding aside).
    logRatio += std::log(static_cast<double>(reverse) / std::max(forward, 1));
  }
  return logRatio;
}

void timeOrder(const TreeMatrix& m, std::vector<int>& rows) {
  rows.clear();
  for (int r = 0; r < m.rows; r++)
    if (cellInt(m[r][LeftChild]) == -1) rows.push_back(r);
  const size_t leaves = rows.size();
  for (int r = 0; r < m.rows; r++)
    if (cellInt(m[r][LeftChild]) != -1) rows.push_back(r);
  const auto first = rows.begin() + leaves;
  std::sort(first, rows.end(), [&](int a, int b) { return m[a][Time] < m[b][Time]; });
  // Distinct positive internal times have one ascending order, which any sort
  // finds; with a tie the order is the one the row sort leaves.
  bool distinct = first == rows.end() || m[*first][Time] > 0;
  for (auto it = first; distinct && it + 1 < rows.end(); ++it) distinct = m[*it][Time] < m[*(it + 1)][Time];
  if (distinct) return;
  for (int r = 0; r < m.rows; r++) rows[r] = r;
  pivotQuicksort(
      0, m.rows, [&](long i) { return m[rows[i]][Time]; }, [&](long i, long j) { std::swap(rows[i], rows[j]); });
}

void rebuildFromSequence(TreeMatrix& p, const std::vector<int>& byTime, const std::vector<int>& order, double age,
                         SequenceLinks& links) {
  const int rows = p.rows;
  const int n = (rows + 1) / 2;
  // The sequence as a doubly linked list over its positions, so that a node's
  // neighbours are found and removed in constant time.
  std::vector<int>& previous = links.previous;
  std::vector<int>& next = links.next;
  std::vector<int>& positionOf = links.positionOf;
  previous.resize(rows);
  next.resize(rows);
  positionOf.resize(rows);
  for (int i = 0; i < rows; i++) {
    previous[i] = i - 1;
    next[i] = i + 1 < rows ? i + 1 : -1;
    positionOf[order[i]] = i;
  }
  for (int k = n; k <= rows - 1; k++) {
    const int v = cellInt(p[byTime[k]][Label]);
    const int at = positionOf[v];
    // Internal nodes stand between two subtrees in the in-order sequence.
    MUTLOC_CHECK(previous[at] != -1 && next[at] != -1);
    const int leftAt = previous[at];
    const int rightAt = next[at];
    const int l = order[leftAt];
    const int r = order[rightAt];
    p[v][LeftChild] = l;
    p[v][RightChild] = r;
    p[r][Parent] = v;
    p[l][Parent] = v;
    previous[at] = previous[leftAt];
    next[at] = next[rightAt];
    if (previous[at] != -1) next[previous[at]] = at;
    if (next[at] != -1) previous[next[at]] = at;
    if (k == rows - 1) p[v][Parent] = -1;
  }
  for (int r = 0; r < rows; r++) {
    const int parent = cellInt(p[r][Parent]);
    p[r][BranchLength] = parent == -1 ? age - p[r][Time] : p[parent][Time] - p[r][Time];
  }
}
