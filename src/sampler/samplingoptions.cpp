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
    // Every digit, so that the companions of a resumed run have the powers
    // they had.
    char hottestText[32];
    std::snprintf(hottestText, sizeof hottestText, "%.17g", hottest);
    add("heated=" + std::to_string(heated));
    add(std::string("hottest=") + hottestText);
  }
  addFlags(startFlags(*this));
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
  return o;
}
