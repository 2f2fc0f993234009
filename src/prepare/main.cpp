// mutloc-prepare: a parameter file for mutloc from a VCF or BCF file.
#include <htslib/hts_log.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "core/machinememory.h"
#include "prepare/failure.h"
#include "prepare/prepare.h"

namespace {

constexpr int kBadInput = 1;
constexpr int kBadOption = 2;

// A file written under a temporary name beside its final one; removed unless
// committed, so an error leaves no output behind.
struct PendingFile {
  std::string name, temporary;
  bool committed = false;
  ~PendingFile() {
    if (!temporary.empty() && !committed) std::remove(temporary.c_str());
  }
};

void writePending(PendingFile& file, const std::string& text) {
  std::string pattern = file.name + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) throw PrepareError("Cannot write " + file.name + ": " + std::strerror(errno) + ".");
  file.temporary = pattern;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) {
      close(fd);
      throw PrepareError("Cannot write " + file.name + ": " + std::strerror(errno) + ".");
    }
    done += static_cast<size_t>(n);
  }
  // mkstemp creates the file readable by its owner only.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0 || close(fd) != 0)
    throw PrepareError("Cannot write " + file.name + ": " + std::strerror(errno) + ".");
}

void commit(PendingFile& file) {
  if (std::rename(file.temporary.c_str(), file.name.c_str()) != 0)
    throw PrepareError("Cannot write " + file.name + ": " + std::strerror(errno) + ".");
  file.committed = true;
}

// An output that is one of the inputs would destroy it.
void refuseOverwritingInputs(const std::vector<std::string>& outputs, const std::vector<std::string>& inputs) {
  for (const std::string& out : outputs)
    for (const std::string& in : inputs) {
      std::error_code error;
      if (!in.empty() && std::filesystem::equivalent(out, in, error))
        throw PrepareError("The output " + out + " is the input " + in + "; choose another -o.");
    }
}

// A whole number within the minimal-standard generator's seeds; a positive
// one stands for its negative (the stream the sampler draws from either way).
bool parseSeed(const std::string& text, long* seed) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < -2147483647L || value > 2147483647L) return false;
  *seed = value > 0 ? -value : value;
  return true;
}

int writeOutputs(const PrepareOptions& options, const std::string& output) {
  const std::string markers = output + ".markers.tsv";
  refuseOverwritingInputs({output, markers},
                          {options.vcf, options.cases, options.controls, options.pheno, options.map});
  const Prepared prepared = prepare(options);
  PendingFile table{markers, ""}, parameters{output, ""};
  writePending(table, prepared.markerTable);
  writePending(parameters, prepared.parameterFile);
  commit(table);
  commit(parameters);
  for (const std::string& note : prepared.notes) std::cerr << "mutloc-prepare: " << note << "\n";
  std::cout << "Wrote " << output << " and " << markers << ": " << prepared.summary << ".\n";
  std::cout << "Next: mutloc " << output << " --mix (the recommended way to run). Keep " << markers
            << " beside it: the summary then gives the location in base pairs too.\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Failures are reported by the program's own messages, one line each.
  hts_set_log_level(HTS_LOG_OFF);

  CLI::App app{"Writes a complete mutloc parameter file, and a table of its markers in base pairs, from the cases "
               "and controls of a VCF or BCF file.",
               "mutloc-prepare"};
  app.option_defaults()->always_capture_default();
  app.set_version_flag("--version", std::string("mutloc-prepare ") + MUTLOC_VERSION);
  PrepareOptions o;
  std::string region, inheritance = "recessive", output;
  app.add_option("--vcf", o.vcf, "VCF, bgzipped VCF or BCF file")->required()->type_name("FILE");
  app.add_option("--region", region, "sites whose position lies in this range (read through the index when the "
                                     "file has one); without it the file must hold one chromosome")
      ->type_name("CHR:START-END");
  auto* cases = app.add_option("--cases", o.cases, "case sample IDs, one a line")->type_name("FILE");
  auto* controls = app.add_option("--controls", o.controls, "control sample IDs, one a line")->type_name("FILE");
  app.add_option("--pheno", o.pheno,
                 "FID IID PHENO, or a PLINK .fam (phenotype in column 6): 2 case, 1 control, others left out; "
                 "samples matched on IID")
      ->type_name("FILE")
      ->excludes(cases)
      ->excludes(controls);
  cases->needs(controls);
  controls->needs(cases);
  auto* map = app.add_option("--map", o.map, "PLINK .map, or HapMap-style file with a header (chr position rate cM)")
                  ->type_name("FILE");
  app.add_option("--cm-per-mb", o.cmPerMb, "a uniform recombination rate instead of a map")
      ->check(CLI::PositiveNumber)
      ->excludes(map);
  app.add_option("--min-maf", o.minMaf, "smallest minor allele frequency among the controls")
      ->check(CLI::Range(0.0, 0.5));
  app.add_option("--max-missing", o.maxMissing, "largest share of missing alleles at a site")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--max-markers", o.maxMarkers, "at most this many markers (0: 99 for haplotype data, 50 for "
                                                "genotype data)")
      ->check(CLI::Range(0, kMaxHaplotypeLoci));
  app.add_option("--inheritance", inheritance, "recessive or dominant")
      ->check(CLI::IsMember({"recessive", "dominant"}));
  app.add_option("-o,--output", output, "the parameter file to write; the marker table goes to FILE.markers.tsv")
      ->required()
      ->type_name("FILE");
  app.add_option("--chains", o.chains, "chains")->check(CLI::Range(1, 1000));
  app.add_option("--burn-in", o.burnIn, "burn-in iterations")->check(CLI::Range(1L, 2147483647L));
  app.add_option("--iterations", o.iterations, "sampling iterations")->check(CLI::Range(1L, 2147483647L));
  std::string seed;
  app.add_option("--seed", seed,
                 "random seed: a whole number, 0 for one from the clock (N and -N give the same stream, written "
                 "as -N; also seeds the filling of missing control alleles)")
      ->type_name("N");
  app.add_flag("--ignore-missing-samples", o.ignoreMissingSamples,
               "leave out listed samples the VCF lacks (counted and named) instead of stopping");
  app.add_option("--growth", o.growth, "population growth rate")->check(CLI::PositiveNumber);
  app.add_option("--sampled", o.sampled, "proportion of the population sampled")
      ->check(CLI::PositiveNumber & CLI::Range(0.0, 1.0));
  app.add_option("--max-age", o.maxAge, "upper bound of the mutation age (generations)")
      ->check(CLI::Range(2.0, 1e9));
  try {
    app.parse(argc, argv);
    if (o.pheno.empty() && o.cases.empty()) throw CLI::ValidationError("give --cases and --controls, or --pheno");
    if (o.map.empty() && o.cmPerMb == 0) throw CLI::ValidationError("give --map or --cm-per-mb");
    if (o.maxMarkers == 1) throw CLI::ValidationError("--max-markers: at least 2 (or 0)");
    if (!region.empty() && !(o.region = parseRegion(region)))
      throw CLI::ValidationError("--region: " + region + " is not CHR:START-END");
    if (!seed.empty() && !parseSeed(seed, &o.seed))
      throw CLI::ValidationError("--seed: " + seed + " is not a whole number between -2147483647 and 2147483647");
    if (output.empty()) throw CLI::ValidationError("-o: give the parameter file's name");
    if (output.back() == '/' || std::filesystem::is_directory(output))
      throw CLI::ValidationError("-o: " + output + " is a folder; give the parameter file's name, such as " +
                                 (output.back() == '/' ? output : output + "/") + "region.txt");
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? 0 : kBadOption;
  }
  o.dominant = inheritance == "dominant";
  const long long available = availableMemory();
  if (available > 0) o.memoryBudget = available / 2.0;
  try {
    return writeOutputs(o, output);
  } catch (const PrepareError& e) {
    std::cerr << "mutloc-prepare: " << e.what() << "\n";
    return kBadInput;
  } catch (const std::bad_alloc&) {
    std::cerr << "mutloc-prepare: not enough memory.\n";
    return kBadInput;
  }
}
