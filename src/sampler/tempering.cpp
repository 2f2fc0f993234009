#include "sampler/tempering.h"

#include <cmath>
#include <utility>

#include "sampler/chainstore.h"

std::vector<double> temperatureLadder(int companions, double hottest) {
  std::vector<double> ladder(companions + 1, 1.0);
  for (int j = 1; j <= companions; j++) ladder[j] = std::pow(hottest, static_cast<double>(j) / companions);
  return ladder;
}

void swapStates(Chain& a, Chain& b) { std::swap(static_cast<ChainState&>(a), static_cast<ChainState&>(b)); }

Tempering::Tempering(const std::vector<Chain>& chains, const SamplingOptions& options,
                     std::vector<Random>& companionStreams, std::vector<Random>& swapStreams,
                     std::vector<StepSet>& levelSteps)
    : levels_(options.heated),
      ladder_(temperatureLadder(options.heated, options.hottest)),
      swapStreams_(&swapStreams) {
  const int M = static_cast<int>(chains.size());
  companions_.reserve(static_cast<size_t>(M) * levels_);
  for (int c = 0; c < M; c++)
    for (int j = 1; j <= levels_; j++) {
      Chain companion = chains[c];
      companion.level = j;
      companion.beta = ladder_[j];
      companion.rng = &companionStreams[c * levels_ + j - 1];
      companion.steps = &levelSteps[j - 1];
      companion.accepted = {};
      companions_.push_back(std::move(companion));
    }
  proposed_.assign(static_cast<size_t>(M) * levels_, 0);
  accepted_.assign(static_cast<size_t>(M) * levels_, 0);
}

std::string recordName(const Chain& record) {
  const std::string chain = "chain " + std::to_string(record.index + 1);
  return record.level == 0 ? chain : "companion " + std::to_string(record.level) + " of " + chain;
}

std::vector<const Chain*> Tempering::records(const std::vector<Chain>& chains) const {
  std::vector<const Chain*> all;
  for (const Chain& chain : chains) all.push_back(&chain);
  for (const Chain& companion : companions_) all.push_back(&companion);
  return all;
}

std::vector<Chain*> Tempering::records(std::vector<Chain>& chains) {
  std::vector<Chain*> all;
  for (Chain& chain : chains) all.push_back(&chain);
  for (Chain& companion : companions_) all.push_back(&companion);
  return all;
}

void Tempering::proposeSwaps(std::vector<Chain>& chains) {
  for (int c = 0; c < static_cast<int>(chains.size()); c++) {
    Random& rng = (*swapStreams_)[c];
    const int i = rng.below(levels_);
    Chain& colder = level(chains, c, i);
    Chain& hotter = level(chains, c, i + 1);
    const double logRatio = (colder.beta - hotter.beta) * (hotter.logLik - colder.logLik);
    proposed_[c * levels_ + i]++;
    const double u = rng.uniform();
    if (std::isnan(logRatio) || !(logRatio >= 0 || u < std::exp(logRatio))) continue;
    if (brokenTerm(colder).name || brokenTerm(hotter).name) continue;
    swapStates(colder, hotter);
    accepted_[c * levels_ + i]++;
  }
}

void Tempering::save(ByteWriter& out) const {
  out.putVector(proposed_);
  out.putVector(accepted_);
  for (const Chain& companion : companions_) saveChain(out, companion);
}

std::string Tempering::load(ByteReader& in, const RunSettings& s) {
  proposed_ = in.getVector<long>(proposed_.size());
  accepted_ = in.getVector<long>(accepted_.size());
  for (Chain& companion : companions_) {
    const std::string fault = loadChain(in, s, companion);
    if (!fault.empty()) return "companion of " + fault;
  }
  return "";
}
