#include "sampler/sharedcontrol.h"

void StepSet::take(const StepSizes& steps) {
  tree = steps.tree;
  location = steps.location;
  root = steps.root;
  internal = steps.internal;
  freq = steps.freq;
  nodeTime = steps.tree;
  // A genealogy scaled by e^0.1 changes its height by about 10 %: a start
  // the tuning adapts from.
  scale = 0.1;
}

std::array<double, StepSet::kCount> StepSet::values() const {
  auto* self = const_cast<StepSet*>(this);
  std::array<double, kCount> out{};
  const auto steps = self->all();
  for (int i = 0; i < kCount; i++) out[i] = steps[i]->load();
  return out;
}

void SharedControl::prepare(const RunSettings& s) {
  take(s.steps);
  for (auto& row : acceptance) row.assign(s.numChains, SharedDouble(0.0));
  numChains = s.numChains;
  locationWidth = s.mutLocHigh - s.mutLocLow;
  iterLocation = s.iterLocation;
  iterRoot = s.iterRoot;
  iterFreq = s.iterFreq;
}
