// The random shuffle of the run: a Fisher-Yates pass drawing from the C
// library's lrand48, which the run never seeds, so the shuffles repeat from run
// to run and never consume a draw of the model's generator.
#pragma once

#include <vector>

void shuffleLabels(std::vector<int>& list);
