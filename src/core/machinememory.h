// The memory the machine has available, and byte counts as messages show
// them: shared by mutloc's memory guard and mutloc-prepare's.
#pragma once

#include <string>

// The memory available to a new process (MemAvailable of /proc/meminfo, or
// the free pages), in bytes; -1 when unknown.
long long availableMemory();

// Bytes as text with three significant digits: "6.4 GB", "512 MB", "12 kB".
std::string bytesText(double bytes);
