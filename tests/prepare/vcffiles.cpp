#include "prepare/vcffiles.h"

#include <gtest/gtest.h>
#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

std::string vcfText(const std::vector<std::string>& samples, const std::vector<std::string>& sites) {
  std::string text =
      "##fileformat=VCFv4.2\n##contig=<ID=7>\n##contig=<ID=8>\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const std::string& s : samples) text += "\t" + s;
  text += "\n";
  for (const std::string& site : sites) {
    std::istringstream words(site);
    std::string w;
    for (int k = 0; words >> w; k++) {
      text += (k ? "\t" : "") + w;
      if (k == 4) text += "\t.\tPASS\t.\tGT";
    }
    text += "\n";
  }
  return text;
}

void writeBgzippedVcf(const std::string& path, const std::string& text) {
  BGZF* out = bgzf_open(path.c_str(), "w");
  if (!out || bgzf_write(out, text.data(), text.size()) < 0 || bgzf_close(out) != 0)
    throw std::runtime_error("cannot write " + path);
  if (tbx_index_build(path.c_str(), 0, &tbx_conf_vcf) != 0) throw std::runtime_error("cannot index " + path);
}

void writeIndexedBcf(const std::string& path, const std::string& text) {
  const std::string plain = path + ".vcf";
  std::FILE* f = std::fopen(plain.c_str(), "w");
  std::fputs(text.c_str(), f);
  std::fclose(f);
  htsFile* in = hts_open(plain.c_str(), "r");
  bcf_hdr_t* header = bcf_hdr_read(in);
  htsFile* out = hts_open(path.c_str(), "wb");
  bcf1_t* record = bcf_init();
  bool ok = bcf_hdr_write(out, header) == 0;
  while (ok && bcf_read(in, header, record) == 0) ok = bcf_write(out, header, record) == 0;
  bcf_destroy(record);
  ok = hts_close(out) == 0 && ok;
  bcf_hdr_destroy(header);
  hts_close(in);
  std::remove(plain.c_str());
  if (!ok || bcf_index_build(path.c_str(), 14) != 0) throw std::runtime_error("cannot write " + path);
}

RunResult runPrepare(const ScratchDir& dir, const std::vector<std::string>& args) {
  return runProgram(MUTLOC_PREPARE_BINARY, dir, args);
}

std::string entry(const std::string& text, const std::string& label) {
  const std::string parameters = "\n" + text;
  const size_t at = parameters.find("\n" + label + "\n");
  if (at == std::string::npos) return "";
  const size_t start = at + label.size() + 2;
  return parameters.substr(start, parameters.find('\n', start) - start);
}

std::map<std::string, int> countedRows(const std::string& text) {
  std::map<std::string, int> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream values(line);
    int count = 0;
    if (!(values >> count)) continue;
    std::string haplotype;
    for (int a; values >> a;) haplotype += (haplotype.empty() ? "" : " ") + std::to_string(a);
    rows[haplotype] += count;
  }
  return rows;
}

std::map<std::string, int> tableRows(const std::string& parameters, const std::string& label,
                                     const std::string& nextLabel) {
  const size_t start = parameters.find("\n" + label + "\n") + label.size() + 2;
  return countedRows(parameters.substr(start, parameters.find("\n" + nextLabel + "\n", start) + 1 - start));
}
