// VCF files the tests write themselves: plain text, bgzipped with a tabix
// index, or BCF with a CSI index (through htslib, as a user's files are made).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/e2e.h"

// A VCF with a GT field; each site is "CHROM POS ID REF ALT GT GT ...", one GT
// per sample, blank-separated.
std::string vcfText(const std::vector<std::string>& samples, const std::vector<std::string>& sites);

void writeBgzippedVcf(const std::string& path, const std::string& text);  // and path.tbi
void writeIndexedBcf(const std::string& path, const std::string& text);   // and path.csi

// Runs the mutloc-prepare binary of this build in dir.
RunResult runPrepare(const ScratchDir& dir, const std::vector<std::string>& args);

// Rows "count allele ..." as their alleles -> summed count.
std::map<std::string, int> countedRows(const std::string& text);

// The rows of a parameter-file table (between two label lines), counted.
std::map<std::string, int> tableRows(const std::string& parameters, const std::string& label,
                                     const std::string& nextLabel);

// The value line(s) after a label line.
std::string entry(const std::string& parameters, const std::string& label);
