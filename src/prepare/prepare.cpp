#include "prepare/prepare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/failure.h"
#include "core/random.h"
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

// The usable sites of the VCF: each with its place on the map.
struct PlacedSites {
  std::string chromosome;
  std::vector<size_t> usable;         // indices into the VCF's sites
  std::vector<long long> grid;        // map position on the grid, strictly increasing
  std::vector<double> centimorgans;
};

// The markers chosen among the placed sites.
struct ChosenMarkers {
  std::vector<const Site*> sites;
  std::vector<long long> grid;
  std::vector<double> centimorgans;
};

struct DataMode {
  bool genotypes = false;
  int model = 1;  // genetic model, with genotypes
};

// What the VCF's site filter left out, and the message's head when too few
// markers remain.
struct SiteReport {
  std::string filtered;
  std::string tooFew;
};

SiteReport reportSites(const PrepareOptions& o, const VcfSites& vcf) {
  const std::string source =
      o.region ? "The region " + o.region->chromosome + ":" + std::to_string(o.region->start) + "-" +
                     std::to_string(o.region->end) + " of " + o.vcf
               : "The VCF " + o.vcf;
  SiteReport report;
  report.filtered = count(vcf.sitesRead, "site") + " read; left out: " + std::to_string(vcf.droppedMissing) +
                    " with too many missing alleles, " + std::to_string(vcf.droppedMaf) + " below the control MAF, " +
                    std::to_string(vcf.droppedMonomorphic) + " monomorphic, " + std::to_string(vcf.droppedAlleles) +
                    " with more than 498 alleles";
  report.tooFew = source + " has fewer than two usable markers (";
  if (vcf.sites.size() < 2) {
    std::string names;
    for (const std::string& name : vcf.chromosomes) names += (names.empty() ? "" : ", ") + name;
    const std::string where =
        vcf.sitesRead > 0 || !o.region ? ""
        : names.empty()                ? "; the file names no chromosome"
                                       : "; the file names its chromosomes " + names;
    throw PrepareError(report.tooFew + report.filtered + where + ").");
  }
  return report;
}

// Map positions; of several sites at one position the first is kept.
PlacedSites placeOnMap(const PrepareOptions& o, const std::vector<Site>& sites, const SiteReport& report,
                       std::vector<std::string>& notes) {
  PlacedSites placed;
  placed.chromosome = sites.front().chromosome;
  const GeneticMap map = o.map.empty() ? uniformMap(o.cmPerMb) : readGeneticMap(o.map, placed.chromosome);
  std::vector<std::string> samePlace;
  for (size_t k = 0; k < sites.size(); k++) {
    const double cm = centimorgansAt(map, placed.chromosome, sites[k].position);
    const long long point = std::llround(cm * kGridPerCentimorgan);
    if (!placed.grid.empty() && point <= placed.grid.back()) {
      samePlace.push_back(siteName(sites[k]));
      continue;
    }
    placed.usable.push_back(k);
    placed.grid.push_back(point);
    placed.centimorgans.push_back(cm);
  }
  if (!samePlace.empty())
    notes.push_back(count(samePlace.size(), "site") + " at the map position of an earlier site left out (the first " +
                    "is kept): " + listOf(samePlace) + ".");
  if (placed.usable.size() < 2) throw PrepareError(report.tooFew + "all usable sites lie at one map position).");
  return placed;
}

// The data mode follows the inheritance and the cases' phasing.
DataMode chooseDataMode(const PrepareOptions& o, const VcfSites& vcf, const PlacedSites& placed,
                        std::vector<std::string>& notes) {
  std::string unphasedCase;
  for (size_t k = 0; k < placed.usable.size() && unphasedCase.empty(); k++)
    for (int s : vcf.sites[placed.usable[k]].unphased)
      if (vcf.isCase[s]) {
        unphasedCase = vcf.samples[s] + " at " + siteName(vcf.sites[placed.usable[k]]);
        break;
      }
  DataMode mode;
  mode.genotypes = o.dominant || !unphasedCase.empty();
  mode.model = o.dominant ? 0 : 1;
  if (o.dominant)
    notes.push_back("Dominant inheritance: genotype data, genetic model 0 (one chromosome of each case carries the "
                    "mutation; which one is not known).");
  else if (mode.genotypes)
    notes.push_back("The cases are not all phased (" + unphasedCase + "): genotype data, genetic model 1 (both "
                    "chromosomes of every case carry the mutation).");
  else
    notes.push_back("Recessive inheritance: both haplotypes of every case are taken as carriers of the mutation "
                    "(--inheritance dominant if one chromosome of each case carries it).");
  return mode;
}

// At most the data mode's number of markers, the most informative evenly
// over the map; the controls must be phased at every one.
ChosenMarkers chooseMarkers(const PrepareOptions& o, const VcfSites& vcf, const PlacedSites& placed, DataMode mode,
                            std::vector<std::string>& notes) {
  const int limit = mode.genotypes ? kMaxGenotypeLoci : kMaxHaplotypeLoci;
  if (o.maxMarkers > limit)
    notes.push_back("At most " + std::to_string(limit) + " markers for " + (mode.genotypes ? "genotype" : "haplotype") +
                    " data.");
  const size_t keep = static_cast<size_t>(o.maxMarkers > 0 ? std::min(o.maxMarkers, limit) : limit);
  std::vector<double> positions, information;
  for (size_t k = 0; k < placed.usable.size(); k++) {
    positions.push_back(static_cast<double>(placed.grid[k]));
    information.push_back(vcf.sites[placed.usable[k]].controlHeterozygosity);
  }
  const std::vector<size_t> chosen = thinEvenly(positions, information, keep);
  if (placed.usable.size() > keep)
    notes.push_back(std::to_string(placed.usable.size()) + " usable sites thinned to " + std::to_string(keep) +
                    ", the most informative evenly over the map.");
  ChosenMarkers markers;
  for (size_t c : chosen) {
    markers.sites.push_back(&vcf.sites[placed.usable[c]]);
    markers.grid.push_back(placed.grid[c]);
    markers.centimorgans.push_back(placed.centimorgans[c]);
  }
  // Controls are counted as haplotypes, so their phase must be known.
  for (const Site* m : markers.sites)
    for (int s : m->unphased)
      if (!vcf.isCase[s])
        throw PrepareError("Control " + vcf.samples[s] + " is not phased at " + siteName(*m) + " in " + o.vcf +
                           ": control haplotypes are counted, so phase the controls first (with a statistical "
                           "phasing tool such as SHAPEIT or Beagle, cases and controls together) and give the "
                           "phased VCF.");
  return markers;
}

// The control alleles called at a marker, by allele index.
std::vector<double> controlAlleleCounts(const VcfSites& vcf, const Site& site) {
  std::vector<double> counts(site.alleles.size(), 0);
  for (size_t s = 0; s < vcf.samples.size(); s++)
    for (int k = 0; k < 2; k++)
      if (!vcf.isCase[s] && site.calls[2 * s + k] >= 0) counts[site.calls[2 * s + k]]++;
  return counts;
}

// An allele index drawn with probabilities proportional to counts.
int drawAllele(const std::vector<double>& counts, Random& rng) {
  double total = 0;
  for (double c : counts) total += c;
  double u = rng.uniform() * total;
  for (size_t a = 0; a < counts.size(); a++) {
    if (u < counts[a]) return static_cast<int>(a);
    u -= counts[a];
  }
  // Rounding can leave u at the very top: the last allele with a count.
  for (size_t a = counts.size(); a-- > 0;)
    if (counts[a] > 0) return static_cast<int>(a);
  return 0;
}

// Control haplotypes. The control table has no code for a missing allele, so
// each missing control allele is drawn from the controls' called alleles at
// its site (from --seed, in sample, chromosome and marker order): the control
// frequencies the model starts from stay as the calls give them, at the cost
// of the filled haplotype's linkage at that marker. Returns the number of
// cases.
int collectControls(const PrepareOptions& o, const VcfSites& vcf, const ChosenMarkers& markers, DataMode mode,
                    Tables& t, std::vector<std::string>& notes) {
  int cases = 0;
  std::vector<std::vector<double>> counts;
  for (const Site* m : markers.sites) counts.push_back(controlAlleleCounts(vcf, *m));
  Random rng(static_cast<int32_t>(o.seed == 0 ? -1 : o.seed));
  long filled = 0;
  std::vector<bool> filledAt(markers.sites.size(), false);
  for (size_t s = 0; s < vcf.samples.size(); s++) {
    if (vcf.isCase[s]) {
      cases++;
      continue;
    }
    for (int k = 0; k < 2; k++) {
      std::vector<int> haplotype;
      for (size_t m = 0; m < markers.sites.size(); m++) {
        int allele = markers.sites[m]->calls[2 * s + k];
        if (allele < 0) {
          allele = drawAllele(counts[m], rng);
          filled++;
          filledAt[m] = true;
        }
        haplotype.push_back(allele);
      }
      t.controlHaplotypes.push_back(haplotype);
    }
  }
  if (filled > 0)
    notes.push_back(count(static_cast<size_t>(filled), "missing control allele") + " at " +
                    count(static_cast<size_t>(std::count(filledAt.begin(), filledAt.end(), true)), "marker") +
                    " filled in, each drawn from the controls' called alleles at its site (--seed " +
                    std::to_string(o.seed) + "): every control haplotype stays in the table.");
  if (mode.genotypes && mode.model == 0 && cases < 2)
    throw PrepareError("Dominant inheritance needs at least two cases (one genealogy leaf each).");
  return cases;
}

// Labels of the alleles the tables hold.
void labelAlleles(const VcfSites& vcf, const ChosenMarkers& markers, Tables& t) {
  for (size_t m = 0; m < markers.sites.size(); m++) {
    std::vector<bool> present(markers.sites[m]->alleles.size(), false);
    for (const auto& h : t.controlHaplotypes) present[h[m]] = true;
    for (size_t s = 0; s < vcf.samples.size(); s++)
      for (int k = 0; k < 2; k++) {
        const int a = markers.sites[m]->calls[2 * s + k];
        if (vcf.isCase[s] && a >= 0) present[a] = true;
      }
    Labels labels;
    for (bool p : present) labels.ofAllele.push_back(p ? ++labels.count : 0);
    t.labels.push_back(labels);
  }
}

int labelOf(const Tables& t, size_t m, int allele) { return allele < 0 ? -1 : t.labels[m].ofAllele[allele]; }

// The cases' chromosomes as labels, two a case in the VCF's order.
std::vector<std::vector<int>> caseChromosomes(const VcfSites& vcf, const ChosenMarkers& markers, const Tables& t) {
  std::vector<std::vector<int>> chromosomes;
  for (size_t s = 0; s < vcf.samples.size(); s++) {
    if (!vcf.isCase[s]) continue;
    for (int k = 0; k < 2; k++) {
      std::vector<int> h;
      for (size_t m = 0; m < markers.sites.size(); m++) h.push_back(labelOf(t, m, markers.sites[m]->calls[2 * s + k]));
      chromosomes.push_back(h);
    }
  }
  return chromosomes;
}

// Patient rows: distinct haplotypes with their counts, or one row of
// genotypes per case.
std::string patientRows(const std::vector<std::vector<int>>& chromosomes, int cases, size_t loci, DataMode mode) {
  std::ostringstream patients;
  if (mode.genotypes) {
    if (cases > kMaxPatientRows)
      throw PrepareError("The " + std::to_string(cases) + " cases are more than the " +
                         std::to_string(kMaxPatientRows) + " rows the patient table holds.");
    for (size_t i = 0; i < chromosomes.size(); i += 2) {
      for (size_t m = 0; m < loci; m++) patients << (m ? " " : "") << chromosomes[i][m] << "/" << chromosomes[i + 1][m];
      patients << "\n";
    }
  } else {
    const auto rows = tally(chromosomes);
    if (rows.size() > kMaxPatientRows)
      throw PrepareError("The " + std::to_string(cases) + " cases carry " + std::to_string(rows.size()) +
                         " distinct haplotypes at the " + std::to_string(loci) + " chosen markers, more than the " +
                         std::to_string(kMaxPatientRows) + " rows the patient table holds; choose fewer markers " +
                         "(--max-markers) or a shorter region.");
    for (const auto& [h, count] : rows) writeRow(patients, count, h);
  }
  return patients.str();
}

// The marker table, the control rows, the map and the starting ancestral
// haplotype.
struct MarkerTexts {
  MarkerTable table;
  std::string controls;
  std::string map;
  std::vector<int> root;
};

MarkerTexts describeMarkers(const ChosenMarkers& markers, const Tables& t,
                            const std::vector<std::vector<int>>& chromosomes) {
  const size_t loci = markers.sites.size();
  std::vector<std::vector<int>> controlLabels;
  for (const auto& h : t.controlHaplotypes) {
    std::vector<int> row;
    for (size_t m = 0; m < loci; m++) row.push_back(labelOf(t, m, h[m]));
    controlLabels.push_back(row);
  }
  std::ostringstream controls;
  for (const auto& [h, count] : tally(controlLabels)) writeRow(controls, count, h);

  MarkerTexts texts;
  texts.controls = controls.str();
  for (size_t m = 0; m < loci; m++) {
    const Site& site = *markers.sites[m];
    Marker marker;
    marker.chromosome = site.chromosome;
    marker.position = site.position;
    marker.id = site.id.empty() ? "." : site.id;
    marker.centimorgans = markers.centimorgans[m];
    marker.morgans = static_cast<double>(markers.grid[m] - markers.grid[0]) / kGridPerMorgan;
    const Labels& labels = t.labels[m];
    std::vector<int> controlCounts(labels.count + 1, 0), caseCounts(labels.count + 1, 0);
    for (const auto& row : controlLabels) controlCounts[row[m]]++;
    for (const auto& h : chromosomes)
      if (h[m] > 0) caseCounts[h[m]]++;
    for (size_t a = 0; a < labels.ofAllele.size(); a++)
      if (labels.ofAllele[a]) marker.alleles.push_back(site.alleles[a]);
    for (int l = 1; l <= labels.count; l++)
      marker.controlFrequencies.push_back(static_cast<double>(controlCounts[l]) / controlLabels.size());
    // The ancestral haplotype starts from the cases' most frequent allele.
    const std::vector<int>& counts =
        *std::max_element(caseCounts.begin(), caseCounts.end()) > 0 ? caseCounts : controlCounts;
    texts.root.push_back(static_cast<int>(std::max_element(counts.begin() + 1, counts.end()) - counts.begin()));
    texts.map += (m ? " " : "") + formatMapValue(marker.morgans);
    texts.table.markers.push_back(marker);
  }
  return texts;
}

std::string parameterText(const PrepareOptions& o, DataMode mode, int cases, const MarkerTexts& texts,
                          const std::string& patients) {
  const size_t loci = texts.root.size();
  const double span = texts.table.markers.back().morgans;
  std::ostringstream p;
  p << "Data as genotypes\n"
    << (mode.genotypes ? 1 : 0) << "\nGenetic model\n"
    << (mode.genotypes ? mode.model : 0) << "\nRead old file\n0\nUse fixed random seed\n"
    << o.seed << "\n#chromosomes\n"
    << 2 * cases << "\n#loci per chromosome\n"
    << loci << "\nNumbers of haplotypes in the normal pop\n"
    << texts.controls << "Map distance\n"
    << texts.map << "\nRun simulation\n0\nMutation location for simulation\n"
    << formatMapValue(std::round(span / 2 * kGridPerMorgan) / kGridPerMorgan)
    << "\nMutation's low and high boundary\n0 " << formatMapValue(span) << "\n"
    << sampler(o, span, mode.genotypes) << "Loci for the root\n";
  for (size_t m = 0; m < loci; m++) p << (m ? " " : "") << texts.root[m];
  p << "\nPatient haplo- or genotypes:\n" << patients << "Use sequence weights\n0\n";
  return p.str();
}

// The options reach the model's ranges (growth rate, oldest age times the
// marker span): a file mutloc would refuse is not written at all.
void checkAsMutlocWould(const std::string& parameterFile) {
  std::istringstream check(parameterFile);
  try {
    readParameterFile(check);
  } catch (const RunFailure& refused) {
    std::string reason = refused.message;
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    throw PrepareError("mutloc would refuse the parameter file these options make (change --growth, --sampled or "
                       "--max-age): " + reason);
  }
}

}  // namespace

Prepared prepare(const PrepareOptions& o) {
  Prepared result;
  const SampleRoles roles = o.pheno.empty() ? readSampleLists(o.cases, o.controls) : readPhenotypes(o.pheno);
  if (roles.unknown > 0)
    result.notes.push_back(count(static_cast<size_t>(roles.unknown), "sample") + " of " + o.pheno +
                           " with a phenotype other than 1 (control) or 2 (case), such as -9 or 0, left out.");
  const VcfSites vcf = readVcfSites(o.vcf, o.region, roles, SiteFilter{o.minMaf, o.maxMissing, o.memoryBudget},
                                    o.ignoreMissingSamples);
  if (!vcf.absent.empty())
    result.notes.push_back(count(vcf.absent.size(), "listed sample") + " not in " + o.vcf +
                           " left out (--ignore-missing-samples): " + listOf(vcf.absent) + ".");
  const SiteReport report = reportSites(o, vcf);
  result.notes.push_back(report.filtered + ".");
  const PlacedSites placed = placeOnMap(o, vcf.sites, report, result.notes);
  const DataMode mode = chooseDataMode(o, vcf, placed, result.notes);
  const ChosenMarkers markers = chooseMarkers(o, vcf, placed, mode, result.notes);
  const size_t loci = markers.sites.size();
  Tables t;
  const int cases = collectControls(o, vcf, markers, mode, t, result.notes);
  labelAlleles(vcf, markers, t);
  const std::vector<std::vector<int>> chromosomes = caseChromosomes(vcf, markers, t);
  const std::string patients = patientRows(chromosomes, cases, loci, mode);
  const MarkerTexts texts = describeMarkers(markers, t, chromosomes);
  if (2 * cases > kMaxChromosomes)
    throw PrepareError(std::to_string(cases) + " cases give " + std::to_string(2 * cases) +
                       " patient chromosomes; mutloc takes at most " + std::to_string(kMaxChromosomes) +
                       ": list fewer cases.");
  result.parameterFile = parameterText(o, mode, cases, texts, patients);
  checkAsMutlocWould(result.parameterFile);
  result.markerTable = formatMarkerTable(texts.table);
  const double span = texts.table.markers.back().morgans;
  std::ostringstream summary;
  summary << (mode.genotypes ? "genotype data, genetic model " + std::to_string(mode.model)
                             : std::string("haplotype data"))
          << ", " << 2 * cases << " patient chromosomes (" << cases << " cases), " << t.controlHaplotypes.size()
          << " control haplotypes, " << loci << " markers on " << placed.chromosome << ":"
          << markers.sites.front()->position << "-" << markers.sites.back()->position << " over "
          << formatMapValue(std::round(span * 1e6) / 1e4) << " cM";
  result.summary = summary.str();
  return result;
}
