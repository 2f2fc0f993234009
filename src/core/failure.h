// How a step of the run reports a condition that ends the run: the exact text
// for standard output (with its own line end, or none) and the exit status.
// Only the driver prints it and ends the process.
#pragma once

#include <string>
#include <utility>

struct RunFailure {
  int status;           // process exit status
  std::string message;  // printed verbatim on standard output
  std::string reason = {};  // when not empty: one line for standard error saying why (without its line end)
};

// A failure whose message is one line ended by a newline.
inline RunFailure failLine(std::string text, int status = 1) { return RunFailure{status, std::move(text) + "\n"}; }

// The message for an output file whose contents could not all be written.
inline std::string writeFailure(const std::string& name) {
  return "Could not write " + name + " (disk full, or the file was removed or replaced?).";
}
