// In-process set-up of a run for unit tests: run settings from a small
// description (through the reader, in memory) and chains built as a run
// builds them, without a file and without global state.
#pragma once

#include <memory>
#include <string>

#include "core/random.h"
#include "input/settings.h"
#include "sampler/chainsetup.h"
#include "sampler/sharedcontrol.h"

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

// Two chains of twenty leaves (about 60 microseconds an iteration): runs
// long enough to be stopped, signalled or killed on the way.
ParamSpec twoChainsOfTwentyLeaves(long burnIn, long iterations, const std::string& updates);

// Five chromosomes and three markers with one allele each, in controls and
// patients: frequencies fixed at 1, so every branch probability is 1.
ParamSpec uninformativeFiveByThree();

// Three chains on three markers of four alleles' control table, every move
// on (growth 0.05); chromosomes, patients and run lengths are the caller's.
ParamSpec threeChainsOnThreeMarkers();

// Three leaves on three two- or three-allele markers with the age fixed at
// 40: small enough for exact sums over every allele state.
ParamSpec threeLeavesOnThreeMarkers();

// Reads parameter text into run settings. Throws RunFailure like the reader.
RunSettings loadParameters(const std::string& text);

// A run set up in memory: settings, the shared control record, the run's
// random stream (seeded from the file) and every chain. Chains point at the
// stream, so a TestRun stays where it was made.
struct TestRun {
  RunSettings settings;
  SharedControl control;
  Random rng;
  StartingValues start;
  ChainSetup setup;

  Chain& chain(int c = 0) { return setup.chains[c]; }
  MoveContext context() { return moveContextOf(settings, control, setup); }
};

// Reads the text, draws the starting values and builds the chains as a run
// does (the echo and the root report are discarded).
std::unique_ptr<TestRun> setUpRun(const std::string& text);
