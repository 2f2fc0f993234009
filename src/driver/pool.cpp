#include "driver/pool.h"

namespace {

// An iteration of a large run takes milliseconds: a thread that waits for the
// next round or for the others spins that long before it sleeps, since waking
// a sleeping thread costs about as much as a small chain's update.
constexpr int kSpins = 20000;

void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
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
  for (;;) {
    for (int spin = 0; spin < kSpins && generation_.load() == seen; spin++) relax();
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
  for (int spin = 0; spin < kSpins && pending_.load() != 0; spin++) relax();
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return pending_.load() == 0; });
  if (failure_) std::rethrow_exception(failure_);
}
