// The command line: mutloc [OPTIONS] PARAMFILE.
#pragma once

#include <string>

struct RunOptions {
  std::string paramFile;       // empty when none was given
  std::string prefix;          // -o: output prefix (empty: the parameter file's path)
  bool seedGiven = false;      // --seed overrides the file's "Use fixed random seed"
  long seed = 0;
  bool check = false;          // read and check, say what the run would do, write nothing
  bool quiet = false;          // no per-chain screen lines, no progress line
  bool noMenu = false;         // standard input is not read
  long checkpointEvery = 0;    // write PREFIX.ckpt every N iterations and at a stop (0: never)
  bool streams = false;        // every chain draws from a random stream of its own
  int threads = 0;             // chains updated side by side on this many threads (0: not given)
  bool gibbs = false;          // allele full conditionals and location moves that redraw crossed loci
  bool localMoves = false;     // one-node time moves, neighbour exchanges, whole-tree scaling
  bool symmetricGenealogy = false;  // the genealogy move without the Hastings term of its fold
  bool exactGenealogy = false; // accepted and ignored: the Hastings term is always there now
  int heated = 0;              // heated companions per chain
  double hottest = 0;          // the power of the hottest companion (default 0.9^heated)
  bool smartStart = false;     // starting genealogies built from the data
  bool overdispersed = false;  // starting points spread deliberately apart
  bool tune = false;           // step sizes adapted during burn-in, then frozen
  bool mix = false;            // the recommended set of the above
  std::string resume;          // checkpoint to continue from

  // Streams are implied by every option that runs or couples chains side by side.
  bool ownStreams() const { return streams || threads > 0 || heated > 0; }

  // The options that change sampling, as "name=value" words (the seed apart).
  std::string samplingWords() const;

  // Every output is named PREFIX.<extension>.
  std::string outputPrefix() const { return prefix.empty() ? paramFile : prefix; }
};

// Parses the command line into options. Returns -1 when the run should go on;
// otherwise the status to exit with (0 after --help or --version, 2 after an
// unknown option or a bad value, with a short message on standard error).
int parseOptions(int argc, char** argv, RunOptions& options);
