// Burn-in tuning: every 50 burn-in iterations each step size of every
// temperature is nudged toward a target acceptance proportion (pooled over
// the chains); at the end of burn-in the steps are frozen, so that sampling
// is a valid chain. The redraw probabilities of the root and internal-node
// allele moves are not tuned: aimed at an acceptance proportion they shrink
// until most proposals change nothing.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/binaryio.h"
#include "sampler/chain.h"

class Tuner {
 public:
  // The tuned steps.
  enum Step { Tree, Location, Freq, NodeTime, Scale, kSteps };
  static constexpr long kBatch = 50;

  Tuner() = default;
  // Tunes the cold chains and each temperature of the heated companions.
  Tuner(const SamplingOptions& options, const MoveContext& ctx);

  // After burn-in iteration t of records (every record of the run), with
  // steps[j] the step sizes of temperature j.
  void update(long t, const std::vector<Chain*>& records, const std::vector<StepSet*>& steps);

  void save(ByteWriter& out) const;
  void load(ByteReader& in);

  // The tuned steps' names, and their values in a step set.
  static const std::array<const char*, kSteps>& names();
  static std::array<double, kSteps> valuesOf(StepSet& steps);
  // The tuned steps of one temperature, as text ("tree 1.2, location 0.003, ...").
  static std::string describe(StepSet& steps);

 private:
  // Accepted and proposed moves of each tuned step, summed over the records
  // of one temperature.
  std::array<double, 2 * kSteps> countsOf(const std::vector<Chain*>& records, int level, long iterations) const;

  std::vector<std::array<double, 2 * kSteps>> last_;  // per temperature, at the end of the last batch
  long batches_ = 0;
  const RunSettings* s_ = nullptr;
  MoveOptions moves_;
  int lociPerFreqMove_ = 1;
};
