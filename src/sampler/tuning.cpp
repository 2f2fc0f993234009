#include "sampler/tuning.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

// Target acceptance proportions: near what window moves in a few dimensions
// do best with.
constexpr double kTarget[Tuner::kSteps] = {0.25, 0.3, 0.3, 0.35, 0.3};

// The move whose acceptances steer each tuned step.
constexpr MoveKind kTunedMove[Tuner::kSteps] = {MoveKind::Genealogy, MoveKind::Location, MoveKind::Frequencies,
                                                MoveKind::NodeTime, MoveKind::Scale};

SharedDouble& stepOf(StepSet& steps, int which) {
  SharedDouble* tuned[Tuner::kSteps] = {&steps.tree, &steps.location, &steps.freq, &steps.nodeTime,
                                        &steps.scale};
  return *tuned[which];
}

}  // namespace

Tuner::Tuner(const SamplingOptions& options, const MoveContext& ctx)
    : last_(1 + options.heated), s_(&ctx.settings), moves_(options.moves), lociPerFreqMove_(ctx.lociPerFreqMove) {
  for (auto& counts : last_) counts.fill(0);
}

const std::array<const char*, Tuner::kSteps>& Tuner::names() {
  static const std::array<const char*, kSteps> kNames = {"tree", "location", "frequencies", "node_time", "scale"};
  return kNames;
}

std::array<double, Tuner::kSteps> Tuner::valuesOf(StepSet& steps) {
  std::array<double, kSteps> out{};
  for (int k = 0; k < kSteps; k++) out[k] = stepOf(steps, k).load();
  return out;
}

std::string Tuner::describe(StepSet& steps) {
  std::ostringstream text;
  text.precision(4);
  const auto values = valuesOf(steps);
  for (int k = 0; k < kSteps; k++) text << (k ? ", " : "") << names()[k] << " " << values[k];
  return text.str();
}

std::array<double, 2 * Tuner::kSteps> Tuner::countsOf(const std::vector<Chain*>& records, int level,
                                                      long iterations) const {
  std::array<double, 2 * kSteps> counts{};
  const RunSettings& s = *s_;
  const double internalNodes = s.numChrom - 1;
  const double ageMoves = s.iterAge && !s.starGenealogy ? 1.0 * iterations : 0;
  for (const Chain* chain : records) {
    if (chain->level != level) continue;
    const double proposed[kSteps] = {1.0 * iterations, s.iterLocation ? 1.0 * iterations : 0,
                                     s.iterFreq ? 1.0 * lociPerFreqMove_ * iterations : 0,
                                     moves_.localMoves ? internalNodes * iterations : 0,
                                     moves_.localMoves ? ageMoves : 0};
    for (int k = 0; k < kSteps; k++) {
      counts[k] += static_cast<double>(chain->accepted[kTunedMove[k]]);
      counts[kSteps + k] += proposed[k];
    }
  }
  return counts;
}

void Tuner::update(long t, const std::vector<Chain*>& records, const std::vector<StepSet*>& steps) {
  const RunSettings& s = *s_;
  if (t >= s.burnIn || (t + 1) % kBatch != 0) return;
  batches_++;
  const double gain = 2 / std::sqrt(static_cast<double>(batches_));
  const double lower[kSteps] = {1e-6, 1e-9, 1e-6, 1e-6, 1e-4};
  // A tree step wider than the age range only folds the proposed age around
  // more often; tuned runs keep the cap they always had.
  const double treeUpper =
      s.iterAge && !s.starGenealogy ? std::max(lower[0], std::min(10.0, s.mutAgeHigh - s.mutAgeLow)) : 10;
  const double upper[kSteps] = {treeUpper, std::min(0.5, s.mutLocHigh - s.mutLocLow), 1, std::max(1.0, s.mutAgeHigh),
                                2};
  for (size_t level = 0; level < last_.size(); level++) {
    const auto counts = countsOf(records, static_cast<int>(level), t + 1);
    for (int k = 0; k < kSteps; k++) {
      const double proposed = counts[kSteps + k] - last_[level][kSteps + k];
      if (proposed <= 0) continue;
      const double acceptance = (counts[k] - last_[level][k]) / proposed;
      SharedDouble& step = stepOf(*steps[level], k);
      const double next = step.load() * std::exp(gain * (acceptance - kTarget[k]));
      step = std::clamp(next, lower[k], upper[k]);
    }
    last_[level] = counts;
  }
}

void Tuner::save(ByteWriter& out) const {
  out.put<int64_t>(batches_);
  for (const auto& counts : last_) out.put(counts);
}

void Tuner::load(ByteReader& in) {
  batches_ = in.get<int64_t>();
  for (auto& counts : last_) counts = in.get<std::array<double, 2 * kSteps>>();
}
