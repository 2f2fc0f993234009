// Character-level scanning of the parameter file. Entries are found by one
// locating character, lists end at a character that begins the next label.
// Every function throws RunFailure naming the entry when the input ends early
// or holds text where a number is expected.
#pragma once

#include <istream>
#include <string>
#include <type_traits>
#include <vector>

// Reads and discards characters up to and including the first one whose
// upper-case form is x. Returns false when the input ends first.
bool skipPast(std::istream& in, char x);

// skipPast that fails with a message naming the entry when x never comes.
void locateEntry(std::istream& in, char x, const std::string& entry);

// Discards the rest of a label line (shorter than 1000 characters).
void discardLabelLine(std::istream& in, const std::string& entry);

// One value: white space (newlines included) is skipped, then the value must
// fill its token, which ends at white space, the end of the input, or one of
// the separators. A whole number may be written 1e3 or +5; "1O000", "2.5"
// (for a whole number), "inf", "nan" and hexadecimal are rejected with the
// entry named.
int readInt(std::istream& in, const std::string& entry, const char* separators = "");
double readDouble(std::istream& in, const std::string& entry);

// Skips white space (newlines included), then reads one character: true when
// its upper-case form is one of endLetters (consumed: it begins the next
// label), false when a value follows (the character is put back).
bool listEnds(std::istream& in, const std::string& endLetters, const std::string& entry);

// Skips white space, newlines included.
void skipWhite(std::istream& in);

// Failure text for input that ends inside an entry.
std::string endedInside(const std::string& entry);

// Rejects the input with one line (exit status 1).
[[noreturn]] void reject(const std::string& message);

// Reads values until a character of endLetters ends the list; check(value)
// may reject each.
template <typename T, typename Check>
std::vector<T> readList(std::istream& in, const std::string& endLetters, const std::string& entry, const Check& check) {
  std::vector<T> values;
  while (!listEnds(in, endLetters, entry)) {
    T value;
    if constexpr (std::is_same_v<T, int>)
      value = readInt(in, entry);
    else
      value = readDouble(in, entry);
    check(value);
    values.push_back(value);
    skipWhite(in);
  }
  return values;
}

// A list entry found by its locating character: the label line is skipped,
// then the values are read up to the next label (see readList).
template <typename T, typename Check>
std::vector<T> readLocatedList(std::istream& in, char locator, const std::string& entry, const std::string& endLetters,
                               const Check& check) {
  locateEntry(in, locator, entry);
  discardLabelLine(in, entry);
  return readList<T>(in, endLetters, entry, check);
}
