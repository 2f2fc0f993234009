#include "sampler/acceptance.h"

#include <cmath>

bool accepted(double d, Random& rng, Decision rule) {
  double p = d < 0 ? std::exp(d) : 1;
  if (rule == Decision::Forbidden) p = 0;
  const double u = rng.uniform();
  return rule == Decision::OnEquality ? !(p < u) : u < p;
}
