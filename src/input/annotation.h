// Sequence annotation files: exons and genes of every "mRNA" feature, turned
// into the exon / intron / non-gene segments that weight the location prior.
#pragma once

#include <istream>
#include <string>
#include <vector>

// Whole base positions, both ends inclusive.
struct Intervals {
  std::vector<long> starts;
  std::vector<long> ends;
};

struct Annotation {
  Intervals exons;
  Intervals genes;
};

// Converts a contig position to the map scale, relative to the first marker.
inline double markerScale(double position, double first) { return (position - first) / 100000000; }

// Scans an annotation file's text for the location texts of its "mRNA"
// features. fileName only names the file in failure messages.
Annotation scanAnnotation(std::istream& in, const std::string& fileName);

// Sorts the intervals by start, removes repeated ones and merges those that
// overlap or touch at one base.
void mergeIntervals(Intervals& intervals);

// Fills the segment entries (positions and letters e, i, n) from the
// annotation file fileName, on the scale of the markers (firstMarker is the
// first marker's contig position).
void readAnnotationSegments(const std::string& fileName, double firstMarker, std::vector<double>& positions,
                            std::vector<char>& letters);

// The entries as the run writes them to "exons.txt": one line per entry,
// position and letter.
std::string segmentEntriesText(const std::vector<double>& positions, const std::vector<char>& letters);
