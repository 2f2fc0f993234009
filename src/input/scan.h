// Character-level scanning of the parameter file. Entries are found by one
// locating character, lists end at a character that begins the next label.
// Every function throws RunFailure naming the entry when the input ends early
// or holds text where a number is expected.
#pragma once

#include <istream>
#include <string>

// Reads and discards characters up to and including the first one whose
// upper-case form is x. Returns false when the input ends first.
bool eatWhite(std::istream& in, char x);

// eatWhite that fails with a message naming the entry when x never comes.
void locateEntry(std::istream& in, char x, const std::string& entry);

// Discards the rest of a label line (shorter than 1000 characters).
void discardLabelLine(std::istream& in, const std::string& entry);

int readInt(std::istream& in, const std::string& entry);
double readDouble(std::istream& in, const std::string& entry);

// Reads one character before a list value: true when it ends the list (its
// upper-case form is one of endLetters; consumed), false when a value follows
// (the character is put back). Leading white space is skipped.
bool listEnds(std::istream& in, const std::string& endLetters, const std::string& entry);

// Skips white space, newlines included.
void skipWhite(std::istream& in);

// Failure text for input that ends inside an entry.
std::string endedInside(const std::string& entry);
