// The occurrence heuristic on small hand-built formulas: the order, the
// re-sort rule, the saved phases, the decision trace and the scan's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "strategies/Heuristic.h"
#include "support/Bench.h"

namespace vorn {
namespace {

using test::Block;

struct Bench : test::HeuristicBench<Heuristic> {
  Bench(std::initializer_list<Block> prefix, test::Clauses clauses, std::initializer_list<const char*> flags = {})
      : HeuristicBench(prefix, std::move(clauses), flags) {
    build();
  }
};

TEST(HeuristicOrder, OuterBlockFirstThenScoreThenIndex) {
  // Variable 4 (inner block) scores highest; 2 and 3 tie, 1 scores least.
  Bench b({{Exists, {1, 2, 3}}, {Forall, {5}}, {Exists, {4}}},
          {{2, 3, 4}, {-2, -3, 4}, {1, 4, 5}, {-4, 2, 3}, {4, -5, -1}});
  // Counts (pos, neg): 1 (1, 1), 2 (2, 1), 3 (2, 1), 4 (4, 1), 5 (1, 1).
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{2, 3, 1, 5, 4}));
  EXPECT_EQ(b.heuristic->order.back(), 0u);
  EXPECT_EQ(b.heuristic->score[4], 4);
}

TEST(HeuristicOrder, ScoreIgnoresWhichLiteralIsCommoner) {
  // Variable 1 has counts (3, 1), variable 2 counts (1, 3): same score,
  // so the smaller index goes first, for either quantifier.
  for (Quantifier q : {Exists, Forall}) {
    Bench b({{Exists, {9}}, {q, {1, 2}}, {Exists, {3, 4, 5, 6}}},
            {{1, 3, -2}, {1, 4, 2}, {1, 5, 2}, {-1, 6, 2}, {9, 3, 4}});
    EXPECT_EQ(b.heuristic->score[1], 3);
    EXPECT_EQ(b.heuristic->score[2], 3);
    const auto order = b.order();
    const auto at1 = std::find(order.begin(), order.end(), 1u);
    ASSERT_NE(at1, order.end());
    ASSERT_NE(at1 + 1, order.end());
    EXPECT_EQ(at1[1], 2u);
  }
}

TEST(HeuristicOrder, BinaryAndLearnedConstraintsCount) {
  Bench b({{Exists, {1, 2, 3, 4}}}, {{1, 2}, {1, 3}, {2, 3, 4}});
  EXPECT_EQ(b.heuristic->score[1], 2);
  EXPECT_EQ(b.heuristic->score[4], 1);
  EXPECT_EQ(occurrenceCount(b.formula, 2 * 1), 2u);
  // A learned clause over 4 raises its count, seen at the next sort.
  std::vector<uint32_t> learned{b.positive(1) | kSignBit, b.positive(2) | kSignBit, b.positive(4)};
  uint32_t id = 0;
  b.formula.learnConstraint(learned, id, true);
  EXPECT_EQ(occurrenceCount(b.formula, 2 * 4), 2u);
  b.heuristic->sortHeur_();
  // Decay: the previous score halves, the growth since then is added.
  EXPECT_EQ(b.heuristic->score[4], 1 / 2 + 1);
  EXPECT_EQ(b.heuristic->score[1], 2 / 2 + 0);
}

TEST(HeuristicResort, OnlyAtANewMultipleOfThePeriod) {
  Bench b({{Exists, {1, 2, 3, 4, 5}}}, {{1, 2, 3}, {1, -2, 3}});
  ASSERT_EQ(b.order(), (std::vector<uint32_t>{1, 3, 2, 4, 5}));
  // Learned clauses make 2 the most frequent, but nothing re-sorts yet.
  for (int i = 0; i < 4; ++i) {
    std::vector<uint32_t> learned{b.positive(2), b.positive(4), b.positive(5)};
    uint32_t id = 0;
    b.formula.learnConstraint(learned, id, true);
  }
  b.formula.emptyCount = 254;
  b.requestDecision();
  b.formula.emptyCount = 256;  // 255 passed between two requests: no sort
  EXPECT_NE(b.requestDecision(), 0u);
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{1, 3, 2, 4, 5}));
  b.formula.emptyCount = 510;  // first request to see a multiple
  // The new order is scanned from its start.
  EXPECT_EQ(b.requestDecision(), b.positive(2));
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{2, 4, 5, 1, 3}));
}

TEST(HeuristicDecision, DefaultValuesAndTrace) {
  // Existential 3 and universal 5; variable 1 in the outer block occurs once.
  const std::vector<std::vector<long>> clauses{{3, 5, 1}, {3, -5, 6}, {-3, 5, 6}};
  for (bool trace : {false, true}) {
    Bench b({{Exists, {3, 1}}, {Forall, {5}}, {Exists, {6}}}, clauses,
            trace ? std::initializer_list<const char*>{"-ps"} : std::initializer_list<const char*>{});
    testing::internal::CaptureStdout();
    EXPECT_EQ(b.requestDecision(), b.positive(3));  // existential: TRUE
    EXPECT_EQ(b.requestDecision(), b.positive(1));
    EXPECT_EQ(b.requestDecision(), b.negative(5));  // universal: FALSE
    EXPECT_EQ(b.formula.decisionLevel, 4u);
    EXPECT_EQ(b.formula.reasons[litCode(b.negative(5))].kind, static_cast<uint32_t>(Branch));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), trace ? "3 1 -5 " : "");
  }
}

TEST(HeuristicDecision, RequestWithEverythingAssignedCountsButDecidesNothing) {
  Bench b({{Exists, {1, 2, 3}}}, {{1, 2, 3}}, {"-sstat"});
  EXPECT_NE(b.requestDecision(), 0u);
  EXPECT_NE(b.requestDecision(), 0u);
  EXPECT_NE(b.requestDecision(), 0u);
  EXPECT_EQ(b.requestDecision(), 0u);
  // A non-null event without a pending empty constraint does nothing.
  b.heuristic->assign(b.formula.trail[0], b.formula.reasons[litCode(b.formula.trail[0])]);
  testing::internal::CaptureStdout();
  b.heuristic->printStats();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "BRANCHES 4\n");
}

TEST(HeuristicDecision, ScanStopsAtAnEntryThatNamesNoVariable) {
  // Index 2 has no place in the prefix: the order ends in entries 0, and
  // once 1 and 3 are assigned a request must not push anything (literal
  // 0 or 1 would name variable 0).
  Bench b({{Exists, {1, 3}}}, {{1, 3}});
  ASSERT_EQ(b.formula.prefix.maxAtom, 3u);
  ASSERT_FALSE(b.formula.prefix.isPlaced(2));
  EXPECT_NE(b.requestDecision(), 0u);
  EXPECT_NE(b.requestDecision(), 0u);
  const uint32_t trailSize = b.formula.trailSize;
  EXPECT_EQ(b.requestDecision(), 0u);
  EXPECT_EQ(b.formula.trailSize, trailSize);
  EXPECT_EQ(b.formula.value[0], 0);
}

TEST(HeuristicDecision, AfterABackjumpTheScanStartsOver) {
  Bench b({{Exists, {1, 2, 3, 4}}}, {{1, 2, 3, 4}, {1, -2, -3}});
  ASSERT_EQ(b.order(), (std::vector<uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(b.requestDecision(), b.positive(1));
  EXPECT_EQ(b.requestDecision(), b.positive(2));
  // The analysis undoes both decisions and asserts 3 at level 1: the
  // level differs from the one the last decision opened.
  b.formula.backjump(1);
  b.formula.push2Assign(b.positive(3), reasonItem_{0, NaryUnit});
  EXPECT_EQ(b.requestDecision(), b.positive(1));
  EXPECT_EQ(b.requestDecision(), b.positive(2));
  EXPECT_EQ(b.requestDecision(), b.positive(4));
  EXPECT_EQ(b.requestDecision(), 0u);
}

TEST(HeuristicPhases, ValuesAtAConflictAreDecidedAgain) {
  const std::vector<std::vector<long>> clauses{{4, 2, 6}, {-4, -2, 6}, {4, -6, 2}};
  for (bool saving : {true, false}) {
    Bench b({{Exists, {4}}, {Forall, {2}}, {Exists, {6}}}, clauses,
            saving ? std::initializer_list<const char*>{} : std::initializer_list<const char*>{"-ps"});
    testing::internal::CaptureStdout();
    // Existential 4 FALSE and universal 2 TRUE: both oppose the default.
    b.formula.push2Assign(b.negative(4), reasonItem_{0, Branch});
    b.formula.push2Assign(b.positive(2), reasonItem_{0, Branch});
    b.formula.pushBEmpty(b.negative(4), b.positive(2));
    b.heuristic->assign(0, reasonItem_{0, NoReason});  // records, no decision
    EXPECT_EQ(b.formula.trailSize, 2u);
    b.formula.bEmpties.clear();
    b.formula.backjump(1);
    EXPECT_EQ(b.requestDecision(), saving ? b.negative(4) : b.positive(4));
    EXPECT_EQ(b.requestDecision(), saving ? b.positive(2) : b.negative(2));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(b.heuristic->savedPhase[4], saving);
  }
}

}  // namespace
}  // namespace vorn
