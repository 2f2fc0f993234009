#include "markers/markertable.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

const char* const kHeader = "index\tchromosome\tposition\tid\talleles\tcM\tmorgans\tcontrol_frequencies";
constexpr size_t kColumns = 8;

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

template <typename T>
std::string join(const std::vector<T>& values, std::string (*format)(const T&)) {
  std::string text;
  for (size_t k = 0; k < values.size(); k++) text += (k ? "," : "") + format(values[k]);
  return text;
}

std::string asIs(const std::string& s) { return s; }

std::string frequency(const double& f) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", f);
  return text;
}

// One row; returns "" or what is wrong with it.
std::string parseRow(const std::string& line, size_t expectedIndex, Marker* marker) {
  const std::vector<std::string> cells = split(line, '\t');
  if (cells.size() != kColumns) return std::to_string(kColumns) + " tab-separated columns expected";
  long long index = 0;
  if (!parseWholeNumber(cells[0], &index) || index != static_cast<long long>(expectedIndex))
    return "the index should be " + std::to_string(expectedIndex);
  marker->chromosome = cells[1];
  if (marker->chromosome.empty()) return "no chromosome";
  if (!parseWholeNumber(cells[2], &marker->position) || marker->position < 1) return "the position is not a base pair";
  marker->id = cells[3];
  marker->alleles = split(cells[4], ',');
  for (const std::string& allele : marker->alleles)
    if (allele.empty()) return "an empty allele";
  if (!parseNumber(cells[5], &marker->centimorgans)) return "the cM column is not a number";
  if (!parseNumber(cells[6], &marker->morgans)) return "the morgans column is not a number";
  marker->controlFrequencies.clear();
  for (const std::string& cell : split(cells[7], ',')) {
    double f = 0;
    if (!parseNumber(cell, &f) || f < 0 || f > 1) return "a control frequency is not a number from 0 to 1";
    marker->controlFrequencies.push_back(f);
  }
  if (marker->controlFrequencies.size() != marker->alleles.size())
    return "the control frequencies do not match the alleles";
  return "";
}

MarkerTableRead malformed(const std::string& name, const std::string& where) {
  return MarkerTableRead{std::nullopt, "warning: " + name + " is malformed (" + where +
                                           "); locations are given in Morgans only."};
}

}  // namespace

bool parseNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(*value);
}

bool parseWholeNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

std::string formatMapValue(double value) {
  char text[512];  // room for any double in fixed notation
  std::snprintf(text, sizeof text, "%.10f", value);
  std::string fixed = text;
  fixed.erase(fixed.find_last_not_of('0') + 1);
  if (fixed.back() == '.') fixed.pop_back();
  return fixed == "-0" ? "0" : fixed;
}

std::string formatMarkerTable(const MarkerTable& table) {
  std::ostringstream out;
  out << kHeader << "\n";
  for (size_t k = 0; k < table.markers.size(); k++) {
    const Marker& m = table.markers[k];
    out << k + 1 << "\t" << m.chromosome << "\t" << m.position << "\t" << m.id << "\t" << join(m.alleles, asIs)
        << "\t" << formatMapValue(m.centimorgans) << "\t" << formatMapValue(m.morgans) << "\t"
        << join(m.controlFrequencies, frequency) << "\n";
  }
  return out.str();
}

MarkerTableRead readMarkerTable(std::istream& in, const std::string& name) {
  MarkerTable table;
  std::string line;
  size_t lineNumber = 0;
  while (std::getline(in, line)) {
    lineNumber++;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lineNumber == 1) {
      if (line != kHeader) return malformed(name, "line 1 is not the header of a marker table");
      continue;
    }
    if (line.empty()) continue;
    Marker marker;
    const std::string problem = parseRow(line, table.markers.size() + 1, &marker);
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    if (!problem.empty()) return malformed(name, where + problem);
    if (table.markers.empty()) {
      if (marker.morgans != 0) return malformed(name, where + "the first marker should be at 0 Morgans");
    } else {
      const Marker& last = table.markers.back();
      if (marker.chromosome != last.chromosome) return malformed(name, where + "a second chromosome");
      if (!(marker.morgans > last.morgans)) return malformed(name, where + "the Morgans should increase");
      if (!(marker.position > last.position)) return malformed(name, where + "the positions should increase");
    }
    table.markers.push_back(marker);
  }
  if (lineNumber == 0) return malformed(name, "the file is empty");
  if (table.markers.size() < 2) return malformed(name, "fewer than two markers");
  return MarkerTableRead{table, ""};
}

MarkerTableRead findMarkerTable(const std::string& paramFile) {
  const std::string name = paramFile + ".markers.tsv";
  std::ifstream in(name, std::ios::binary);
  if (!in) return MarkerTableRead{};
  return readMarkerTable(in, name);
}

std::string checkAgainstMap(const MarkerTable& table, const std::vector<double>& map, const std::string& name) {
  bool same = table.markers.size() == map.size();
  for (size_t k = 0; same && k < map.size(); k++) same = table.markers[k].morgans == map[k];
  if (same) return "";
  return "warning: " + name + " does not list the markers of the parameter file's map; locations are given in "
                              "Morgans only.";
}

double basePairsAt(const MarkerTable& table, double morgans) {
  const std::vector<Marker>& m = table.markers;
  size_t right = 1;
  while (right + 1 < m.size() && m[right].morgans < morgans) right++;
  const Marker& a = m[right - 1];
  const Marker& b = m[right];
  const double share = (morgans - a.morgans) / (b.morgans - a.morgans);
  return static_cast<double>(a.position) + share * static_cast<double>(b.position - a.position);
}
