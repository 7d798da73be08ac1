// The preference-line heuristic and the activity-order heuristic on small
// hand-built formulas: their orders, polarities, traces, the sense of
// "-ps" in each, the end of the scan, and the resumable scan against a
// scan from the start over random searches.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "heuristics/HeuristicQP.h"
#include "heuristics/HeuristicVSIDS.h"
#include "strategies/Heuristic.h"
#include "support/Bench.h"
#include "support/FatalCheck.h"
#include "support/Generator.h"

namespace vorn {
namespace {

using test::Block;
using Lines = test::Clauses;

template <class H>
struct Bench : test::HeuristicBench<H> {
  Bench(const test::Prefix& prefix, test::Clauses clauses, std::initializer_list<const char*> flags = {},
        const Lines* prefLines = nullptr)
      : test::HeuristicBench<H>(prefix, std::move(clauses), flags, prefLines) {
    this->build();
  }
};

// Outer block {1, 2, 3}, universal {4}, inner {5, 6}. Variable 1 occurs
// most, so the occurrence order begins with it.
const std::vector<Block> kPrefix{{Exists, {1, 2, 3}}, {Forall, {4}}, {Exists, {5, 6}}};
const std::vector<std::vector<long>> kClauses{{1, 2, 5}, {1, -3, 6}, {-1, 4, 5}, {1, -4, -6}, {2, 3, 4, 6}};

// ---- HeuristicQP -------------------------------------------------------

TEST(QpPreference, ListedVariablesFirstInTheirBlockWithTheirSigns) {
  const Lines lines{{-3, 2}};
  Bench<HeuristicQP> b(kPrefix, kClauses, {}, &lines);
  EXPECT_EQ(b.initOutput, "pref -3 pos -1\npref 2 pos 2\n");
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{3, 2, 1, 4, 5, 6}));
  // Saved phases do not touch listed variables.
  b.heuristic->savedPhase[3] = b.heuristic->savedPhase[2] = true;
  std::string printed;
  const auto got = b.decideAll(&printed);
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got[0], b.negative(3));
  EXPECT_EQ(got[1], b.positive(2));
  EXPECT_EQ(printed, "");  // no decision trace
}

TEST(QpPreference, ListedInnerVariableNeverBeforeAnUnlistedOuterOne) {
  const Lines lines{{6, -4}};
  Bench<HeuristicQP> b(kPrefix, kClauses, {}, &lines);
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{1, 2, 3, 4, 6, 5}));
  const auto got = b.decideAll();
  const std::vector<Literal> expected{b.positive(1), b.positive(2), b.positive(3), b.negative(4), b.positive(6),
                                      b.positive(5)};
  EXPECT_EQ(got, expected);
}

TEST(QpPreference, RepeatedEntryKeepsItsLastPlaceAndOnlyTheFirstLineCounts) {
  const Lines lines{{1, -2, -1}, {5, 6, 3}};
  Bench<HeuristicQP> b(kPrefix, kClauses, {}, &lines);
  EXPECT_EQ(b.initOutput, "pref 1 pos 1\npref -2 pos -2\npref -1 pos -3\n");
  EXPECT_EQ(b.heuristic->prefPos[1], -3);
  EXPECT_EQ(b.heuristic->prefPos[5], 0);
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{2, 1, 3, 4, 5, 6}));
  const auto got = b.decideAll();
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got[0], b.negative(2));
  EXPECT_EQ(got[1], b.negative(1));
}

TEST(QpPreference, WithoutALineTheOrderIsTheOccurrenceOrder) {
  const Lines none{}, emptyFirst{{}, {3, 2}};
  for (const Lines* lines : {static_cast<const Lines*>(nullptr), &none, &emptyFirst}) {
    Bench<HeuristicQP> b(kPrefix, kClauses, {}, lines);
    EXPECT_EQ(b.initOutput, "");
    Bench<Heuristic> occs(kPrefix, kClauses);
    EXPECT_EQ(b.order(), occs.order());
    EXPECT_EQ(b.heuristic->score, occs.heuristic->score);
  }
}

TEST(QpPreference, PositionsAreNotSixteenBit) {
  // One block of 40000 variables listed in reverse; a 16-bit position
  // would wrap past 32767 and break the order.
  const unsigned long n = 40000;
  Block block{Exists, {}};
  std::vector<long> line;
  for (unsigned long v = 1; v <= n; ++v) block.vars.push_back(v);
  for (long v = static_cast<long>(n); v >= 1; --v) line.push_back(v % 7 == 0 ? -v : v);
  const Lines lines{line};
  Bench<HeuristicQP> b({block}, {{1, 2, 3}, {-1, -2, 4}}, {}, &lines);
  EXPECT_EQ(b.heuristic->prefPos[1], 40000);
  EXPECT_EQ(b.heuristic->prefPos[7], -39994);
  EXPECT_NE(b.initOutput.find("\npref -7 pos -39994\npref 6 pos 39995\n"), std::string::npos);
  const auto order = b.order();
  ASSERT_EQ(order.size(), n);
  for (unsigned long i = 0; i < n; ++i) ASSERT_EQ(order[i], n - i) << i;
  EXPECT_EQ(b.requestDecision(), b.positive(40000));
}

TEST(QpPreference, VariableBeyondMaxAtomIsFatal) {
  auto run = [] {
    const Lines lines{{2, -9}};
    Bench<HeuristicQP> b(kPrefix, kClauses, {}, &lines);
  };
  const vorn::FatalError error = ::test::fatalOf(run);
  ::test::expectFatal(error, 1, "", "^: preference line names variable 9, which stands in no quantifier line and no clause\n$");
  EXPECT_FALSE(error.flushStdout);
}

TEST(QpPhases, PsSwitchesProgressSavingOn) {
  // Existential 2 (unlisted) FALSE at a conflict.
  const Lines lines{{3}};
  for (bool ps : {true, false}) {
    Bench<HeuristicQP> b(kPrefix, kClauses,
                         ps ? std::initializer_list<const char*>{"-ps"} : std::initializer_list<const char*>{},
                         &lines);
    b.conflictWith({b.negative(2), b.positive(4)});
    EXPECT_EQ(b.heuristic->savedPhase[2], ps);
    EXPECT_EQ(b.heuristic->savedPhase[4], ps);
    b.formula.backjump(1);
    const auto got = b.decideAll();
    auto decided = [&](uint32_t v) {
      for (Literal l : got)
        if (litVar(l) == v) return l;
      return Literal(0);
    };
    EXPECT_EQ(decided(3), b.positive(3));
    EXPECT_EQ(decided(2), ps ? b.negative(2) : b.positive(2));
    EXPECT_EQ(decided(4), ps ? b.positive(4) : b.negative(4));
  }
}

// ---- HeuristicVSIDS ----------------------------------------------------

TEST(VsidsOrder, ByLevelThenIndex) {
  Bench<HeuristicVSIDS> b({{Exists, {3, 1}}, {Forall, {5, 2}}, {Exists, {4}}}, {{1, 2, 4}, {3, -5, -4}});
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{1, 3, 2, 5, 4}));
  EXPECT_EQ(b.heuristic->activity.size(), 6u);
}

TEST(VsidsOrder, ActivitiesCoverEveryIndexAndResortsPickThemUp) {
  Bench<HeuristicVSIDS> b({{Exists, {1, 2, 3, 4}}}, {{1, 2, 3, 4}, {-1, -2, 3}});
  // A re-sort with all activities 0.0 changes nothing.
  b.formula.emptyCount = 255;
  EXPECT_EQ(b.requestDecision(), b.positive(1));
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{1, 2, 3, 4}));
  b.formula.backjump(1);
  // A score vector shorter than the variables: the rest count as 0.0.
  b.formula.varScores = {0.0, 0.0, 0.5, 2.0};
  b.formula.emptyCount = 510;
  EXPECT_EQ(b.requestDecision(), b.positive(3));
  EXPECT_EQ(b.order(), (std::vector<uint32_t>{3, 2, 1, 4}));
  EXPECT_EQ(b.heuristic->activity, (std::vector<double>{0.0, 0.0, 0.5, 2.0, 0.0}));
}

TEST(VsidsDecision, TraceWithoutPsAllFalseAndSilentWithPs) {
  // Existential 1, universal 2, existential 3.
  const std::vector<Block> prefix{{Exists, {1}}, {Forall, {2}}, {Exists, {3}}};
  const std::vector<std::vector<long>> clauses{{1, 2, 3}, {-1, -2, 3}, {1, -3, 2}};
  {
    Bench<HeuristicVSIDS> b(prefix, clauses);
    std::string printed;
    const auto got = b.decideAll(&printed);
    EXPECT_EQ(got, (std::vector<Literal>{b.positive(1), b.negative(2), b.positive(3)}));
    EXPECT_EQ(printed, "1 -2 3 ");
  }
  {
    Bench<HeuristicVSIDS> b(prefix, clauses, {"-ps"});
    std::string printed;
    const auto got = b.decideAll(&printed);
    EXPECT_EQ(got, (std::vector<Literal>{b.negative(1), b.negative(2), b.negative(3)}));
    EXPECT_EQ(printed, "");
  }
}

TEST(VsidsPhases, UniversalTrueAtAConflictIsDecidedTrueAgain) {
  const std::vector<Block> prefix{{Exists, {1}}, {Forall, {2}}, {Exists, {3}}};
  const std::vector<std::vector<long>> clauses{{1, 2, 3}, {-1, -2, 3}};
  for (bool ps : {false, true}) {
    Bench<HeuristicVSIDS> b(prefix, clauses,
                            ps ? std::initializer_list<const char*>{"-ps"} : std::initializer_list<const char*>{});
    b.conflictWith({b.positive(1), b.positive(2)});
    EXPECT_EQ(b.heuristic->savedPhase[2], !ps);
    b.formula.backjump(1);
    std::string printed;
    const auto got = b.decideAll(&printed);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[1], ps ? b.negative(2) : b.positive(2));
  }
}

TEST(VsidsDecision, ScanStopsQuietlyAtAnEntryThatNamesNoVariable) {
  Bench<HeuristicVSIDS> b({{Exists, {1, 3}}}, {{1, 3}, {-1, -3}}, {"-sstat"});
  ASSERT_FALSE(b.formula.prefix.isPlaced(2));
  EXPECT_EQ(b.decideAll().size(), 2u);
  EXPECT_EQ(b.requestDecision(), 0u);
  EXPECT_EQ(b.formula.value[0], 0);
  testing::internal::CaptureStdout();
  b.heuristic->printStats();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "BRANCHES 4\n");
}

// ---- both: the resumable scan against a scan from the start ------------

template <class H>
void checkRandomSearches(bool withLines) {
  int decisions = 0;
  for (uint64_t seed = 1; seed <= 60; ++seed) {
    test::SplitMix64 rng(seed * 7919);
    const int nVars = rng.range(3, 14);
    std::vector<unsigned long> vars;
    for (int v = 1; v <= nVars; ++v) vars.push_back(static_cast<unsigned long>(v));
    for (std::size_t i = vars.size(); i > 1; --i) std::swap(vars[i - 1], vars[rng.below(i)]);
    std::vector<Block> prefix;
    const int blocks = rng.range(1, 4);
    for (int k = 0, at = 0; k < blocks && at < nVars; ++k) {
      const int size = k + 1 == blocks ? nVars - at : rng.range(1, nVars - at);
      prefix.push_back({k % 2 == 0 ? Exists : Forall, {vars.begin() + at, vars.begin() + at + size}});
      at += size;
    }
    std::vector<std::vector<long>> clauses;
    for (int c = 0; c < nVars; ++c) {
      std::vector<long> clause;
      for (int k = 0; k < 3; ++k) clause.push_back((rng.chance(0.5) ? 1 : -1) * rng.range(1, nVars));
      clauses.push_back(clause);
    }
    Lines lines(1);
    if (withLines)
      for (int v = 1; v <= nVars; ++v)
        if (rng.chance(0.5)) lines[0].push_back(rng.chance(0.5) ? v : -v);
    Bench<H> b(prefix, clauses, {}, &lines);
    if (b.formula.hasEmpty()) continue;
    DynFormula& f = b.formula;
    for (int step = 0; step < 200; ++step) {
      const uint64_t what = rng.below(10);
      if (what < 5) {
        uint32_t v = 0;
        for (uint32_t u : b.heuristic->order) {
          if (u == 0) break;
          if (f.value[u] == 0) {
            v = u;
            break;
          }
        }
        testing::internal::CaptureStdout();
        const Literal got = b.requestDecision();
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(litVar(got), v) << "seed " << seed << " step " << step;
        decisions += v != 0;
        if (v == 0 && f.decisionLevel > 1) f.backjump(static_cast<uint32_t>(rng.range(1, f.decisionLevel - 1)));
      } else if (what < 7) {
        const uint32_t v = static_cast<uint32_t>(rng.range(1, nVars));
        if (f.value[v] == 0) f.push2Assign(rng.chance(0.5) ? b.positive(v) : b.negative(v), reasonItem_{0, NaryUnit});
      } else if (f.decisionLevel > 1) {
        f.backjump(static_cast<uint32_t>(rng.range(1, f.decisionLevel - 1)));
      }
    }
  }
  EXPECT_GT(decisions, 2000);
}

TEST(ResumedScan, QpAgreesWithAScanFromTheStart) { checkRandomSearches<HeuristicQP>(true); }
TEST(ResumedScan, VsidsAgreesWithAScanFromTheStart) { checkRandomSearches<HeuristicVSIDS>(false); }

}  // namespace
}  // namespace vorn
