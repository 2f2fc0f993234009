// What the sampler shares with the control thread: the step sizes the menu
// may change, the acceptance proportions it shows, the pause mutex and the
// stop request. Everything else of a run is either read-only settings or
// belongs to one chain.
#pragma once

#include <pthread.h>

#include <array>
#include <atomic>
#include <vector>

#include "core/shared.h"
#include "input/settings.h"

// The moves whose acceptances a chain counts, in the order checkpoints hold
// the counts. The first kMoveKinds are those whose acceptance proportions
// the trace, the menu and the summary show; the tuner tunes the steps of
// five of them.
enum class MoveKind { Genealogy, Location, Root, Internal, Frequencies, NodeTime, Exchange, Scale };
constexpr int kMoveKinds = 5;
constexpr int kCountedMoveKinds = 8;

// The step sizes the moves of a chain read. The cold chains read the menu's
// (SharedControl's own); heated companions have one set per temperature.
struct StepSet {
  SharedDouble tree;      // node-time and mutation-age step of the genealogy move
  SharedDouble location;  // mutation-location step
  SharedDouble root;      // redraw probability of a root allele
  SharedDouble internal;  // redraw probability of an internal-node allele
  SharedDouble freq;      // allele-frequency step
  SharedDouble nodeTime;  // step of the one-node time move (local moves)
  SharedDouble scale;     // log-scale step of the whole-genealogy scaling (local moves)

  static constexpr int kCount = 7;
  // Every step, in the order above (checkpoints, tuning, the summary).
  std::array<SharedDouble*, kCount> all() {
    return {&tree, &location, &root, &internal, &freq, &nodeTime, &scale};
  }
  std::array<double, kCount> values() const;

  // Takes the file's five steps; the node-time step starts at the tree step.
  void take(const StepSizes& steps);
};

struct SharedControl : StepSet {
  // The control thread writes the step sizes (holding pauseMutex) while the
  // sampler reads them.
  std::vector<SharedDouble> acceptance[kMoveKinds];  // proportions per move kind, one per chain

  pthread_mutex_t pauseMutex;               // held by the control thread while the menu is open
  std::atomic<int> stopRequested{0};        // 1: stop at the end of the current iteration, saving results
  std::atomic<int> stopSignal{0};           // the signal that asked for the stop (0: none)
  std::atomic<long long> stopSignalAt{0};   // when it came (monotonic clock, milliseconds)
  std::atomic<bool> menuReady{false};       // the fields below and acceptance are set: the menu may show them
  int wakePipe[2] = {-1, -1};               // readable when the control thread must stop waiting for input

  // What the menu shows beside the step sizes; set before menuReady.
  int numChains = 0;
  double locationWidth = 0;  // mutLocHigh - mutLocLow, the bound of the location step
  bool iterLocation = false;
  bool iterRoot = false;
  bool iterFreq = false;

  // Takes the starting step sizes and the menu's view of the settings, and
  // one zero proportion per chain.
  void prepare(const RunSettings& s);
};
