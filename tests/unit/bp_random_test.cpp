#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bp/Random.h"

using vorn::XTQRANDOMv3;

namespace {

std::vector<double> draws(long seed, int n) {
  XTQRANDOMv3 g(seed);
  std::vector<double> out(n);
  for (double& x : out) x = g.rdflt();
  return out;
}

}  // namespace

// Published vectors, plus a late draw computed by an independent
// exact-arithmetic model of the generator.
TEST(Random, KnownSequences) {
  EXPECT_EQ(draws(1024, 3), (std::vector<double>{0.6765847885981202, 0.11781527707353234, 0.6664779921993613}));
  EXPECT_EQ(draws(1, 3), (std::vector<double>{0.285380887798965, 0.25335817923769355, 0.09346852730959654}));
  std::vector<double> late = draws(1024, 100000);
  EXPECT_EQ(late[9999], 0.4381053848192096);
  EXPECT_EQ(late[99999], 0.09407546371221542);
}

TEST(Random, SeedMapping) {
  // Seeds at or below 0 act as 1.
  EXPECT_EQ(draws(0, 50), draws(1, 50));
  EXPECT_EQ(draws(-5, 50), draws(1, 50));
  // The range 1..2147483398 is used unchanged; above it seeds fold back.
  const struct {
    long seed;
    int32_t effective;
  } cases[] = {{1, 1},           {1024, 1024},      {2147483398L, 2147483398},
               {2147483399L, 1}, {2147483563L, 165}, {2147483647L, 249},
               {1L << 40, static_cast<int32_t>(((1L << 40) - 1) % 2147483398L + 1)}};
  for (const auto& c : cases) {
    EXPECT_EQ(XTQRANDOMv3::effectiveSeed(c.seed), c.effective) << c.seed;
    EXPECT_EQ(draws(c.seed, 20), draws(c.effective, 20)) << c.seed;
  }
  // The seeds that would pin a state at 0 give a live sequence.
  for (long seed : {2147483399L, 2147483563L}) {
    std::vector<double> d = draws(seed, 100);
    double lo = 1, hi = 0;
    for (double x : d) lo = std::fmin(lo, x), hi = std::fmax(hi, x);
    EXPECT_LT(lo, 0.1) << seed;
    EXPECT_GT(hi, 0.9) << seed;
  }
}

TEST(Random, DeviatesShufflesAndSeries) {
  XTQRANDOMv3 g(7);
  for (int i = 0; i < 200000; ++i) {
    double x = g.rdflt();
    ASSERT_GE(x, 4.656612873077393e-10);
    ASSERT_LE(x, 1.0 - 1.2e-7);
  }

  // gasdev draws uniforms on every second call only; the deviates pass a
  // rough normality check.
  XTQRANDOMv3 a(11);
  double sum = 0, sq = 0;
  for (int i = 0; i < 5000; ++i) {
    double x = a.gasdev();
    XTQRANDOMv3 before = a;
    double y = a.gasdev();  // cached: no draw
    ASSERT_EQ(a.rdflt(), before.rdflt());
    sum += x + y;
    sq += x * x + y * y;
  }
  EXPECT_NEAR(sum / 10000, 0.0, 0.05);
  EXPECT_NEAR(sq / 10000, 1.0, 0.05);

  // ranseq with one element draws once and leaves it; otherwise permutes.
  XTQRANDOMv3 c(3), d(3);
  int one[1] = {42};
  c.ranseq(one, 1);
  d.rdflt();
  EXPECT_EQ(one[0], 42);
  EXPECT_EQ(c.rdflt(), d.rdflt());
  int none[1] = {5};
  c.ranseq(none, 0);
  EXPECT_EQ(c.rdflt(), d.rdflt());
  std::vector<int> p(100);
  for (int i = 0; i < 100; ++i) p[i] = i;
  c.ranseq(p.data(), 100);
  std::vector<int> sorted = p;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < 100; ++i) EXPECT_EQ(sorted[i], i);
  EXPECT_NE(p, sorted);

  EXPECT_NEAR(vorn::gammln(5.0), std::log(24.0), 1e-10);
  EXPECT_NEAR(vorn::gammln(0.5), std::log(std::sqrt(M_PI)), 1e-10);

  // Poisson deviates are whole numbers with the requested mean, on both
  // sides of the method switch at 12.
  for (double mean : {3.5, 40.0}) {
    XTQRANDOMv3 e(5);
    double sum = 0;
    for (int i = 0; i < 20000; ++i) {
      double k = e.poidev(mean);
      ASSERT_EQ(k, std::floor(k));
      ASSERT_GE(k, 0);
      sum += k;
    }
    EXPECT_NEAR(sum / 20000, mean, mean * 0.03);
  }
}
