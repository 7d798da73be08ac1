// The Q-resolution pass: its call decides nothing and changes nothing; the
// resolvent builder and the elimination refuse what would not be sound
// and, where they act, keep the truth value.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "preprocessor/CnfFormula.h"
#include "preprocessor/Qresolution.h"
#include "support/Evaluator.h"
#include "support/Formula.h"
#include "support/Generator.h"

namespace vorn {
namespace {

using Clause = std::vector<CnfLiteral>;

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

std::string written(CnfFormula& f) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  f.printFormula(out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

// Prefix: atom 4 free (block 0), universal 1 (block 1), existential 2 and
// 3 (block 2, innermost). Clauses stored as given, after reduction only.
void build(CnfFormula& f, const std::vector<Clause>& clauses) {
  f.addAtom(1, Forall);
  f.addAtom(2, Exists);
  f.addAtom(3, Exists);
  f.addAtom(4);
  f.init(std::vector<Clause>{});
  for (Clause c : clauses) f.addClause(c);
}

TEST(Qresolution, PassChangesNothing) {
  CnfFormula f;
  build(f, {{2, 1, 4}, {-2, 3}, {-3, -1}});
  const std::string before = written(f);
  Qresolution qr(true);
  EXPECT_EQ(qr(f), PassUndecided);
  EXPECT_EQ(qr(f), PassUndecided);
  EXPECT_EQ(written(f), before);
  CnfFormula empty;
  EXPECT_EQ(qr(empty), PassUndecided);
  EXPECT_EQ(empty.liveClauseCount(), 0);
  EXPECT_EQ(qr.eliminatedVars, 0);
  EXPECT_EQ(qr.checkedVars, 0);
}

TEST(Qresolution, ResolventGuards) {
  struct Case {
    const char* name;
    std::vector<Clause> clauses;
    ClauseId c1, c2;
    CnfLiteral pivot;
    bool answer;
    std::size_t pending;
    long score;
  } cases[] = {
      {"resolvent pending", {{2, 1, 4}, {-2, 3}}, 1, 2, 2, true, 1, 3},
      {"either sign of the pivot", {{2, 1, 4}, {-2, 3}}, 2, 1, -2, true, 1, 3},
      {"universal pivot", {{2, 1, 4}, {-1, 3}}, 1, 2, 1, false, 0, 0},
      {"existential outside the innermost block", {{2, 4}, {3, -4}}, 1, 2, 4, false, 0, 0},
      {"same sign in both", {{2, 1, 4}, {2, 3}}, 1, 2, 2, false, 0, 0},
      {"pivot missing", {{2, 1, 4}, {3}}, 1, 2, 2, false, 0, 0},
      {"free id", {{2, 1, 4}}, 1, 5, 2, false, 0, 0},
      {"tautology dropped", {{2, 1, 4}, {-2, -1, 3}}, 1, 2, 2, true, 0, 0},
      {"subsumed by a stored clause", {{2, 1, 4}, {-2, 3}, {3, 1}}, 1, 2, 2, true, 0, 0},
      {"subsumes a stored clause", {{2, 3}, {-2, 3}, {3, 4, 1}}, 1, 2, 2, true, 1, 1 - 2 - 2 - 3},
  };
  for (const Case& c : cases) {
    CnfFormula f;
    build(f, c.clauses);
    const std::string before = stored(f);
    Qresolution qr(false);
    long score = 0;
    EXPECT_EQ(qr.qresolution_(c.c1, c.c2, c.pivot, f, score), c.answer) << c.name;
    EXPECT_EQ(qr.pendingCount(), c.pending) << c.name;
    EXPECT_EQ(score, c.score) << c.name;
    EXPECT_EQ(stored(f), before) << c.name << ": building a resolvent stores nothing";
  }
}

TEST(Qresolution, EliminationAndItsChecks) {
  {
    CnfFormula f;
    build(f, {{2, 1, 4}, {-2, 3}, {-2, -4}});
    Qresolution qr(false);
    long score = 0;
    ASSERT_TRUE(qr.qresolution_(1, 2, 2, f, score));
    ASSERT_TRUE(qr.qresolution_(1, 3, 2, f, score));  // a tautology
    EXPECT_EQ(qr.pendingCount(), 1u);
    EXPECT_TRUE(qr.eliminateVar_(2, f));
    // Removed last entry first (1, then 3 and 2): the resolvent takes id 2.
    EXPECT_EQ(stored(f), "2:3 1 4");
    EXPECT_EQ(f.removedAtomCount, 1);
    EXPECT_FALSE(f.hasRecord(2));
    EXPECT_EQ(qr.pendingCount(), 0u);
    // Each removed clause takes its length off its atoms, the stored one adds its own.
    EXPECT_EQ(qr.score(3), -2 + 3);
    EXPECT_EQ(qr.score(2), -3 - 2 - 2);
  }
  struct Refused {
    const char* name;
    std::vector<Clause> clauses;
    std::vector<ClauseId> pairs;  // c1, c2 of each resolvent built on atom 2
    CnfLiteral atom;
    bool marksFalse;
  } refused[] = {
      {"a pair not resolved", {{2, 1, 4}, {-2, 3}, {-2, -4}}, {1, 2}, 2, false},
      {"outside the innermost block", {{2, 1, 4}, {-4, 3}}, {}, 4, false},
      {"universal", {{2, 1, 4}, {-1, 3}}, {}, 1, false},
      {"resolvents built on another atom", {{2, 1, 4}, {-2, 3}}, {1, 2}, 3, false},
      // forall 1 exists 2: (2 1)(-2 1) resolves to (1), reduced to nothing.
      {"empty resolvent", {{2, 1}, {-2, 1}}, {1, 2}, 2, true},
  };
  for (const Refused& r : refused) {
    CnfFormula f;
    build(f, r.clauses);
    const std::string before = stored(f);
    Qresolution qr(false);
    long score = 0;
    for (std::size_t i = 0; i + 1 < r.pairs.size(); i += 2) qr.qresolution_(r.pairs[i], r.pairs[i + 1], 2, f, score);
    EXPECT_FALSE(qr.eliminateVar_(r.atom, f)) << r.name;
    EXPECT_EQ(stored(f), before) << r.name << ": nothing removed";
    EXPECT_EQ(f.removedAtomCount, 0) << r.name;
    EXPECT_EQ(f.formulaFalse, r.marksFalse) << r.name;
    EXPECT_EQ(qr.pendingCount(), 0u) << r.name;
  }
}

// Eliminates innermost existential atoms one by one, resolving every pair
// of their clauses first, and checks the value after each elimination.
TEST(Qresolution, EliminationKeepsTheTruthValue) {
  int eliminations = 0, falseFound = 0;
  for (uint64_t seed = 1; seed <= 800; ++seed) {
    test::SplitMix64 rng(seed);
    test::GenParams p;
    p.numVars = rng.range(3, 9);
    p.numClauses = rng.range(3, 3 * p.numVars);
    p.minClauseLen = 2;
    p.maxClauseLen = 4;
    p.alternations = rng.range(0, 3);
    p.freeVarProb = 0.1;
    const bool selfSubsumption = seed % 2 == 0;
    test::QbfFormula input = test::generate(p, seed);
    const bool value = test::evaluate(input);

    CnfFormula f(selfSubsumption);
    for (const test::QBlock& b : input.prefix)
      for (int v : b.vars) f.addAtom(v, b.exists ? Exists : Forall);
    std::vector<Clause> clauses;
    for (const auto& c : input.clauses) {
      clauses.emplace_back(c.begin(), c.end());
      for (int l : c) f.addAtom(std::abs(l));
    }
    f.init(clauses);
    if (f.formulaFalse) continue;
    Qresolution qr(selfSubsumption);
    for (int round = 0; round < 4; ++round) {
      int32_t block = f.innermostBlock();
      CnfLiteral atom = 0;
      for (CnfLiteral a : f.blocks[block])
        if (a != 0) atom = a;
      if (atom == 0 || !f.isExist(atom)) break;
      long score = 0;
      f.coverAtom(atom);
      const std::vector<ClauseId> pos = f.posOccs[atom], neg = f.negOccs[atom];
      for (ClauseId c1 : pos)
        for (ClauseId c2 : neg) ASSERT_TRUE(qr.qresolution_(c1, c2, atom, f, score));
      bool done = qr.eliminateVar_(atom, f);
      SCOPED_TRACE("seed " + std::to_string(seed) + " atom " + std::to_string(atom) + "\n" + input.toQdimacs());
      if (!done) {
        ASSERT_TRUE(f.formulaFalse);
        ASSERT_FALSE(value);
        ++falseFound;
        break;
      }
      ++eliminations;
      ASSERT_FALSE(f.hasRecord(atom));
      ASSERT_EQ(test::evaluate(test::parseQdimacsOrFail(written(f))), value);
    }
  }
  EXPECT_GT(eliminations, 500);
  EXPECT_GT(falseFound, 10);
}

}  // namespace
}  // namespace vorn
