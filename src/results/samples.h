// The sampled locations and ages of every chain, kept in a binary file beside
// the outputs (one record per sampling iteration: each chain's location and
// age as doubles, with --sporadic followed by its share of sporadic
// chromosomes), so that memory does not grow with the number of iterations.
// The histograms read it back in two passes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "sampler/chain.h"

class SampleFile {
 public:
  // shares: every chain's record holds its share of sporadic chromosomes too.
  SampleFile(std::string name, int chains, bool shares = false)
      : name_(std::move(name)), chains_(chains), values_(shares ? 3 : 2) {}
  ~SampleFile();
  SampleFile(const SampleFile&) = delete;
  SampleFile& operator=(const SampleFile&) = delete;

  // Bytes of one iteration's record.
  uint64_t recordBytes() const { return static_cast<uint64_t>(chains_) * values_ * sizeof(double); }
  const std::string& name() const { return name_; }

  // Creates or truncates the file (mode 0664), or, when resuming, keeps its
  // first keepBytes bytes and appends after them. Throws RunFailure.
  void open(bool resume = false, uint64_t keepBytes = 0);
  // Appends the chains' samples of this iteration.
  void append(const std::vector<Chain>& chains);
  // Writes out what is buffered; returns the file's length. Throws RunFailure.
  uint64_t flush();
  // Closes and deletes the file.
  void remove();

  // The locations and ages (and shares, when the file holds them) of the
  // first count records, per chain, thinned to at most maxDraws evenly
  // spaced draws per chain.
  struct Draws {
    std::vector<std::vector<double>> locations;
    std::vector<std::vector<double>> ages;
    std::vector<std::vector<double>> shares;  // empty without them
  };
  Draws readDraws(long count, long maxDraws);

  // Writes the location (".sig") and age (".tre") histograms of the first
  // count records. Throws RunFailure when the file cannot be read back.
  void writeHistograms(long count, int bars, double alphaLevel, std::ostream& sig, std::ostream& tre);

 private:
  template <typename Visit>
  void forEachRecord(long count, const Visit& visit);

  std::string name_;
  int chains_;
  int values_;  // per chain and record
  std::FILE* file_ = nullptr;
  std::vector<double> record_;
};
