#include "driver/pool.h"

#include <algorithm>

namespace {

// A thread that waits for the next round or for the others spins a while
// before it sleeps, since waking a sleeping thread costs about as much as a
// small chain's update. How long adapts: a wait that spinning saw end
// doubles the next spin, one that had to sleep halves it, so that on a busy
// machine, or with rounds far longer than a wake-up, the waiting threads
// leave the processor to the working ones.
constexpr int kMaxSpins = 20000;

void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Spins until done() or the budget runs out; adapts the budget.
template <typename Done>
void spinFor(int& budget, const Done& done) {
  for (int spin = 0; spin < budget; spin++) {
    if (done()) {
      budget = std::min(kMaxSpins, 2 * budget + 64);
      return;
    }
    relax();
  }
  budget /= 2;
}

}  // namespace

ChainPool::ChainPool(int threads) {
  for (int k = 1; k < threads; k++) workers_.emplace_back([this] { workerLoop(); });
}

ChainPool::~ChainPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    generation_++;
  }
  start_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ChainPool::share() {
  try {
    for (int i = next_++; i < count_; i = next_++) (*work_)(i);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
  }
}

void ChainPool::workerLoop() {
  long seen = 0;
  int budget = kMaxSpins;
  for (;;) {
    spinFor(budget, [&] { return generation_.load() != seen; });
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return generation_.load() != seen; });
      if (stopping_) return;
      seen = generation_.load();
    }
    share();
    if (--pending_ == 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_one();
    }
  }
}

void ChainPool::run(int count, const std::function<void(int)>& work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = &work;
    count_ = count;
    failure_ = nullptr;
    next_ = 0;
    pending_ = static_cast<int>(workers_.size());
    generation_++;
  }
  start_.notify_all();
  share();
  spinFor(spinBudget_, [&] { return pending_.load() == 0; });
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return pending_.load() == 0; });
  if (failure_) std::rethrow_exception(failure_);
}

void ChainPool::runSequences(int count, int steps, const std::function<bool(int, int)>& step) {
  // done[i]: steps of sequence i completed; held[i]: a thread is running it.
  std::mutex picking;
  std::vector<int> done(static_cast<size_t>(count), 0);
  std::vector<char> held(static_cast<size_t>(count), 0);
  const auto take = [&](int& k) {
    std::lock_guard<std::mutex> lock(picking);
    int best = -1;
    for (int i = 0; i < count; i++)
      if (!held[i] && done[i] < steps && (best < 0 || done[i] < done[best])) best = i;
    if (best >= 0) {
      held[best] = 1;
      k = done[best];
    }
    return best;
  };
  const int threads = static_cast<int>(workers_.size()) + 1;
  run(threads, [&](int) {
    int k = 0;
    for (int i = take(k); i >= 0; i = take(k)) {
      bool more = false;
      try {
        more = step(i, k);
      } catch (...) {
        std::lock_guard<std::mutex> lock(picking);
        done[i] = steps;
        held[i] = 0;
        throw;
      }
      std::lock_guard<std::mutex> lock(picking);
      done[i] = more ? k + 1 : steps;
      held[i] = 0;
    }
  });
}

