#include "prepare/geneticmap.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "markers/markertable.h"
#include "prepare/failure.h"

namespace {

std::string canonicalChromosome(std::string name) {
  if (name.size() > 3 && (name[0] == 'c' || name[0] == 'C') && (name[1] == 'h' || name[1] == 'H') &&
      (name[2] == 'r' || name[2] == 'R'))
    name = name.substr(3);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "23") return "X";
  if (name == "24") return "Y";
  if (name == "26" || name == "M") return "MT";
  return name;
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> all;
  for (std::string w; in >> w;) all.push_back(w);
  return all;
}

}  // namespace

bool sameChromosome(const std::string& a, const std::string& b) {
  return canonicalChromosome(a) == canonicalChromosome(b);
}

GeneticMap uniformMap(double cmPerMb) {
  GeneticMap map;
  map.cmPerMb = cmPerMb;
  return map;
}

GeneticMap readGeneticMap(const std::string& file, const std::string& chromosome) {
  std::ifstream in(file);
  if (!in) throw PrepareError("Cannot read the map " + file + ".");
  GeneticMap map;
  map.file = file;
  map.chromosome = chromosome;
  // Columns of the chromosome, the position and the map position; -1: none.
  int chrColumn = 0, bpColumn = 3, cmColumn = 2;
  size_t columns = 4;
  std::string line;
  bool first = true;
  for (int number = 1; std::getline(in, line); number++) {
    const std::vector<std::string> w = words(line);
    if (w.empty()) continue;
    double ignored = 0;
    if (first && !parseNumber(w.back(), &ignored)) {
      // A header: HapMap-style columns, with or without the chromosome.
      columns = w.size() >= 4 ? 4 : 3;
      chrColumn = columns == 4 ? 0 : -1;
      bpColumn = columns == 4 ? 1 : 0;
      cmColumn = columns == 4 ? 3 : 2;
      first = false;
      continue;
    }
    first = false;
    const std::string where = "The map " + file + " line " + std::to_string(number);
    if (w.size() < columns) throw PrepareError(where + ": " + std::to_string(columns) + " columns expected.");
    if (chrColumn >= 0 && !sameChromosome(w[chrColumn], chromosome)) continue;
    long long position = 0;
    double cm = 0;
    if (!parseWholeNumber(w[bpColumn], &position))
      throw PrepareError(where + ": the base-pair position is not a whole number.");
    if (!parseNumber(w[cmColumn], &cm)) throw PrepareError(where + ": the map position (cM) is not a number.");
    if (position < 1) continue;
    if (!map.positions.empty()) {
      const bool samePlace = position == map.positions.back();
      if (position < map.positions.back() || (samePlace && cm != map.centimorgans.back()))
        throw PrepareError(where + ": the positions should increase.");
      if (cm < map.centimorgans.back()) throw PrepareError(where + ": the map positions (cM) should not decrease.");
      if (samePlace) continue;
    }
    map.positions.push_back(position);
    map.centimorgans.push_back(cm);
  }
  if (in.bad()) throw PrepareError("Cannot read the map " + file + ".");
  if (map.positions.empty()) throw PrepareError("The map " + file + " has no rows for chromosome " + chromosome + ".");
  return map;
}

double centimorgansAt(const GeneticMap& map, const std::string& chromosome, long long position) {
  if (map.file.empty()) return static_cast<double>(position) * map.cmPerMb / 1e6;
  const std::vector<long long>& p = map.positions;
  if (position < p.front() || position > p.back())
    throw PrepareError("The map " + map.file + " does not cover " + chromosome + ":" + std::to_string(position) +
                       " (its rows for that chromosome span " + std::to_string(p.front()) + "-" +
                       std::to_string(p.back()) + ").");
  const size_t right = static_cast<size_t>(std::lower_bound(p.begin(), p.end(), position) - p.begin());
  if (p[right] == position) return map.centimorgans[right];
  const double share = static_cast<double>(position - p[right - 1]) / static_cast<double>(p[right] - p[right - 1]);
  return map.centimorgans[right - 1] + share * (map.centimorgans[right] - map.centimorgans[right - 1]);
}
