#include "results/founders.h"

FounderTally::FounderTally(const RunSettings& s, int chains)
    : chains_(chains),
      chromosomes_(s.numChrom),
      pairs_(s.genotypesModel1()),
      founder_(static_cast<size_t>(chains) * s.numChrom, 0),
      both_(pairs_ ? static_cast<size_t>(chains) * (s.numChrom / 2) : 0, 0) {}

void FounderTally::add(const std::vector<Chain>& chains) {
  const int n = chromosomes_;
  for (int c = 0; c < chains_; c++) {
    const Chain& chain = chains[c];
    for (int i = 0; i < n; i++) founder_[static_cast<size_t>(c) * n + i] += !chain.isSporadic(chain.chromosomeLeaf[i]);
    if (!pairs_) continue;
    for (int j = 0; j < n / 2; j++)
      both_[static_cast<size_t>(c) * (n / 2) + j] +=
          !chain.isSporadic(chain.chromosomeLeaf[2 * j]) && !chain.isSporadic(chain.chromosomeLeaf[2 * j + 1]);
  }
  draws_++;
}

void FounderTally::save(ByteWriter& out) const {
  out.put(draws_);
  out.putVector(founder_);
  out.putVector(both_);
}

void FounderTally::load(ByteReader& in) {
  draws_ = in.get<int64_t>();
  founder_ = in.getVector<int64_t>(founder_.size());
  both_ = in.getVector<int64_t>(both_.size());
  if (draws_ < 0) throw ShortRecord();
  for (int64_t count : founder_)
    if (count < 0 || count > draws_) throw ShortRecord();
  for (int64_t count : both_)
    if (count < 0 || count > draws_) throw ShortRecord();
}

std::vector<FounderRow> FounderTally::rows(const RunSettings& s) const {
  std::vector<FounderRow> rows;
  if (draws_ == 0) return rows;
  const int n = chromosomes_;
  const double draws = static_cast<double>(draws_);
  int first = 0;  // the row's first chromosome
  for (size_t r = 0; r < s.patientRows.size(); r++) {
    const std::vector<int>& data = s.patientRows[r];
    FounderRow row;
    row.row = static_cast<int>(r) + 1;
    row.chromosomes = !s.genotypes ? data[0] : pairs_ ? 2 : 1;
    row.alleles.assign(data.begin() + (s.genotypes ? 0 : 1), data.end());
    int64_t all = 0, both = 0;
    for (int c = 0; c < chains_; c++) {
      int64_t founder = 0;
      for (int i = first; i < first + row.chromosomes; i++) founder += founder_[static_cast<size_t>(c) * n + i];
      row.chains.push_back(static_cast<double>(founder) / (draws * row.chromosomes));
      all += founder;
      if (pairs_) both += both_[static_cast<size_t>(c) * (n / 2) + r];
    }
    row.probability = static_cast<double>(all) / (draws * chains_ * row.chromosomes);
    row.both = static_cast<double>(both) / (draws * chains_);
    rows.push_back(row);
    first += row.chromosomes;
  }
  return rows;
}

void writeFounderTable(std::ostream& out, const std::vector<FounderRow>& rows, const RunSettings& s, int chains) {
  const bool pairs = s.genotypesModel1();
  out << "row\tchromosomes\t" << (s.genotypes ? "genotype" : "haplotype") << "\tfounder_probability";
  if (pairs) out << "\tboth_founder";
  for (int c = 1; c <= chains; c++) out << "\tchain" << c;
  out << "\n";
  for (const FounderRow& row : rows) {
    out << row.row << "\t" << row.chromosomes << "\t";
    // Genotypes as the two alleles of each marker, "1/2 3/3".
    for (size_t k = 0; k < row.alleles.size(); k++)
      out << (k == 0 ? "" : s.genotypes && k % 2 == 1 ? "/" : " ") << row.alleles[k];
    out << "\t" << row.probability;
    if (pairs) out << "\t" << row.both;
    for (double p : row.chains) out << "\t" << p;
    out << "\n";
  }
}
