// Forgetting of learned constraints. The command line cannot give
// "-unlearn", so these tests set it in the option store directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "strategies/Unlearn.h"
#include "support/Bench.h"

namespace vorn {
namespace {

// Prefix: e {1 2 10}  a {3 4 5 7 8 9}  e {6}; two input clauses.
struct Bench : test::Bench {
  explicit Bench(bool unlearn, bool sstat = false)
      : test::Bench({{Exists, {1, 2, 10}}, {Forall, {3, 4, 5, 7, 8, 9}}, {Exists, {6}}}, {{1, 3, 6}, {2, -4, 6}},
                    flags(unlearn, sstat)) {}
  static std::vector<const char*> flags(bool unlearn, bool sstat) {
    std::vector<const char*> out;
    if (unlearn) out.push_back("-unlearn");
    if (sstat) out.push_back("-sstat");
    return out;
  }

  Literal lit(long s, bool term = false) const { return formula.encode(s, !term); }

  // Stores a learned constraint (ascending prefix order) watched on its
  // first two literals, as the analysis does; returns its id.
  uint32_t learn(std::vector<long> signedVars, bool term = false) {
    std::vector<uint32_t> lits;
    for (long s : signedVars) lits.push_back(lit(s, term));
    uint32_t id = 0;
    const uint32_t* record = formula.learnConstraint(lits, id, !term);
    EXPECT_TRUE(formula.isRecord(record));
    const ConstraintKind k = term ? LearnedTerm : LearnedClause;
    watchedOccs_& e = formula.watchedOccs[k][id];
    e.begin[0] = e.watch1 = e.begin[2];
    e.begin[1] = e.watch2 = e.begin[3];
    formula.watchLists[k].edit(litCode(e.watch1)).push_back(id);
    formula.watchLists[k].edit(litCode(e.watch2)).push_back(id);
    return id;
  }
  bool alive(uint32_t id, bool term = false) const {
    return formula.watchedOccs[term ? LearnedTerm : LearnedClause][id].begin != nullptr;
  }
  bool watched(uint32_t id, bool term = false) const {
    for (const auto& list : formula.watchLists[term ? LearnedTerm : LearnedClause])
      if (std::find(list.begin(), list.end(), id) != list.end()) return true;
    return false;
  }
  void eventAt(Unlearn& u, unsigned long emptyCount) {
    formula.emptyCount = emptyCount;
    u.assign(0, reasonItem_{0, NoReason});
  }
};

TEST(Unlearn, ForgetsByOpenLiteralCounts) {
  Bench b(true);
  Unlearn u(b.formula, b.options, b.names);
  EXPECT_EQ(u.unlearnLimit, 2u);
  const uint32_t sixOpen = b.learn({1, 2, 3, 4, 5, 6});   // 3 open existential
  const uint32_t twoExist = b.learn({1, 3, 4, 5, 6});     // 5 open, 2 existential
  const uint32_t oneExist = b.learn({3, 4, 5, 7, 6});     // 5 open, 1 existential
  const uint32_t fourOpen = b.learn({1, 3, 4, 6});        // 4 open
  const uint32_t termTwoOpen = b.learn({1, 3, 4}, true);  // term, 3 open
  const uint32_t termOneOpen = b.learn({10, 8, 9}, true);
  b.formula.push2Assign(b.lit(10), reasonItem_{0, Branch});
  b.formula.push2Assign(b.lit(8), reasonItem_{0, Branch});  // leaves 9 open in the last term

  const std::size_t clausesBefore = b.formula.counts[LearnedClause];
  b.eventAt(u, 255);
  EXPECT_FALSE(b.alive(sixOpen));
  EXPECT_FALSE(b.alive(twoExist));
  EXPECT_TRUE(b.alive(oneExist));
  EXPECT_TRUE(b.alive(fourOpen));
  EXPECT_FALSE(b.alive(termTwoOpen, true));
  EXPECT_TRUE(b.alive(termOneOpen, true));
  // Forgotten constraints leave the watch lists and the counts.
  EXPECT_FALSE(b.watched(sixOpen));
  EXPECT_FALSE(b.watched(termTwoOpen, true));
  EXPECT_TRUE(b.watched(oneExist));
  EXPECT_EQ(b.formula.counts[LearnedClause], clausesBefore - 2);
  EXPECT_EQ(u.unlearnedClauses, 2u);
  EXPECT_EQ(u.unlearnedTerms, 1u);
}

TEST(Unlearn, KeepsAConstraintThatIsTheReasonOfAnAssignment) {
  // A unit term forces its universal literal while its existential ones
  // may stay open; the analysis reads that reason later.
  Bench b(true);
  Unlearn u(b.formula, b.options, b.names);
  const uint32_t id = b.learn({1, 2, 3, 4}, true);
  // The term forces 4 false (the complement of its literal); 1 and 2 stay open.
  b.formula.push2Assign(b.lit(3), reasonItem_{0, Branch});
  b.formula.push2Assign(b.lit(4, true), reasonItem_{id, NaryUnit | LearnedTerm});
  ASSERT_TRUE(b.formula.isFalse(b.lit(4)));
  b.eventAt(u, 255);
  EXPECT_TRUE(b.alive(id, true));
  EXPECT_EQ(u.unlearnedTerms, 0u);
}

TEST(Unlearn, PassRunsOncePerNewMultipleOf255) {
  Bench b(true);
  Unlearn u(b.formula, b.options, b.names);
  const uint32_t first = b.learn({1, 2, 3, 4, 5, 6});
  b.eventAt(u, 254);
  EXPECT_TRUE(b.alive(first));
  b.eventAt(u, 255);
  EXPECT_FALSE(b.alive(first));
  const uint32_t second = b.learn({1, 2, 3, 4, 5, 6});
  b.eventAt(u, 255);  // the same count again: no pass
  b.eventAt(u, 256);
  EXPECT_TRUE(b.alive(second));
  b.eventAt(u, 509);
  b.eventAt(u, 511);  // 510 jumped over
  EXPECT_TRUE(b.alive(second));
  b.eventAt(u, 765);
  EXPECT_FALSE(b.alive(second));
}

TEST(Unlearn, WithoutTheOptionNothingIsForgottenOrPrinted) {
  Bench b(false, true);
  Unlearn u(b.formula, b.options, b.names);
  const uint32_t id = b.learn({1, 2, 3, 4, 5, 6});
  b.eventAt(u, 255);
  EXPECT_TRUE(b.alive(id));
  testing::internal::CaptureStdout();
  u.printStats();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  Bench s(true, true);
  Unlearn printing(s.formula, s.options, s.names);
  s.learn({1, 2, 3, 4, 5, 6});
  s.eventAt(printing, 255);
  testing::internal::CaptureStdout();
  printing.printStats();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "UNLEARNT CLAUSES 1\nUNLEARNT TERMS 0\n");
}

}  // namespace
}  // namespace vorn
