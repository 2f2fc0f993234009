#include "core/machinememory.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

long long availableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  long long kilobytes = 0;
  std::string unit;
  while (meminfo >> key >> kilobytes >> unit)
    if (key == "MemAvailable:") return kilobytes * 1024;
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages < 0 || pageSize < 0) return -1;
  return static_cast<long long>(pages) * pageSize;
}

std::string bytesText(double bytes) {
  std::ostringstream text;
  text.precision(3);
  if (bytes >= 1e9)
    text << bytes / 1e9 << " GB";
  else if (bytes >= 1e6)
    text << bytes / 1e6 << " MB";
  else
    text << bytes / 1e3 << " kB";
  return text.str();
}
