// Fuzz target: the parameter-file reader on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>

#include "core/failure.h"
#include "input/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    readParameterFile(in);
  } catch (const RunFailure&) {
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return 0;
}
