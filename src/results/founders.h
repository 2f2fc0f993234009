// With --sporadic: how often each chain held each patient chromosome
// descended from the founder, over the sampling iterations, and the
// posterior probabilities this gives per row of the patient table.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/binaryio.h"
#include "sampler/chain.h"

// One row of the patient table: a haplotype with its count of chromosomes,
// or an individual's genotype.
struct FounderRow {
  int row = 0;                      // from 1, in the table's order
  int chromosomes = 0;              // the row's count (haplotypes); 1 or 2 (genotypes)
  std::vector<int> alleles;         // as the table holds them (-1: missing)
  double probability = 0;           // posterior probability that a chromosome descends from the founder
  std::vector<double> chains;       // the same per chain
  double both = 0;                  // genetic model 1: that both of the individual's do
};

class FounderTally {
 public:
  FounderTally(const RunSettings& s, int chains);

  // Counts one sampling iteration of every chain.
  void add(const std::vector<Chain>& chains);

  // The counts as bytes, for checkpoints (load throws ShortRecord).
  void save(ByteWriter& out) const;
  void load(ByteReader& in);

  // The patient table's rows with their probabilities: a haplotype row's
  // chromosomes share one (they are exchangeable), averaged over them;
  // with genotypes under genetic model 1, the share of the individual's two
  // chromosomes that descend from the founder. Empty before the first draw.
  std::vector<FounderRow> rows(const RunSettings& s) const;

 private:
  int chains_ = 0;
  int chromosomes_ = 0;            // the leaves
  bool pairs_ = false;             // genetic model 1: leaves 2j and 2j+1 are individual j
  int64_t draws_ = 0;
  std::vector<int64_t> founder_;   // by chain, then chromosome: draws descended from the founder
  std::vector<int64_t> both_;      // by chain, then individual (pairs only): both descended
};

// The table PREFIX.founder.tsv: row, chromosomes, haplotype or genotype,
// founder_probability (with genetic model 1 also both_founder), and one
// column per chain.
void writeFounderTable(std::ostream& out, const std::vector<FounderRow>& rows, const RunSettings& s, int chains);
