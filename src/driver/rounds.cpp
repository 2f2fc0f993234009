#include "driver/rounds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "sampler/samplingoptions.h"

std::string RoundRule::toWords() const {
  if (!on) return "";
  char text[128];
  std::snprintf(text, sizeof text, "until=1 target-rhat=%.17g target-ess=%.17g max-iterations=%ld", targetRhat,
                targetEss, maxIterations);
  return text;
}

RoundRule RoundRule::fromWords(const std::string& words) {
  RoundRule rule;
  rule.on = wordValue(words, "until") == "1";
  if (!rule.on) return rule;
  rule.targetRhat = std::strtod(wordValue(words, "target-rhat").c_str(), nullptr);
  rule.targetEss = std::strtod(wordValue(words, "target-ess").c_str(), nullptr);
  rule.maxIterations = std::strtol(wordValue(words, "max-iterations").c_str(), nullptr, 10);
  return rule;
}

long RoundRule::roundEnd(long sampled, long firstRound) const {
  long end = std::min(firstRound, maxIterations);
  while (end <= sampled && end < maxIterations) end = std::min(maxIterations, end + std::max(firstRound, end / 4));
  return end;
}

int RoundRule::roundsDone(long sampled, long firstRound) const {
  int rounds = 0;
  for (long end = std::min(firstRound, maxIterations); end <= sampled;) {
    rounds++;
    if (end >= maxIterations) break;
    end = std::min(maxIterations, end + std::max(firstRound, end / 4));
  }
  return rounds;
}

namespace {

bool reaches(const Diagnostics& d, const RoundRule& rule) {
  // NaN (too few draws, or none that differ) never reaches a target.
  return d.rhat <= rule.targetRhat && d.essBulk >= rule.targetEss && d.essTail >= rule.targetEss;
}

}  // namespace

RoundVerdict judgeRound(const ChainDraws& locations, const ChainDraws& ages, bool locationSampled, bool ageSampled,
                        const RoundRule& rule) {
  RoundVerdict verdict;
  verdict.location = diagnose(locations);
  verdict.age = diagnose(ages);
  verdict.reached = (!locationSampled || reaches(verdict.location, rule)) && (!ageSampled || reaches(verdict.age, rule));
  return verdict;
}

std::string diagnosticsText(const Diagnostics& d) {
  std::ostringstream out;
  out.precision(4);
  auto whole = [](double v) { return std::isfinite(v) ? std::to_string(std::lround(v)) : std::string("nan"); };
  out << "R-hat " << d.rhat << ", ESS bulk " << whole(d.essBulk) << ", tail " << whole(d.essTail);
  return out.str();
}
