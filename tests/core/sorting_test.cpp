// The quicksort family: companions follow the keys, and equal keys end in the
// order the first-element-pivot partition leaves them.
#include <gtest/gtest.h>

#include <vector>

#include "core/sorting.h"

namespace {

// Keys with ties, tagged 0..4 (a..e):  a=2 b=1 c=2 d=1 e=2.
// Pivot a=2: the left scan stops at c (index 2), the right scan at e (index 4);
// exchange -> a b e d c. The left scan then stops at c (index 4), the right
// scan at d (index 3); the scans have crossed, so a goes to index 3:
// d b e a c. The left block d b e (pivot d=1) splits into nothing and b e,
// which is already in order, and c stays alone. Result d b e a c: the ones
// come out as d, b and the twos as e, a, c, unlike a stable sort's b d a c e.
const std::vector<double> kTiedKeys = {2, 1, 2, 1, 2};
const std::vector<int> kTiedOrder = {3, 1, 4, 0, 2};
const std::vector<double> kSortedTiedKeys = {1, 1, 2, 2, 2};

TEST(Quicksort, EmptyAndSingleArraysAreLeftAlone) {
  double key[2] = {4.5, 1};
  int c1[2] = {7, 0};
  int c2[2] = {8, 0};
  sortAscending(key, 0);
  sortCarryingTwo(key, c1, c2, 1);
  EXPECT_EQ(key[0], 4.5);
  EXPECT_EQ(c1[0], 7);
  EXPECT_EQ(c2[0], 8);
}

TEST(Quicksort, CompanionsFollowThePermutation) {
  std::vector<double> key = {9, 3, 7, 1, 8, 2, 6, 4, 5, 0};
  std::vector<int> c1(key.size());
  std::vector<int> c2(key.size());
  for (size_t i = 0; i < key.size(); i++) {
    c1[i] = static_cast<int>(key[i]) * 10;
    c2[i] = -static_cast<int>(key[i]);
  }
  sortCarryingTwo(key.data(), c1.data(), c2.data(), static_cast<long>(key.size()));
  for (size_t i = 0; i < key.size(); i++) {
    EXPECT_EQ(key[i], static_cast<double>(i));
    EXPECT_EQ(c1[i], static_cast<int>(i) * 10);
    EXPECT_EQ(c2[i], -static_cast<int>(i));
  }
}

TEST(Quicksort, EveryMemberLeavesTiesInThePartitionOrder) {
  std::vector<double> key = kTiedKeys;
  std::vector<int> tag = {0, 1, 2, 3, 4};
  std::vector<int> unused(5, 0);
  sortCarryingTwo(key.data(), tag.data(), unused.data(), 5);
  EXPECT_EQ(key, kSortedTiedKeys);
  EXPECT_EQ(tag, kTiedOrder);

  std::vector<long> longKey = {2, 1, 2, 1, 2};
  std::vector<long> longTag = {0, 1, 2, 3, 4};
  sortByLongKey(longTag.data(), longKey.data(), 5);
  EXPECT_EQ(longKey, (std::vector<long>{1, 1, 2, 2, 2}));
  EXPECT_EQ(longTag, (std::vector<long>{3, 1, 4, 0, 2}));
}

}  // namespace
