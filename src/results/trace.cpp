#include "results/trace.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "core/failure.h"

std::string clockText(double seconds) {
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

TraceReport::TraceReport(const RunSettings& s, std::ostream& dat, std::string datName)
    : s_(s), dat_(dat), datName_(std::move(datName)), locationSum_(s.numChains, 0.0), locationSumSq_(s.numChains, 0.0),
      end_(s.burnIn + s.iterations) {}

void TraceReport::start(long t) {
  start_ = std::chrono::steady_clock::now();
  startIteration_ = t;
}

void TraceReport::save(ByteWriter& out) const {
  out.put(convergence_);
  out.putVector(locationSum_);
  out.putVector(locationSumSq_);
}

void TraceReport::load(ByteReader& in) {
  convergence_ = in.get<double>();
  locationSum_ = in.getVector<double>(locationSum_.size());
  locationSumSq_ = in.getVector<double>(locationSumSq_.size());
}

// Reports fall due at multiples of the interval (0: never) and at the last iteration.
bool TraceReport::due(long t, int interval) const {
  return (interval > 0 && t % interval == 0) || t == end_ - 1;
}

// Gelman-Rubin potential scale reduction factor of the mutation location.
void TraceReport::computeConvergence(long t) {
  const int M = s_.numChains;
  const long k = t + 1;
  double grand = 0;
  for (double sum : locationSum_) grand += sum;
  double within = 0;
  for (int c = 0; c < M; c++) within += (locationSumSq_[c] - std::pow(locationSum_[c], 2) / k) / t;
  within = (1.0 / M) * within;
  double between = 0;
  for (double sum : locationSum_) between += std::pow(sum / k - grand / (k * M), 2);
  between = (static_cast<double>(k) / (M - 1)) * between;
  convergence_ = std::sqrt(((t * within) / k + between / k) / within);
}

// One line on standard error: how far the run is and how long it has left.
// Standard output keeps its own fixed layout.
void TraceReport::reportProgress(long t) const {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double remaining = elapsed / (t + 1 - startIteration_) * (end_ - t - 1);
  std::cerr << "mutloc: iteration " << t << " of " << end_ << " (" << (t < s_.burnIn ? "burn-in" : "sampling")
            << "), " << clockText(elapsed) << " elapsed, about " << clockText(remaining) << " remaining" << note_
            << std::endl;
}

void TraceReport::reportChain(const Chain& chain, const SharedControl& control, long t) {
  const int M = s_.numChains;
  const int c = chain.index;
  if (due(t, s_.fileUpdate)) {
    dat_ << t << " " << chain.mutLocation << " " << chain.logPosterior() << " " << chain.mutAge << " " << chain.logLik
         << " ";
    if (s_.storesProps())
      for (int kind = 0; kind < kMoveKinds; kind++) dat_ << control.acceptance[kind][c].load() << " ";
    if (M > 1 && c == M - 1) dat_ << convergence_;
  }
  if (!quiet_ && due(t, s_.screenUpdate)) {
    std::cout << t << " " << chain.mutLocation << " " << chain.logLik << " " << chain.mutAge;
    for (int kind = 0; kind < kMoveKinds; kind++) std::cout << " " << control.acceptance[kind][c].load();
    if (c == 0 && M > 1) std::cout << "\t\t" << convergence_;
    std::cout << std::endl;
  }
}

void TraceReport::endIteration(const std::vector<Chain>& chains, long t) {
  const int M = s_.numChains;
  if (due(t, s_.fileUpdate)) {
    dat_ << "\n" << std::flush;
    if (!dat_) throw failLine(writeFailure(datName_));
  }
  if (M > 1 && t >= 1) {
    for (int c = 0; c < M; c++) {
      locationSum_[c] += chains[c].mutLocation;
      locationSumSq_[c] += std::pow(chains[c].mutLocation, 2);
    }
    if ((s_.fileUpdate > 0 && t % s_.fileUpdate == 0) || t == 1) computeConvergence(t);
  }
  if (quiet_) return;
  if (s_.screenUpdate > 0 && t % s_.screenUpdate == 0) std::cout << std::endl;
  if (due(t, s_.screenUpdate)) reportProgress(t);
}
