#include "prepare/vcfsites.h"

#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "prepare/failure.h"
#include "prepare/geneticmap.h"

namespace {

constexpr int kMaxAlleles = 498;  // the parameter file's largest allele label

// Everything htslib hands out for one reading, released in reverse order.
struct Reader {
  htsFile* file = nullptr;
  bcf_hdr_t* header = nullptr;
  bcf1_t* record = nullptr;
  hts_idx_t* index = nullptr;  // BCF
  tbx_t* tabix = nullptr;      // bgzipped VCF
  hts_itr_t* iterator = nullptr;
  kstring_t line = KS_INITIALIZE;
  int32_t* genotypes = nullptr;
  int genotypeCapacity = 0;

  Reader() = default;
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  ~Reader() {
    std::free(genotypes);
    ks_free(&line);
    if (iterator) hts_itr_destroy(iterator);
    if (tabix) tbx_destroy(tabix);
    if (index) hts_idx_destroy(index);
    if (record) bcf_destroy(record);
    if (header) bcf_hdr_destroy(header);
    if (file) hts_close(file);
  }
};

std::string siteName(const std::string& chromosome, long long position) {
  return chromosome + ":" + std::to_string(position);
}

std::vector<std::string> namesOf(const char** names, int count) {
  std::vector<std::string> out(names, names + std::max(count, 0));
  std::free(names);  // the array only: the names belong to the header or index
  return out;
}

std::vector<std::string> headerChromosomes(const Reader& r) {
  int count = 0;
  const char** names = bcf_hdr_seqnames(r.header, &count);
  return names ? namesOf(names, count) : std::vector<std::string>();
}

std::vector<std::string> indexChromosomes(const Reader& r) {
  int count = 0;
  const char** names = tbx_seqnames(r.tabix, &count);
  return names ? namesOf(names, count) : std::vector<std::string>();
}

// The file's own name of a chromosome, which may carry "chr" where the
// region's does not (or the other way round); the region's when none matches.
std::string fileName(const std::vector<std::string>& names, const std::string& wanted) {
  for (const std::string& name : names)
    if (name == wanted) return name;
  for (const std::string& name : names)
    if (sameChromosome(name, wanted)) return name;
  return wanted;
}

// Opens the file and, for a region, its index when there is one: the
// iterator then visits only the region's records.
void open(Reader& r, const std::string& file, const std::optional<Region>& region) {
  r.file = hts_open(file.c_str(), "r");
  if (!r.file) throw PrepareError("Cannot read the VCF " + file + ": " + std::strerror(errno) + ".");
  const htsFormat* format = hts_get_format(r.file);
  if (format->category != variant_data || !(r.header = bcf_hdr_read(r.file)))
    throw PrepareError("The VCF " + file + " is not a VCF or BCF file.");
  r.record = bcf_init();
  if (!r.record) throw PrepareError("Not enough memory to read " + file + ".");
  if (!region) return;
  const hts_pos_t begin = region->start - 1, end = region->end;
  if (format->format == bcf && (r.index = bcf_index_load3(file.c_str(), nullptr, HTS_IDX_SILENT_FAIL))) {
    const int tid = bcf_hdr_name2id(r.header, fileName(headerChromosomes(r), region->chromosome).c_str());
    r.iterator = tid >= 0 ? bcf_itr_queryi(r.index, tid, begin, end) : nullptr;
    if (!r.iterator) r.iterator = bcf_itr_queryi(r.index, HTS_IDX_NONE, 0, 0);
  } else if (format->format == vcf && format->compression == bgzf &&
             (r.tabix = tbx_index_load3(file.c_str(), nullptr, HTS_IDX_SILENT_FAIL))) {
    const int tid = tbx_name2id(r.tabix, fileName(indexChromosomes(r), region->chromosome).c_str());
    r.iterator = tid >= 0 ? tbx_itr_queryi(r.tabix, tid, begin, end) : nullptr;
    if (!r.iterator) r.iterator = tbx_itr_queryi(r.tabix, HTS_IDX_NONE, 0, 0);
  }
  if ((r.index || r.tabix) && !r.iterator) throw PrepareError("Cannot read the index of " + file + ".");
}

// The next record; false at the end of the file or region. `after` names the
// last site read, for the message about a record that cannot be parsed.
bool next(Reader& r, const std::string& file, const std::string& after) {
  int status = 0;
  if (r.tabix) {
    status = tbx_itr_next(r.file, r.tabix, r.iterator, &r.line);
    if (status >= 0 && vcf_parse1(&r.line, r.header, r.record) < 0) status = -2;
  } else if (r.iterator) {
    status = bcf_itr_next(r.file, r.iterator, r.record);
  } else {
    status = bcf_read(r.file, r.header, r.record);
  }
  if (status == -1) return false;
  // Undefined contigs and tags are added to the header as the file goes;
  // any other fault of a record is an error.
  const int fatal = BCF_ERR_NCOLS | BCF_ERR_LIMITS | BCF_ERR_CHAR | BCF_ERR_CTG_INVALID | BCF_ERR_TAG_INVALID;
  if (status < -1 || (r.record->errcode & fatal) || r.record->pos < 0 || bcf_unpack(r.record, BCF_UN_STR) < 0)
    throw PrepareError("The VCF " + file + " is malformed " +
                       (after.empty() ? "before its first site" : "after " + after) + ".");
  return true;
}

// "c7 (a case)", "c7 and c9 (cases)", "c7, c8 and c9 (cases)".
std::string namedSamples(const std::vector<std::string>& ids, const std::string& one, const std::string& many) {
  std::string text;
  for (size_t i = 0; i < ids.size(); i++) text += (i == 0 ? "" : i + 1 == ids.size() ? " and " : ", ") + ids[i];
  return text + " (" + (ids.size() == 1 ? one : many) + ")";
}

// The header indices of the cases and controls, in the file's order. Every
// listed sample the file lacks is named at once.
void findSamples(const Reader& r, const std::string& file, const SampleRoles& roles, bool absentAllowed,
                 VcfSites& out, std::vector<int>& columns) {
  const int total = bcf_hdr_nsamples(r.header);
  std::vector<int> role(total, 0);  // 1 case, 2 control
  std::vector<std::string> absent[2];
  for (int kind = 1; kind <= 2; kind++)
    for (const std::string& id : kind == 1 ? roles.cases : roles.controls) {
      const int column = bcf_hdr_id2int(r.header, BCF_DT_SAMPLE, id.c_str());
      if (column < 0)
        absent[kind - 1].push_back(id);
      else
        role[column] = kind;
    }
  const size_t missing = absent[0].size() + absent[1].size();
  if (missing > 0 && !absentAllowed) {
    std::string named;
    if (!absent[0].empty()) named = namedSamples(absent[0], "a case", "cases");
    if (!absent[1].empty())
      named += (named.empty() ? "" : " and ") + namedSamples(absent[1], "a control", "controls");
    throw PrepareError(std::string(missing == 1 ? "Sample " : "Samples ") + named + (missing == 1 ? " is" : " are") +
                       " not in the VCF " + file + "; correct the lists, or give --ignore-missing-samples to go on "
                       "without " + (missing == 1 ? "it." : "them."));
  }
  for (const auto& ids : absent) out.absent.insert(out.absent.end(), ids.begin(), ids.end());
  if (roles.cases.size() == absent[0].size() || roles.controls.size() == absent[1].size())
    throw PrepareError(std::string("None of the listed ") + (roles.cases.size() == absent[0].size() ? "cases" : "controls") +
                       " is in the VCF " + file + ".");
  for (int column = 0; column < total; column++) {
    if (!role[column]) continue;
    columns.push_back(column);
    out.samples.push_back(r.header->samples[column]);
    out.isCase.push_back(role[column] == 1);
  }
}

// The genotypes of the kept samples, or false when the site fails the filter.
bool readCalls(Reader& r, const std::string& file, const std::vector<int>& columns, const std::vector<bool>& isCase,
               const SiteFilter& filter, Site& site, VcfSites& out) {
  bcf1_t* rec = r.record;
  const int values = bcf_get_genotypes(r.header, rec, &r.genotypes, &r.genotypeCapacity);
  if (values <= 0)
    throw PrepareError("The VCF " + file + " has no genotypes (GT) at " + siteName(site.chromosome, site.position) +
                       ".");
  const int ploidy = values / bcf_hdr_nsamples(r.header);
  const int alleles = rec->n_allele;
  std::vector<int> controlCounts(alleles, 0), allCounts(alleles, 0);
  int missing = 0;
  site.calls.assign(2 * columns.size(), -1);
  for (size_t s = 0; s < columns.size(); s++) {
    const int32_t* g = r.genotypes + static_cast<size_t>(columns[s]) * ploidy;
    // A call written as a lone "." is stored as one missing allele and the
    // end of the vector: both alleles are missing.
    if (ploidy >= 2 && bcf_gt_is_missing(g[0]) && g[1] == bcf_int32_vector_end) {
      missing += 2;
      continue;
    }
    if (ploidy < 2 || g[1] == bcf_int32_vector_end || (ploidy > 2 && g[2] != bcf_int32_vector_end))
      throw PrepareError("Sample " + out.samples[s] + " is not diploid at " + siteName(site.chromosome, site.position) +
                         " in " + file + ".");
    for (int k = 0; k < 2; k++) {
      if (bcf_gt_is_missing(g[k])) {
        missing++;
        continue;
      }
      const int allele = bcf_gt_allele(g[k]);
      if (allele < 0 || allele >= alleles)
        throw PrepareError("Sample " + out.samples[s] + " has allele " + std::to_string(allele) + " at " +
                           siteName(site.chromosome, site.position) + " in " + file + ", which lists " +
                           std::to_string(alleles) + " alleles.");
      site.calls[2 * s + k] = static_cast<int16_t>(allele);
      allCounts[allele]++;
      if (!isCase[s]) controlCounts[allele]++;
    }
    const int16_t a = site.calls[2 * s], b = site.calls[2 * s + 1];
    if (a >= 0 && b >= 0 && a != b && !bcf_gt_is_phased(g[1])) site.unphased.push_back(static_cast<int>(s));
  }
  if (missing > filter.maxMissing * static_cast<double>(site.calls.size())) {
    out.droppedMissing++;
    return false;
  }
  double controlTotal = 0, largest = 0, squares = 0;
  for (int c : controlCounts) {
    controlTotal += c;
    largest = std::max<double>(largest, c);
  }
  for (int c : controlCounts) squares += controlTotal > 0 ? (c / controlTotal) * (c / controlTotal) : 0;
  if (controlTotal == 0 || 1 - largest / controlTotal < filter.minMaf) {
    out.droppedMaf++;
    return false;
  }
  if (std::count_if(allCounts.begin(), allCounts.end(), [](int c) { return c > 0; }) < 2) {
    out.droppedMonomorphic++;
    return false;
  }
  site.controlHeterozygosity = 1 - squares;
  return true;
}

}  // namespace

std::optional<Region> parseRegion(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  std::string range;
  for (char c : text.substr(colon + 1))
    if (c != ',') range.push_back(c);
  const size_t dash = range.find('-');
  if (dash == std::string::npos) return std::nullopt;
  Region region;
  region.chromosome = text.substr(0, colon);
  const std::string start = range.substr(0, dash), end = range.substr(dash + 1);
  auto whole = [](const std::string& s, long long* v) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 12) return false;
    *v = std::stoll(s);
    return true;
  };
  if (!whole(start, &region.start) || !whole(end, &region.end) || region.start < 1 || region.end < region.start)
    return std::nullopt;
  return region;
}

VcfSites readVcfSites(const std::string& file, const std::optional<Region>& region, const SampleRoles& roles,
                      const SiteFilter& filter, bool absentAllowed) {
  Reader r;
  open(r, file, region);
  VcfSites out;
  std::vector<int> columns;
  findSamples(r, file, roles, absentAllowed, out, columns);
  std::string chromosome, lastSite;
  long long previous = 0;
  double keptBytes = 0;
  while (next(r, file, lastSite)) {
    Site site;
    site.chromosome = bcf_seqname_safe(r.header, r.record);
    site.position = r.record->pos + 1;
    lastSite = siteName(site.chromosome, site.position);
    if (region && (!sameChromosome(site.chromosome, region->chromosome) || site.position < region->start ||
                   site.position > region->end))
      continue;
    if (chromosome.empty()) {
      chromosome = site.chromosome;
    } else if (site.chromosome != chromosome) {
      throw PrepareError("The VCF " + file + " holds sites on more than one chromosome (" + chromosome + " and " +
                         site.chromosome + "); choose one with --region.");
    } else if (site.position < previous) {
      throw PrepareError("The VCF " + file + " is not sorted by position (" + siteName(chromosome, site.position) +
                         " follows " + siteName(chromosome, previous) + ").");
    }
    previous = site.position;
    out.sitesRead++;
    bcf1_t* rec = r.record;
    if (rec->n_allele > kMaxAlleles) {
      out.droppedAlleles++;
      continue;
    }
    site.id = rec->d.id;
    for (int a = 0; a < rec->n_allele; a++) site.alleles.push_back(rec->d.allele[a]);
    if (readCalls(r, file, columns, out.isCase, filter, site, out)) {
      // Every usable site's calls are kept until the thinning: a whole
      // chromosome of a large study does not fit, and says so.
      keptBytes += 2.0 * site.calls.size() + 128;
      if (keptBytes > filter.memoryBudget)
        throw PrepareError("The usable sites of " + file + " up to " + lastSite + " already need " +
                           std::to_string(static_cast<long long>(keptBytes / 1e6)) +
                           " MB of memory; read a shorter region with --region.");
      out.sites.push_back(std::move(site));
    }
  }
  // Read last: the header learns the chromosomes of a file without contig
  // lines as it reads them.
  out.chromosomes = r.tabix ? indexChromosomes(r) : headerChromosomes(r);
  return out;
}
