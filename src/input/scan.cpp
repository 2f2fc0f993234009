#include "input/scan.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/failure.h"

namespace {

constexpr int kLabelLineLimit = 1000;

int upper(int c) { return std::toupper(static_cast<unsigned char>(c)); }

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A decimal number: optional sign, digits with at most one point (at least
// one digit), optional exponent. No "inf", "nan" or hexadecimal.
bool isDecimal(const std::string& token) {
  size_t i = 0;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) i++;
  size_t digits = 0;
  while (i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]))) i++, digits++;
  if (i < token.size() && token[i] == '.') {
    i++;
    while (i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]))) i++, digits++;
  }
  if (digits == 0) return false;
  if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
    i++;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) i++;
    size_t exponent = 0;
    while (i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]))) i++, exponent++;
    if (exponent == 0) return false;
  }
  return i == token.size();
}

// Skips white space (newlines included), then reads one value token up to
// white space, the end of the input or one of the separators, and converts
// it. The whole token must be a decimal number.
double readToken(std::istream& in, const std::string& entry, const char* separators) {
  skipWhite(in);
  std::string token;
  for (int c = in.peek(); c != std::char_traits<char>::eof() && !isSpace(c) && !std::strchr(separators, c);
       c = in.peek()) {
    token.push_back(static_cast<char>(in.get()));
    if (token.size() > 400) break;  // no number of this program is that long
  }
  if (token.empty()) {
    if (in.peek() == std::char_traits<char>::eof()) reject(endedInside(entry));
    reject("Expected a number for \"" + entry + "\".");
  }
  if (!isDecimal(token)) reject("Expected a number for \"" + entry + "\".");
  const double value = std::strtod(token.c_str(), nullptr);
  // A decimal beyond the largest double converts to infinity; no check or
  // formula after this point expects one.
  if (!std::isfinite(value))
    reject("\"" + entry + "\": " + (token.size() > 40 ? token.substr(0, 40) + "..." : token) +
           " is too large; numbers must lie between -1.7e308 and 1.7e308.");
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

int readInt(std::istream& in, const std::string& entry, const char* separators) {
  const double value = readToken(in, entry, separators);
  if (!(value == std::trunc(value) && value > -2147483649.0 && value < 2147483648.0))
    reject("Expected a whole number for \"" + entry + "\".");
  return static_cast<int>(value);
}

double readDouble(std::istream& in, const std::string& entry) { return readToken(in, entry, ""); }

bool listEnds(std::istream& in, const std::string& endLetters, const std::string& entry) {
  skipWhite(in);
  const int c = in.get();
  if (c == std::char_traits<char>::eof()) reject(endedInside(entry));
  for (char end : endLetters)
    if (upper(c) == upper(end)) return true;
  in.unget();
  return false;
}
