// The run lifecycle: control thread, parameters, chains, files, iterations,
// summaries and shutdown. Returns the process exit status.
#pragma once

#include "driver/options.h"

int runProgram(const RunOptions& options);
