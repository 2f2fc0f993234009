#include "input/tables.h"

#include <cctype>
#include <string>
#include <vector>

#include "input/failure.h"
#include "input/readseq.h"
#include "input/scan.h"

namespace {

constexpr int kControlRows = 500;      // allele labels 0..498, then the locus totals
constexpr int kMaxSegmentRows = 10000;
constexpr int kFileNameLimit = 1000;

[[noreturn]] void reject(const std::string& message) { throw failLine(message); }

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

void skipBlanks(std::istream& in) {
  while (isBlank(in.peek())) in.get();
}

bool atLineEnd(std::istream& in) {
  const int c = in.peek();
  return c == '\n' || c == std::char_traits<char>::eof();
}

// After a table row: skips the line end and white space, then reads one
// character; true when its upper-case form is endLetter (the next label).
bool tableEnds(std::istream& in, char endLetter, const std::string& entry) {
  skipWhite(in);
  const int c = in.get();
  if (c == std::char_traits<char>::eof()) throw failLine(endedInside(entry));
  if (std::toupper(c) == endLetter) return true;
  in.unget();
  return false;
}

// Whole numbers held as doubles, checked to fit an int before truncation.
int truncateCount(double value, const std::string& what) {
  if (!(value > -2147483648.0 && value < 2147483648.0)) reject(what + " is out of range.");
  return static_cast<int>(value);
}

void addControlAllele(ReaderTables& tables, double value, int locus, int count) {
  const std::string entry = "Numbers of haplotypes in the normal pop";
  if (value > kMaxAlleleLabel)
    reject("\"" + entry + "\" holds an allele label above 498.");
  if (value < 0) return;  // negative labels do not count toward the locus
  const int label = static_cast<int>(value);
  if (label == 0) reject("0's are not allowed as input alleles, please recode");
  tables.controlCounts[label][locus] += count;
  if (label > tables.largestControlLabel) tables.largestControlLabel = label;
}

bool isSeparator(int c) { return isBlank(c) || c == ',' || c == '/' || c == '\\'; }

void skipSeparators(std::istream& in) {
  while (isSeparator(in.peek())) in.get();
}

void checkPatientRow(const std::vector<int>& row, const std::string& entry) {
  const bool haplotypes = pset.dataAsGenotypes == 0;
  if (haplotypes && row[0] < 1)
    reject("The first column of \"" + entry + "\" should hold counts of at least 1.");
  for (size_t k = haplotypes ? 1 : 0; k < row.size(); k++) {
    if (row[k] == 0) reject("0's are not allowed as input alleles, please recode");
    if (row[k] > kMaxAlleleLabel) reject("\"" + entry + "\" holds an allele label above 498.");
  }
}

void readSegmentRows(std::istream& in, ReaderTables& tables) {
  const std::string entry = "Weights for exons, introns, non-genes";
  for (skipWhite(in); in.peek() != std::char_traits<char>::eof(); skipWhite(in)) {
    const double position = readDouble(in, entry);
    skipBlanks(in);
    const int letter = in.get();
    if (letter != 'e' && letter != 'i' && letter != 'n')
      reject("\"Weights for exons, introns, non-genes\": the second column should be i, e or n.");
    skipBlanks(in);
    if (!atLineEnd(in)) reject("You should have 2 columns for: \"Weights for exons, introns, non genes\".");
    if (tables.segmentPositions.size() == kMaxSegmentRows)
      reject("\"" + entry + "\" should have at most 10000 segment rows.");
    if (!tables.segmentPositions.empty() && !(position > tables.segmentPositions.back()))
      reject("The segment positions of \"" + entry + "\" should be increasing.");
    tables.segmentPositions.push_back(position);
    tables.segmentLetters.push_back(static_cast<char>(letter));
  }
}

// The annotation file's name and the markers' positions in its sequence.
void readAnnotationBlock(std::istream& in, ReaderTables& tables) {
  const std::string entry = "The positions of markers in the contig";
  discardLabelLine(in, "Weights for exons, introns, non-genes");
  std::string fileName;
  for (int c = in.get(); c != '\n' && c != std::char_traits<char>::eof(); c = in.get()) {
    fileName.push_back(static_cast<char>(c));
    if (fileName.size() >= kFileNameLimit) reject("The name of the sequence file is too long (1000 characters or more).");
  }
  if (!fileName.empty() && fileName.back() == '\r') fileName.pop_back();

  std::vector<double> positions;
  for (skipWhite(in); in.peek() != std::char_traits<char>::eof(); skipWhite(in)) {
    const double position = readDouble(in, entry);
    if (!(position > 0)) reject("\"The positions of markers in the contig\" should be positive integer.");
    if (!positions.empty() && !(position > positions.back()))
      reject("\"The positions of markers in the contig\" should be increasing.");
    positions.push_back(position);
    if (static_cast<int>(positions.size()) > pset.numLoci) break;
  }
  if (static_cast<int>(positions.size()) != pset.numLoci)
    reject("You should have #loci positive integer for \"The positions of markers in the contig\".");
  for (int k = 1; k <= pset.numLoci; k++) pset.mapDist[k] = positions[k - 1];

  int count = 0;
  readseq(tables.segmentPositions, tables.segmentLetters, &count, fileName);
  const double first = pset.mapDist[1];
  for (int k = 1; k <= pset.numLoci; k++) pset.mapDist[k] = markerScale(pset.mapDist[k], first);
  tables.segmentsFromAnnotation = true;
}

}  // namespace

void readControlTable(std::istream& in, ReaderTables& tables) {
  const std::string entry = "Numbers of haplotypes in the normal pop";
  locateEntry(in, 'N', entry);
  discardLabelLine(in, entry);
  tables.controlCounts.assign(kControlRows, std::vector<double>(pset.numLoci, 0.0));
  skipWhite(in);
  for (;;) {
    int values = 0;
    int count = 0;
    for (skipBlanks(in); !atLineEnd(in); skipBlanks(in)) {
      const double value = readDouble(in, entry);
      if (value == -99) {
        if (!eatWhite(in, 'M')) throw failLine(endedInside(entry));
        return;
      }
      if (values == 0) {
        if (value < 0) reject("The counts of \"" + entry + "\" should not be negative.");
        count = truncateCount(value, "A count of \"" + entry + "\"");
      } else {
        if (values > pset.numLoci) reject("\"" + entry + "\" should have #loci+1 columns.");
        addControlAllele(tables, value, values - 1, count);
      }
      values++;
    }
    if (values != pset.numLoci + 1) reject("\"" + entry + "\" should have #loci+1 columns.");
    if (tableEnds(in, 'M', entry)) return;
  }
}

void readPatientTable(std::istream& in, ReaderTables& tables, PatientTable& patientData) {
  const std::string entry = "Patient haplo- or genotypes:";
  const bool haplotypes = pset.dataAsGenotypes == 0;
  const size_t width = haplotypes ? pset.numLoci + 1 : 2 * pset.numLoci;
  discardLabelLine(in, entry);
  skipWhite(in);
  long chromosomes = 0;
  for (;;) {
    std::vector<int> row;
    for (skipSeparators(in); !atLineEnd(in); skipSeparators(in)) {
      row.push_back(readInt(in, entry));
      if (row.size() > width) break;
    }
    if (row.size() != width)
      reject(" You should have #loci+1 columns for \"Patient haplo- or genotypes:\" if data as genotype is 0 or "
             "#loci column if data as genotype is 1.");
    checkPatientRow(row, entry);
    if (tables.patientRows.size() == kPatientRows) reject("\"" + entry + "\" should have at most 1000 rows.");
    tables.patientRows.push_back(row);
    if (haplotypes) {
      if (static_cast<long>(tables.patientRows.size()) > pset.numChrom)
        reject("The rows of \"Patient haplo- or genotypes:\" should less than # chromosomes.");
      chromosomes += row[0];
    }
    if (tableEnds(in, 'U', entry)) break;
  }

  if (haplotypes && chromosomes != pset.numChrom)
    reject("The sum of the numbers in the first column of \"Patient haplo- or genotypes:\" should equal to the # "
           "chromosomes.");
  const size_t individuals = pset.geneticModel == 1 ? pset.numChrom / 2 : pset.numChrom;
  if (!haplotypes && tables.patientRows.size() != individuals)
    reject("\"" + entry + "\" should have one row per individual (" + std::to_string(individuals) + ").");

  if (pset.runSimulation == 0)
    for (size_t r = 0; r < tables.patientRows.size(); r++)
      for (size_t k = 0; k < width; k++) patientData[r][k] = tables.patientRows[r][k];
}

void readSequenceWeights(std::istream& in, ReaderTables& tables) {
  const std::string entry = "Weights for exons, introns, non-genes";
  locateEntry(in, 'W', entry);
  discardLabelLine(in, entry);
  for (double& weight : segweights) weight = readDouble(in, entry);

  // A run of exactly five nines is consumed with the character after it,
  // which goes back only when it is an upper-case I.
  skipWhite(in);
  const auto start = in.tellg();
  int nines = 0;
  while (nines < 6 && in.peek() == '9') {
    in.get();
    nines++;
  }
  if (nines == 5) {
    if (in.get() == 'I') in.unget();
  } else {
    in.clear();
    in.seekg(start);
  }

  skipWhite(in);
  in.clear();
  if (std::toupper(in.peek()) == 'I')
    readAnnotationBlock(in, tables);
  else
    readSegmentRows(in, tables);

  numsegs = static_cast<int>(tables.segmentPositions.size());
  pset.segStart = tables.segmentPositions;
  pset.segWeight.assign(numsegs, 0.0);
  for (int k = 0; k < numsegs; k++) {
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(tables.segmentLetters[k])));
    pset.segWeight[k] = letter == 'e' ? segweights[0] : letter == 'i' ? segweights[1] : segweights[2];
  }
}
