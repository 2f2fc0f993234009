// The in-place quicksort family shared by the whole program. Every member uses
// the same partition scheme (first element as pivot, both scans stop on keys
// equal to it), so the order left among equal keys is the same everywhere: the
// credible regions of the histograms and the leaf order of the chain set-up
// depend on it.
#pragma once

#include <utility>

// Sorts positions [first, first + n) ascending by key(i); exchange(i, j) swaps
// two elements with everything that travels with them.
template <typename KeyAt, typename Exchange>
void pivotQuicksort(long first, long n, const KeyAt& key, const Exchange& exchange) {
  while (n > 1) {
    const auto pivot = key(first);
    long i = 0;
    long j = n;
    for (;;) {
      do {
        ++i;
      } while (i < n && key(first + i) < pivot);
      do {
        --j;
      } while (key(first + j) > pivot);
      if (i >= j) break;
      exchange(first + i, first + j);
    }
    exchange(first, first + i - 1);
    // The two blocks are disjoint, so the order in which they are sorted does
    // not change the result; recursing into the smaller one bounds the stack.
    const long leftCount = i - 1;
    const long rightFirst = first + i;
    const long rightCount = n - i;
    if (leftCount < rightCount) {
      pivotQuicksort(first, leftCount, key, exchange);
      first = rightFirst;
      n = rightCount;
    } else {
      pivotQuicksort(rightFirst, rightCount, key, exchange);
      n = leftCount;
    }
  }
}

// Sorts n doubles ascending.
inline void sortAscending(double* a, long n) {
  pivotQuicksort(
      0, n, [a](long i) { return a[i]; }, [a](long i, long j) { std::swap(a[i], a[j]); });
}

// Sorts n double keys ascending; c1 and c2 follow every exchange.
inline void sortCarryingTwo(double* key, int* c1, int* c2, long n) {
  pivotQuicksort(
      0, n, [key](long i) { return key[i]; },
      [key, c1, c2](long i, long j) {
        std::swap(key[i], key[j]);
        std::swap(c1[i], c1[j]);
        std::swap(c2[i], c2[j]);
      });
}

// Sorts by int key ascending (compared as doubles); the doubles of a follow.
inline void sortByIntKey(double* a, int* key, long n) {
  pivotQuicksort(
      0, n, [key](long i) { return static_cast<double>(key[i]); },
      [a, key](long i, long j) {
        std::swap(key[i], key[j]);
        std::swap(a[i], a[j]);
      });
}

// Sorts by long key ascending; the longs of a follow.
inline void sortByLongKey(long* a, long* key, long n) {
  pivotQuicksort(
      0, n, [key](long i) { return key[i]; },
      [a, key](long i, long j) {
        std::swap(key[i], key[j]);
        std::swap(a[i], a[j]);
      });
}
