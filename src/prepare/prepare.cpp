#include "prepare/prepare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/failure.h"
#include "input/ranges.h"
#include "input/reader.h"
#include "markers/markertable.h"
#include "prepare/failure.h"
#include "prepare/geneticmap.h"
#include "prepare/thinning.h"

namespace {

// Map positions are compared and written on a grid of 1e-10 Morgans: two
// sites on the same grid point are one map position, and the Morgans written
// are exact decimals, so the map strictly increases as the program requires.
constexpr double kGridPerCentimorgan = 1e8;
constexpr double kGridPerMorgan = 1e10;
constexpr size_t kListedSites = 10;

std::string count(size_t n, const std::string& thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string siteName(const Site& site) {
  return site.chromosome + ":" + std::to_string(site.position) + (site.id == "." ? "" : " (" + site.id + ")");
}

std::string listOf(const std::vector<std::string>& names) {
  std::string text;
  for (size_t k = 0; k < names.size() && k < kListedSites; k++) text += (k ? ", " : "") + names[k];
  if (names.size() > kListedSites) text += ", ...";
  return text;
}

// Labels 1, 2, ... for the alleles of a marker that the written tables hold,
// in the VCF's order: an allele no kept chromosome carries gets none, since the
// program requires every label up to a marker's largest to occur.
struct Labels {
  std::vector<int> ofAllele;  // allele index -> label; 0: none
  int count = 0;
};

struct Tables {
  std::vector<std::vector<int>> controlHaplotypes;  // allele indices at the chosen markers
  int incompleteControls = 0;
  std::vector<Labels> labels;                       // per chosen marker
};

template <typename Row>
std::vector<std::pair<Row, int>> tally(const std::vector<Row>& rows) {
  std::vector<std::pair<Row, int>> counts;
  std::map<Row, size_t> at;
  for (const Row& row : rows) {
    const auto found = at.find(row);
    if (found != at.end()) {
      counts[found->second].second++;
    } else {
      at.emplace(row, counts.size());
      counts.emplace_back(row, 1);
    }
  }
  return counts;
}

// The shortest text that reads back as the same double: the model values the
// user gives (growth rate, proportion sampled, oldest age) may be far below
// the map's ten decimals.
std::string exactValue(double value) {
  char text[32];
  for (int digits = 1; digits <= 17; digits++) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::string sampler(const PrepareOptions& o, double span, bool genotypes) {
  // The location step is a tenth of the marker span to two significant digits
  // (at least one grid step, at most the 0.5 the sampler allows).
  const double scale = std::pow(10.0, std::floor(std::log10(span / 10)) - 1);
  const double step = std::min(0.5, std::max(1 / kGridPerMorgan, std::round(span / 10 / scale) * scale));
  const long screen = std::max(1L, (o.burnIn + o.iterations) / 20);
  const long file = std::max(1L, o.iterations / 1000);
  std::ostringstream t;
  t << "#chains\n" << o.chains << "\nStarting value for mutation location\n-99\nPopulation growth rate\n"
    << exactValue(o.growth) << "\nProportion of population sampled\n" << exactValue(o.sampled)
    << "\nIterate ancestral state, mutation age, mutation location, allele freq\n1 1 1 1\nFlip all Loci\n0"
    << "\nAdjustment level for tree, recdist, ancestral, and internal states, alleles\n1 " << formatMapValue(step)
    << " 0.3 0.3 0.05\nBurn-in iteration\n" << o.burnIn << "\nIterations\n" << o.iterations
    << "\nScreen and file updates, save acceptance props, save haplotypes, save individual haplotypes\n" << screen
    << " " << file << " 1 1 " << (genotypes ? 1 : 0) << "\nNumber of histogram bars\n40\nAlpha level for recdist\n0.05"
    << "\nMutation age\n-99\nMutation age boundaries\n1 " << exactValue(o.maxAge) << "\nStar genealogy\n0\n";
  return t.str();
}

void writeRow(std::ostream& out, int count, const std::vector<int>& labels) {
  out << count;
  for (int label : labels) out << " " << label;
  out << "\n";
}

}  // namespace

Prepared prepare(const PrepareOptions& o) {
  Prepared result;
  const SampleRoles roles = o.pheno.empty() ? readSampleLists(o.cases, o.controls) : readPhenotypes(o.pheno);
  const VcfSites vcf = readVcfSites(o.vcf, o.region, roles, SiteFilter{o.minMaf, o.maxMissing, o.memoryBudget});
  const std::vector<Site>& sites = vcf.sites;
  const std::string source =
      o.region ? "The region " + o.region->chromosome + ":" + std::to_string(o.region->start) + "-" +
                     std::to_string(o.region->end) + " of " + o.vcf
               : "The VCF " + o.vcf;
  const std::string filtered = count(vcf.sitesRead, "site") + " read; left out: " +
                               std::to_string(vcf.droppedMissing) + " with too many missing alleles, " +
                               std::to_string(vcf.droppedMaf) + " below the control MAF, " +
                               std::to_string(vcf.droppedMonomorphic) + " monomorphic, " +
                               std::to_string(vcf.droppedAlleles) + " with more than 498 alleles";
  const std::string tooFew = source + " has fewer than two usable markers (";
  if (sites.size() < 2) {
    const bool none = vcf.sitesRead == 0 && o.region;
    throw PrepareError(tooFew + filtered + (none ? "; does the file name the chromosome otherwise?" : "") + ").");
  }
  result.notes.push_back(filtered + ".");

  // Map positions; of several sites at one position the first is kept.
  const std::string chromosome = sites.front().chromosome;
  const GeneticMap map = o.map.empty() ? uniformMap(o.cmPerMb) : readGeneticMap(o.map, chromosome);
  std::vector<size_t> usable;
  std::vector<long long> grid;
  std::vector<double> centimorgans;
  std::vector<std::string> samePlace;
  for (size_t k = 0; k < sites.size(); k++) {
    const double cm = centimorgansAt(map, chromosome, sites[k].position);
    const long long point = std::llround(cm * kGridPerCentimorgan);
    if (!grid.empty() && point <= grid.back()) {
      samePlace.push_back(siteName(sites[k]));
      continue;
    }
    usable.push_back(k);
    grid.push_back(point);
    centimorgans.push_back(cm);
  }
  if (!samePlace.empty())
    result.notes.push_back(count(samePlace.size(), "site") +
                           " at the map position of an earlier site left out (the first is kept): " +
                           listOf(samePlace) + ".");
  if (usable.size() < 2) throw PrepareError(tooFew + "all usable sites lie at one map position).");

  // The data mode follows the inheritance and the cases' phasing.
  std::string unphasedCase;
  for (size_t k = 0; k < usable.size() && unphasedCase.empty(); k++)
    for (int s : sites[usable[k]].unphased)
      if (vcf.isCase[s]) {
        unphasedCase = vcf.samples[s] + " at " + siteName(sites[usable[k]]);
        break;
      }
  const bool genotypes = o.dominant || !unphasedCase.empty();
  const int model = o.dominant ? 0 : 1;
  if (o.dominant)
    result.notes.push_back("Dominant inheritance: genotype data, genetic model 0.");
  else if (genotypes)
    result.notes.push_back("The cases are not all phased (" + unphasedCase + "): genotype data, genetic model 1.");

  const int limit = genotypes ? kMaxGenotypeLoci : kMaxHaplotypeLoci;
  if (o.maxMarkers > limit)
    result.notes.push_back("At most " + std::to_string(limit) + " markers for " +
                           (genotypes ? "genotype" : "haplotype") + " data.");
  const size_t keep = static_cast<size_t>(o.maxMarkers > 0 ? std::min(o.maxMarkers, limit) : limit);
  std::vector<double> positions, information;
  for (size_t k = 0; k < usable.size(); k++) {
    positions.push_back(static_cast<double>(grid[k]));
    information.push_back(sites[usable[k]].controlHeterozygosity);
  }
  std::vector<size_t> chosen = thinEvenly(positions, information, keep);
  if (usable.size() > keep)
    result.notes.push_back(std::to_string(usable.size()) + " usable sites thinned to " + std::to_string(keep) +
                           ", the most informative evenly over the map.");
  std::vector<const Site*> markers;
  std::vector<long long> markerGrid;
  std::vector<double> markerCm;
  for (size_t c : chosen) {
    markers.push_back(&sites[usable[c]]);
    markerGrid.push_back(grid[c]);
    markerCm.push_back(centimorgans[c]);
  }
  const size_t loci = markers.size();

  // Controls are counted as haplotypes, so their phase must be known.
  for (const Site* m : markers)
    for (int s : m->unphased)
      if (!vcf.isCase[s])
        throw PrepareError("Control " + vcf.samples[s] + " is not phased at " + siteName(*m) + " in " + o.vcf +
                           ": control haplotypes are counted, so phase the controls first (with a statistical "
                           "phasing tool such as SHAPEIT or Beagle, cases and controls together) and give the "
                           "phased VCF.");

  // Control haplotypes; one with a missing allele cannot be written, since the
  // control table has no code for a missing allele.
  Tables t;
  int cases = 0;
  for (size_t s = 0; s < vcf.samples.size(); s++) {
    if (vcf.isCase[s]) {
      cases++;
      continue;
    }
    for (int k = 0; k < 2; k++) {
      std::vector<int> haplotype;
      for (const Site* m : markers) haplotype.push_back(m->calls[2 * s + k]);
      if (std::count(haplotype.begin(), haplotype.end(), -1) > 0)
        t.incompleteControls++;
      else
        t.controlHaplotypes.push_back(haplotype);
    }
  }
  if (t.controlHaplotypes.empty())
    throw PrepareError("No control haplotype is complete at the " + std::to_string(loci) + " chosen markers of " +
                       o.vcf + "; lower --max-missing.");
  if (t.incompleteControls > 0)
    result.notes.push_back(count(t.incompleteControls, "control haplotype") +
                           " with a missing allele left out of the control table.");
  if (genotypes && model == 0 && cases < 2)
    throw PrepareError("Dominant inheritance needs at least two cases (one genealogy leaf each).");

  // Labels of the alleles the tables hold.
  for (size_t m = 0; m < loci; m++) {
    std::vector<bool> present(markers[m]->alleles.size(), false);
    for (const auto& h : t.controlHaplotypes) present[h[m]] = true;
    for (size_t s = 0; s < vcf.samples.size(); s++)
      for (int k = 0; k < 2; k++) {
        const int a = markers[m]->calls[2 * s + k];
        if (vcf.isCase[s] && a >= 0) present[a] = true;
      }
    Labels labels;
    for (bool p : present) labels.ofAllele.push_back(p ? ++labels.count : 0);
    t.labels.push_back(labels);
  }
  auto label = [&](size_t m, int allele) { return allele < 0 ? -1 : t.labels[m].ofAllele[allele]; };

  // Patient rows: distinct haplotypes with their counts, or one row of
  // genotypes per case.
  std::ostringstream patients;
  std::vector<std::vector<int>> caseChromosomes;
  for (size_t s = 0; s < vcf.samples.size(); s++) {
    if (!vcf.isCase[s]) continue;
    for (int k = 0; k < 2; k++) {
      std::vector<int> h;
      for (size_t m = 0; m < loci; m++) h.push_back(label(m, markers[m]->calls[2 * s + k]));
      caseChromosomes.push_back(h);
    }
  }
  const std::string shorter = "; choose fewer markers (--max-markers) or a shorter region.";
  if (genotypes) {
    if (cases > kMaxPatientRows)
      throw PrepareError("The " + std::to_string(cases) + " cases are more than the " +
                         std::to_string(kMaxPatientRows) + " rows the patient table holds.");
    for (size_t i = 0; i < caseChromosomes.size(); i += 2) {
      for (size_t m = 0; m < loci; m++)
        patients << (m ? " " : "") << caseChromosomes[i][m] << "/" << caseChromosomes[i + 1][m];
      patients << "\n";
    }
  } else {
    const auto rows = tally(caseChromosomes);
    if (rows.size() > kMaxPatientRows)
      throw PrepareError("The " + std::to_string(cases) + " cases carry " + std::to_string(rows.size()) +
                         " distinct haplotypes at the " + std::to_string(loci) + " chosen markers, more than the " +
                         std::to_string(kMaxPatientRows) + " rows the patient table holds" + shorter);
    for (const auto& [h, count] : rows) writeRow(patients, count, h);
  }

  // Control rows, map, marker table, root.
  std::vector<std::vector<int>> controlLabels;
  for (const auto& h : t.controlHaplotypes) {
    std::vector<int> row;
    for (size_t m = 0; m < loci; m++) row.push_back(label(m, h[m]));
    controlLabels.push_back(row);
  }
  std::ostringstream controls;
  for (const auto& [h, count] : tally(controlLabels)) writeRow(controls, count, h);

  MarkerTable table;
  std::vector<int> root;
  std::string mapText;
  for (size_t m = 0; m < loci; m++) {
    Marker marker;
    marker.chromosome = markers[m]->chromosome;
    marker.position = markers[m]->position;
    marker.id = markers[m]->id.empty() ? "." : markers[m]->id;
    marker.centimorgans = markerCm[m];
    marker.morgans = static_cast<double>(markerGrid[m] - markerGrid[0]) / kGridPerMorgan;
    const Labels& labels = t.labels[m];
    std::vector<int> controlCounts(labels.count + 1, 0), caseCounts(labels.count + 1, 0);
    for (const auto& row : controlLabels) controlCounts[row[m]]++;
    for (const auto& h : caseChromosomes)
      if (h[m] > 0) caseCounts[h[m]]++;
    for (size_t a = 0; a < labels.ofAllele.size(); a++)
      if (labels.ofAllele[a]) marker.alleles.push_back(markers[m]->alleles[a]);
    for (int l = 1; l <= labels.count; l++)
      marker.controlFrequencies.push_back(static_cast<double>(controlCounts[l]) / controlLabels.size());
    // The ancestral haplotype starts from the cases' most frequent allele.
    const std::vector<int>& counts =
        *std::max_element(caseCounts.begin(), caseCounts.end()) > 0 ? caseCounts : controlCounts;
    root.push_back(static_cast<int>(std::max_element(counts.begin() + 1, counts.end()) - counts.begin()));
    mapText += (m ? " " : "") + formatMapValue(marker.morgans);
    table.markers.push_back(marker);
  }
  if (2 * cases > kMaxChromosomes)
    throw PrepareError(std::to_string(cases) + " cases give " + std::to_string(2 * cases) +
                       " patient chromosomes; mutloc takes at most " + std::to_string(kMaxChromosomes) +
                       ": list fewer cases.");
  const double span = table.markers.back().morgans;

  std::ostringstream p;
  p << "Data as genotypes\n"
    << (genotypes ? 1 : 0) << "\nGenetic model\n"
    << (genotypes ? model : 0) << "\nRead old file\n0\nUse fixed random seed\n"
    << o.seed << "\n#chromosomes\n"
    << 2 * cases << "\n#loci per chromosome\n"
    << loci << "\nNumbers of haplotypes in the normal pop\n"
    << controls.str() << "Map distance\n"
    << mapText << "\nRun simulation\n0\nMutation location for simulation\n"
    << formatMapValue(std::round(span / 2 * kGridPerMorgan) / kGridPerMorgan)
    << "\nMutation's low and high boundary\n0 " << formatMapValue(span) << "\n"
    << sampler(o, span, genotypes) << "Loci for the root\n";
  for (size_t m = 0; m < loci; m++) p << (m ? " " : "") << root[m];
  p << "\nPatient haplo- or genotypes:\n" << patients.str() << "Use sequence weights\n0\n";

  result.parameterFile = p.str();
  // The options reach the model's ranges (growth rate, oldest age times the
  // marker span): a file mutloc would refuse is not written at all.
  std::istringstream check(result.parameterFile);
  try {
    readParameterFile(check);
  } catch (const RunFailure& refused) {
    std::string reason = refused.message;
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    throw PrepareError("mutloc would refuse the parameter file these options make (change --growth, --sampled or "
                       "--max-age): " + reason);
  }
  result.markerTable = formatMarkerTable(table);
  std::ostringstream summary;
  summary << (genotypes ? "genotype data, genetic model " + std::to_string(model) : std::string("haplotype data"))
          << ", " << 2 * cases << " patient chromosomes (" << cases << " cases), " << t.controlHaplotypes.size()
          << " control haplotypes, " << loci << " markers on " << chromosome << ":" << markers.front()->position
          << "-" << markers.back()->position << " over " << formatMapValue(std::round(span * 1e6) / 1e4) << " cM";
  result.summary = summary.str();
  return result;
}
