// Progress lines, the ".dat" trace, the convergence statistic and the periodic
// haplotype tallies.
#pragma once

#include <ostream>
#include <string>

struct ReportStreams {
  std::ostream& dat;        // ".dat" trace
  const std::string& datName;  // its file name, for the write-failure message
  std::ostream& hpf;  // population haplotype tallies
  std::ostream& hin;  // individual haplotype tallies
};

// Starts the clock of the progress lines on standard error.
void startReports();

// Stores chain c's acceptance proportions in props after its moves of iteration t.
void storeProportions(int c, long t);

// Chain c's part of the ".dat" line and its screen line, when due; reads the
// proportions storeProportions stored for the same iteration.
void reportChain(int c, long t, const ReportStreams& out);

// Ends the ".dat" line, updates the convergence statistic, ends the screen's
// block of chain lines and writes the progress line on standard error, when due. Throws RunFailure when the ".dat"
// line cannot be written.
void endIteration(long t, const ReportStreams& out);

// Tallies chain 0's leaf haplotypes at the file-update iterations after burn-in.
void tallyHaplotypes(long t, const ReportStreams& out);
