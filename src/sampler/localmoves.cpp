#include "sampler/localmoves.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "genealogy/treematrix.h"
#include "model/likelihood.h"
#include "model/priors.h"
#include "sampler/acceptance.h"
#include "sampler/allelemoves.h"
#include "sampler/gibbsmoves.h"
#include "sampler/kernels.h"

namespace {

// The log density of one node time under the node-time prior (one term of
// nodeTimesLogPrior, written the same way).
double timeTerm(double s, double K, double r) {
  const double D = K - (K - 2 * r) * std::exp(-r * s);
  return std::log((1 / (2 * K)) * std::pow(2 * K * r / D, 2)) - r * s;
}

void replaceSortedTime(std::vector<double>& sorted, double from, double to) {
  auto at = std::lower_bound(sorted.begin(), sorted.end(), from);
  if (at != sorted.end() && *at == from) sorted.erase(at);
  sorted.insert(std::upper_bound(sorted.begin(), sorted.end(), to), to);
}

}  // namespace

void moveNodeTimes(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  TreeMatrix& m = chain.tree;
  Random& rng = *chain.rng;
  const double step = chain.steps->nodeTime.load();
  bool changed = false;
  for (int v = 0; v < m.rows; v++) {
    if (!isInternal(m, v)) continue;
    const int left = cellInt(m[v][LeftChild]);
    const int right = cellInt(m[v][RightChild]);
    const int parent = cellInt(m[v][Parent]);
    const double lo = std::max(m[left][Time], m[right][Time]);
    const double hi = parent == -1 ? chain.mutAge : m[parent][Time];
    if (!(hi > lo)) continue;
    const double old = m[v][Time];
    const double proposed = foldIntoRange(old + (2 * rng.uniform() - 1) * step, lo, hi);
    const int rows[3] = {v, left, right};
    double savedLength[3], savedLogLik[3];
    for (int i = 0; i < 3; i++) {
      savedLength[i] = m[rows[i]][BranchLength];
      savedLogLik[i] = m[rows[i]][BranchLogLik];
    }
    m[v][Time] = proposed;
    m[v][BranchLength] = hi - proposed;
    m[left][BranchLength] = proposed - m[left][Time];
    m[right][BranchLength] = proposed - m[right][Time];
    const double newLogLik = rescoreTree(m, branchModelOf(chain, s), Rescore::NodeAndChildren, v);
    const double priorChange = timeTerm(proposed, s.propSampled, s.growthRate) - timeTerm(old, s.propSampled, s.growthRate);
    const double logRatio = chain.beta * (newLogLik - chain.logLik) + priorChange;
    if (proposed > lo && proposed < hi && accepted(std::isnan(logRatio) ? -INFINITY : logRatio, rng)) {
      chain.logLik = newLogLik;
      chain.coalPrior += priorChange;
      replaceSortedTime(chain.sortedTimes, old, proposed);
      chain.accepted[MoveKind::NodeTime]++;
      changed = true;
    } else {
      m[v][Time] = old;
      for (int i = 0; i < 3; i++) {
        m[rows[i]][BranchLength] = savedLength[i];
        restoreBranchLogLik(m, rows[i], savedLogLik[i]);
      }
    }
  }
  // The prior was updated term by term; a fresh sum keeps rounding from
  // accumulating over a run.
  if (changed)
    chain.coalPrior = nodeTimesLogPrior(s.numChrom, chain.sortedTimes, s.propSampled, s.growthRate, chain.mutAge);
}

namespace {

// Node v's children and parent links after exchanging its child `moved` with
// its sibling `sibling` (under v's parent u): v keeps its other child and
// takes the sibling; u takes `moved` in the sibling's place.
void exchange(TreeMatrix& m, int v, int u, int moved, int sibling) {
  double* vr = m[v];
  double* ur = m[u];
  (cellInt(vr[LeftChild]) == moved ? vr[LeftChild] : vr[RightChild]) = sibling;
  (cellInt(ur[LeftChild]) == sibling ? ur[LeftChild] : ur[RightChild]) = moved;
  m[sibling][Parent] = v;
  m[moved][Parent] = u;
  m[sibling][BranchLength] = vr[Time] - m[sibling][Time];
  m[moved][BranchLength] = ur[Time] - m[moved][Time];
}

}  // namespace

void moveExchanges(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  TreeMatrix& m = chain.tree;
  Random& rng = *chain.rng;
  const int firstAllele = m.layout.firstAllele;
  const int L = s.numLoci;
  std::vector<int>& old = chain.scratch.internalSaved;
  std::vector<int>& drawn = chain.scratch.internalProposal;
  for (int v = 0; v < m.rows; v++) {
    if (!isInternal(m, v) || cellInt(m[v][Parent]) == -1) continue;
    const int u = cellInt(m[v][Parent]);
    const int moved = rng.uniform() < 0.5 ? cellInt(m[v][LeftChild]) : cellInt(m[v][RightChild]);
    const int sibling = cellInt(m[u][LeftChild]) == v ? cellInt(m[u][RightChild]) : cellInt(m[u][LeftChild]);
    // The sibling can hang below v only when it is younger.
    if (!(m[sibling][Time] < m[v][Time])) continue;
    const int kept = cellInt(m[v][LeftChild]) == moved ? cellInt(m[v][RightChild]) : cellInt(m[v][LeftChild]);
    const int touched[4] = {v, kept, sibling, moved};
    double savedLogLik[4];
    for (int i = 0; i < 4; i++) savedLogLik[i] = m[touched[i]][BranchLogLik];
    for (int k = 0; k < L; k++) old[k] = alleleOf(m[v][firstAllele + k]);
    const double oldLogLik = chain.logLik;

    // Forward: the new neighbourhood, then v's alleles drawn locus by locus.
    exchange(m, v, u, moved, sibling);
    const double forward = redrawNodeAlleles(chain, s, v, nullptr, drawn);
    const BranchModel model = branchModelOf(chain, s);
    rescoreTree(m, model, Rescore::NodeAndChildren, v);
    const double newLogLik = rescoreTree(m, model, Rescore::Node, moved);
    double proposedLogLik[4];
    for (int i = 0; i < 4; i++) proposedLogLik[i] = m[touched[i]][BranchLogLik];
    // Reverse: the old neighbourhood, and the probability of drawing the old
    // alleles back there (which also puts them back).
    exchange(m, v, u, sibling, moved);
    const double reverse = redrawNodeAlleles(chain, s, v, &old, drawn);
    // Drawn alleles the conditionals gave no mass: rejected, like a NaN.
    const double logRatio = chain.beta * (newLogLik - oldLogLik) + (reverse - forward);
    if (accepted(std::isnan(logRatio) || forward == -INFINITY ? -INFINITY : logRatio, rng)) {
      exchange(m, v, u, moved, sibling);
      for (int k = 0; k < L; k++) m[v][firstAllele + k] = drawn[k];
      // The same four branches as scored above: their terms, not a rescoring.
      for (int i = 0; i < 4; i++) restoreBranchLogLik(m, touched[i], proposedLogLik[i]);
      chain.logLik = logLikTotal(m);
      chain.accepted[MoveKind::Exchange]++;
    } else {
      for (int i = 0; i < 4; i++) restoreBranchLogLik(m, touched[i], savedLogLik[i]);
    }
  }
}

void moveTreeScale(Chain& chain, const MoveContext& ctx) {
  const RunSettings& s = ctx.settings;
  if (!s.iterAge || s.starGenealogy) return;
  Random& rng = *chain.rng;
  const double u = (2 * rng.uniform() - 1) * chain.steps->scale.load();
  const double c = std::exp(u);
  const double age = chain.mutAge * c;
  // Outside the age bounds the target is 0: rejected without scoring.
  if (!(age >= s.mutAgeLow && age <= s.mutAgeHigh)) return;
  TreeMatrix& proposal = chain.proposalTree;
  copyTree(chain.tree, proposal);
  for (int r = 0; r < proposal.rows; r++) proposal[r][Time] *= c;
  // Lengths from the scaled times, as every other move forms them (scaling
  // the old lengths would round differently).
  for (int r = 0; r < proposal.rows; r++) {
    const int parent = cellInt(proposal[r][Parent]);
    proposal[r][BranchLength] = (parent == -1 ? age : proposal[parent][Time]) - proposal[r][Time];
  }
  std::vector<double>& times = chain.scratch.sortedTimesProposal;
  for (size_t i = 0; i < times.size(); i++) times[i] = chain.sortedTimes[i] * c;
  const int n = s.numChrom;
  const double newLogLik = rescoreTree(proposal, branchModelOf(chain, s), Rescore::All);
  const double timesPrior = nodeTimesLogPrior(n, times, s.propSampled, s.growthRate, age);
  const double agePrior = mutationAgeLogPrior(n, age, s.growthRate, s.propSampled);
  const double logRatio = chain.beta * (newLogLik - chain.logLik) + (timesPrior - chain.coalPrior) +
                   (agePrior - chain.mutAgePrior) + n * u;
  if (!accepted(std::isnan(logRatio) ? -INFINITY : logRatio, rng)) return;
  std::swap(chain.tree, chain.proposalTree);
  chain.sortedTimes = times;
  chain.logLik = newLogLik;
  chain.coalPrior = timesPrior;
  chain.mutAgePrior = agePrior;
  chain.mutAge = age;
  chain.accepted[MoveKind::Scale]++;
}
