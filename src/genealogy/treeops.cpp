#include "genealogy/treeops.h"

#include <algorithm>
#include <cmath>

#include "input/check.h"
#include "input/parameters.h"
#include "sampler/random.h"

namespace {
int traversalCounter = 0;  // next free position of the traversal in progress
}

void rotate_nodes(TreeMatrix& m, int n, int32_t* seed) {
  for (int i = 0; i < 2 * n - 1; i++)
    if (ran1(seed) > 0.5) std::swap(m[i][LeftChild], m[i][RightChild]);
}

void getlabelorder(int prev, int node, int total, std::vector<int>& order, const TreeMatrix& m) {
  if (traversalCounter < total && node != -1) {
    getlabelorder(prev, cellInt(m[node][LeftChild]), total, order, m);
    order[traversalCounter++] = cellInt(m[node][Label]);
    getlabelorder(prev, cellInt(m[node][RightChild]), total, order, m);
  }
  if (traversalCounter == total) traversalCounter = 0;
}

void adjcoaltimes(TreeMatrix& m, int n, int32_t* seed) {
  const double age = pset.curMutAge;
  for (int i = 0; i < 2 * n - 1; i++) {
    double& t = m[i][Time];
    if (t > 0) t = t + (2 * ran1(seed) - 1) * stepSize(pset.adjTree);
    if (t < 0) t = -t;
    while (t > age) t = std::fabs(2 * age - t);
  }
}

void reassignnodes(TreeMatrix& p, const TreeMatrix& q, std::vector<int>& order) {
  const int rows = p.rows;
  const int n = (rows + 1) / 2;
  for (int k = n; k <= rows - 1; k++) {
    const int v = cellInt(q[k][Label]);
    const auto at = std::find(order.begin(), order.end(), v);
    // Internal nodes stand between two subtrees in the in-order sequence.
    MUTLOC_CHECK(at != order.end() && at != order.begin() && at + 1 != order.end());
    const int l = *(at - 1);
    const int r = *(at + 1);
    p[v][LeftChild] = l;
    p[v][RightChild] = r;
    p[r][Parent] = v;
    p[l][Parent] = v;
    order.erase(at + 1);
    order.erase(at - 1);
    if (k == rows - 1) p[v][Parent] = -1;
  }
  mysorttreemat(p, rows, p.width, Label);
  for (int r = 0; r < rows; r++) {
    const int parent = cellInt(p[r][Parent]);
    p[r][BranchLength] = parent == -1 ? pset.curMutAge - p[r][Time] : p[parent][Time] - p[r][Time];
  }
}
