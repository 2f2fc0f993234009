#include "sampler/samplingoptions.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

std::string wordValue(const std::string& words, const std::string& name) {
  std::istringstream in(words);
  for (std::string word; in >> word;)
    if (word.rfind(name + "=", 0) == 0) return word.substr(name.size() + 1);
  return "";
}

namespace {

// Every digit, so that a resumed run has the number the run it continues had.
std::string exactText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

std::string SamplingOptions::toWords() const {
  std::string words;
  auto add = [&words](const std::string& word) { words += (words.empty() ? "" : " ") + word; };
  auto addFlags = [&add](const auto& flags) {
    for (const auto& [name, value] : flags)
      if (*value) add(std::string(name) + "=1");
  };
  if (streams) add("streams=1");
  addFlags(MoveOptions::flags(moves));
  if (heated > 0) {
    add("heated=" + std::to_string(heated));
    add("hottest=" + exactText(hottest));
  }
  addFlags(startFlags(*this));
  if (sporadic) {
    add("sporadic=1");
    if (sporadicPrior.fixed())
      add("sporadic-share=" + exactText(sporadicPrior.fixedShare));
    else if (sporadicPrior.a != 1 || sporadicPrior.b != 1)
      add("sporadic-prior=" + exactText(sporadicPrior.a) + "," + exactText(sporadicPrior.b));
  }
  return words;
}

SamplingOptions SamplingOptions::fromWords(const std::string& words) {
  SamplingOptions o;
  auto readFlags = [&words](const auto& flags) {
    for (const auto& [name, value] : flags) *value = wordValue(words, name) == "1";
  };
  o.streams = wordValue(words, "streams") == "1";
  readFlags(MoveOptions::flags(o.moves));
  const std::string heated = wordValue(words, "heated");
  o.heated = heated.empty() ? 0 : std::atoi(heated.c_str());
  const std::string hottest = wordValue(words, "hottest");
  if (!hottest.empty()) o.hottest = std::strtod(hottest.c_str(), nullptr);
  readFlags(startFlags(o));
  o.sporadic = wordValue(words, "sporadic") == "1";
  const std::string share = wordValue(words, "sporadic-share");
  if (!share.empty()) o.sporadicPrior.fixedShare = std::strtod(share.c_str(), nullptr);
  const std::string prior = wordValue(words, "sporadic-prior");
  const size_t comma = prior.find(',');
  if (comma != std::string::npos) {
    o.sporadicPrior.a = std::strtod(prior.substr(0, comma).c_str(), nullptr);
    o.sporadicPrior.b = std::strtod(prior.substr(comma + 1).c_str(), nullptr);
  }
  return o;
}
