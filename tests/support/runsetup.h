// In-process set-up of a run for unit tests: a parameter file written from a
// small description, read into the program's globals, chains built.
#pragma once

#include <cstdint>
#include <string>

// The fields of a parameter file; the defaults are the quick-start example
// (haplotypes, 4 chromosomes, 2 loci, 1 chain).
struct ParamSpec {
  int genotypes = 0;
  int model = 0;
  int readOld = 0;
  int seed = -5;
  int chromosomes = 4;
  int loci = 2;
  std::string control = "6 1 1\n4 2 1\n5 1 2\n";
  std::string map = "0 0.01";
  int simulate = 0;
  double simLocation = 0.005;
  std::string bounds = "0 0.01";
  int chains = 1;
  double start = -99;
  double growth = 1;
  double sampled = 0.01;
  std::string iterate = "1 1 1 0";
  int flip = 0;
  std::string adjust = "0.1 0.01 0.5 0.5 0.1";
  long burnIn = 1000;
  long iterations = 10000;
  std::string updates = "100 100 1 1 0";
  int bars = 20;
  double alpha = 0.05;
  double age = -99;
  std::string ageBounds = "1 500";
  int star = 0;
  std::string root = "1 1";
  std::string patients = "3 1 1\n1 2 2\n";
  int seqWeights = 0;
  std::string weights;  // the text after the "Weights for exons, introns, non-genes" label

  std::string text() const;
};

// Reads the parameter text into the globals (the echo is discarded); returns
// maxAllele. Throws RunFailure like the reader does.
int loadParameters(const std::string& text, int32_t* seed);

// loadParameters, then builds the chains as a run does; returns maxAllele.
int setUpRun(const std::string& text, int32_t* seed);
