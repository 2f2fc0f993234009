#include "input/ranges.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "input/scan.h"

namespace {

const char* const kGrowth = "\"Population growth rate \"";
const char* const kSampled = "\"Proportion of population sampled \"";

std::string text(double v) {
  std::ostringstream out;
  out << v;
  return out.str();
}

// The youngest age the chains start from or may reach, as a message names it.
struct Age {
  double value;
  std::string phrase;
};

// The priors of an age lose precision as the age falls, so the youngest age
// of the run is checked: a fixed age, a starting age the file gives, or the
// lower bound of the ages. At a lower bound of 0 every prior vanishes; it is
// checked at one generation (or the upper bound, when smaller), so that the
// ages where chains start and stay are sound.
Age youngestAge(const RunSettings& s) {
  if (!s.iterAge) return {s.startAge, "\"Mutation age\" " + text(s.startAge)};
  Age youngest = s.mutAgeLow > 0
                     ? Age{s.mutAgeLow, "the lower bound of \"Mutation age boundaries\", " + text(s.mutAgeLow) + ","}
                     : Age{std::min(1.0, s.mutAgeHigh),
                           "\"Mutation age boundaries\" from 0 (at the age " + text(std::min(1.0, s.mutAgeHigh)) + ")"};
  if (s.startAge != kRandomValue && s.startAge < youngest.value) youngest = {s.startAge, "\"Mutation age\" " + text(s.startAge)};
  return youngest;
}

}  // namespace

double nodeTimeShareBelow(double T, double r, double K) {
  const double grown = -std::expm1(-r * T);  // 1 - e^(-rT)
  return K * grown / (K * grown + 2 * r * std::exp(-r * T));
}

void checkModelRanges(const RunSettings& s) {
  const double r = s.growthRate;
  const double K = s.propSampled;
  const Age age = youngestAge(s);
  const double growth = r * age.value;
  if (growth < kMinGrowthOverAge)
    reject(std::string(kGrowth) + " " + text(r) + " and " + age.phrase + " give a growth rate times age of " +
           text(growth) + "; it should be at least 1e-10, or the age prior loses its precision.");
  const double share = nodeTimeShareBelow(age.value, r, K);
  if (share < kMinNodeTimeShare)
    reject(std::string(kGrowth) + " " + text(r) + ", " + kSampled + " " + text(K) + " and " + age.phrase + " leave " +
           text(share) +
           " of the node-time distribution below that age; it should be at least 1e-10, or the node-time prior loses "
           "its precision.");

  // The star's node times reach down to (leaves - 1) spacings below the
  // starting age; random starting ages come from the lower bound up.
  if (s.starGenealogy) {
    const double depth = (s.numChrom - 1) * kStarSpacing;
    const bool given = !s.iterAge || s.startAge != kRandomValue;
    const double start = given ? s.startAge : s.mutAgeLow;
    if (!(start > depth))
      reject("\"Star genealogy\" places its " + std::to_string(s.numChrom - 1) + " node times 1e-05 generations apart "
             "below the starting age, so " +
             (given ? "\"Mutation age\" " + text(start)
                    : "the lower bound of \"Mutation age boundaries\", " + text(start) + ",") +
             " should be above " + text(depth) + ".");
  }

  // Negative locations only ever meet e^(x t) below 1, so only the reach to
  // the right of the first marker counts.
  const double lastMarker = s.mapDist.back();
  const bool mapReaches = lastMarker >= s.mutLocHigh;
  const double reach = std::max(lastMarker, s.mutLocHigh);
  const double oldest = s.mutAgeHigh;  // the fixed age when the age is not sampled
  const std::string ageEntry = s.iterAge ? "\"Mutation age boundaries\"" : "\"Mutation age\"";
  if (reach * oldest > kMaxDistanceTimesAge)
    reject(std::string(mapReaches ? "\"Map distance\"" : "\"Mutation's low and high boundary\"") + " reaches " +
           text(reach) + " Morgans and " + ageEntry + " " + text(oldest) + " generations: their product " +
           text(reach * oldest) + " should be at most 700, or the branch probabilities overflow.");
}

void checkStepSizes(const RunSettings& s) {
  const double locationStep = s.steps.location;
  if (locationStep > 0.5 || locationStep < 0)
    reject("Recombination distance adjustment(c) out of range (0.0 - 0.5)");
  if (!(s.steps.tree > 0)) {
    std::ostringstream message;
    message.precision(4);
    message << "Coalescence time adjustment " << s.steps.tree << " must be a > 0.0";
    reject(message.str());
  }
}
