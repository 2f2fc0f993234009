#include "sampler/sharedcontrol.h"

void SharedControl::prepare(const RunSettings& s) {
  adjTree = s.steps.tree;
  adjRecDist = s.steps.location;
  adjRoot = s.steps.root;
  adjInternal = s.steps.internal;
  adjFreq = s.steps.freq;
  for (auto& row : props) row.assign(s.numChains, SharedDouble(0.0));
  numChains = s.numChains;
  locationWidth = s.mutLocHigh - s.mutLocLow;
  iterLocation = s.iterLocation;
  iterRoot = s.iterRoot;
  iterFreq = s.iterFreq;
}
