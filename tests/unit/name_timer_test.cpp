// The name table and the stopwatch.
#include <gtest/gtest.h>

#include <unistd.h>

#include "driver/Instance.h"
#include "driver/Timer.h"

namespace vorn {
namespace {

TEST(Instance, IndicesInOrderOfFirstAppearance) {
  Instance<long> names;
  EXPECT_EQ(names.intToExt, (std::vector<long>{0}));
  EXPECT_EQ(names.nVars, 0);
  EXPECT_EQ(names.getIndex(7), 1);
  EXPECT_EQ(names.getIndex(3), 2);
  EXPECT_EQ(names.getIndex(7), 1);
  EXPECT_EQ(names.intToExt, (std::vector<long>{0, 7, 3}));
  EXPECT_EQ(names.nVars, 2);
  // Quantifier entries are keys as written: -3 is not 3.
  EXPECT_EQ(names.getIndex(-3), 3);
  EXPECT_EQ(names.getIndex(3), 2);
}

TEST(Instance, DeclaredCountRaisedOnlyByLargerIndex) {
  Instance<long> names;
  names.nVars = 5;  // from a header
  for (long v : {10, 20, 30, 40, 50}) names.getIndex(v);
  EXPECT_EQ(names.nVars, 5);
  EXPECT_EQ(names.getIndex(60), 6);
  EXPECT_EQ(names.nVars, 6);
}

TEST(Instance, TablesStayInverse) {
  Instance<long> names;
  for (long i = 0; i < 5000; ++i) names.getIndex((i * 7919) % 3001 - 1500);
  ASSERT_EQ(names.intToExt.size(), 3002u);
  for (std::size_t i = 1; i < names.intToExt.size(); ++i)
    EXPECT_EQ(names.extToInt.at(names.intToExt[i]), static_cast<long>(i));
  EXPECT_EQ(names.extToInt.size(), names.intToExt.size() - 1);
}

// Burns user CPU until the clock has visibly moved (bounded).
void burn(Timer& t, float atLeast) {
  volatile unsigned long x = 0;
  for (long round = 0; round < 200000 && t.elapsed() < atLeast; ++round)
    for (int i = 0; i < 20000; ++i) x = x + static_cast<unsigned long>(i);
}

TEST(Timer, ReadingsShareTheirOrigin) {
  Timer t;
  t.start();
  burn(t, 0.02f);
  float first = t.elapsed();
  EXPECT_GE(first, 0.02f);
  burn(t, first + 0.02f);
  float second = t.elapsed();
  EXPECT_GT(second, first) << "elapsed does not move the origin";
  // Starting again resets the origin.
  t.start();
  EXPECT_LT(t.elapsed(), second);
}

TEST(Timer, WaitingUsesNoCpu) {
  Timer t;
  t.start();
  usleep(200000);
  EXPECT_LT(t.elapsed(), 0.1f);
}

}  // namespace
}  // namespace vorn
