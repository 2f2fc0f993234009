#include "sampler/reports.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <iostream>

#include "input/failure.h"
#include "input/parameters.h"
#include "results/haplotypes.h"
#include "sampler/chainstate.h"

namespace {

std::chrono::steady_clock::time_point sweepStart;  // when the first iteration began

long lastIteration() { return pset.burnIn + pset.iterations - 1; }

// Reports fall due at multiples of the interval (0: never) and at the last iteration.
bool due(long t, int interval) { return (interval > 0 && t % interval == 0) || t == lastIteration(); }

void proportions(int c, long t, double out[kMoveKinds]) {
  const ChainState& chain = chains[c];
  const long k = t + 1;
  out[0] = static_cast<double>(chain.acceptTree) / k;
  out[1] = static_cast<double>(chain.acceptMutLoc) / k;
  out[2] = static_cast<double>(chain.acceptRoot) / k;
  out[3] = static_cast<double>(chain.acceptInternal) / ((pset.numChrom - 1) * k);
  out[4] = static_cast<double>(chain.acceptFreq) / (k * lociPerFreqMove);
}

// Gelman-Rubin potential scale reduction factor of the mutation location.
void computeConvergence(long t) {
  const int M = pset.numChains;
  const long k = t + 1;
  double grand = 0;
  for (const auto& chain : chains) grand += chain.mutLocSum;
  double within = 0;
  for (const auto& chain : chains) within += (chain.mutLocSumSq - std::pow(chain.mutLocSum, 2) / k) / t;
  within = (1.0 / M) * within;
  double between = 0;
  for (const auto& chain : chains) between += std::pow(chain.mutLocSum / k - grand / (k * M), 2);
  between = (static_cast<double>(k) / (M - 1)) * between;
  convergenceStat = std::sqrt(((t * within) / k + between / k) / within);
}

std::string clockText(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

// One line on standard error: how far the run is and how long it has left.
// Standard output keeps its own fixed layout.
void reportProgress(long t) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - sweepStart).count();
  const long total = lastIteration() + 1;
  const double remaining = elapsed / (t + 1) * (total - t - 1);
  std::cerr << "mutloc: iteration " << t << " of " << total << " (" << (t < pset.burnIn ? "burn-in" : "sampling")
            << "), " << clockText(elapsed) << " elapsed, about " << clockText(remaining) << " remaining" << std::endl;
}

}  // namespace

void startReports() { sweepStart = std::chrono::steady_clock::now(); }

void storeProportions(int c, long t) {
  double values[kMoveKinds];
  proportions(c, t, values);
  for (int kind = 0; kind < kMoveKinds; kind++) props[kind][c].store(values[kind]);
}

void reportChain(int c, long t, const ReportStreams& out) {
  const ChainState& chain = chains[c];
  const int M = pset.numChains;
  if (due(t, pset.fileUpdate)) {
    const double total = chain.logLik + chain.secondChromLogProb + chain.coalPrior + chain.rootHapLogProb +
                         chain.mutLocPrior + chain.mutAgePrior;
    out.dat << t << " " << pset.mutLocation[c] << " " << total << " " << pset.mutAge[c] << " " << chain.logLik << " ";
    if (pset.storeProps != 0)
      for (int kind = 0; kind < kMoveKinds; kind++) out.dat << props[kind][c].load() << " ";
    if (M > 1 && c == M - 1) out.dat << convergenceStat;
  }
  if (due(t, pset.screenUpdate)) {
    std::cout << t << " " << pset.mutLocation[c] << " " << chain.logLik << " " << pset.mutAge[c];
    for (int kind = 0; kind < kMoveKinds; kind++) std::cout << " " << props[kind][c].load();
    if (c == 0 && M > 1) std::cout << "\t\t" << convergenceStat;
    std::cout << std::endl;
  }
}

void endIteration(long t, const ReportStreams& out) {
  const int M = pset.numChains;
  if (due(t, pset.fileUpdate)) {
    out.dat << "\n" << std::flush;
    if (!out.dat) throw failLine(writeFailure(out.datName));
  }
  if (M > 1 && t >= 1) {
    for (int c = 0; c < M; c++) {
      chains[c].mutLocSum += pset.mutLocation[c];
      chains[c].mutLocSumSq += std::pow(pset.mutLocation[c], 2);
    }
    if ((pset.fileUpdate > 0 && t % pset.fileUpdate == 0) || t == 1) computeConvergence(t);
  }
  if (pset.screenUpdate > 0 && t % pset.screenUpdate == 0) std::cout << std::endl;
  if (due(t, pset.screenUpdate)) reportProgress(t);
}

void tallyHaplotypes(long t, const ReportStreams& out) {
  if (!(t > pset.burnIn && pset.fileUpdate > 0 && t % pset.fileUpdate == 0)) return;
  if (pset.storePopHaplotypes != 0) haplosave1(chains[0].tree, out.hpf, 0);
  if (pset.storeIndHaplotypes != 0) haplosaveind(chains[0].tree, out.hin, 0);
}
