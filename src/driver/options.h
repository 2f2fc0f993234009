// The command line: mutloc [OPTIONS] PARAMFILE.
#pragma once

#include <string>
#include <vector>

#include "driver/rounds.h"
#include "input/settings.h"
#include "sampler/samplingoptions.h"

struct RunOptions {
  std::string paramFile;       // empty when none was given
  std::string prefix;          // -o: output prefix (empty: the parameter file's path)
  bool seedGiven = false;      // --seed overrides the file's "Use fixed random seed"
  long seed = 0;
  bool check = false;          // read and check, say what the run would do, write nothing
  bool quiet = false;          // no per-chain screen lines, no progress line
  bool noMenu = false;         // standard input is not read
  long checkpointEvery = 0;    // write PREFIX.ckpt every N iterations and at a stop (0: never)
  int threads = 0;             // chains updated side by side on this many threads (0: not given)
  bool exactGenealogy = false; // accepted and ignored: the Hastings term is always there now
  bool mix = false;            // the recommended set of the sampling options
  RunLength runLength;         // --chains, --burn-in, --iterations (0: the file's)
  std::string resume;          // checkpoint to continue from
  std::vector<std::string> commandLine;  // the program and its arguments as given
  // Every option that changes sampling (the seed apart). Once parsed, streams
  // is set by every option that runs or couples chains side by side, and
  // hottest defaults to 0.9^heated.
  SamplingOptions sampling;
  // --until-converged and its targets and limits.
  RoundRule rounds;

  // Every output is named PREFIX.<extension>.
  std::string outputPrefix() const { return prefix.empty() ? paramFile : prefix; }
};

// Parses the command line into options. Returns -1 when the run should go on;
// otherwise the status to exit with (0 after --help or --version, 2 after an
// unknown option or a bad value, with a short message on standard error).
int parseOptions(int argc, char** argv, RunOptions& options);
