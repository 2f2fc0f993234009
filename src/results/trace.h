// Progress lines, the ".dat" trace and the convergence statistic.
#pragma once

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "core/binaryio.h"
#include "sampler/chain.h"

// A duration as h:mm:ss, rounded to the second.
std::string clockText(double seconds);

class TraceReport {
 public:
  // dat is the ".dat" stream, datName its name for the write-failure message.
  TraceReport(const RunSettings& s, std::ostream& dat, std::string datName);

  // The iteration after the last one planned (burn-in + iterations unless
  // set): the last one always has its ".dat" line and progress line.
  void setEnd(long total) { end_ = total; }
  // Text the progress lines end with (the last round's diagnostics).
  void setNote(std::string note) { note_ = std::move(note); }

  // Starts the clock of the progress lines on standard error at iteration t.
  void start(long t = 0);

  // The chain's part of the ".dat" line and its screen line, when due; reads
  // the proportions storeProportions stored for the same iteration.
  void reportChain(const Chain& chain, const SharedControl& control, long t);

  // Ends the ".dat" line, updates the convergence statistic, ends the screen's
  // block of chain lines and writes the progress line on standard error, when
  // due. Throws RunFailure when the ".dat" line cannot be written.
  void endIteration(const std::vector<Chain>& chains, long t);

  // The running state (the convergence statistic and its sums) as bytes,
  // for checkpoints.
  void save(ByteWriter& out) const;
  void load(ByteReader& in);

  // Without screen lines (the per-chain lines, their blank line and the
  // progress line on standard error).
  void setQuiet(bool quiet) { quiet_ = quiet; }

 private:
  bool due(long t, int interval) const;
  void computeConvergence(long t);
  void reportProgress(long t) const;

  const RunSettings& s_;
  std::ostream& dat_;
  std::string datName_;
  double convergence_ = 0;              // last computed potential scale reduction factor
  std::vector<double> locationSum_;     // per chain: running sums of the location
  std::vector<double> locationSumSq_;   //   and of its square (iterations 1 .. t)
  std::chrono::steady_clock::time_point start_;
  long startIteration_ = 0;  // first iteration since start()
  long end_;
  std::string note_;
  bool quiet_ = false;
};
