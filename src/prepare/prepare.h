// From a VCF or BCF file, the samples' roles and a genetic map to the texts of
// a complete parameter file and its marker table.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "prepare/vcfsites.h"

struct PrepareOptions {
  std::string vcf;
  std::optional<Region> region;
  std::string cases, controls, pheno;  // the lists, or the phenotype file
  std::string map;                     // empty: the uniform rate
  double cmPerMb = 0;
  double minMaf = 0.01;
  double maxMissing = 0.05;
  int maxMarkers = 0;                  // 0: the data mode's limit
  bool dominant = false;               // inheritance
  bool ignoreMissingSamples = false;   // listed samples the VCF lacks are left out instead of refused
  // Sampler settings written into the parameter file.
  int chains = 3;
  long burnIn = 2000;
  long iterations = 10000;
  long seed = -1;  // 0 or negative: a positive seed given is written as its negative
  double growth = 0.05;
  double sampled = 0.01;
  double maxAge = 500;
  double memoryBudget = 1e300;  // bytes the usable sites' calls may take (main: half the memory available)
};

struct Prepared {
  std::string parameterFile;
  std::string markerTable;
  std::vector<std::string> notes;  // what was left out or decided, one line each
  std::string summary;             // one line: what the parameter file holds
};

// Reads every input and checks everything; throws PrepareError naming the
// file or sample at fault.
Prepared prepare(const PrepareOptions& options);

// The largest number of markers of each data mode (the patient table holds
// rows of at most 100 numbers).
constexpr int kMaxHaplotypeLoci = 99;
constexpr int kMaxGenotypeLoci = 50;
constexpr int kMaxPatientRows = 1000;
