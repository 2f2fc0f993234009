#include "sampler/chainstate.h"

std::vector<ChainState> chains;
int hasMissing = 0;
int lociPerFreqMove = 1;
int largestAlleleCount = 0;
double convergenceStat = 0;
std::vector<SharedDouble> props[kMoveKinds];
std::vector<double> freqScratch;
std::vector<double> phaseScratch;
std::vector<int> rootProposal;
std::vector<int> internalProposal;
std::vector<int> internalSaved;
double proposedLogLik = 0;
int changedFlag = 0;
std::vector<double> branchLogLikSaved;
std::vector<double> sortedTimesProposal;
std::vector<int> labelOrder;
std::vector<int> rowsByTime;
std::vector<int> leafOrder;

void makeProps(int numChains) {
  for (auto& row : props) row.assign(numChains, SharedDouble(0.0));
}
