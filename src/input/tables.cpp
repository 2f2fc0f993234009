#include "input/tables.h"

#include <cctype>
#include <limits>
#include <string>
#include <vector>

#include "core/failure.h"
#include "input/annotation.h"
#include "input/scan.h"

namespace {

// A count of -99 ends the list of control haplotypes.
constexpr int kEndOfCounts = -99;

constexpr int kControlRows = 500;      // allele labels 0..498, then the locus totals
constexpr int kMaxSegmentRows = 10000;
constexpr int kFileNameLimit = 1000;

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

void skipBlanks(std::istream& in) {
  while (isBlank(in.peek())) in.get();
}

bool atLineEnd(std::istream& in) {
  const int c = in.peek();
  return c == '\n' || c == std::char_traits<char>::eof();
}

void addControlAllele(ReaderTables& tables, int label, int locus, int count) {
  const std::string entry = "Numbers of haplotypes in the normal pop";
  if (label > kMaxAlleleLabel) reject("\"" + entry + "\" holds an allele label above 498.");
  if (label < 0) return;  // negative labels do not count toward the locus
  if (label == 0) reject("0's are not allowed as input alleles, please recode");
  tables.controlCounts[label][locus] += count;
  // Later kept as whole numbers of the int type.
  if (tables.controlCounts[label][locus] > std::numeric_limits<int>::max())
    reject("\"" + entry + "\": the counts of allele " + std::to_string(label) + " at marker " +
           std::to_string(locus + 1) + " add up to more than " + std::to_string(std::numeric_limits<int>::max()) +
           ".");
  if (label > tables.largestControlLabel) tables.largestControlLabel = label;
}

bool isSeparator(int c) { return isBlank(c) || c == ',' || c == '/' || c == '\\'; }

void skipSeparators(std::istream& in) {
  while (isSeparator(in.peek())) in.get();
}

void checkPatientRow(const std::vector<int>& row, bool haplotypes, const std::string& entry) {
  if (haplotypes && row[0] < 1)
    reject("The first column of \"" + entry + "\" should hold counts of at least 1.");
  for (size_t k = haplotypes ? 1 : 0; k < row.size(); k++) {
    if (row[k] == 0) reject("0's are not allowed as input alleles, please recode");
    if (row[k] > kMaxAlleleLabel) reject("\"" + entry + "\" holds an allele label above 498.");
  }
}

void readSegmentRows(std::istream& in, SequenceSegments& segments) {
  const std::string entry = "Weights for exons, introns, non-genes";
  for (skipWhite(in); in.peek() != std::char_traits<char>::eof(); skipWhite(in)) {
    const double position = readDouble(in, entry);
    skipBlanks(in);
    const int letter = in.get();
    if (letter != 'e' && letter != 'i' && letter != 'n')
      reject("\"Weights for exons, introns, non-genes\": the second column should be i, e or n.");
    skipBlanks(in);
    if (!atLineEnd(in)) reject("You should have 2 columns for: \"Weights for exons, introns, non genes\".");
    if (segments.start.size() == kMaxSegmentRows)
      reject("\"" + entry + "\" should have at most 10000 segment rows.");
    if (!segments.start.empty() && !(position > segments.start.back()))
      reject("The segment positions of \"" + entry + "\" should be increasing.");
    segments.start.push_back(position);
    segments.letters.push_back(static_cast<char>(letter));
  }
}

// The annotation file's name and the markers' positions in its sequence.
void readAnnotationBlock(std::istream& in, RunSettings& s) {
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
    if (static_cast<int>(positions.size()) > s.numLoci) break;
  }
  if (static_cast<int>(positions.size()) != s.numLoci)
    reject("You should have #loci positive integer for \"The positions of markers in the contig\".");

  const double first = positions[0];
  readAnnotationSegments(fileName, first, s.segments.start, s.segments.letters);
  s.segments.fromAnnotation = true;
  for (int k = 1; k <= s.numLoci; k++) s.mapDist[k] = markerScale(positions[k - 1], first);
}

}  // namespace

void readControlTable(std::istream& in, const RunSettings& s, ReaderTables& tables) {
  const std::string entry = "Numbers of haplotypes in the normal pop";
  locateEntry(in, 'N', entry);
  discardLabelLine(in, entry);
  tables.controlCounts.assign(kControlRows, std::vector<double>(s.numLoci, 0.0));
  skipWhite(in);
  for (;;) {
    int values = 0;
    int count = 0;
    for (skipBlanks(in); !atLineEnd(in); skipBlanks(in)) {
      const int value = readInt(in, entry);
      if (value == kEndOfCounts) {
        if (!skipPast(in, 'M')) reject(endedInside(entry));
        return;
      }
      if (values == 0) {
        if (value < 0) reject("The counts of \"" + entry + "\" should not be negative.");
        count = value;
      } else {
        if (values > s.numLoci) reject("\"" + entry + "\" should have #loci+1 columns.");
        addControlAllele(tables, value, values - 1, count);
      }
      values++;
    }
    if (values != s.numLoci + 1) reject("\"" + entry + "\" should have #loci+1 columns.");
    if (listEnds(in, "M", entry)) return;
  }
}

void readPatientTable(std::istream& in, RunSettings& s) {
  const std::string entry = "Patient haplo- or genotypes:";
  const bool haplotypes = !s.genotypes;
  const size_t width = haplotypes ? s.numLoci + 1 : 2 * s.numLoci;
  std::vector<std::vector<int>> rows;
  discardLabelLine(in, entry);
  skipWhite(in);
  long chromosomes = 0;
  for (;;) {
    std::vector<int> row;
    for (skipSeparators(in); !atLineEnd(in); skipSeparators(in)) {
      row.push_back(readInt(in, entry, ",/\\"));
      if (row.size() > width) break;
    }
    if (row.size() != width)
      reject(" You should have #loci+1 columns for \"Patient haplo- or genotypes:\" if data as genotype is 0 or "
             "#loci column if data as genotype is 1.");
    checkPatientRow(row, haplotypes, entry);
    if (rows.size() == kPatientRows) reject("\"" + entry + "\" should have at most 1000 rows.");
    rows.push_back(row);
    if (haplotypes) {
      if (static_cast<long>(rows.size()) > s.numChrom)
        reject("The rows of \"Patient haplo- or genotypes:\" should less than # chromosomes.");
      chromosomes += row[0];
    }
    if (listEnds(in, "U", entry)) break;
  }

  if (haplotypes && chromosomes != s.numChrom)
    reject("The sum of the numbers in the first column of \"Patient haplo- or genotypes:\" should equal to the # "
           "chromosomes.");
  const size_t individuals = s.genotypesModel1() ? s.numChrom / 2 : s.numChrom;
  if (!haplotypes && rows.size() != individuals)
    reject("\"" + entry + "\" should have one row per individual (" + std::to_string(individuals) + ").");
  if (!s.runSimulation) s.patientRows = std::move(rows);
}

void readSequenceWeights(std::istream& in, RunSettings& s) {
  const std::string entry = "Weights for exons, introns, non-genes";
  SequenceSegments& segments = s.segments;
  locateEntry(in, 'W', entry);
  discardLabelLine(in, entry);
  for (double& weight : segments.weights) {
    weight = readDouble(in, entry);
    // The location prior is the logarithm of a weight; 0 forbids a segment.
    if (weight < 0) reject("\"" + entry + "\" should not be negative.");
  }

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
    readAnnotationBlock(in, s);
  else
    readSegmentRows(in, segments);

  segments.weight.assign(segments.count(), 0.0);
  for (int k = 0; k < segments.count(); k++) {
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(segments.letters[k])));
    segments.weight[k] = letter == 'e' ? segments.weights[0] : letter == 'i' ? segments.weights[1] : segments.weights[2];
  }
}
