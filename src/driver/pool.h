// Threads that update the chains of one iteration side by side.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class ChainPool {
 public:
  // The calling thread and threads - 1 workers.
  explicit ChainPool(int threads);
  ~ChainPool();
  ChainPool(const ChainPool&) = delete;
  ChainPool& operator=(const ChainPool&) = delete;

  // Calls work(i) for every i in 0 .. count-1 and returns when all calls are
  // done. Each thread takes the next index not yet taken, so uneven calls
  // balance out; which thread runs a call never changes what it computes.
  // An exception from a call is rethrown here.
  void run(int count, const std::function<void(int)>& work);

  // Calls step(i, k) for k = 0 .. steps-1 in order for every i in
  // 0 .. count-1, and returns when all are done (or ended). Different i run
  // side by side: a free thread takes the sequence furthest behind that no
  // thread holds, so three sequences on two threads keep both busy instead
  // of waiting for the slowest at every k. A step returning false ends its
  // sequence there. Which thread runs a step never changes what it computes.
  void runSequences(int count, int steps, const std::function<bool(int i, int k)>& step);

 private:
  void workerLoop();
  void share();

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  const std::function<void(int)>* work_ = nullptr;
  int count_ = 0;
  std::atomic<int> next_{0};         // the next index to take in the current round
  std::atomic<long> generation_{0};  // rounds started
  std::atomic<int> pending_{0};      // workers still busy in the current round
  bool stopping_ = false;
  int spinBudget_ = 20000;           // the calling thread's spin before it sleeps (adapts)
  std::exception_ptr failure_;
};
