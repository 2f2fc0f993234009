// The uniform generator against plain 64-bit arithmetic, and the set-up
// shuffle's stream against the C library's.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/random.h"
#include "core/shuffle.h"

namespace {

// x -> 16807 x mod (2^31 - 1) without Schrage's factorisation.
int64_t lehmerStep(int64_t x) { return x * 16807 % 2147483647; }

TEST(Random, StateAfterTenThousandStepsFromSeedOneIsTheKnownValue) {
  // The minimal-standard generator started at 1 reaches 1043618065 at its
  // 10000th value. Initialisation makes 40 steps, every call one more.
  Random rng(-1);
  for (int call = 0; call < 9960; call++) rng.uniform();
  EXPECT_EQ(rng.state().seed, 1043618065);
}

TEST(Random, OutputsMatchAnIndependentShuffleTableAndStayInRange) {
  // Eight warm-up steps, then the table filled from index 31 down to 0; each
  // draw returns the entry picked by the previous output and refills it.
  int64_t x = 7;
  int64_t table[32];
  for (int j = 39; j >= 0; j--) {
    x = lehmerStep(x);
    if (j < 32) table[j] = x;
  }
  int64_t last = table[0];
  Random rng(-7);
  for (int draw = 0; draw < 100000; draw++) {
    x = lehmerStep(x);
    const int j = static_cast<int>(last / 67108864);
    last = table[j];
    table[j] = x;
    const double u = rng.uniform();
    ASSERT_EQ(u, static_cast<double>(last) * (1.0 / 2147483647)) << "draw " << draw;
    ASSERT_EQ(rng.state().seed, x);
    ASSERT_TRUE(u >= 1.0 / 2147483647 && u <= 0.99999988);
  }
}

TEST(Random, ZeroActsAsMinusOneAndARestoredStateRepeatsItsDraws) {
  auto firstDraws = [](Random rng) {
    std::vector<double> u(50);
    for (double& v : u) v = rng.uniform();
    return u;
  };
  EXPECT_EQ(firstDraws(Random(0)), firstDraws(Random(-1)));
  Random rng(-12345);
  for (int i = 0; i < 77; i++) rng.uniform();
  Random copy;
  copy.restore(rng.state());
  EXPECT_EQ(firstDraws(copy), firstDraws(rng));
}

TEST(Random, BelowOneIsZeroAndStillConsumesADraw) {
  Random rng(-9);
  Random reference(-9);
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(rng.below(1), 0);
    reference.uniform();
    ASSERT_EQ(rng.state().seed, reference.state().seed);
  }
}

TEST(ShuffleStream, IsTheCLibrarysUnseededLrand48Sequence) {
  // Each test runs in a process of its own, so lrand48 is unseeded here.
  ShuffleStream stream;
  for (int i = 0; i < 100000; i++) ASSERT_EQ(stream.next(), lrand48()) << "value " << i;
}

}  // namespace

namespace {

TEST(PcgStreams, AreDistinctReproducibleAndInsideTheUnitInterval) {
  Random a = Random::pcgStream(-5, 1);
  Random b = Random::pcgStream(-5, 2);
  Random again = Random::pcgStream(-5, 1);
  double sum = 0;
  int equal = 0;
  for (int i = 0; i < 200000; i++) {
    const double u = a.uniform();
    ASSERT_TRUE(u > 0 && u < 1);
    sum += u;
    equal += u == b.uniform();
    ASSERT_EQ(u, again.uniform());
  }
  EXPECT_NEAR(sum / 200000, 0.5, 0.003);
  EXPECT_EQ(equal, 0);
  Random restored;
  restored.restore(a.state());
  EXPECT_EQ(restored.uniform(), a.uniform());
  EXPECT_NE(Random::pcgStream(-6, 1).uniform(), Random::pcgStream(-5, 1).uniform());
}

}  // namespace
