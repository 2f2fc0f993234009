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

#include "control/control.h"
#include "genealogy/treestore.h"
#include "input/failure.h"
#include "input/parameters.h"
#include "input/readdata.h"
#include "results/haplotypes.h"
#include "results/histogram.h"
#include "results/sorting.h"
#include "sampler/chainsetup.h"
#include "sampler/chainstate.h"
#include "sampler/sweep.h"

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

// The summaries of the end of a run, from chain 0 and every chain's samples.
void writeResults(RunFiles& files, const SweepEnd& end) {
  std::cout << "\nWriting files...\n" << std::endl;
  const long count = end.stopped ? end.lastIteration - pset.burnIn + 1 : pset.iterations;
  std::vector<std::vector<double>> locations;
  std::vector<std::vector<double>> ages;
  for (auto& chain : chains) {
    locations.push_back(std::move(chain.mutLocSamples));
    ages.push_back(std::move(chain.mutAgeSamples));
  }
  if (count > 0) {
    for (auto& samples : locations) mysort(samples.data(), count);
    for (auto& samples : ages) mysort(samples.data(), count);
    Histogram(locations, count, pset.histBars, files.out[Sig]);
    Histogram(ages, count, pset.histBars, files.out[Tre]);
  } else {
    std::cout << "No samples were drawn: the run stopped during burn-in, so the histograms are empty." << std::endl;
  }
  const TreeMatrix& tree = chains[0].tree;
  if (pset.storePopHaplotypes != 0) haplosave1(tree, files.out[Hpf], 1);
  haplosave3(tree, files.out[Hap]);
  if (pset.storeIndHaplotypes != 0) haplosaveind(tree, files.out[Hin], 1);
  storemat(tree, files.out[Mat]);
}

}  // namespace

int runProgram(int argc, char** argv) {
  int rc = pthread_mutex_init(&mymutex, nullptr);
  if (rc != 0) {
    std::fprintf(stderr, "Mutex initialization failed: %s\n", std::strerror(rc));
    return 1;
  }
  pthread_t control;
  rc = startControlThread(&control);
  if (rc != 0) {
    std::fprintf(stderr, "Thread creation failure: %s\n", std::strerror(rc));
    return 1;
  }
  installStopSignals();

  RunFiles files;
  auto endEarly = [&](int status) {
    const std::string failed = files.closeAll();
    if (status == 0 && !failed.empty()) {
      std::cout << writeFailure(failed) << std::endl;
      status = 1;
    }
    stopControlThread(control);
    pthread_mutex_destroy(&mymutex);
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
    PatientTable patientData = makePatientTable();
    int32_t seed = 0;
    int numSegs = 0;
    const int maxAllele = readdata3(&seed, &numSegs, files.parameters, files.out[Log], patientData);
    if (maxAllele == 0) {
      std::cout << "Program terminated" << std::endl;
      return endEarly(1);
    }
    makeHaplotypeTables();
    makeProps(pset.numChains);
    setupChains(&seed, patientData, maxAllele, files.out[Log]);
    menuReady.store(true);
    const SweepEnd end = runSweeps(ReportStreams{files.out[Dat], files.names[Dat], files.out[Hpf], files.out[Hin]}, &seed);
    writeResults(files, end);
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
