#include "input/scan.h"

#include <cctype>

#include "core/failure.h"

namespace {

constexpr int kLabelLineLimit = 1000;

int upper(int c) { return std::toupper(static_cast<unsigned char>(c)); }

template <typename T>
T readNumber(std::istream& in, const std::string& entry) {
  T value{};
  in >> value;
  if (in.fail()) {
    if (in.eof()) throw failLine(endedInside(entry));
    throw failLine("Expected a number for \"" + entry + "\".");
  }
  return value;
}

}  // namespace

std::string endedInside(const std::string& entry) {
  return "The parameter file ends before \"" + entry + "\" is complete.";
}

void reject(const std::string& message) { throw failLine(message); }

bool skipPast(std::istream& in, char x) {
  for (int c = in.get(); c != std::char_traits<char>::eof(); c = in.get())
    if (upper(c) == upper(x)) return true;
  return false;
}

void locateEntry(std::istream& in, char x, const std::string& entry) {
  if (!skipPast(in, x)) reject("The parameter file has no label for \"" + entry + "\".");
}

void discardLabelLine(std::istream& in, const std::string& entry) {
  int length = 0;
  for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get())
    if (++length >= kLabelLineLimit)
      reject("The label line of \"" + entry + "\" is too long (1000 characters or more).");
}

void skipWhite(std::istream& in) {
  while (std::isspace(in.peek())) in.get();
}

int readInt(std::istream& in, const std::string& entry) { return readNumber<int>(in, entry); }
double readDouble(std::istream& in, const std::string& entry) { return readNumber<double>(in, entry); }

bool listEnds(std::istream& in, const std::string& endLetters, const std::string& entry) {
  skipWhite(in);
  const int c = in.get();
  if (c == std::char_traits<char>::eof()) reject(endedInside(entry));
  for (char end : endLetters)
    if (upper(c) == upper(end)) return true;
  in.unget();
  return false;
}
