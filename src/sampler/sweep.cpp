#include "sampler/sweep.h"

#include <cstdio>
#include <iostream>

#include "control/control.h"
#include "input/parameters.h"
#include "sampler/allelemoves.h"
#include "sampler/chainstate.h"
#include "sampler/treemoves.h"

void updateChain(int c, long t, int32_t* seed) {
  ChainState& chain = chains[c];
  const bool sampling = t >= pset.burnIn;
  if (pset.iterFreq != 0) moveAlleleFreqs(c, seed);
  if (hasMissing) moveMissingAlleles(c, seed);
  if (proposeMutAge(c, seed) && sampling) chain.mutAgeSamples[t - pset.burnIn] = pset.mutAge[c];
  moveGenealogy(c, seed);
  if (pset.iterLocation != 0) moveMutLocation(c, seed);
  if (sampling) chain.mutLocSamples[t - pset.burnIn] = pset.mutLocation[c];
  if (pset.iterRoot != 0) moveRootHaplotype(c, seed);
  moveInternalAlleles(c, seed);
  if (pset.dataAsGenotypes != 0) movePhase(c, seed);
}

SweepEnd runSweeps(const ReportStreams& out, int32_t* seed) {
  const long total = pset.burnIn + pset.iterations;
  startReports();
  for (long t = 0; t < total; t++) {
    for (int c = 0; c < pset.numChains; c++) {
      updateChain(c, t, seed);
      storeProportions(c, t);
      reportChain(c, t, out);
    }
    endIteration(t, out);
    pthread_mutex_lock(&mymutex);
    pthread_mutex_unlock(&mymutex);
    if (quitsave.load() != 0) {
      if (stopWasSignalled())
        std::cout << "\nProgram will now be terminated, with data saved to output files" << std::endl;
      return SweepEnd{t, true};
    }
    tallyHaplotypes(t, out);
  }
  return SweepEnd{total - 1, false};
}
