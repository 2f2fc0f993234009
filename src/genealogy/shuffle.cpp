#include "genealogy/shuffle.h"

#include <cstdlib>
#include <utility>

void shuffleLabels(std::vector<int>& list) {
  for (size_t i = 1; i < list.size(); i++) std::swap(list[i], list[lrand48() % (i + 1)]);
}
