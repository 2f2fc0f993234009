// The control thread: reads the terminal word by word while the sampler runs;
// typing 9 pauses the run and opens the menu of step sizes, acceptance
// proportions, resume and stop.
#pragma once

#include <pthread.h>

#include "sampler/sharedcontrol.h"

// Body of the control thread; arg is the run's SharedControl.
void* controlThreadMain(void* arg);

// Starts the control thread on control (whose pauseMutex must be initialised);
// returns the pthread_create result.
int startControlThread(pthread_t* thread, SharedControl& control);

// Ends the control thread wherever it waits for input and joins it; aborts
// with "error joining thread." when it cannot be joined.
void stopControlThread(pthread_t thread, SharedControl& control);

// Stop signals within this time of the first are part of the same request.
constexpr long long kStopSignalBurstMilliseconds = 1000;

// The first SIGINT or SIGTERM asks control for a stop like menu choice 6 and
// records the signal; more within kStopSignalBurstMilliseconds are part of the
// same request, and one after that ends the process at once.
void installStopSignals(SharedControl& control);
// Back to the default handlers, before the control record goes.
void restoreStopSignals();
