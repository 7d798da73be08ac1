// The dynamic formula: the start-up step (marks for empty input
// constraints, watch lists, initial watches, input units and their
// conflicts), the trail push, binary empty constraints, the kind of a
// pending empty constraint, and the score vector.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "engine/DynFormula.h"
#include "support/Generator.h"

namespace vorn {
namespace {

// Prefix of most tests: e 1 2 | a 3 | e 4 5.
bool existsVar(uint32_t v) { return v != 3; }
uint32_t L(long s) {
  const uint32_t v = static_cast<uint32_t>(std::labs(s));
  return 2 * v + (s < 0 ? 1u : 0u) + (existsVar(v) ? kExistBit : 0u);
}
uint32_t T(long s) { return L(s) | kTermBit; }

struct Fixture {
  CommandLine options;
  Instance<long> names;
  DynFormula f{options, names};
  Fixture() {
    f.prefix.learnAtom(Exists, 1);
    f.prefix.learnAtom(Exists, 2);
    f.prefix.learnAtom(Forall, 3);
    f.prefix.learnAtom(Exists, 4);
    f.prefix.learnAtom(Exists, 5);
    f.NffEx::init(5, 0);
  }
  const uint32_t* add(std::vector<long> lits, bool clause = true) {
    uint32_t id = 0;
    return f.learnConstraint(lits, id, true, clause);
  }
};

TEST(DynFormulaInit, AssignsUnitsAtTopLevelAndWatchesRecords) {
  Fixture x;
  DynFormula& f = x.f;
  x.add({1});
  x.add({-2, 3});  // unit -2 after reduction
  const uint32_t* r1 = x.add({1, 4, 5});
  const uint32_t* r2 = x.add({2, -3, 5});
  x.add({4, 5});
  x.add({3}, false);  // input term unit: forces -3
  x.add({1});         // repeated unit: skipped
  ASSERT_TRUE(f.isRecord(r1));
  ASSERT_TRUE(f.isRecord(r2));
  f.init();

  EXPECT_TRUE(f.nEmpties.empty());
  EXPECT_TRUE(f.bEmpties.empty());
  EXPECT_EQ(f.emptyCount, 0u);
  EXPECT_EQ(f.nVars, 5u);
  EXPECT_EQ(f.trailSize, 3u);
  EXPECT_EQ(std::vector<uint32_t>(f.trail.begin(), f.trail.end()),
            (std::vector<uint32_t>{L(1), L(-2), L(-3), 0, 0, 0}));
  EXPECT_EQ(f.decisionLevel, 1u);
  EXPECT_EQ(f.lastTopLevelLit, L(-3));
  EXPECT_EQ(f.value[1], 1);
  EXPECT_EQ(f.value[2], -1);
  EXPECT_EQ(f.value[3], -1);
  EXPECT_EQ(f.value[4], 0);
  EXPECT_EQ(f.trailPos[3], 2u);
  for (uint32_t l : {L(1), L(-2), L(-3)}) {
    EXPECT_EQ(f.reasons[litCode(l)].antecedent, 0u);
    EXPECT_EQ(f.reasons[litCode(l)].kind, 0x80u) << "a term unit is assigned with the clause unit kind too";
  }
  EXPECT_EQ(f.reasons[litCode(L(4))].kind, static_cast<uint32_t>(NoReason));

  // Records: watched on their first two stored literals (innermost first).
  EXPECT_EQ(r1[0], L(5));
  EXPECT_EQ(r1[1], L(4));
  EXPECT_EQ(r2[0], L(5));
  EXPECT_EQ(r2[1], L(-3));
  const watchedOccs_& e2 = f.watchedOccs[OrigClause][2];
  EXPECT_EQ(e2.watch1, L(5));
  EXPECT_EQ(e2.watch2, L(-3));
  for (int k = 0; k < kKinds; ++k) ASSERT_GE(f.watchLists[k].capacity(), 12u);
  EXPECT_EQ(f.watchLists[OrigClause][litCode(L(5))], (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(f.watchLists[OrigClause][litCode(L(4))], (std::vector<uint32_t>{1}));
  EXPECT_EQ(f.watchLists[OrigClause][litCode(L(-3))], (std::vector<uint32_t>{2}));
  std::size_t watched = 0;
  for (int k = 0; k < kKinds; ++k)
    for (const auto& list : f.watchLists[k]) watched += list.size();
  EXPECT_EQ(watched, 4u);

  // Tables sized for the variables; the score vector too.
  EXPECT_EQ(f.reasons.size(), 12u);
  EXPECT_EQ(f.getVarScores(), std::vector<double>(6, 0.0));
  EXPECT_EQ(f.scoreInc, 1.0);
}

TEST(DynFormulaInit, ContradictingUnitsLeaveAUnitConflict) {
  Fixture x;
  DynFormula& f = x.f;
  x.add({2});
  x.add({1});
  x.add({-1});
  f.init();
  EXPECT_EQ(f.trailSize, 2u);
  ASSERT_EQ(f.nEmpties.size(), 1u);
  EXPECT_EQ(f.nEmpties[0], &f.scratch[1]);
  EXPECT_EQ(f.scratch[1], L(-1));
  EXPECT_EQ(f.scratch[2], 0u);
  EXPECT_EQ(f.scratch[3], 0u);
  EXPECT_EQ(DynFormula::firstLiteral(f.nEmpties[0]), L(-1));
  EXPECT_FALSE(DynFormula::isTermEntry(f.nEmpties[0]));
  EXPECT_EQ(f.emptyCount, 1u);
  EXPECT_EQ(f.conflictLit, L(1)) << "the trail literal that falsified the unit";
}

TEST(DynFormulaInit, EmptyInputConstraintsBecomeMarks) {
  {
    Fixture x;
    DynFormula& f = x.f;
    x.add({3});  // universal only: empty clause
    x.add({4});
    f.init();
    ASSERT_EQ(f.nEmpties.size(), 1u);
    EXPECT_EQ(f.nEmpties[0], DynFormula::emptyClauseMark);
    EXPECT_FALSE(DynFormula::isTermEntry(f.nEmpties[0]));
    EXPECT_EQ(f.emptyCount, 0u) << "marks are not counted";
    EXPECT_EQ(f.trailSize, 1u) << "units are still assigned";
    EXPECT_EQ(f.value[4], 1);
  }
  {
    Fixture x;
    DynFormula& f = x.f;
    x.add({});
    x.add({5}, false);  // existential only: empty term
    f.init();
    ASSERT_EQ(f.nEmpties.size(), 2u);
    EXPECT_EQ(f.nEmpties[1], DynFormula::emptyTermMark);
    EXPECT_TRUE(DynFormula::isTermEntry(f.nEmpties.back()));
  }
  {
    // No constraint at all: watch lists still sized and empty.
    Fixture x;
    x.f.init();
    for (int k = 0; k < kKinds; ++k) {
      ASSERT_GE(x.f.watchLists[k].capacity(), 12u);
      for (const auto& list : x.f.watchLists[k]) EXPECT_TRUE(list.empty());
    }
    EXPECT_EQ(x.f.trailSize, 0u);
  }
}

TEST(DynFormula, KindOfPendingEntries) {
  Fixture x;
  const uint32_t* clause = x.add({1, -3, 4});
  const uint32_t* term = x.add({-1, 3, 2}, false);
  ASSERT_TRUE(x.f.isRecord(clause));
  ASSERT_TRUE(x.f.isRecord(term));
  x.f.init();
  EXPECT_EQ(DynFormula::firstLiteral(clause), L(4));
  EXPECT_FALSE(DynFormula::isTermEntry(clause));
  EXPECT_EQ(DynFormula::firstLiteral(term), T(3));
  EXPECT_TRUE(DynFormula::isTermEntry(term));
  EXPECT_FALSE(DynFormula::isTermEntry(DynFormula::decidedFalseMark));
  EXPECT_TRUE(DynFormula::isTermEntry(DynFormula::decidedTrueMark));
}

struct PushStep {
  const char* name;
  uint32_t lit;
  reasonItem_ reason;
  bool accepted;
  uint32_t trailSize;
  uint32_t decisionLevel;
  uint32_t var;
  int32_t value;  // of var after the push
  uint32_t conflictLit;
  uint32_t lastTopLevelLit;
  unsigned long fullAssignments;
};

TEST(DynFormula, TrailPush) {
  Fixture x;
  DynFormula& f = x.f;
  x.f.prefix.learnAtom(Forall, 3);  // no-op, already placed
  f.init();
  // Three of five variables are pushed, then the last two fill the trail.
  const reasonItem_ unit{0, NaryUnit};
  const reasonItem_ branch{0, Branch};
  const reasonItem_ termUnit{7, NaryUnit | OrigTerm};
  const PushStep steps[] = {
      {"unassigned", L(1), unit, true, 1, 1, 1, 1, 0, L(1), 0},
      {"same sign again: nothing", L(1), branch, true, 1, 1, 1, 1, 0, L(1), 0},
      {"opposite sign refused", L(-1), unit, false, 1, 1, 1, 1, L(1), L(1), 0},
      {"branch opens level 2 first", L(-2), branch, true, 2, 2, 2, -2, L(1), L(1), 0},
      {"term literal pushes its complement", T(3), termUnit, true, 3, 2, 3, -2, L(1), L(1), 0},
      {"term literal whose forced value is false", T(-3), termUnit, false, 3, 2, 3, -2, L(-3), L(1), 0},
      {"term literal whose forced value holds", T(3), unit, true, 3, 2, 3, -2, L(-3), L(1), 0},
      {"fourth", L(4), unit, true, 4, 2, 4, 2, L(-3), L(1), 0},
      {"the last free variable completes the trail", L(-5), branch, true, 5, 3, 5, -3, L(-3), L(1), 1},
  };
  for (const PushStep& s : steps) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(f.push2Assign(s.lit, s.reason), s.accepted);
    EXPECT_EQ(f.trailSize, s.trailSize);
    EXPECT_EQ(f.decisionLevel, s.decisionLevel);
    EXPECT_EQ(f.value[s.var], s.value);
    EXPECT_EQ(f.conflictLit, s.conflictLit);
    EXPECT_EQ(f.lastTopLevelLit, s.lastTopLevelLit);
    EXPECT_EQ(f.fullAssignments, s.fullAssignments);
    for (uint32_t i = 0; i < f.trailSize; ++i) {
      EXPECT_FALSE(litTerm(f.trail[i]));
      EXPECT_EQ(f.trailPos[litVar(f.trail[i])], i);
    }
  }
  EXPECT_EQ(f.trail[2], L(-3));
  EXPECT_EQ(f.reasons[litCode(L(-3))].antecedent, 7u);
  EXPECT_EQ(f.reasons[litCode(L(-3))].kind, static_cast<uint32_t>(NaryUnit | OrigTerm));
  EXPECT_EQ(f.reasons[litCode(L(3))].kind, static_cast<uint32_t>(NoReason));
  EXPECT_EQ(f.reasons[litCode(L(-2))].kind, static_cast<uint32_t>(Branch));
  EXPECT_TRUE(f.isTrue(T(-3))) << "truth ignores the term bit";
  EXPECT_EQ(f.levelOf(L(5)), 3u);
  EXPECT_EQ(f.reasonKindOf(L(5)), static_cast<uint32_t>(Branch)) << "the complement's reason stands in";
}

TEST(DynFormula, BinaryEmptyConstraintsKeepTheDeepestConflictLiteral) {
  Fixture x;
  DynFormula& f = x.f;
  f.init();
  // The first one always sets conflictLit, even on unassigned literals.
  EXPECT_TRUE(f.pushBEmpty(L(4), L(5)));
  EXPECT_EQ(f.conflictLit, L(-4));
  EXPECT_EQ(f.emptyCount, 1u);
  f.push2Assign(L(1), reasonItem_{0, NaryUnit});  // level 1
  f.push2Assign(L(2), reasonItem_{0, Branch});    // level 2
  f.pushBEmpty(L(2), L(1));
  EXPECT_EQ(f.conflictLit, L(-2));
  f.pushBEmpty(L(1), L(2));  // shallower: conflictLit stays
  EXPECT_EQ(f.conflictLit, L(-2));
  f.pushBEmpty(T(-2), L(4));  // as deep: taken, term bit kept
  EXPECT_EQ(f.conflictLit, T(2));
  ASSERT_EQ(f.bEmpties.size(), 4u);
  EXPECT_EQ(f.bEmpties[1].lit1, L(2));
  EXPECT_EQ(f.bEmpties[1].lit2, L(1));
  EXPECT_EQ(f.emptyCount, 4u);
}

TEST(DynFormula, ScoresRescaleAboveTheLimit) {
  Fixture x;
  DynFormula& f = x.f;
  f.init();
  f.initVarScore(L(2), 3);
  EXPECT_EQ(f.varScores[2], 3.0);
  f.varScores[1] = 1e100;
  f.scoreInc = 1e90;
  f.incVarScore(L(-1));
  EXPECT_NEAR(f.varScores[1], 1.0, 1e-9);
  EXPECT_NEAR(f.varScores[2], 3e-100, 1e-110);
  EXPECT_NEAR(f.scoreInc, 1e-10, 1e-20);
}

// Random formulas: after init every input record is watched on its first
// two literals exactly once, the trail is consistent, and the units are
// assigned or recorded as conflicts exactly as a plain replay says.
TEST(DynFormulaInit, RandomFormulas) {
  for (uint64_t seed = 1; seed <= 60; ++seed) {
    test::GenParams params;
    params.numVars = 10;
    params.numClauses = 30;
    params.minClauseLen = 1;
    params.maxClauseLen = 5;
    params.freeVarProb = 0.2;
    params.repeatLitProb = 0.2;
    params.tautologyProb = 0.1;
    params.emptyClauseProb = seed % 7 == 0 ? 0.05 : 0.0;
    const test::QbfFormula q = test::generate(params, seed);
    SCOPED_TRACE(test::describe(q));

    CommandLine options;
    Instance<long> names;
    DynFormula f(options, names);
    for (const test::QBlock& b : q.prefix)
      for (int v : b.vars) f.prefix.learnAtom(b.exists ? Exists : Forall, static_cast<unsigned long>(v));
    f.NffEx::init(q.numVars, static_cast<long>(q.clauses.size()));
    for (const auto& c : q.clauses) {
      std::vector<long> lits(c.begin(), c.end());
      uint32_t id = 0;
      f.learnConstraint(lits, id, true, true);
    }
    const std::vector<uint32_t> units = f.units;
    f.init();

    std::size_t watched = 0;
    for (const auto& list : f.watchLists[OrigClause]) watched += list.size();
    if (f.emptyClause) {
      // The answer is known: nothing is watched.
      EXPECT_EQ(watched, 0u);
      for (uint32_t id = 1; id < f.watchedOccs[OrigClause].size(); ++id) {
        const watchedOccs_& e = f.watchedOccs[OrigClause][id];
        EXPECT_EQ(e.watch1 | e.watch2 | e.begin[0] | e.begin[1], 0u);
      }
    }
    for (uint32_t id = 1; !f.emptyClause && id < f.watchedOccs[OrigClause].size(); ++id) {
      const watchedOccs_& e = f.watchedOccs[OrigClause][id];
      EXPECT_EQ(e.begin[0], e.begin[2]);
      EXPECT_EQ(e.begin[1], e.begin[3]);
      EXPECT_EQ(e.watch1, e.begin[2]);
      EXPECT_EQ(e.watch2, e.begin[3]);
      for (uint32_t w : {e.watch1, e.watch2}) {
        const auto& list = f.watchLists[OrigClause][litCode(w)];
        EXPECT_EQ(std::count(list.begin(), list.end(), id), 1);
      }
    }
    if (!f.emptyClause) {
      EXPECT_EQ(watched, 2 * (f.watchedOccs[OrigClause].size() - 1));
    }

    // Replay of the units.
    std::map<uint32_t, bool> val;
    std::size_t conflicts = 0;
    for (uint32_t u : units) {
      auto it = val.find(litVar(u));
      if (it == val.end())
        val[litVar(u)] = !litNegative(u);
      else if (it->second == litNegative(u))
        ++conflicts;
    }
    EXPECT_EQ(f.trailSize, val.size());
    EXPECT_EQ(f.emptyCount, conflicts);
    EXPECT_EQ(f.nEmpties.size(), conflicts + (f.emptyClause ? 1 : 0));
    for (uint32_t i = 0; i < f.trailSize; ++i) {
      const uint32_t v = litVar(f.trail[i]);
      EXPECT_EQ(f.trailPos[v], i);
      EXPECT_EQ(f.value[v], val[v] ? 1 : -1);
    }
  }
}

}  // namespace
}  // namespace vorn
