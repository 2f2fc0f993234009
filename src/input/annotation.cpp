#include "input/annotation.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "core/failure.h"
#include "core/sorting.h"

namespace {

constexpr size_t kMaxSegmentEntries = 10000;
constexpr long kLargestPosition = 2147483647;

void replaceAll(std::string& text, const std::string& mark) {
  for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark))
    text.replace(at, mark.size(), " ");
}

// Reduces a location text such as "complement(join(<1..20,30..>40))" to blank
// separated numbers.
std::string cleanLocation(std::string text) {
  for (const char* mark : {"complement", "join", ")", "(", "..", ",", ">", "<"}) replaceAll(text, mark);
  for (size_t at = text.find("  "); at != std::string::npos; at = text.find("  ")) text.replace(at, 2, " ");
  return text;
}

struct FeatureScan {
  Annotation annotation;
  bool nextIsStart = true;   // exon starts and ends alternate over the whole file
  long lastNumber = -1;      // last number completed
  long geneStart = -1;       // first number of the current feature
  const std::string& fileName;

  void complete(long number) {
    if (nextIsStart)
      annotation.exons.starts.push_back(number);
    else
      annotation.exons.ends.push_back(number);
    nextIsStart = !nextIsStart;
    if (geneStart < 0) geneStart = number;
    lastNumber = number;
  }

  void scanText(const std::string& word, const std::string& text) {
    long number = 0;
    bool digits = false;
    for (char c : text) {
      if (std::isdigit(static_cast<unsigned char>(c))) {
        number = number * 10 + (c - '0');
        if (number > kLargestPosition)
          throw failLine("Sequence file " + fileName + ": the position in \"" + word + "\" is too large.");
        digits = true;
      } else if (c == ' ') {
        if (digits) complete(number);
        number = 0;
        digits = false;
      } else {
        throw failLine("Sequence file " + fileName + ": unexpected text \"" + word + "\" in an mRNA location.");
      }
    }
  }
};

}  // namespace

Annotation scanAnnotation(std::istream& in, const std::string& fileName) {
  FeatureScan scan{Annotation{}, true, -1, -1, fileName};
  std::string word;
  while (in >> word) {
    if (word != "mRNA") continue;
    if (!(in >> word)) throw failLine("Sequence file " + fileName + " ends inside an mRNA feature.");
    std::string text = word + " ";
    scan.geneStart = -1;
    while (text.compare(0, 5, "/gene") != 0) {
      scan.scanText(word, cleanLocation(text));
      if (!(in >> word)) throw failLine("Sequence file " + fileName + " ends inside an mRNA feature.");
      text = word;
    }
    if (scan.geneStart >= 0) {
      scan.annotation.genes.starts.push_back(scan.geneStart);
      scan.annotation.genes.ends.push_back(scan.lastNumber);
    }
  }
  if (!scan.nextIsStart)
    throw failLine("Sequence file " + fileName + ": an exon start has no end.");
  return scan.annotation;
}

void mergeIntervals(Intervals& intervals) {
  auto& starts = intervals.starts;
  auto& ends = intervals.ends;
  sortByLongKey(ends.data(), starts.data(), static_cast<long>(starts.size()));
  size_t kept = starts.empty() ? 0 : 1;
  for (size_t k = 1; k < starts.size(); k++) {
    if (starts[k] == starts[kept - 1] && ends[k] == ends[kept - 1]) continue;
    starts[kept] = starts[k];
    ends[kept] = ends[k];
    kept++;
  }
  starts.resize(kept);
  ends.resize(kept);
  kept = starts.empty() ? 0 : 1;
  for (size_t k = 1; k < starts.size(); k++) {
    if (starts[k] <= ends[kept - 1]) {
      if (ends[k] > ends[kept - 1]) ends[kept - 1] = ends[k];
      continue;
    }
    starts[kept] = starts[k];
    ends[kept] = ends[k];
    kept++;
  }
  starts.resize(kept);
  ends.resize(kept);
}

void readAnnotationSegments(const std::string& fileName, double firstMarker, std::vector<double>& positions,
                            std::vector<char>& letters) {
  std::ifstream in(fileName);
  if (!in) throw RunFailure{1, "Couldn't open sequence file " + fileName + "\nCheck spelling\n"};
  Annotation annotation = scanAnnotation(in, fileName);
  mergeIntervals(annotation.exons);
  mergeIntervals(annotation.genes);
  const auto& exons = annotation.exons;
  const auto& genes = annotation.genes;
  if (2 * exons.starts.size() + 1 > kMaxSegmentEntries)
    throw failLine("Sequence file " + fileName + " gives more than 10000 segment entries.");

  positions.clear();
  letters.clear();
  auto add = [&](long base, char letter) {
    positions.push_back(markerScale(static_cast<double>(base), firstMarker));
    letters.push_back(letter);
  };
  add(1, 'n');
  size_t gene = 0;
  for (size_t k = 0; k < exons.starts.size(); k++) {
    add(exons.starts[k], 'e');
    const bool geneEnds = gene < genes.ends.size() && exons.ends[k] == genes.ends[gene];
    add(exons.ends[k] + 1, geneEnds ? 'n' : 'i');
    if (geneEnds) gene++;
  }
}

std::string segmentEntriesText(const std::vector<double>& positions, const std::vector<char>& letters) {
  std::ostringstream text;
  for (size_t k = 0; k < positions.size(); k++) text << positions[k] << " " << letters[k] << "\n";
  return text.str();
}
