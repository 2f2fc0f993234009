// A double shared between threads: every read and write is atomic, yet the
// record that holds it stays copyable.
#pragma once

#include <atomic>

struct SharedDouble {
  std::atomic<double> value{0};
  SharedDouble(double v = 0) : value(v) {}
  SharedDouble(const SharedDouble& other) : value(other.load()) {}
  SharedDouble& operator=(const SharedDouble& other) {
    store(other.load());
    return *this;
  }
  SharedDouble& operator=(double v) {
    store(v);
    return *this;
  }
  double load() const { return value.load(std::memory_order_relaxed); }
  void store(double v) { value.store(v, std::memory_order_relaxed); }
};
