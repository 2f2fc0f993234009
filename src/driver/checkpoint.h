// Checkpoints: the complete state of a run at the end of an iteration, written
// so that a kill at any moment leaves the previous checkpoint whole, and read
// back to continue the run exactly where it stood.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/random.h"
#include "results/founders.h"
#include "results/haplotypes.h"
#include "results/trace.h"
#include "sampler/chain.h"
#include "sampler/sharedcontrol.h"
#include "sampler/tempering.h"
#include "sampler/tuning.h"

// What a checkpoint must match to be resumed.
struct CheckpointIdentity {
  std::string version;     // the program's version
  uint64_t paramHash = 0;  // of the parameter file's bytes
  // Written: every option that changes sampling, as "name=value" words.
  std::string samplingOptions;
  // Read: the "name=value" words of the sampling options given to the
  // resuming run, each of which the checkpoint must hold.
  std::vector<std::string> requiredOptions;
};

// Where the run stood: the last completed iteration (its haplotype tally not
// yet taken) and the lengths of the files that grow during the run.
struct CheckpointPosition {
  long iteration = -1;
  uint64_t datLength = 0;
  uint64_t samplesLength = 0;
  long checkpointEvery = 0;     // the interval the run was writing checkpoints at
  std::string samplingOptions;  // as the checkpoint holds them
};

// The records a checkpoint holds besides its identity and position, shaped
// for the run before reading (every length is checked against them).
struct RunRecords {
  std::vector<std::vector<Random>*> streams;  // every group of random streams
  SharedControl& control;                     // the cold chains' step sizes
  std::vector<StepSet>& levelSteps;           // the companions' step sizes, one set per temperature
  TraceReport& trace;
  HaplotypeTallies& tallies;
  std::vector<Chain>& chains;
  Tempering& tempering;                       // the heated companions (none without heating)
  Tuner* tuner = nullptr;                     // the burn-in tuning, when the run tunes
  FounderTally* founders = nullptr;           // the founder tallies, with --sporadic
};

// Writes the checkpoint to path (through a temporary file that is flushed to
// disk and renamed over it). Throws RunFailure when it cannot be written.
void writeCheckpoint(const std::string& path, const CheckpointIdentity& identity, const CheckpointPosition& position,
                     const RunRecords& records);

// The sampling options a checkpoint names, read from its head without any
// check ("" when it cannot be read that far): what the run must know before
// it can read the parameter file's settings (the run lengths). The checks
// come with readCheckpointHeader.
std::string peekSamplingOptions(const std::string& path);

// Reads and checks the checkpoint's identity and position only: what a run
// needs to know before it can shape the records (its sampling options).
CheckpointPosition readCheckpointHeader(const std::string& path, const CheckpointIdentity& identity,
                                        const RunSettings& s);

// Reads the checkpoint at path into records (shaped for the run of settings
// s) after checking that it is whole and matches identity. Throws RunFailure
// with one line naming the file when it is missing, damaged, or of another
// parameter file, version or set of sampling options.
CheckpointPosition readCheckpoint(const std::string& path, const CheckpointIdentity& identity, const RunSettings& s,
                                  RunRecords& records);

// The same from bytes in memory (path only names the file in messages).
CheckpointPosition parseCheckpoint(const std::string& bytes, const std::string& path,
                                   const CheckpointIdentity& identity, const RunSettings& s, RunRecords& records);
