#include "core/binaryio.h"

uint64_t fnv1a64(const void* data, size_t size, uint64_t hash) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; i++) {
    hash ^= p[i];
    hash *= 1099511628211ULL;
  }
  return hash;
}
