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
#include <memory>
#include <sstream>
#include <string>

#include "core/failure.h"
#include "core/random.h"
#include "input/reader.h"
#include "model/likelihood.h"
#include "sampler/allelemoves.h"
#include "sampler/chainsetup.h"
#include "sampler/chainiteration.h"

namespace {

const char* const kDataSets[] = {"small", "medium", "large", "geno", "scale125", "scale250", "scale500", "scale1000"};

// One data set's run, set up as the program sets it up.
struct LoadedRun {
  std::string name;
  RunSettings settings;
  SharedControl control;
  Random rng;
  ChainSetup setup;
  MoveContext context() { return moveContextOf(settings, control, setup); }
};

std::string dataDir;
std::unique_ptr<LoadedRun> loaded;  // the data set benchmarked last

std::string pathOf(const std::string& name) { return dataDir + "/" + name + ".txt"; }

// CPU seconds of this thread: steadier than the wall clock on a shared machine.
double cpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

// Reads the data set and builds its chains as a run does, so every load of a
// data set starts from the state a fresh run has. Returns an error text, or "".
std::string load(const std::string& name) {
  if (loaded && loaded->name == name) return "";
  loaded.reset();
  std::ifstream in(pathOf(name));
  if (!in) return "cannot open " + pathOf(name);
  auto run = std::make_unique<LoadedRun>();
  try {
    run->settings = readParameterFile(in);
    run->rng = Random(static_cast<int32_t>(run->settings.fileSeed));
    run->control.prepare(run->settings);
    std::ostringstream log;
    run->setup = setupChains(run->settings, drawStartingValues(run->settings, run->rng), run->rng, run->control, log);
  } catch (const RunFailure& failure) {
    return failure.message;
  }
  run->name = name;
  loaded = std::move(run);
  return "";
}

// Whole-tree likelihood evaluations of one chain's moves in one iteration
// with the branch lengths unchanged: the frequency move makes one per proposed
// locus, the location move one. The genealogy move makes one more, on new
// branch lengths.
int sameLengthEvaluationsPerChain() {
  int count = 0;
  if (loaded->settings.iterFreq) count += loaded->setup.lociPerFreqMove;
  if (loaded->settings.iterLocation) count += 1;
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
    for (Chain& chain : loaded->setup.chains) {
      if (newLengths) {
        const double before = cpuSeconds();
        forgetBranchExps(chain.tree);
        forgetting += cpuSeconds() - before;
      }
      result = rescoreTree(chain.tree, branchModelOf(chain, loaded->settings), Rescore::All);
    }
    rounds++;
  } while (cpuSeconds() - start < 0.05);
  benchmark::DoNotOptimize(result);
  return (cpuSeconds() - start - forgetting) / rounds;
}

void setShape(benchmark::State& state) {
  state.counters["chromosomes"] = loaded->settings.numChrom;
  state.counters["loci"] = loaded->settings.numLoci;
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
  Chain& chain = loaded->setup.chains[0];
  const BranchModel model = branchModelOf(chain, loaded->settings);
  double result = 0;
  for (auto _ : state) {
    if (newLengths) {
      state.PauseTiming();
      forgetBranchExps(chain.tree);
      state.ResumeTiming();
    }
    result = rescoreTree(chain.tree, model, Rescore::All);
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
  const MoveContext ctx = loaded->context();
  const double start = cpuSeconds();
  for (auto _ : state)
    for (Chain& chain : loaded->setup.chains) updateChain(chain, ctx);
  const double seconds = cpuSeconds() - start;
  const double perIteration = seconds / state.iterations();
  const int sameLengths = sameLengthEvaluationsPerChain();
  setShape(state);
  state.counters["tree_evals"] = (sameLengths + 1) * loaded->settings.numChains;
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
