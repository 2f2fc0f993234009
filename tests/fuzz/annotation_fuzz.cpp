// Fuzz target: the annotation-file scan and the interval merge.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "core/failure.h"
#include "input/annotation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    Annotation annotation = scanAnnotation(in, "fuzz.gb");
    mergeIntervals(annotation.exons);
    mergeIntervals(annotation.genes);
  } catch (const RunFailure&) {
  }
  return 0;
}
