#include "sampler/acceptance.h"

#include <cmath>

bool accepted(double logRatio, Random& rng, Decision rule) {
  double p = logRatio < 0 ? std::exp(logRatio) : 1;
  if (rule == Decision::Forbidden) p = 0;
  const double u = rng.uniform();
  return rule == Decision::OnEquality ? !(p < u) : u < p;
}
