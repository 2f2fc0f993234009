#include "results/haplotypes.h"

#include <iostream>
#include <string>

#include "input/parameters.h"

int sizething = 1000;
int sizeindthing = 100;
HaplotypeTable hapstate;
std::vector<HaplotypeTable> hapindstate;

namespace {

int tothapstates = 0;                   // rows of hapstate in use
std::vector<int> individualRowsInUse;   // rows in use of every individual's table
bool populationFullReported = false;
std::vector<bool> individualFullReported;

int tableWidth() { return (pset.dataAsGenotypes == 1 ? 2 * pset.numLoci : pset.numLoci) + 1; }

// Alleles of a leaf row (absolute values), appended to unit from position at.
void copyAlleles(const double* row, int count, std::vector<int>& unit, int at) {
  for (int j = 0; j < count; j++) unit[at + j] = alleleOf(row[TMAT + j]);
}

bool sameHaplotype(const std::vector<int>& row, const std::vector<int>& unit, int values) {
  for (int j = 0; j < values; j++)
    if (row[1 + j] != unit[1 + j]) return false;
  return true;
}

// Adds one haplotype (unit[1..values]) to a table with `used` rows in use.
// Returns false when the table is full and nothing was counted.
bool tally(HaplotypeTable& table, int& used, int capacity, const std::vector<int>& unit, int values) {
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

// Most frequent first; equal counts keep the order in which they were met.
void sortByCount(HaplotypeTable& table, int used) {
  for (int c = used; c >= 1; c--)
    for (int j = 1; j < c; j++)
      if (table[j - 1][0] < table[j][0]) table[j - 1].swap(table[j]);
}

long totalCount(const HaplotypeTable& table) {
  long total = 0;
  for (const auto& row : table) total += row[0];
  return total;
}

void writeValues(std::ostream& out, const std::vector<int>& row, int values) {
  for (int j = 1; j <= values; j++) out << row[j] << " ";
  out << "\n";
}

void warnFull(const std::string& which, int capacity) {
  std::cout << "Warning: the " << which << " is full (" << capacity
            << " distinct haplotypes); later samples are not tallied in it." << std::endl;
}

}  // namespace

void makeHaplotypeTables() {
  const int width = tableWidth();
  tothapstates = 0;
  individualRowsInUse.clear();
  populationFullReported = false;
  if (pset.storePopHaplotypes != 0) hapstate.assign(sizething, std::vector<int>(width, 0));
  if (pset.storeIndHaplotypes >= 1)
    hapindstate.assign(pset.numChrom, HaplotypeTable(sizeindthing, std::vector<int>(width, 0)));
}

void haplosave1(const TreeMatrix& m, std::ostream& out, int write) {
  const int values = TOTLOCI;
  std::vector<int> unit(values + 1, 0);
  for (int r = 0; r < m.rows; r++) {
    if (cellInt(m[r][LeftChild]) != -1) continue;
    copyAlleles(m[r], values, unit, 1);
    if (!tally(hapstate, tothapstates, sizething, unit, values) && !populationFullReported) {
      populationFullReported = true;
      warnFull("population haplotype table", sizething);
    }
  }
  if (write == 0) return;
  sortByCount(hapstate, tothapstates);
  const long total = totalCount(hapstate);
  for (const auto& row : hapstate) {
    if (row[0] < 1) break;
    out << row[0] << " " << static_cast<double>(row[0]) / total << " ";
    writeValues(out, row, values);
  }
}

void haplosaveind(const TreeMatrix& m, std::ostream& out, int write) {
  const int n = pset.numChrom;
  const bool pairs = hasPartnerColumn();
  const int L = pset.numLoci;
  const int values = pairs ? 2 * L : TOTLOCI;
  if (individualRowsInUse.empty()) {
    individualRowsInUse.assign(n, 0);
    individualFullReported.assign(n, false);
  }
  std::vector<int> unit(values + 1, 0);
  std::vector<bool> handled(n, false);
  for (int r = 0; r < m.rows; r++) {
    if (cellInt(m[r][LeftChild]) != -1) continue;
    const int individual = cellInt(m[r][individualColumn()]);
    if (pairs) {
      if (handled[individual]) continue;
      handled[individual] = true;
      copyAlleles(m[r], L, unit, 1);
      copyAlleles(m[cellInt(m[r][Partner])], L, unit, 1 + L);
    } else {
      copyAlleles(m[r], values, unit, 1);
    }
    if (!tally(hapindstate[individual], individualRowsInUse[individual], sizeindthing, unit, values) &&
        !individualFullReported[individual]) {
      individualFullReported[individual] = true;
      warnFull("haplotype table of individual " + std::to_string(individual + 1), sizeindthing);
    }
  }
  if (write == 0) return;
  const int individuals = pairs ? n / 2 : n;
  for (int b = 0; b < individuals; b++) {
    HaplotypeTable& table = hapindstate[b];
    sortByCount(table, individualRowsInUse[b]);
    const long total = totalCount(table);
    for (const auto& row : table) {
      if (row[0] < 1) break;
      out << b + 1 << " " << row[0] << " " << static_cast<double>(row[0]) / total << " ";
      writeValues(out, row, values);
    }
    out << "\n";
  }
}

void haplosave3(const TreeMatrix& m, std::ostream& out) {
  const int values = TOTLOCI;
  const int leaves = (m.rows + 1) / 2;
  HaplotypeTable table(leaves, std::vector<int>(values + 1, 0));
  int used = 0;
  std::vector<int> unit(values + 1, 0);
  for (int r = 0; r < m.rows; r++) {
    if (cellInt(m[r][LeftChild]) != -1) continue;
    copyAlleles(m[r], values, unit, 1);
    tally(table, used, leaves, unit, values);
  }
  sortByCount(table, used);
  for (const auto& row : table) {
    if (row[0] < 1) break;
    out << row[0] << " ";
    writeValues(out, row, values);
  }
}
