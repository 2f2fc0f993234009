#include "sampler/acceptance.h"

#include <cmath>

#include "sampler/random.h"

bool accepted(double d, int32_t* seed, Decision rule) {
  double p = d < 0 ? std::exp(d) : 1;
  if (rule == Decision::Forbidden) p = 0;
  const double u = ran1(seed);
  return rule == Decision::OnEquality ? !(p < u) : u < p;
}
