// The run lifecycle: control thread, files, parameters, chains, iterations,
// summaries and shutdown. Returns the process exit status.
#pragma once

int runProgram(int argc, char** argv);
