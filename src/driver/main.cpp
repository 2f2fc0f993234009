#include "driver/options.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  RunOptions options;
  const int status = parseOptions(argc, argv, options);
  if (status >= 0) return status;
  return runProgram(options);
}
