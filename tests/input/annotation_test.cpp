// Annotation files: the exons and genes of "mRNA" features, their merging and
// the exon / intron / non-gene entries written to "exons.txt".
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/failure.h"
#include "input/annotation.h"
#include "support/e2e.h"

namespace {

using Pairs = std::vector<std::pair<long, long>>;

Pairs pairsOf(const Intervals& intervals) {
  Pairs pairs;
  for (size_t k = 0; k < intervals.starts.size(); k++) pairs.push_back({intervals.starts[k], intervals.ends[k]});
  return pairs;
}

Annotation scan(const std::string& text) {
  std::istringstream in(text);
  return scanAnnotation(in, "genes.gb");
}

// The message of the RunFailure (status 1) that f throws.
template <typename F>
std::string failureOf(const F& f) {
  try {
    f();
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.status, 1);
    return failure.message;
  }
  ADD_FAILURE() << "no failure";
  return "";
}

struct Segments {
  std::vector<double> positions;
  std::vector<char> letters;
  std::string exonsFile;  // what "exons.txt" would hold
};

// Reads the segments of the annotation file `name` (in a scratch folder)
// holding text, with the first marker at base `first`.
Segments readAnnotation(const std::string& text, double first = 50, const std::string& name = "genes.gb") {
  ScratchDir dir;
  dir.write("genes.gb", text);
  Segments s;
  readAnnotationSegments(dir.file(name), first, s.positions, s.letters);
  s.exonsFile = segmentEntriesText(s.positions, s.letters);
  return s;
}

// Checks the entries against base positions and letters, on the marker scale.
void expectEntries(const Segments& s, const std::vector<long>& bases, const std::string& letters, double first = 50) {
  ASSERT_EQ(s.positions.size(), bases.size());
  EXPECT_EQ(std::string(s.letters.begin(), s.letters.end()), letters);
  std::ostringstream lines;
  for (size_t k = 0; k < bases.size(); k++) {
    const double expected = (bases[k] - first) / 100000000;
    EXPECT_DOUBLE_EQ(s.positions[k], expected) << "entry " << k;
    lines << expected << " " << letters[k] << "\n";
  }
  EXPECT_EQ(s.exonsFile, lines.str());
}

const char* const kJoinFeature =
    "FEATURES             Location/Qualifiers\n"
    "     gene            100..400\n"
    "                     /gene=\"ABC1\"\n"
    "     mRNA            join(100..200,\n"
    "                     300..400)\n"
    "                     /gene=\"ABC1\"\n"
    "                     /product=\"ABC1 protein\"\n"
    "     CDS             join(150..200,300..350)\n"
    "                     /gene=\"ABC1\"\n";

TEST(Annotation, JoinGivesTwoExonsOneGeneAndFiveEntriesOnTheMarkerScale) {
  const Annotation a = scan(kJoinFeature);
  EXPECT_EQ(pairsOf(a.exons), (Pairs{{100, 200}, {300, 400}}));
  EXPECT_EQ(pairsOf(a.genes), (Pairs{{100, 400}}));
  expectEntries(readAnnotation(kJoinFeature), {1, 100, 201, 300, 401}, "neien");
}

TEST(Annotation, ComplementAndPartialEndsReadTheSameNumbers) {
  const Annotation plain = scan("mRNA join(100..200,300..400) /gene=\"A\"");
  for (const char* text : {"mRNA complement(join(100..200,300..400)) /gene=\"A\"",
                           "mRNA join(<100..200,300..>400) /gene=\"A\"",
                           "mRNA complement(join(<100..200,\n300..>400))\n/gene=\"A\""}) {
    const Annotation marked = scan(text);
    EXPECT_EQ(pairsOf(marked.exons), pairsOf(plain.exons)) << text;
    EXPECT_EQ(pairsOf(marked.genes), pairsOf(plain.genes)) << text;
  }
}

Pairs merged(Intervals intervals) {
  mergeIntervals(intervals);
  return pairsOf(intervals);
}

TEST(Annotation, MergingSortsDropsRepeatsAndJoinsOverlappingOrTouchingExons) {
  EXPECT_EQ(merged({{300, 100, 300, 100}, {400, 200, 400, 200}}), (Pairs{{100, 200}, {300, 400}}));
  EXPECT_EQ(merged({{200, 100}, {300, 200}}), (Pairs{{100, 300}}));
  // A contained exon keeps the larger end; abutting exons stay apart.
  EXPECT_EQ(merged({{500, 100, 150, 380}, {600, 400, 200, 450}}), (Pairs{{100, 450}, {500, 600}}));
  EXPECT_EQ(merged({{100, 201}, {200, 300}}), (Pairs{{100, 200}, {201, 300}}));
}

TEST(Annotation, EntriesFollowTheMergedExonsAndTheGeneEnds) {
  const std::string feature = "mRNA join(100..200,300..400) /gene=\"A\"\n";
  expectEntries(readAnnotation(feature + feature), {1, 100, 201, 300, 401}, "neien");
  // Abutting exons are split by an intron entry unless the first ends a gene.
  expectEntries(readAnnotation("mRNA join(100..200,201..300) /gene=\"A\""), {1, 100, 201, 201, 301}, "neien");
  expectEntries(readAnnotation("mRNA 100..200 /gene=\"A\"\nmRNA 201..300 /gene=\"B\""), {1, 100, 201, 201, 301},
                "nenen");
  // Gene ends close exons gene by gene; touching genes merge like exons.
  expectEntries(readAnnotation(feature + "mRNA join(500..600,700..800) /gene=\"B\""),
                {1, 100, 201, 300, 401, 500, 601, 700, 801}, "neieneien");
  expectEntries(readAnnotation("mRNA 100..200 /gene=\"A\"\nmRNA 200..300 /gene=\"B\""), {1, 100, 301}, "nen");
}

TEST(Annotation, AFileWithoutMrnaGivesOneNonGeneEntry) {
  expectEntries(readAnnotation("gene 100..400\n/gene=\"A\"\nCDS 100..200\n/gene=\"A\"\n", 7), {1}, "n", 7);
}

TEST(Annotation, FailuresNameTheFileAndTheOffendingWord) {
  const std::string qualifier = failureOf([] { scan("mRNA join(100..200) /product=\"kinase\" /gene=\"A\""); });
  EXPECT_NE(qualifier.find("genes.gb"), std::string::npos) << qualifier;
  EXPECT_NE(qualifier.find("/product=\"kinase\""), std::string::npos) << qualifier;
  EXPECT_EQ(qualifier.back(), '\n');
  for (const char* endsInside : {"mRNA join(100..200,300..400)\n", "FEATURES\nmRNA"}) {
    const std::string message = failureOf([&] { scan(endsInside); });
    EXPECT_NE(message.find("genes.gb"), std::string::npos) << message;
  }
  const std::string missing = failureOf([] { readAnnotation("", 50, "no-such-file.gb"); });
  EXPECT_EQ(missing.rfind("Couldn't open sequence file ", 0), 0u) << missing;
  EXPECT_NE(missing.find("no-such-file.gb\nCheck spelling\n"), std::string::npos) << missing;
}

}  // namespace
