// Lists laid out at an exact length: growing them past it, and reusing
// their blocks once given back.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/WordLists.h"

namespace vorn {
namespace {

std::vector<uint32_t> pattern(uint32_t seed, std::size_t n) {
  std::vector<uint32_t> words;
  for (std::size_t i = 0; i < n; ++i) words.push_back(seed * 1000 + static_cast<uint32_t>(i));
  return words;
}

TEST(WordListExact, GrowsFromAnExactCapacityToThePowerOfTwoAbove) {
  struct Case {
    std::size_t exact, pushed, capacityAfter;
  };
  const Case cases[] = {
      {1, 2, 4}, {3, 4, 4}, {3, 5, 8}, {4, 5, 8}, {5, 6, 8}, {7, 9, 16}, {8, 9, 16}, {9, 40, 64},
  };
  for (const Case& c : cases) {
    WordLists lists;
    WordList& list = lists.edit(0);
    list.reserveExact(c.exact);
    EXPECT_EQ(list.capacity(), c.exact);
    const std::vector<uint32_t> words = pattern(static_cast<uint32_t>(c.exact), c.pushed);
    for (uint32_t w : words) list.push_back(w);
    EXPECT_EQ(list.capacity(), c.capacityAfter) << "exact " << c.exact << ", pushed " << c.pushed;
    EXPECT_EQ(list, words) << "exact " << c.exact;
  }
}

TEST(WordListExact, KeepsWhatTheListHeldAndNeverShrinks) {
  WordLists lists;
  WordList& list = lists.edit(3);
  for (uint32_t w : {7u, 8u}) list.push_back(w);
  list.reserveExact(6);
  EXPECT_EQ(list.capacity(), 6u);
  EXPECT_EQ(list, (std::vector<uint32_t>{7, 8}));
  list.reserveExact(2);
  EXPECT_EQ(list.capacity(), 6u);
}

// Blocks of odd sizes go back to the pool while their neighbours live on:
// a reused block must lie inside the one that was given back.
TEST(WordListExact, ReusedBlocksStayInsideWhatWasGivenBack) {
  const std::size_t n = 200;
  WordLists kept, dropped;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t length = 1 + i % 19;
    // Interleaved in the pool: a block that overran its size would write
    // into a kept neighbour.
    for (WordLists* table : {&kept, &dropped}) {
      WordList& list = table->edit(i);
      list.reserveExact(length);
      for (uint32_t w : pattern(static_cast<uint32_t>(i), length)) list.push_back(w);
    }
  }
  dropped.clear();
  WordLists fresh;
  for (std::size_t i = 0; i < 4 * n; ++i) {
    WordList& list = fresh.edit(i);
    for (uint32_t w : pattern(static_cast<uint32_t>(i + 7 * n), 1 + i % 23)) list.push_back(w);
  }
  for (std::size_t i = 0; i < n; ++i)
    ASSERT_EQ(kept[i], pattern(static_cast<uint32_t>(i), 1 + i % 19)) << "kept list " << i;
  for (std::size_t i = 0; i < 4 * n; ++i)
    ASSERT_EQ(fresh[i], pattern(static_cast<uint32_t>(i + 7 * n), 1 + i % 23)) << "fresh list " << i;
}

}  // namespace
}  // namespace vorn
