// Conflict and solution analysis on hand-built states: the decided
// records, the three shapes of learned constraint and their assertion, the
// choice among pending empty constraints, the stop without an answer, the
// statistics lines, and the initial solution term.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "strategies/Backtrack.h"
#include "support/Formula.h"
#include "support/SolverSearch.h"

namespace vorn {
namespace test {
namespace {

// A formula in the engine with every strategy initialised; monotone
// literals are off unless asked for, so the fixture decides every value.
struct Fixture {
  explicit Fixture(const char* text, bool pureLiterals = false, bool searchStats = false)
      : input(parseQdimacsOrFail(text)), search(input, config(pureLiterals, searchStats)) {
    started = search.start();
  }
  static SolverSearchConfig config(bool pureLiterals, bool searchStats) {
    SolverSearchConfig c;
    c.pureLiterals = pureLiterals;
    c.searchStats = searchStats;
    return c;
  }
  Literal lit(int external) const { return search.internalLiteral(external); }
  // One event of the loop, seen by Backtrack.
  void analyse() {
    Literal l;
    reasonItem_ r;
    search.nextEvent(l, r);
    search.backtrack->assign(l, r);
  }
  void decideAndPropagate(std::initializer_list<int> decisions) {
    for (int d : decisions) {
      search.decide(d);
      search.propagate();
    }
  }
  DynFormula& f() { return search.formula; }
  Backtrack& bt() { return *search.backtrack; }

  QbfFormula input;
  SolverSearch search;
  bool started = false;
};

TEST(Backtrack, EventWithNothingToAnalyseChangesNothing) {
  Fixture fx("p cnf 3 2\ne 1 2 3 0\n1 2 3 0\n-1 -2 0\n");
  ASSERT_TRUE(fx.started);
  fx.analyse();  // nothing assigned, nothing pending
  // Complete, but the binary propagation has not read the trail yet.
  fx.search.decide(1);
  fx.search.decide(-2);
  fx.search.decide(3);
  ASSERT_EQ(fx.f().trailSize, 3u);
  ASSERT_EQ(fx.f().binHead, 0u);
  fx.analyse();
  EXPECT_EQ(fx.bt().conflicts + fx.bt().solutions, 0u);
  EXPECT_EQ(fx.f().trailSize, 3u);
  EXPECT_EQ(fx.f().emptyCount, 0u);
  EXPECT_FALSE(fx.f().hasEmpty());
  // Once propagated, the same state is a solution.
  fx.search.propagate();
  fx.analyse();
  EXPECT_EQ(fx.bt().solutions, 1u);
}

// Everything at the top level: no learning, the record that ends the
// search, the trail untouched.
TEST(Backtrack, TopLevelLeavesTheDecidedRecord) {
  struct Case {
    const char* text;
    const uint32_t* mark;
    int result;
    uint32_t conflicts, solutions;
    unsigned long emptyRise;  // the initial term of a complete assignment counts too
  };
  const Case cases[] = {
      {"p cnf 2 3\ne 1 2 0\n-1 0\n1 2 0\n1 -2 0\n", DynFormula::decidedFalseMark, ResultFalse, 1, 0, 1},
      {"p cnf 2 3\ne 1 2 0\n1 0\n2 0\n1 2 0\n", DynFormula::decidedTrueMark, ResultTrue, 0, 1, 2},
  };
  for (const Case& c : cases) {
    Fixture fx(c.text);
    ASSERT_TRUE(fx.started) << c.text;
    fx.search.propagate();
    const uint32_t trail = fx.f().trailSize;
    const unsigned long empties = fx.f().emptyCount;
    fx.analyse();
    ASSERT_EQ(fx.f().nEmpties.size(), 1u) << c.text;
    EXPECT_EQ(fx.f().nEmpties.back(), c.mark) << c.text;
    EXPECT_TRUE(fx.f().bEmpties.empty()) << c.text;
    EXPECT_EQ(fx.search.pendingResult(), c.result) << c.text;
    EXPECT_EQ(fx.f().trailSize, trail) << c.text;
    EXPECT_EQ(fx.f().emptyCount, empties + c.emptyRise) << c.text;
    EXPECT_EQ(fx.f().conflictLit, fx.f().trail[0]) << c.text;
    EXPECT_EQ(fx.bt().conflicts, c.conflicts) << c.text;
    EXPECT_EQ(fx.bt().solutions, c.solutions) << c.text;
  }
}

TEST(Backtrack, LearnedUnitIsAssertedAtTheTopLevel) {
  Fixture fx("p cnf 3 3\ne 1 2 3 0\n-1 2 0\n-1 -2 0\n1 2 3 0\n");
  fx.decideAndPropagate({1});
  ASSERT_FALSE(fx.f().bEmpties.empty());
  fx.analyse();
  const Literal notOne = fx.lit(-1);
  EXPECT_FALSE(fx.f().hasEmpty());
  EXPECT_EQ(fx.f().decisionLevel, 1u);
  ASSERT_EQ(fx.f().trailSize, 1u);
  EXPECT_EQ(fx.f().trail[0], notOne);
  EXPECT_EQ(fx.f().reasons[litCode(notOne)].kind, NaryUnit | OrigClause);
  EXPECT_EQ(fx.f().reasons[litCode(notOne)].antecedent, 0u);
  EXPECT_EQ(fx.f().units.back(), notOne);
  EXPECT_EQ(fx.f().lastTopLevelLit, notOne);
  EXPECT_EQ(fx.f().binHead, 0u);  // the heads come back to the new trail end
  EXPECT_EQ(fx.bt().conflicts, 1u);
}

TEST(Backtrack, LearnedBinaryClauseAssertsWithItsPartner) {
  Fixture fx("p cnf 3 3\ne 1 2 3 0\n-1 -2 3 0\n-1 -2 -3 0\n1 2 3 0\n");
  fx.decideAndPropagate({1, 2});
  ASSERT_TRUE(fx.f().hasEmpty());
  fx.analyse();
  const Literal notOne = fx.lit(-1), notTwo = fx.lit(-2);
  EXPECT_FALSE(fx.f().hasEmpty());
  EXPECT_EQ(fx.f().decisionLevel, 2u);
  EXPECT_TRUE(fx.f().isTrue(notTwo));
  EXPECT_EQ(fx.f().levelOf(notTwo), 2u);
  EXPECT_EQ(fx.f().reasons[litCode(notTwo)].kind, BinaryUnit | LearnedClause);
  EXPECT_EQ(fx.f().reasons[litCode(notTwo)].antecedent, notOne);
  const auto& partners = fx.f().bOccs[LearnedClause][litCode(notTwo)];
  ASSERT_EQ(partners.size(), 2u);
  EXPECT_EQ(partners[1], notOne);
}

// a1 e2 a3 e4 with decisions 1, 2, 3, 4: the term {1, 2, 3} (4 stands
// behind every universal literal) asserts not-3 with the record as reason.
TEST(Backtrack, LearnedTermAssertsTheComplementOfItsUip) {
  Fixture fx("p cnf 4 3\na 1 0\ne 2 0\na 3 0\ne 4 0\n1 -4 0\n3 -4 0\n2 -4 0\n");
  fx.decideAndPropagate({1, 2, 3, 4});
  ASSERT_FALSE(fx.f().hasEmpty());
  ASSERT_EQ(fx.f().trailSize, 4u);
  fx.analyse();
  ASSERT_EQ(fx.f().watchedOccs[LearnedTerm].size(), 2u);
  const uint32_t* record = fx.f().watchedOccs[LearnedTerm][1].begin;
  std::vector<Literal> body;
  for (const uint32_t* p = NConstraint::literals(record); *p; ++p) body.push_back(*p);
  // Innermost first, each with the term bit.
  const std::vector<Literal> expected = {fx.lit(3) | kTermBit, fx.lit(2) | kTermBit, fx.lit(1) | kTermBit};
  EXPECT_EQ(body, expected);
  EXPECT_EQ(record[0], fx.lit(3) | kTermBit);
  EXPECT_EQ(record[1], fx.lit(2) | kTermBit);
  EXPECT_EQ(fx.f().decisionLevel, 3u);
  const Literal notThree = fx.lit(-3);
  EXPECT_TRUE(fx.f().isTrue(notThree));
  EXPECT_EQ(fx.f().reasons[litCode(notThree)].kind, NaryUnit | LearnedTerm);
  EXPECT_EQ(fx.f().reasons[litCode(notThree)].antecedent, 1u);
  EXPECT_EQ(fx.bt().solutions, 1u);
}

// A binary and an N-ary empty clause pending together: the binary one is
// analysed (it learns the unit not-1; the N-ary one would learn the
// binary clause (not-1 or not-3)), and both lists are emptied.
TEST(Backtrack, NewestBinaryEmptyIsAnalysedAndBothListsEmptied) {
  Fixture fx("p cnf 3 3\ne 1 2 3 0\n-1 2 0\n-1 -2 0\n-1 -3 -2 0\n");
  fx.decideAndPropagate({3, 1});
  ASSERT_EQ(fx.f().bEmpties.size(), 1u);
  // The ternary clause is empty as well; propagation stopped before it.
  const uint32_t* record = fx.f().watchedOccs[OrigClause][1].begin;
  for (const uint32_t* p = NConstraint::literals(record); *p; ++p) ASSERT_TRUE(fx.f().isFalse(*p));
  fx.f().nEmpties.push_back(record);
  fx.analyse();
  EXPECT_TRUE(fx.f().bEmpties.empty());
  EXPECT_TRUE(fx.f().nEmpties.empty());
  EXPECT_TRUE(fx.f().isTrue(fx.lit(-1)));
  EXPECT_EQ(fx.f().levelOf(fx.lit(-1)), 1u);
}

// Decisions out of prefix order (the loop never makes them) leave an
// empty clause whose open universal literal stands outside the decision:
// resolution would have to go past the decision, which has no reason.
// The analysis stops the search without an answer instead of learning.
TEST(Backtrack, NoReasonToResolveWithStopsWithoutAnAnswer) {
  Fixture fx("p cnf 3 1\na 1 0\ne 2 3 0\n1 -2 3 0\n");
  fx.decideAndPropagate({-3, 2});
  ASSERT_EQ(fx.f().nEmpties.size(), 1u);
  EXPECT_DEBUG_DEATH(fx.analyse(), "reason");
#ifdef NDEBUG
  EXPECT_TRUE(fx.bt().abandoned());
  ASSERT_EQ(fx.f().nEmpties.size(), 1u);
  EXPECT_EQ(fx.f().nEmpties.back(), Backtrack::abandonedMark);
  EXPECT_EQ(fx.search.pendingResult(), ResultUnknown);
  EXPECT_EQ(fx.f().watchedOccs[LearnedClause].size(), 1u);  // nothing learned
#endif
}

TEST(Backtrack, StatisticsLinesOnlyWithSstat) {
  for (bool sstat : {false, true}) {
    Fixture fx("p cnf 3 3\ne 1 2 3 0\n-1 2 0\n-1 -2 0\n1 2 3 0\n", false, sstat);
    fx.decideAndPropagate({1});
    fx.analyse();
    fx.search.propagate();
    testing::internal::CaptureStdout();
    fx.bt().printStats();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, sstat ? "BACKTRACKS CONFLICT 1\nBACKTRACKS SOLUTION 0\n" : "");
  }
}

// a1 a2 a5 e3 e4, all decided true. 5 stands in no clause as true and
// leaves; 2 is covered in its only clause by an existential and leaves; 1
// has the false partner not-3, which is not a don't-care value, and stays.
// The existential pass then drops 3 (4 covers its clauses) and keeps 4,
// which the existential reduction removes.
TEST(Backtrack, InitialTermKeepsOnlyWhatCoversAClause) {
  Fixture fx("p cnf 5 3\na 1 2 5 0\ne 3 4 0\n1 -3 0\n2 3 4 0\n3 4 -5 0\n");
  fx.decideAndPropagate({1, 2, 5, 3, 4});
  ASSERT_EQ(fx.f().trailSize, 5u);
  std::vector<Literal> out;
  fx.bt().computeSolution_(out);
  const std::vector<Literal> term = {fx.lit(1) | kTermBit, fx.lit(4) | kTermBit};
  EXPECT_EQ(fx.bt().termLits, term);  // ascending, before the reduction
  EXPECT_EQ(out, (std::vector<Literal>{fx.lit(1) | kTermBit, 0}));
  // Nothing was flipped.
  for (int v = 1; v <= 5; ++v) EXPECT_TRUE(fx.f().isTrue(fx.lit(v))) << v;
  // The tables are back in their resting state.
  EXPECT_TRUE(std::all_of(fx.bt().inTerm.begin(), fx.bt().inTerm.end(), [](bool b) { return b; }));
  EXPECT_TRUE(std::none_of(fx.bt().planned.begin(), fx.bt().planned.end(), [](bool b) { return b; }));
}

// A universal variable in no clause never enters the term.
TEST(Backtrack, InitialTermSkipsUniversalsWithoutOccurrences) {
  Fixture fx("p cnf 4 2\ne 1 0\na 2 3 0\ne 4 0\n1 -4 3 0\n-1 4 3 0\n");
  fx.decideAndPropagate({1, 2, -3, 4});
  ASSERT_EQ(fx.f().trailSize, 4u);
  std::vector<Literal> out;
  fx.bt().computeSolution_(out);
  for (const Literal t : fx.bt().termLits) EXPECT_NE(litVar(t), litVar(fx.lit(2)));
}

}  // namespace
}  // namespace test
}  // namespace vorn
