// Tallies of the leaf haplotypes of chain 0's genealogy: over the sampling
// iterations for the whole sample (".hpf") and per individual (".hin"), and of
// the final genealogy (".hap").
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/binaryio.h"
#include "genealogy/treematrix.h"

// Capacities in distinct haplotypes: of the population table, and of each
// individual's table. A full table counts nothing more (and says so once).
constexpr int kPopulationTallyRows = 1000;
constexpr int kIndividualTallyRows = 100;

// A tally table: in each row element 0 is the count, elements 1..W the haplotype.
// 64 bits, since a long run tallies more than 2^31 leaves into one row.
using HaplotypeRow = std::vector<int64_t>;
using HaplotypeTable = std::vector<HaplotypeRow>;

struct TallyTable {
  HaplotypeTable rows;        // as many as the capacity
  int used = 0;               // rows in use
  bool fullReported = false;  // the full-table warning was printed
};

struct HaplotypeTallies {
  TallyTable population;               // when population haplotypes are stored
  std::vector<TallyTable> individuals; // one per leaf, when individual haplotypes are stored
};

// Empty tables as the run's settings ask for them, of the given capacities.
HaplotypeTallies makeHaplotypeTallies(const RunSettings& s, int populationRows = kPopulationTallyRows,
                                      int individualRows = kIndividualTallyRows);

// Bytes the tables of makeHaplotypeTallies take, for the memory estimate.
double tallyBytes(const RunSettings& s, int populationRows = kPopulationTallyRows,
                  int individualRows = kIndividualTallyRows);

// Adds every leaf's haplotype of m to the population table.
void tallyPopulationHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m);
// Sorts the population table (most frequent first) and writes count,
// frequency and alleles per distinct haplotype.
void writePopulationHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m, std::ostream& out);

// Adds each individual's haplotype of m (with genetic model 1 the pair of its
// two leaves) to its table.
void tallyIndividualHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m);
// Writes every individual's tally, an empty line after each.
void writeIndividualHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m, std::ostream& out);

// Tallies and writes the distinct leaf haplotypes of m (count, alleles).
void writeFinalHaplotypes(const TreeMatrix& m, std::ostream& out);

// The tallies as bytes, for checkpoints; loadTallies reads them into tables
// made for the same run and returns why they do not fit ("" when they do).
void saveTallies(ByteWriter& out, const HaplotypeTallies& tallies);
std::string loadTallies(ByteReader& in, HaplotypeTallies& tallies);
