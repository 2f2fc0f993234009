#include "prepare/samples.h"

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "prepare/failure.h"

namespace {

std::ifstream openText(const std::string& file) {
  std::ifstream in(file);
  if (!in) throw PrepareError("Cannot read " + file + ".");
  return in;
}

void requireReadable(std::ifstream& in, const std::string& file) {
  if (in.bad()) throw PrepareError("Cannot read " + file + ".");
}

std::vector<std::string> readIds(const std::string& file) {
  std::ifstream in = openText(file);
  std::vector<std::string> ids;
  std::string line;
  for (int number = 1; std::getline(in, line); number++) {
    std::istringstream words(line);
    std::string id, extra;
    if (!(words >> id)) continue;
    if (words >> extra)
      throw PrepareError(file + " line " + std::to_string(number) + ": one sample ID a line expected.");
    ids.push_back(id);
  }
  requireReadable(in, file);
  if (ids.empty()) throw PrepareError(file + " names no sample.");
  return ids;
}

std::vector<std::string> withoutRepeats(const std::vector<std::string>& ids) {
  std::set<std::string> seen;
  std::vector<std::string> unique;
  for (const std::string& id : ids)
    if (seen.insert(id).second) unique.push_back(id);
  return unique;
}

// A sample listed twice in one role counts once; in both roles it is an error.
void checkRoles(SampleRoles& roles, const std::string& where) {
  roles.cases = withoutRepeats(roles.cases);
  roles.controls = withoutRepeats(roles.controls);
  const std::set<std::string> cases(roles.cases.begin(), roles.cases.end());
  for (const std::string& id : roles.controls)
    if (cases.count(id)) throw PrepareError("Sample " + id + " is both a case and a control (" + where + ").");
}

}  // namespace

SampleRoles readSampleLists(const std::string& casesFile, const std::string& controlsFile) {
  SampleRoles roles{readIds(casesFile), readIds(controlsFile)};
  checkRoles(roles, casesFile + ", " + controlsFile);
  return roles;
}

SampleRoles readPhenotypes(const std::string& file) {
  std::ifstream in = openText(file);
  SampleRoles roles;
  std::string line;
  for (int number = 1; std::getline(in, line); number++) {
    std::istringstream words(line);
    const std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
    if (w.empty()) continue;
    if (w[0][0] == '#' || (number == 1 && w[0] == "FID")) continue;  // a header
    // FID IID PHENO (more columns after it are other phenotypes), or a
    // .fam's six columns FID IID father mother sex PHENO.
    if (w.size() < 3)
      throw PrepareError(file + " line " + std::to_string(number) +
                         ": FID IID PHENO, or the six columns of a .fam file, expected.");
    const std::string& iid = w[1];
    const std::string& pheno = w.size() == 6 ? w[5] : w[2];
    if (pheno == "2")
      roles.cases.push_back(iid);
    else if (pheno == "1")
      roles.controls.push_back(iid);
    else
      roles.unknown++;
  }
  requireReadable(in, file);
  checkRoles(roles, file);
  if (roles.cases.empty() || roles.controls.empty())
    throw PrepareError(file + " names no " + (roles.cases.empty() ? "case (PHENO 2)." : "control (PHENO 1)."));
  return roles;
}
