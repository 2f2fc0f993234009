// The marker table written beside a prepared parameter file (PARAMFILE.markers.tsv):
// where each marker of the map lies on the chromosome, so that locations in
// Morgans can be given in base pairs as well. Depends on the standard library
// only, so that any program of the project can link it.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

struct Marker {
  std::string chromosome;
  long long position = 0;  // base pair, 1-based
  std::string id;          // "." when the site has none
  std::vector<std::string> alleles;  // allele label k is alleles[k - 1]
  double centimorgans = 0;
  double morgans = 0;      // from the first marker; the parameter file's map
  std::vector<double> controlFrequencies;  // by allele label
};

struct MarkerTable {
  std::vector<Marker> markers;
};

// The table as text: a header line, then one tab-separated row per marker.
std::string formatMarkerTable(const MarkerTable& table);

// A map position (Morgans or centimorgans) as the table and the parameter
// file's map write it: fixed notation, at most 10 decimals (no exponent, which
// the parameter file's lists need not accept). Positions on a grid of 1e-10
// read back as the same double.
std::string formatMapValue(double value);

// A text that is, in full, a finite number or a whole number (true), as the
// table's cells must be.
bool parseNumber(const std::string& text, double* value);
bool parseWholeNumber(const std::string& text, long long* value);

// The outcome of reading a table: the table, or a warning that names the file
// and the line at fault.
struct MarkerTableRead {
  std::optional<MarkerTable> table;
  std::string warning;
};

// Reads a table; name is used in the warning. A table needs at least two
// markers, Morgans from 0 strictly increasing and base-pair positions strictly
// increasing on one chromosome.
MarkerTableRead readMarkerTable(std::istream& in, const std::string& name);

// The table beside a parameter file (paramFile + ".markers.tsv"). No file:
// neither a table nor a warning.
MarkerTableRead findMarkerTable(const std::string& paramFile);

// Empty when the table's Morgans are the map's positions (a table written for
// another version of the parameter file would mislead); otherwise a warning.
std::string checkAgainstMap(const MarkerTable& table, const std::vector<double>& map, const std::string& name);

// The base-pair position of a location in Morgans, linear between the two
// markers around it; beyond the first or last marker the nearest pair of
// markers is extended. Needs a table as readMarkerTable accepts it.
double basePairsAt(const MarkerTable& table, double morgans);
