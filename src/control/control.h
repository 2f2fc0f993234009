// The control thread: reads the terminal word by word while the sampler runs;
// typing 9 pauses the run and opens the menu of step sizes, acceptance
// proportions, resume and stop.
#pragma once

#include <pthread.h>

#include <atomic>

extern pthread_mutex_t mymutex;      // held by the control thread while the menu is open
extern std::atomic<int> quitsave;    // 1: stop at the end of the current iteration, saving results
extern std::atomic<bool> menuReady;  // the chains exist: the menu may read pset and props

// Body of the control thread; arg is not used.
void* thread_function(void* arg);

// Reads the next word from standard input into buffer (at most 47 characters
// and the terminator). Returns 0 when it holds only digits and '.', 999 after
// printing the error for any other word (a longer word included), -1 at the
// end of input.
int checkInput(char* buffer);

// Starts the control thread; returns the pthread_create result.
int startControlThread(pthread_t* thread);

// Ends the control thread wherever it waits for input and joins it; aborts
// with "error joining thread." when it cannot be joined.
void stopControlThread(pthread_t thread);

// The first SIGINT or SIGTERM asks for a stop like menu choice 6; a second
// one ends the process at once.
void installStopSignals();

// True when the stop came from a signal rather than the menu.
bool stopWasSignalled();
