#include "core/shuffle.h"

#include <cstddef>
#include <utility>

void shuffleLabels(std::vector<int>& list, ShuffleStream& stream) {
  for (std::size_t i = 1; i < list.size(); i++) std::swap(list[i], list[static_cast<std::size_t>(stream.next()) % (i + 1)]);
}
