// Fuzz target: the parameter-file reader on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>

#include "input/failure.h"
#include "input/readdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream log;
  PatientTable patients = makePatientTable();
  int32_t seed = 0;
  int segments = 0;
  try {
    readdata3(&seed, &segments, in, log, patients);
  } catch (const RunFailure&) {
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return 0;
}
