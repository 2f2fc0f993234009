// How the steps of a preparation report a condition that ends it: one line
// naming the file or sample at fault. Only the driver prints it and sets the
// exit status.
#pragma once

#include <stdexcept>
#include <string>

struct PrepareError : std::runtime_error {
  explicit PrepareError(const std::string& message) : std::runtime_error(message) {}
};
