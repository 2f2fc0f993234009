#include "results/haplotypes.h"

#include <cmath>
#include <iostream>
#include <string>

namespace {

// Alleles of a leaf row (absolute values), appended to unit from position at.
void copyAlleles(const TreeMatrix& m, int row, int count, HaplotypeRow& unit, int at) {
  const double* cells = m[row] + m.layout.firstAllele;
  for (int j = 0; j < count; j++) unit[at + j] = alleleOf(cells[j]);
}

bool sameHaplotype(const HaplotypeRow& row, const HaplotypeRow& unit, int values) {
  for (int j = 0; j < values; j++)
    if (row[1 + j] != unit[1 + j]) return false;
  return true;
}

// Adds one haplotype (unit[1..values]) to the table. Returns false when the
// table is full and nothing was counted.
bool tally(HaplotypeTable& table, int& used, int capacity, const HaplotypeRow& unit, int values) {
  if (used > 0 && used >= capacity) return false;
  for (int r = 0; r < used; r++)
    if (sameHaplotype(table[r], unit, values)) {
      table[r][0]++;
      return true;
    }
  for (int j = 1; j <= values; j++) table[used][j] = unit[j];
  table[used][0] = 1;
  used++;
  return true;
}

void tallyInto(TallyTable& table, const HaplotypeRow& unit, int values, const std::string& which) {
  const int capacity = static_cast<int>(table.rows.size());
  if (tally(table.rows, table.used, capacity, unit, values) || table.fullReported) return;
  table.fullReported = true;
  std::cout << "Warning: the " << which << " is full (" << capacity
            << " distinct haplotypes); later samples are not tallied in it." << std::endl;
}

// Most frequent first; equal counts keep the order in which they were met.
void sortByCount(HaplotypeTable& table, int used) {
  for (int c = used; c >= 1; c--)
    for (int j = 1; j < c; j++)
      if (table[j - 1][0] < table[j][0]) table[j - 1].swap(table[j]);
}

int64_t totalCount(const HaplotypeTable& table) {
  int64_t total = 0;
  for (const auto& row : table) total += row[0];
  return total;
}

void writeValues(std::ostream& out, const HaplotypeRow& row, int values) {
  for (int j = 1; j <= values; j++) out << row[j] << " ";
  out << "\n";
}

bool isLeaf(const TreeMatrix& m, int r) { return cellInt(m[r][LeftChild]) == -1; }

}  // namespace

HaplotypeTallies makeHaplotypeTallies(const RunSettings& s, int populationRows, int individualRows) {
  const int width = (s.genotypes ? 2 * s.numLoci : s.numLoci) + 1;
  HaplotypeTallies tallies;
  if (s.storesPopHaplotypes()) tallies.population.rows.assign(populationRows, HaplotypeRow(width, 0));
  if (s.storesIndHaplotypes())
    tallies.individuals.assign(s.numChrom, TallyTable{HaplotypeTable(individualRows, HaplotypeRow(width, 0))});
  return tallies;
}

double tallyBytes(const RunSettings& s, int populationRows, int individualRows) {
  const int width = (s.genotypes ? 2 * s.numLoci : s.numLoci) + 1;
  // Every row is a vector of its own: its header, and the heap block of its
  // values with the allocator's 8 bytes, rounded up to 16.
  const double row = 24 + 16 * std::ceil((8.0 * width + 8) / 16);
  double bytes = 0;
  if (s.storesPopHaplotypes()) bytes += populationRows * row;
  if (s.storesIndHaplotypes()) bytes += static_cast<double>(s.numChrom) * (40 + individualRows * row);
  return bytes;
}

void tallyPopulationHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m) {
  const int values = m.layout.alleleColumns;
  HaplotypeRow unit(values + 1, 0);
  for (int r = 0; r < m.rows; r++) {
    if (!isLeaf(m, r)) continue;
    copyAlleles(m, r, values, unit, 1);
    tallyInto(tallies.population, unit, values, "population haplotype table");
  }
}

void writePopulationHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m, std::ostream& out) {
  const int values = m.layout.alleleColumns;
  TallyTable& table = tallies.population;
  sortByCount(table.rows, table.used);
  const int64_t total = totalCount(table.rows);
  for (const auto& row : table.rows) {
    if (row[0] < 1) break;
    out << row[0] << " " << static_cast<double>(row[0]) / total << " ";
    writeValues(out, row, values);
  }
}

void tallyIndividualHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m) {
  const int n = (m.rows + 1) / 2;
  const bool pairs = m.layout.partner;
  const int L = m.layout.loci;
  const int values = pairs ? 2 * L : m.layout.alleleColumns;
  HaplotypeRow unit(values + 1, 0);
  std::vector<bool> handled(n, false);
  for (int r = 0; r < m.rows; r++) {
    if (!isLeaf(m, r)) continue;
    const int individual = cellInt(m[r][m.layout.individualColumn()]);
    if (pairs) {
      if (handled[individual]) continue;
      handled[individual] = true;
      copyAlleles(m, r, L, unit, 1);
      copyAlleles(m, cellInt(m[r][Partner]), L, unit, 1 + L);
    } else {
      copyAlleles(m, r, values, unit, 1);
    }
    tallyInto(tallies.individuals[individual], unit, values,
              "haplotype table of individual " + std::to_string(individual + 1));
  }
}

void writeIndividualHaplotypes(HaplotypeTallies& tallies, const TreeMatrix& m, std::ostream& out) {
  const int n = (m.rows + 1) / 2;
  const bool pairs = m.layout.partner;
  const int values = pairs ? 2 * m.layout.loci : m.layout.alleleColumns;
  const int individuals = pairs ? n / 2 : n;
  for (int b = 0; b < individuals; b++) {
    TallyTable& table = tallies.individuals[b];
    sortByCount(table.rows, table.used);
    const int64_t total = totalCount(table.rows);
    for (const auto& row : table.rows) {
      if (row[0] < 1) break;
      out << b + 1 << " " << row[0] << " " << static_cast<double>(row[0]) / total << " ";
      writeValues(out, row, values);
    }
    out << "\n";
  }
}

void writeFinalHaplotypes(const TreeMatrix& m, std::ostream& out) {
  const int values = m.layout.alleleColumns;
  const int leaves = (m.rows + 1) / 2;
  HaplotypeTable table(leaves, HaplotypeRow(values + 1, 0));
  int used = 0;
  HaplotypeRow unit(values + 1, 0);
  for (int r = 0; r < m.rows; r++) {
    if (!isLeaf(m, r)) continue;
    copyAlleles(m, r, values, unit, 1);
    tally(table, used, leaves, unit, values);
  }
  sortByCount(table, used);
  for (const auto& row : table) {
    if (row[0] < 1) break;
    out << row[0] << " ";
    writeValues(out, row, values);
  }
}

namespace {

void saveTable(ByteWriter& out, const TallyTable& table) {
  out.put<int32_t>(table.used);
  out.put<uint8_t>(table.fullReported);
  for (int r = 0; r < table.used; r++) out.putVector(table.rows[r]);
}

bool loadTable(ByteReader& in, TallyTable& table) {
  const int32_t used = in.get<int32_t>();
  if (used < 0 || used > static_cast<int32_t>(table.rows.size())) return false;
  table.used = used;
  table.fullReported = in.get<uint8_t>() != 0;
  for (int r = 0; r < used; r++) table.rows[r] = in.getVector<int64_t>(table.rows[r].size());
  return true;
}

}  // namespace

void saveTallies(ByteWriter& out, const HaplotypeTallies& tallies) {
  saveTable(out, tallies.population);
  for (const TallyTable& table : tallies.individuals) saveTable(out, table);
}

std::string loadTallies(ByteReader& in, HaplotypeTallies& tallies) {
  if (!loadTable(in, tallies.population)) return "the population haplotype tally does not fit its table";
  for (TallyTable& table : tallies.individuals)
    if (!loadTable(in, table)) return "an individual's haplotype tally does not fit its table";
  return "";
}
