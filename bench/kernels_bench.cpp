// Sampler kernels on the generated data sets: one whole-tree likelihood
// evaluation of chain 0, and one iteration of every chain.
//
// Usage: kernels_bench [benchmark flags] [DATA_DIR]
// DATA_DIR (else $MUTLOC_BENCH_DATA, else the build's data folder) holds the
// parameter files that make_datasets.py writes; missing ones are skipped.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "input/failure.h"
#include "input/parameters.h"
#include "input/readdata.h"
#include "model/likelihood.h"
#include "sampler/chainsetup.h"
#include "sampler/chainstate.h"
#include "sampler/sweep.h"

namespace {

const char* const kDataSets[] = {"small", "medium", "large", "geno", "scale125", "scale250", "scale500", "scale1000"};

std::string dataDir;
std::string loadedName;  // data set whose chains the globals hold
int32_t seed = 0;

std::string pathOf(const std::string& name) { return dataDir + "/" + name + ".txt"; }

// CPU seconds of this thread: steadier than the wall clock on a shared machine.
double cpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

// Reads the data set and builds its chains as a run does. The leaf shuffles
// restart from the generator's unseeded state, so every load of a data set
// starts from the state a fresh run has. Returns an error text, or "".
std::string load(const std::string& name) {
  if (loadedName == name) return "";
  loadedName.clear();
  unsigned short unseeded[3] = {0x330E, 0xABCD, 0x1234};
  seed48(unseeded);
  std::ifstream in(pathOf(name));
  if (!in) return "cannot open " + pathOf(name);
  std::ostringstream log;
  PatientTable patients = makePatientTable();
  int segments = 0;
  try {
    const int maxAllele = readdata3(&seed, &segments, in, log, patients);
    if (maxAllele == 0) return "allele check failed for " + pathOf(name);
    makeProps(pset.numChains);
    setupChains(&seed, patients, maxAllele, log);
  } catch (const RunFailure& failure) {
    return failure.message;
  }
  loadedName = name;
  return "";
}

// Whole-tree likelihood evaluations of one chain's moves in one iteration
// with the branch lengths unchanged: the frequency move makes one per proposed
// locus, the location move one. The genealogy move makes one more, on new
// branch lengths.
int sameLengthEvaluationsPerChain() {
  int count = 0;
  if (pset.iterFreq != 0) count += lociPerFreqMove;
  if (pset.iterLocation != 0) count += 1;
  return count;
}

// Forgets every chain's per-branch exponentials, as new branch lengths would.
void forgetBranchExps(TreeMatrix& m) { std::fill(m.branchExps.begin(), m.branchExps.end(), std::nan("")); }

// CPU seconds of one whole-tree evaluation of every chain's current state,
// summed over the chains, with the per-branch exponentials known (newLengths
// false) or to be computed (true). Every BranchLogLik cell already holds the
// value the evaluation writes, so the state does not change.
double secondsForEveryChain(bool newLengths) {
  double result = 0;
  double forgetting = 0;
  long rounds = 0;
  const double start = cpuSeconds();
  do {
    for (int c = 0; c < pset.numChains; c++) {
      if (newLengths) {
        const double before = cpuSeconds();
        forgetBranchExps(chains[c].tree);
        forgetting += cpuSeconds() - before;
      }
      tprob(chains[c].tree, pset.mutLocation[c], pset.mapDist, &result, pset.alleleFreq[c], pset.rootHaplotype[c],
            -1, 0);
    }
    rounds++;
  } while (cpuSeconds() - start < 0.05);
  benchmark::DoNotOptimize(result);
  return (cpuSeconds() - start - forgetting) / rounds;
}

void setShape(benchmark::State& state) {
  state.counters["chromosomes"] = pset.numChrom;
  state.counters["loci"] = pset.numLoci;
}

// One whole-tree evaluation of chain 0: with the branch lengths of the last
// evaluation (as in the frequency and location moves), or with new ones (as
// after the genealogy move's rebuild).
void wholeTreeLikelihood(benchmark::State& state, const std::string& name, bool newLengths) {
  const std::string error = load(name);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  ChainState& chain = chains[0];
  double result = 0;
  for (auto _ : state) {
    if (newLengths) {
      state.PauseTiming();
      forgetBranchExps(chain.tree);
      state.ResumeTiming();
    }
    tprob(chain.tree, pset.mutLocation[0], pset.mapDist, &result, pset.alleleFreq[0], pset.rootHaplotype[0], -1, 0);
    benchmark::DoNotOptimize(result);
  }
  setShape(state);
}

void iteration(benchmark::State& state, const std::string& name) {
  const std::string error = load(name);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  // Iteration 0 is burn-in, so no sample slot is written however often it runs.
  const double start = cpuSeconds();
  for (auto _ : state)
    for (int c = 0; c < pset.numChains; c++) updateChain(c, 0, &seed);
  const double seconds = cpuSeconds() - start;
  const double perIteration = seconds / state.iterations();
  const int sameLengths = sameLengthEvaluationsPerChain();
  setShape(state);
  state.counters["tree_evals"] = (sameLengths + 1) * pset.numChains;
  // Iteration time over the time of the whole-tree evaluations it must make,
  // timed on the chains' states after the iterations (CPU time, as the CPU
  // column): one on new branch lengths per chain, the others on known ones.
  state.counters["overhead"] =
      perIteration / (sameLengths * secondsForEveryChain(false) + secondsForEveryChain(true));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* fromEnvironment = std::getenv("MUTLOC_BENCH_DATA");
  dataDir = argc > 1 ? argv[1] : fromEnvironment ? fromEnvironment : MUTLOC_BENCH_DATA_DEFAULT;
  int registered = 0;
  for (const char* name : kDataSets) {
    if (!std::ifstream(pathOf(name))) continue;
    const std::string key = name;
    benchmark::RegisterBenchmark(("Likelihood/" + key).c_str(), wholeTreeLikelihood, key, false)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.3);
    benchmark::RegisterBenchmark(("LikelihoodNewLengths/" + key).c_str(), wholeTreeLikelihood, key, true)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.3);
    benchmark::RegisterBenchmark(("Iteration/" + key).c_str(), iteration, key)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    registered++;
  }
  if (registered == 0) {
    std::fprintf(stderr, "No data sets in %s: run make_datasets.py first.\n", dataDir.c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
