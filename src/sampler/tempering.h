// Heated companions (Metropolis-coupled chains): every chain gets K records
// whose targets raise the tree likelihood to a power beta < 1, and after each
// iteration a swap of states between two neighbouring temperatures is
// proposed and accepted by the Metropolis rule. Only the cold records
// (beta = 1) are sampled and reported.
#pragma once

#include <string>
#include <vector>

#include "core/binaryio.h"
#include "core/random.h"
#include "sampler/chain.h"

// The powers of a geometric ladder from 1 down to hottest: beta_j =
// hottest^(j/K), j = 0..K.
std::vector<double> temperatureLadder(int companions, double hottest);

// Exchanges the states of two records (everything their moves write),
// leaving each its temperature, stream, step sizes and acceptance counts.
void swapStates(Chain& a, Chain& b);

// The record's name in messages: "chain c", or "companion k of chain c"
// (both counted from 1).
std::string recordName(const Chain& record);

class Tempering {
 public:
  Tempering() = default;
  // Companion records for every chain: copies of the chain at the powers
  // of the options' ladder (temperatureLadder(heated, hottest)) but 1, each
  // drawing from its own stream and reading the step sizes of its
  // temperature.
  Tempering(const std::vector<Chain>& chains, const SamplingOptions& options, std::vector<Random>& companionStreams,
            std::vector<Random>& swapStreams, std::vector<StepSet>& levelSteps);

  bool active() const { return levels_ > 0; }
  int levels() const { return levels_; }
  std::vector<Chain>& companions() { return companions_; }
  const std::vector<double>& ladder() const { return ladder_; }

  // Every record of the run: the chains, then their companions.
  std::vector<Chain*> records(std::vector<Chain>& chains);
  std::vector<const Chain*> records(const std::vector<Chain>& chains) const;

  // One swap proposal per chain, in chain order: a random neighbouring pair
  // of its temperatures, accepted with probability
  // min(1, exp((beta_i - beta_j) (logLik_j - logLik_i))). A record holding a
  // term no state can have (NaN, +inf) swaps with none, so that the broken
  // state stays with the record where it broke.
  void proposeSwaps(std::vector<Chain>& chains);

  // Proposed and accepted swaps of chain c between temperatures i and i+1.
  long proposed(int c, int i) const { return proposed_[c * levels_ + i]; }
  long acceptedSwaps(int c, int i) const { return accepted_[c * levels_ + i]; }

  void save(ByteWriter& out) const;
  // Reads the companions (shaped like the chains) and the swap counts;
  // returns why they do not fit ("" when they do).
  std::string load(ByteReader& in, const RunSettings& s);

 private:
  Chain& level(std::vector<Chain>& chains, int c, int j) {
    return j == 0 ? chains[c] : companions_[c * levels_ + j - 1];
  }

  int levels_ = 0;
  std::vector<double> ladder_;
  std::vector<Chain> companions_;
  std::vector<Random>* swapStreams_ = nullptr;
  std::vector<long> proposed_, accepted_;
};
