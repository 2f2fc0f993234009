#include "driver/run.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <cstdlib>
#include <ctime>

#include "control/control.h"
#include "core/failure.h"
#include "core/random.h"
#include "core/sorting.h"
#include "driver/sweep.h"
#include "genealogy/treestore.h"
#include "input/echo.h"
#include "input/reader.h"
#include "results/haplotypes.h"
#include "results/histogram.h"
#include "results/trace.h"
#include "sampler/chainsetup.h"

namespace {

// The eight output files, in the order they are opened.
enum OutputFile { Dat, Log, Sig, Hap, Hin, Hpf, Mat, Tre, kOutputFiles };
const char* const kExtensions[kOutputFiles] = {".dat", ".log", ".sig", ".hap", ".hin", ".hpf", ".mat", ".tre"};
// Closing order at the end of a run.
const OutputFile kCloseOrder[kOutputFiles] = {Dat, Log, Sig, Hap, Mat, Hpf, Hin, Tre};

struct RunFiles {
  std::ifstream parameters;
  std::ofstream out[kOutputFiles];
  std::string names[kOutputFiles];
  // Closes every open file in the closing order; returns the name of the
  // first one whose contents could not all be written, or "".
  std::string closeAll() {
    std::string failed;
    for (OutputFile f : kCloseOrder) {
      if (!out[f].is_open()) continue;
      out[f].close();
      if (out[f].fail() && failed.empty()) failed = names[f];
    }
    parameters.close();
    return failed;
  }
};

// Creates or truncates name with permission bits 0664 and opens it for writing.
bool openOutput(std::ofstream& stream, const std::string& name) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0664);
  if (fd < 0) return false;
  close(fd);
  stream.open(name, std::ios::out | std::ios::trunc);
  return stream.is_open();
}

// The run's seed: the file's fixed one, or one drawn from the clock.
int32_t runSeed(const RunSettings& s) {
  if (s.fileSeed < 0) return static_cast<int32_t>(s.fileSeed);
  srandom(static_cast<unsigned>(time(nullptr)));
  return -rand();
}

// The summaries of the end of a run, from chain 0 and every chain's samples.
void writeResults(RunFiles& files, const RunSettings& s, std::vector<Chain>& chains, HaplotypeTallies& tallies,
                  const SweepEnd& end) {
  std::cout << "\nWriting files...\n" << std::endl;
  const long count = end.stopped ? end.lastIteration - s.burnIn + 1 : s.iterations;
  std::vector<std::vector<double>> locations;
  std::vector<std::vector<double>> ages;
  for (auto& chain : chains) {
    locations.push_back(std::move(chain.mutLocSamples));
    ages.push_back(std::move(chain.mutAgeSamples));
  }
  if (count > 0) {
    for (auto& samples : locations) sortAscending(samples.data(), count);
    for (auto& samples : ages) sortAscending(samples.data(), count);
    writeHistograms(locations, count, s.histBars, s.alphaLevel, files.out[Sig]);
    writeHistograms(ages, count, s.histBars, s.alphaLevel, files.out[Tre]);
  } else {
    std::cout << "No samples were drawn: the run stopped during burn-in, so the histograms are empty." << std::endl;
  }
  const TreeMatrix& tree = chains[0].tree;
  if (s.storesPopHaplotypes()) {
    tallyPopulationHaplotypes(tallies, tree);
    writePopulationHaplotypes(tallies, tree, files.out[Hpf]);
  }
  writeFinalHaplotypes(tree, files.out[Hap]);
  if (s.storesIndHaplotypes()) {
    tallyIndividualHaplotypes(tallies, tree);
    writeIndividualHaplotypes(tallies, tree, files.out[Hin]);
  }
  writeGenealogy(tree, chains[0].rootHaplotype, files.out[Mat]);
}

}  // namespace

int runProgram(int argc, char** argv) {
  SharedControl control;
  int rc = pthread_mutex_init(&control.pauseMutex, nullptr);
  if (rc != 0) {
    std::fprintf(stderr, "Mutex initialization failed: %s\n", std::strerror(rc));
    return 1;
  }
  pthread_t controlThread;
  rc = startControlThread(&controlThread, control);
  if (rc != 0) {
    std::fprintf(stderr, "Thread creation failure: %s\n", std::strerror(rc));
    return 1;
  }
  installStopSignals(control);

  RunFiles files;
  auto endEarly = [&](int status) {
    const std::string failed = files.closeAll();
    if (status == 0 && !failed.empty()) {
      std::cout << writeFailure(failed) << std::endl;
      status = 1;
    }
    stopControlThread(controlThread, control);
    pthread_mutex_destroy(&control.pauseMutex);
    return status;
  };
  if (argc >= 2) files.parameters.open(argv[1]);
  if (argc < 2 || !files.parameters.is_open()) {
    std::cout << "You haven't opened the input file yet." << std::endl;
    return endEarly(1);
  }
  for (int f = 0; f < kOutputFiles; f++) {
    files.names[f] = std::string(argv[1]) + kExtensions[f];
    if (!openOutput(files.out[f], files.names[f])) {
      std::cout << files.names[f] << " can't be opened." << std::endl;
      return endEarly(1);
    }
  }
  std::cout.precision(4);

  try {
    const RunSettings settings = readParameterFile(files.parameters);
    Random rng(runSeed(settings));
    const StartingValues start = drawStartingValues(settings, rng);
    writeParameterEcho(files.out[Log], settings, settings.fileSeed, start.locations, start.ages);
    HaplotypeTallies tallies = makeHaplotypeTallies(settings);
    control.prepare(settings);
    ChainSetup setup = setupChains(settings, start, rng, files.out[Log]);
    const MoveContext ctx = moveContextOf(settings, control, setup);
    control.menuReady.store(true);
    TraceReport trace(settings, files.out[Dat], files.names[Dat]);
    const SweepEnd end = runSweeps(setup.chains, ctx, trace, tallies);
    writeResults(files, settings, setup.chains, tallies, end);
  } catch (const RunFailure& failure) {
    std::cout << failure.message << std::flush;
    return endEarly(failure.status);
  } catch (const std::bad_alloc&) {
    std::cout << "Not enough memory for this run." << std::endl;
    return endEarly(1);
  } catch (const std::length_error&) {
    std::cout << "Not enough memory for this run." << std::endl;
    return endEarly(1);
  }
  const int status = endEarly(0);
  if (status == 0) std::cout << "Finished" << std::flush;
  return status;
}
