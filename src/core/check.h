// Always-on checks of cheap invariants. A failure is a bug in this program,
// not bad input: it names the file and line and aborts.
#pragma once

#include <cstdio>
#include <cstdlib>

#define MUTLOC_CHECK(condition)                                                                        \
  do {                                                                                                 \
    if (!(condition)) {                                                                                \
      std::fprintf(stderr, "mutloc: internal check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                                    \
    }                                                                                                  \
  } while (0)
