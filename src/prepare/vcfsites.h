// The sites of a VCF or BCF file that can serve as markers: read with htslib,
// restricted to a region and to the named samples, filtered site by site.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "prepare/samples.h"

struct Region {
  std::string chromosome;
  long long start = 0;  // base pairs, 1-based, inclusive
  long long end = 0;
};

// CHR:START-END (thousands separators allowed); nullopt when the text is not one.
std::optional<Region> parseRegion(const std::string& text);

struct SiteFilter {
  double minMaf = 0;      // minor allele frequency among the controls' called alleles
  double maxMissing = 1;  // share of missing alleles among all kept samples
  double memoryBudget = 1e300;  // bytes the usable sites' calls may take before the thinning
};

struct Site {
  std::string chromosome;
  long long position = 0;
  std::string id;
  std::vector<std::string> alleles;  // REF, then the ALT alleles
  // Two allele indices (0 = REF) per kept sample, in the samples' order; -1: missing.
  std::vector<int16_t> calls;
  std::vector<int> unphased;         // kept samples whose heterozygous genotype is unphased
  double controlHeterozygosity = 0;  // 1 - sum of squared control allele frequencies
};

struct VcfSites {
  std::vector<std::string> samples;  // the cases and controls, in the file's order
  std::vector<std::string> absent;   // listed samples the file lacks (when they may be left out)
  std::vector<std::string> chromosomes;  // the chromosome names the file's header or index holds
  std::vector<bool> isCase;
  std::vector<Site> sites;           // in the file's order
  int sitesRead = 0;
  int droppedMissing = 0, droppedMaf = 0, droppedMonomorphic = 0, droppedAlleles = 0;
};

// Reads the sites on one chromosome: those of the region (through the file's
// index when it has one, otherwise by reading the whole file; "chr7" and "7"
// name the same chromosome), or of the whole file, which must then hold one
// chromosome. Sites with more than 498 alleles, too many missing alleles, a
// low control minor allele frequency, or a single allele among the kept
// samples are counted and left out. Listed samples the file lacks are an
// error naming them all, unless absentAllowed (then they are left out).
VcfSites readVcfSites(const std::string& file, const std::optional<Region>& region, const SampleRoles& roles,
                      const SiteFilter& filter, bool absentAllowed = false);
