// Loading clauses into the preprocessor's formula: repeats, tautologies,
// sorting, universal reduction, subsumption, self-subsuming resolution and
// the empty clause; then the subsumption checks and the resolvent builder
// on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "preprocessor/CnfFormula.h"
#include "support/Generator.h"

namespace vorn {
namespace {

using Clause = std::vector<CnfLiteral>;

struct Line {
  char q;
  std::vector<CnfLiteral> atoms;
};

// Declares the prefix lines, then every clause atom as the reader does.
void declare(CnfFormula& f, const std::vector<Line>& lines, const std::vector<Clause>& clauses) {
  for (const Line& l : lines)
    for (CnfLiteral a : l.atoms) f.addAtom(a, l.q == 'e' ? Exists : Forall);
  for (const Clause& c : clauses)
    for (CnfLiteral l : c) f.addAtom(atomOf(l));
}

// "id:lits" for every stored clause in id order, e.g. "1:4 3 1 2:2".
std::string stored(const CnfFormula& f) {
  std::string s;
  for (ClauseId id = 1; id < f.slotCount(); ++id) {
    if (f.clauses[id].empty()) continue;
    if (!s.empty()) s += " ";
    s += std::to_string(id) + ":";
    for (std::size_t i = 0; i < f.clauses[id].size(); ++i) s += (i ? " " : "") + std::to_string(f.clauses[id][i]);
  }
  return s;
}

// Block 0 = [1, 2] existential, block 1 = [3] universal, block 2 = [4] existential.
const std::vector<Line> kThreeBlocks = {{'e', {1, 2}}, {'a', {3}}, {'e', {4}}};
const std::vector<Line> kOneBlock = {{'e', {1, 2, 3}}};

TEST(Loading, Table) {
  struct Case {
    const char* name;
    std::vector<Line> prefix;
    std::vector<Clause> input;
    bool selfSubsumption;
    const char* stored;
    bool isFalse;
  } cases[] = {
      {"sorted innermost block first", kThreeBlocks, {{1, 3, 4}}, false, "1:4 3 1", false},
      {"universal deeper than every existential", kThreeBlocks, {{1, -3}}, false, "1:1", false},
      {"universal outer to an existential stays", kThreeBlocks, {{-3, 4}}, false, "1:4 -3", false},
      {"universal only: false", kThreeBlocks, {{3}}, false, "", true},
      {"repeated literal", kThreeBlocks, {{2, 1, 2}}, false, "1:2 1", false},
      {"tautology dropped", kThreeBlocks, {{1, -1, 4}}, false, "", false},
      {"tautology on a universal", kThreeBlocks, {{3, 4, -3}, {2}}, false, "1:2", false},
      {"subsumed clause leaves, slot 1 free", kOneBlock, {{1, 2, 3}, {1, 2}}, false, "2:2 1", false},
      {"subsumed clause not stored", kOneBlock, {{1, 2}, {1, 2, 3}}, false, "1:2 1", false},
      {"equal clause not stored", kOneBlock, {{1, 2}, {2, 1}}, false, "1:2 1", false},
      {"one clause subsumes two", kOneBlock, {{1, 2, 3}, {1, 3, -2}, {1}}, false, "3:1", false},
      {"no self-subsumption without -ss", kOneBlock, {{1, 2}, {-1, 2}}, false, "1:2 1 2:2 -1", false},
      {"-ss: equal rest", kOneBlock, {{1, 2}, {-1, 2}}, true, "2:2", false},
      {"-ss: stored clause loses its literal", kOneBlock, {{1, 2, 3}, {-1, 2}}, true, "1:3 2 2:2 -1", false},
      {"-ss: new clause loses its literal", kOneBlock, {{-1, 2}, {1, 2, 3}}, true, "1:2 -1 2:3 2", false},
      {"-ss: both directions at once", kOneBlock, {{1, 2, 3}, {-2, 3}, {2, 3}}, true, "3:3", false},
      // forall u exists e: (u | e)(u | -e) is false; the resolvent (u) reduces to empty.
      {"-ss: resolvent reduced to empty", {{'a', {1}}, {'e', {2}}}, {{1, 2}, {1, -2}}, true, "1:2 1", true},
      {"empty clause stops loading", kOneBlock, {{1}, {2}, {}, {3}}, false, "1:1 2:2", true},
  };
  for (const Case& c : cases) {
    CnfFormula f(c.selfSubsumption);
    declare(f, c.prefix, c.input);
    f.init(c.input);
    EXPECT_EQ(stored(f), c.stored) << c.name;
    EXPECT_EQ(f.formulaFalse, c.isFalse) << c.name;
    EXPECT_EQ(f.simplify(), c.isFalse ? PassFalse : PassUndecided) << c.name;
  }
}

TEST(Loading, SubsumptionSwitchesOffAbove100000Clauses) {
  for (std::size_t count : {100000u, 100001u}) {
    CnfFormula f(true);
    declare(f, kOneBlock, {{1, 2, 3}});
    std::vector<Clause> input(count, Clause{1, 2});
    input[0] = {1, 2, 3};
    f.init(input);
    bool on = count <= 100000;
    EXPECT_EQ(f.useSubsumption, on) << count;
    EXPECT_EQ(f.liveClauseCount(), on ? 1 : static_cast<long>(count)) << count;
  }
}

TEST(Loading, NoClausesAndCoverage) {
  CnfFormula f;
  declare(f, kThreeBlocks, {});
  f.init(std::vector<Clause>{});
  EXPECT_EQ(f.liveClauseCount(), 0);
  EXPECT_EQ(f.simplify(), PassUndecided);
  // The per-atom lists cover every declared atom after loading.
  EXPECT_EQ(f.posOccs.size(), 5u);
  EXPECT_EQ(f.negBinaries.size(), 5u);
}

TEST(MinimizeClause, ReducesAndSorts) {
  CnfFormula f;
  declare(f, {{'e', {1}}, {'a', {2, 3}}, {'e', {4}}, {'a', {5}}}, {});
  struct Case {
    Clause in, out;
  } cases[] = {
      {{1, 2, 4, 5}, {4, 2, 1}},  // 5 is deeper than 4: dropped
      {{-5, -2, 3}, {}},          // universal only
      {{3, 1, -2}, {1}},
      {{-4, 3, -2}, {-4, 3, -2}},
  };
  for (Case& c : cases) {
    Clause lits = c.in;
    f.minimizeClause(lits);
    EXPECT_EQ(lits, c.out);
  }
  Clause empty;
  EXPECT_EQ(f.addClause(empty), 0);
  Clause universal{2, 5};
  EXPECT_EQ(f.addClause(universal), 0);
  EXPECT_EQ(f.liveClauseCount(), 0);
}

// The checks on a store filled directly (no loading rules in between).
TEST(Subsumption, Check) {
  struct Case {
    const char* name;
    std::vector<Clause> stored;
    Clause list;
    bool answer;
    std::vector<ClauseId> subsumed;
  } cases[] = {
      {"equal", {{2, 1}}, {2, 1}, true, {}},
      {"stored subsumes the list", {{2, 1}}, {3, 2, 1}, true, {}},
      {"the list subsumes a stored clause", {{3, 2, 1}}, {2, 1}, false, {1}},
      {"subsumed met before the equal one", {{3, 2, 1}, {2, 1}}, {2, 1}, true, {1}},
      {"opposite sign shares nothing", {{-2, 1}}, {2, 1}, false, {}},
      {"atom beyond the lists counts nothing", {{2, 1}}, {9, 2, 1}, true, {}},
      {"atom beyond the lists, nothing stored", {}, {9}, false, {}},
  };
  for (const Case& c : cases) {
    CnfFormula f;
    declare(f, kOneBlock, {});
    f.init(std::vector<Clause>{});
    for (const Clause& s : c.stored) f.CnfMatrix::addClause(s);
    std::vector<ClauseId> subsumed;
    EXPECT_EQ(f.checkSubsumption_(c.list, subsumed), c.answer) << c.name;
    EXPECT_EQ(subsumed, c.subsumed) << c.name;
  }
}

TEST(Subsumption, SwitchedOff) {
  CnfFormula f(true);
  declare(f, kOneBlock, {});
  f.init(std::vector<Clause>{});
  f.CnfMatrix::addClause({2, 1});
  f.useSubsumption = false;
  Clause list{1, 2, 3};
  std::vector<ClauseId> subsumed;
  EXPECT_FALSE(f.checkSubsumption(list, subsumed));
  EXPECT_EQ(list, (Clause{3, 2, 1}));  // still minimised
  ClauseId id = f.CnfMatrix::addClause({2, -1});
  std::vector<ClauseId> removeIds;
  std::vector<Clause> resolvents;
  EXPECT_FALSE(f.checkSelfSubsumption(id, removeIds, resolvents));
  EXPECT_TRUE(removeIds.empty());
  EXPECT_TRUE(resolvents.empty());
}

// Leaving long occurrence lists out of the count must not change a result
// nor the order of the subsumed ids (it decides which ids are reused).
// Random formulas over few atoms, loaded once walking every list and once
// leaving out whatever stays exact, then probed with random lists.
TEST(Subsumption, LeavingListsOutChangesNothing) {
  auto snapshot = [](const CnfFormula& f) {
    std::string s = stored(f) + " free:";
    for (ClauseId id : f.freeIds) s += " " + std::to_string(id);
    for (std::size_t a = 1; a < f.posOccs.size(); ++a)
      for (const auto* list : {&f.posOccs[a], &f.negOccs[a]}) {
        s += " |";
        for (ClauseId id : *list) s += " " + std::to_string(id);
      }
    return s;
  };
  int skipped = 0;
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    test::SplitMix64 rng(seed);
    test::GenParams p;
    p.numVars = rng.range(3, 9);
    p.numClauses = rng.range(5, 120);
    p.minClauseLen = rng.range(1, 2);
    p.maxClauseLen = rng.range(2, 5);
    p.alternations = rng.range(0, 3);
    p.xorTriples = rng.range(0, 3);
    p.andGates = rng.range(0, 3);
    const test::QbfFormula q = test::generate(p, seed);
    std::vector<Line> prefix;
    for (const test::QBlock& b : q.prefix) prefix.push_back({b.exists ? 'e' : 'a', {b.vars.begin(), b.vars.end()}});
    std::vector<Clause> input;
    for (const auto& c : q.clauses) input.emplace_back(c.begin(), c.end());
    for (bool selfSubsumption : {false, true}) {
      CnfFormula plain(selfSubsumption), leaving(selfSubsumption);
      plain.skippableLength = SIZE_MAX;
      leaving.skippableLength = 0;
      for (CnfFormula* f : {&plain, &leaving}) {
        declare(*f, prefix, input);
        f->init(input);
      }
      const std::string where = test::describe(q) + (selfSubsumption ? " -ss" : "");
      ASSERT_EQ(snapshot(plain), snapshot(leaving)) << where;
      ASSERT_EQ(plain.formulaFalse, leaving.formulaFalse) << where;
      for (int probe = 0; probe < 20 && !plain.formulaFalse; ++probe) {
        Clause list;
        for (CnfLiteral a = 1; a <= p.numVars; ++a)
          if (rng.chance(0.5)) list.push_back(rng.chance(0.5) ? a : -a);
        std::vector<ClauseId> a, b;
        Clause listA = list, listB = list;
        ASSERT_EQ(plain.checkSubsumption(listA, a), leaving.checkSubsumption(listB, b)) << where;
        ASSERT_EQ(a, b) << where;
        skipped += leaving.skippedLiterals[0] != 0;
      }
    }
  }
  // The probes must have taken the other road often enough to mean something.
  EXPECT_GT(skipped, 1000);
}

TEST(SelfSubsumption, Check) {
  struct Case {
    const char* name;
    Clause first, second;
    std::vector<ClauseId> removeIds;
    std::vector<Clause> resolvents;
  } cases[] = {
      {"equal rest: the new clause loses -1", {2, 1}, {2, -1}, {2}, {{2}}},
      {"the stored clause loses 1", {3, 2, 1}, {2, -1}, {1}, {{3, 2}}},
      {"the new clause loses 1", {2, -1}, {3, 2, 1}, {2}, {{3, 2}}},
      {"no clash", {3, 1}, {2, -1}, {}, {}},
  };
  for (const Case& c : cases) {
    CnfFormula f(true);
    declare(f, kOneBlock, {});
    f.init(std::vector<Clause>{});
    f.CnfMatrix::addClause(c.first);
    std::vector<ClauseId> subsumed;
    Clause list = c.second;
    ASSERT_FALSE(f.checkSubsumption_(list, subsumed)) << c.name;
    ClauseId id = f.CnfMatrix::addClause(list);
    std::vector<ClauseId> removeIds;
    std::vector<Clause> resolvents;
    EXPECT_TRUE(f.checkSelfSubsumption(id, removeIds, resolvents)) << c.name;
    for (Clause& r : resolvents) f.minimizeClause(r);
    EXPECT_EQ(removeIds, c.removeIds) << c.name;
    EXPECT_EQ(resolvents, c.resolvents) << c.name;
  }
}

TEST(Resolution, UnionWithoutPivotAndClashReported) {
  CnfFormula f;
  declare(f, kOneBlock, {{4}});
  f.init(std::vector<Clause>{});
  Clause r;
  EXPECT_TRUE(f.resolution_({2, -1}, {3, 2, 1}, -1, r));
  f.minimizeClause(r);
  EXPECT_EQ(r, (Clause{3, 2}));
  // A second clashing atom: the resolvent would be a tautology.
  EXPECT_FALSE(f.resolution_({3, 2, -1}, {-3, 1}, 1, r));
  EXPECT_TRUE(r.empty());
  // The marks are clean afterwards: the same call again gives the same answer.
  EXPECT_TRUE(f.resolution_({4, -1}, {4, 1}, 1, r));
  EXPECT_EQ(r, (Clause{4}));
  EXPECT_TRUE(std::all_of(f.literalMark.begin(), f.literalMark.end(), [](CnfLiteral m) { return m == 0; }));
}

TEST(Loading, RemoveFromClauseStoresAsLoading) {
  CnfFormula f;
  declare(f, kThreeBlocks, {});
  f.init(std::vector<Clause>{{4, 1, 2}, {-3, 4}, {4, 2, -1}});
  ASSERT_EQ(stored(f), "1:4 2 1 2:4 -3 3:4 2 -1");
  // (4 2 1) without 1 is (4 2): stored again under id 1, and it subsumes clause 3.
  EXPECT_TRUE(f.removeFromClause(1, 1));
  EXPECT_EQ(stored(f), "1:4 2 2:4 -3");
  // (4 -3) without 4 reduces to nothing: the clause stays.
  EXPECT_FALSE(f.removeFromClause(2, 4));
  EXPECT_EQ(stored(f), "1:4 2 2:4 -3");
  EXPECT_TRUE(f.removeFromClause(9, 1));
  EXPECT_FALSE(f.formulaFalse);
}

TEST(SortBinary, PartnersInLiteralOrder) {
  CnfFormula f;
  declare(f, kThreeBlocks, {});
  f.init(std::vector<Clause>{{4, 1}, {4, -3}, {4, 2}, {4, -1}});
  ASSERT_EQ(f.posBinaries[4], (Clause{1, -3, 2, -1}));
  f.sortBinary();
  // Deeper block first, then larger atom; 1 and -1 keep no defined order.
  const Clause& p = f.posBinaries[4];
  EXPECT_EQ(p[0], -3);
  EXPECT_EQ(p[1], 2);
  EXPECT_EQ(atomOf(p[2]) + atomOf(p[3]), 2);
  EXPECT_EQ(p[2] + p[3], 0);
}

}  // namespace
}  // namespace vorn
