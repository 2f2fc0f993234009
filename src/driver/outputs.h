// The files a run writes, named from the output prefix.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// The eight output files, in the order they are opened.
enum OutputFile { Dat, Log, Sig, Hap, Hin, Hpf, Mat, Tre, kOutputFiles };

struct OutputNames {
  explicit OutputNames(const std::string& prefix);
  std::string prefix;
  std::string files[kOutputFiles];  // PREFIX.dat, PREFIX.log, ...
  std::string samples;              // PREFIX.samples: the sampled locations and ages
  std::string checkpoint;           // PREFIX.ckpt
  std::string summary;              // PREFIX.summary.json: the convergence summary
  std::string founders;             // PREFIX.founder.tsv: the founder probabilities (--sporadic)
  std::string exons;                // exons.txt in the prefix's folder
};

// True when name could be written without changing anything now: an existing
// file must be writable (and no folder), a new one's folder must let files be
// created.
bool canWrite(const std::string& name);

// Why name cannot be written, for the line that follows "NAME can't be
// opened.": its folder is missing or closed, or it is a folder or read-only.
std::string whyNotWritable(const std::string& name);

// Whether the two names lead to one existing file.
bool sameFile(const std::string& a, const std::string& b);

// Free bytes on the file system that holds name's folder (-1 when unknown).
long long freeBytesFor(const std::string& name);

// Bytes of a file (-1 when it does not exist).
long long fileBytes(const std::string& name);

// Creates or truncates name with permission bits 0664 and opens it for
// writing; with keep, cuts it to its first keepBytes bytes and appends.
bool openOutput(std::ofstream& stream, const std::string& name, bool keep = false, uint64_t keepBytes = 0);

// The eight output streams.
struct OutputFiles {
  std::ofstream out[kOutputFiles];
  // Closes every open stream in the closing order; returns the name of the
  // first one whose contents could not all be written, or "".
  std::string closeAll(const OutputNames& names);
};
