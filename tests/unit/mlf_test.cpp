// Monotone literals: the initial pass, the witness queue, DontCare
// marking, and random formulas driven through decisions, propagation and
// backjumps, checked against the input clauses themselves:
//  - every literal fixed by MLF was pure when it was fixed (every input
//    clause containing it satisfied by the trail before it);
//  - a DontCare literal stays covered: every input clause containing it
//    holds another true literal;
//  - before the first backjump nothing is missed: at a fixpoint no
//    unassigned literal is pure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "engine/DynFormula.h"
#include "strategies/BCP.h"
#include "strategies/MLF.h"
#include "support/Bench.h"
#include "support/Formula.h"
#include "support/Generator.h"

namespace vorn {
namespace {

constexpr std::size_t kTestChunkWords = 1u << 16;

struct Engine {
  explicit Engine(int numVars) : f(options, names, kTestChunkWords),
        solver(test::makeSolver(f, options, names)),
        bcp(test::bcpOf(*solver)),
        mlf(test::mlfOf(*solver)) {
    f.NffEx::init(numVars, 0);
  }

  void place(bool existential, const std::vector<int>& vars) {
    for (int v : vars) f.prefix.learnAtom(existential ? Exists : Forall, static_cast<unsigned long>(v));
  }
  void add(std::vector<long> lits) {
    uint32_t id = 0;
    f.learnConstraint(lits, id, true, true);
  }
  // As Solver::init: the strategies start only on a formula with nothing pending.
  void start() {
    f.init();
    if (f.hasEmpty()) return;
    bcp.init();
    mlf.init();
  }
  Literal lit(int s) const {
    const uint32_t v = static_cast<uint32_t>(std::abs(s));
    return f.prefix.atomWord[v] | (s < 0 ? kSignBit : 0u);
  }
  bool decide(int s) { return f.push2Assign(lit(s), reasonItem_{0, Branch}); }
  uint32_t kind(int s) const { return f.reasons[litCode(lit(s))].kind; }

  void propagate() { solver->propagate(); }
  // As the analysis backjumps, with the pending empty constraints dropped.
  void backjump(uint32_t b) {
    f.backjump(b);
    f.bEmpties.clear();
    f.nEmpties.clear();
  }

  CommandLine options;
  Instance<long> names;
  DynFormula f;
  std::unique_ptr<Solver> solver;
  BCP& bcp;
  MLF& mlf;
};

TEST(MlfInit, FormulaWithoutVariablesOnlySizesTheTables) {
  Engine e(0);
  e.start();
  EXPECT_GE(e.mlf.litWitnesses.capacity(), 2u);
  EXPECT_EQ(e.mlf.queuedFrom.size(), 2u);
  EXPECT_GE(e.mlf.clauseWitnesses.capacity(), 1u);
  EXPECT_EQ(e.f.trailSize, 0u);
}

TEST(MlfInit, FixesLiteralsWithoutOccurrencesAtTopLevel) {
  // e 1 2 | a 3 4 | e 5 6; 1 and 3 occur nowhere, 2 and 4 only positively,
  // 5 and 6 both ways.
  Engine e(6);
  e.place(true, {1, 2});
  e.place(false, {3, 4});
  e.place(true, {5, 6});
  e.add({2, 4, 5});
  e.add({-5, 6});
  e.add({5, -6});
  e.start();
  struct Expect {
    int lit;  // the literal made true
    const char* why;
  };
  for (const Expect x : {Expect{-1, "existential, no occurrence: FALSE"}, Expect{3, "universal, no occurrence: TRUE"},
                         Expect{2, "existential, negative literal nowhere: TRUE"},
                         Expect{-4, "universal, negative literal nowhere: FALSE"}}) {
    EXPECT_TRUE(e.f.isTrue(e.lit(x.lit))) << x.why;
    EXPECT_EQ(e.kind(x.lit), static_cast<uint32_t>(Pure)) << x.why;
    EXPECT_EQ(e.f.levelOf(e.lit(x.lit)), 1u) << x.why;
  }
  EXPECT_FALSE(e.f.isAssigned(e.lit(5)));
  EXPECT_FALSE(e.f.isAssigned(e.lit(6)));
}

TEST(MlfInit, SkipsVariablesWithoutAPlace) {
  // Variable 2 lies below maxAtom but was never placed: it has no literal
  // to fix, and nothing may land on variable 0 either.
  Engine e(3);
  e.place(true, {1});
  e.place(false, {3});
  e.add({1, 3});
  e.start();
  EXPECT_EQ(e.f.value[0], 0);
  EXPECT_EQ(e.f.value[2], 0);
  for (uint32_t i = 0; i < e.f.trailSize; ++i) EXPECT_NE(litVar(e.f.trail[i]), 2u);
  for (uint32_t i = 0; i < e.f.trailSize; ++i) EXPECT_NE(litVar(e.f.trail[i]), 0u);
}

// Two variables that stay unassigned and keep every literal occurring in
// an open clause: (8 | 9) (-8 | -9) (8 | -9) (-8 | 9).
void addBallast(Engine& e) {
  e.add({8, 9});
  e.add({-8, -9});
  e.add({8, -9});
  e.add({-8, 9});
}

TEST(MlfQueue, PendingEmptyConstraintStopsBothWalks) {
  Engine e(9);
  e.place(true, {1, 2, 8, 9});
  e.add({1, 2});
  e.add({-1, 8, 9});
  e.add({-2, 8, 9});
  addBallast(e);
  e.start();
  ASSERT_EQ(e.f.trailSize, 0u);
  e.decide(2);  // 1's witness: it may be pure now
  e.f.pushBEmpty(e.lit(8), e.lit(9));
  e.mlf.subsume();
  e.mlf.search4pure();
  EXPECT_EQ(e.f.pureHead, 0u);
  EXPECT_TRUE(e.mlf.candidates.empty());
  EXPECT_EQ(e.f.trailSize, 1u);
  e.f.bEmpties.clear();
  e.mlf.subsume();
  EXPECT_EQ(e.f.pureHead, 1u) << "the literals not walked are walked at the next call";
  EXPECT_EQ(e.mlf.candidates, std::vector<Literal>{e.lit(1)});
}

TEST(MlfQueue, AssignedCandidateIsSkippedAndKeepsItsWitness) {
  Engine e(9);
  e.place(true, {1, 2, 8, 9});
  e.add({1, 2});
  e.add({-1, 8, 9});
  e.add({-2, 8, 9});
  addBallast(e);
  e.start();
  const auto& witnessesOf2 = e.mlf.litWitnesses[litCode(e.lit(2))];
  ASSERT_EQ(witnessesOf2, std::vector<Literal>{e.lit(1)});
  e.decide(2);
  e.mlf.subsume();
  ASSERT_EQ(e.mlf.candidates, std::vector<Literal>{e.lit(1)});
  e.decide(-1);  // assigned before its turn
  e.mlf.search4pure();
  EXPECT_EQ(e.f.trailSize, 2u);
  EXPECT_EQ(e.kind(-1), static_cast<uint32_t>(Branch));
  EXPECT_EQ(witnessesOf2, std::vector<Literal>{e.lit(1)});
  // The queue is used up: emptied, and nothing else changes.
  EXPECT_TRUE(e.mlf.candidates.empty());
  EXPECT_EQ(e.mlf.queueHead, 0u);
  EXPECT_EQ(e.mlf.queuedFrom[litCode(e.lit(1))], 0);
  e.mlf.search4pure();
  EXPECT_EQ(e.f.trailSize, 2u);
  EXPECT_EQ(e.mlf.queueHead, 0u);
}

TEST(MlfQueue, CandidateFoundPureIsFixedOnePerCall) {
  // 1 and 3 both wait on 2 and become pure when 2 is true.
  Engine e(9);
  e.place(true, {1, 2, 3, 8, 9});
  e.add({1, 2});
  e.add({3, 2});
  e.add({-1, 8, 9});
  e.add({-3, 8, 9});
  e.add({-2, 8, 9});
  addBallast(e);
  e.start();
  e.decide(2);
  e.mlf.subsume();
  ASSERT_EQ(e.mlf.candidates.size(), 2u);
  e.mlf.search4pure();
  EXPECT_EQ(e.f.trailSize, 2u);
  e.mlf.subsume();
  e.mlf.search4pure();
  EXPECT_EQ(e.f.trailSize, 3u);
  for (int v : {1, 3}) {
    EXPECT_TRUE(e.f.isFalse(e.lit(v))) << "the pure literal " << v << " is made false";
    EXPECT_TRUE(isPureKind(e.f.reasonKindOf(e.lit(v)))) << v;
  }
}

// subsume_ on an existential literal fixed as pure: DontCare exactly when
// every input clause holding it has another true literal among the
// binary partners or the watch words.
TEST(MlfSubsume, DontCareWhenNoClauseDependsOnTheLiteral) {
  struct Case {
    const char* name;
    std::vector<int> before;  // decisions before the pure literal 1
    uint32_t expected;
  };
  const Case cases[] = {
      {"binary partner and watch word true", {2, 5}, DontCare},
      {"binary partner open", {5}, Pure},
      {"binary partner false", {-2, 5}, Pure},
      {"longer clause without a true watch word", {2}, Pure},
      {"longer clause satisfied only by a literal that is no watch word", {2, 3}, Pure},
  };
  for (const Case& c : cases) {
    // (1 | 2) and (1 | 3 | 4 | 5), the latter watched on 5 and 4.
    Engine e(5);
    e.place(true, {1, 2, 3, 4, 5});
    e.add({1, 2});
    e.add({1, 3, 4, 5});
    e.f.init();
    e.bcp.init();
    e.mlf.litWitnesses.clear();
    e.mlf.queuedFrom.assign(12, 0);
    e.mlf.clauseWitnesses.clear();
    for (int s : c.before) e.decide(s);
    e.f.push2Assign(e.lit(1), reasonItem_{0, Pure});
    e.f.pureHead = e.f.trailSize - 1;
    e.mlf.subsume();
    EXPECT_EQ(e.kind(1), c.expected) << c.name;
    EXPECT_EQ(e.f.reasons[litCode(e.lit(1))].antecedent, 0u) << c.name;
  }
}

TEST(MlfSubsume, UniversalPureLiteralIsNeverDontCare) {
  Engine e(3);
  e.place(false, {1});
  e.place(true, {2, 3});
  e.add({1, 2});
  e.f.init();
  e.bcp.init();
  e.mlf.litWitnesses.clear();
  e.mlf.queuedFrom.assign(8, 0);
  e.mlf.clauseWitnesses.clear();
  e.decide(2);
  e.f.push2Assign(e.lit(1), reasonItem_{0, Pure});
  e.f.pureHead = 1;
  e.mlf.subsume();
  EXPECT_EQ(e.kind(1), static_cast<uint32_t>(Pure));
}

TEST(MlfStats, PrintsNothing) {
  Engine e(2);
  const char* on = "true";
  e.options["-sstat"] = on;
  e.place(true, {1, 2});
  e.add({1, 2});
  e.start();
  testing::internal::CaptureStdout();
  e.mlf.printStats();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// ---------------------------------------------------------------------------
// Random formulas.

// The input clauses as the store keeps them: reduced, without tautologies.
std::vector<std::vector<Literal>> storedClauses(const Engine& e, const test::QbfFormula& q) {
  std::vector<std::vector<Literal>> out;
  for (const auto& c : q.clauses) {
    std::vector<int> s(c);
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    bool tautology = false;
    for (int x : s) tautology = tautology || std::binary_search(s.begin(), s.end(), -x);
    if (tautology) continue;
    std::vector<Literal> lits;
    for (int x : s) lits.push_back(e.lit(x));
    std::sort(lits.begin(), lits.end(), [&](Literal a, Literal b) {
      return std::make_pair(e.f.prefix.level(litVar(a)), litVar(a)) <
             std::make_pair(e.f.prefix.level(litVar(b)), litVar(b));
    });
    while (!lits.empty() && !litExistential(lits.back())) lits.pop_back();
    if (lits.size() >= 2) out.push_back(lits);  // units are assigned before MLF starts
  }
  return out;
}

bool trueBefore(const DynFormula& f, Literal l, uint32_t cutoff) {
  const uint32_t v = litVar(l);
  return f.value[v] != 0 && f.trailPos[v] < cutoff && f.isTrue(l);
}

// Every clause containing lit holds a true literal other than `except`
// under the trail positions below cutoff.
bool covered(const DynFormula& f, const std::vector<std::vector<Literal>>& clauses, Literal lit, Literal except,
             uint32_t cutoff) {
  for (const auto& c : clauses) {
    if (std::find(c.begin(), c.end(), lit) == c.end()) continue;
    bool sat = false;
    for (Literal l : c) sat = sat || (l != except && trueBefore(f, l, cutoff));
    if (!sat) return false;
  }
  return true;
}

struct MlfStats {
  int runs = 0, fixed = 0, dontCares = 0, completeChecks = 0;
};

void randomMlfRun(uint64_t seed, MlfStats& stats) {
  test::SplitMix64 rng(seed * 104729 + 3);
  test::GenParams gp;
  gp.numVars = 3 + static_cast<int>(rng.below(9));
  gp.numClauses = 2 + static_cast<int>(rng.below(static_cast<uint64_t>(3 * gp.numVars)));
  gp.minClauseLen = 2;
  gp.maxClauseLen = 2 + static_cast<int>(rng.below(4));
  gp.alternations = static_cast<int>(rng.below(6));
  gp.freeVarProb = rng.chance(0.3) ? 0.2 : 0.0;
  gp.emptyBlockProb = 0.1;
  gp.tautologyProb = 0.05;
  const test::QbfFormula q = test::generate(gp, seed);

  Engine e(q.maxVar());
  for (const test::QBlock& b : q.prefix) e.place(b.exists, b.vars);
  // A clause of universal literals only decides the formula at once.
  for (const auto& c : q.clauses)
    if (std::any_of(c.begin(), c.end(), [&](int x) { return e.f.prefix.isExistential(std::abs(x)); }) ||
        std::any_of(c.begin(), c.end(), [&](int x) { return !e.f.prefix.isPlaced(std::abs(x)); }))
      e.add(std::vector<long>(c.begin(), c.end()));
  e.start();
  if (e.f.hasEmpty()) return;
  ++stats.runs;
  const auto clauses = storedClauses(e, q);
  std::vector<int> placed;
  for (int v = 1; v <= q.maxVar(); ++v)
    if (e.f.prefix.isPlaced(static_cast<uint32_t>(v))) placed.push_back(v);

  const std::string where = "seed " + std::to_string(seed) + ": " + test::describe(q);
  bool backjumped = false;
  for (int step = 0; step < 40; ++step) {
    e.propagate();
    for (uint32_t pos = 0; pos < e.f.trailSize; ++pos) {
      const Literal t = e.f.trail[pos];
      const uint32_t kind = e.f.reasons[litCode(t)].kind;
      if (!isPureKind(kind)) continue;
      ++stats.fixed;
      const Literal pureLit = litExistential(t) ? litComplement(t) : t;
      ASSERT_TRUE(covered(e.f, clauses, pureLit, 0, pos))
          << where << "\nfixed although not pure: " << (litNegative(pureLit) ? "-" : "") << litVar(pureLit);
      if (kind == DontCare) {
        ++stats.dontCares;
        ASSERT_TRUE(litExistential(t)) << where;
        ASSERT_TRUE(covered(e.f, clauses, t, t, e.f.trailSize))
            << where << "\na clause depends on the DontCare literal " << (litNegative(t) ? "-" : "") << litVar(t);
      }
    }
    if (e.f.hasEmpty()) {
      if (e.f.decisionLevel <= 1) return;
      e.backjump(1 + static_cast<uint32_t>(rng.below(e.f.decisionLevel - 1)));
      backjumped = true;
      continue;
    }
    std::vector<int> open;
    for (int v : placed)
      if (e.f.value[v] == 0) open.push_back(v);
    if (!backjumped) {
      ++stats.completeChecks;
      for (int v : open)
        for (int s : {v, -v})
          ASSERT_FALSE(covered(e.f, clauses, e.lit(s), 0, e.f.trailSize)) << where << "\npure literal missed: " << s;
    }
    if (open.empty()) {
      if (e.f.decisionLevel <= 1) return;
      e.backjump(1 + static_cast<uint32_t>(rng.below(e.f.decisionLevel - 1)));
      backjumped = true;
      continue;
    }
    const int v = open[rng.below(open.size())];
    e.decide(rng.chance(0.5) ? v : -v);
  }
}

TEST(MlfRandom, FixedLiteralsArePureAndNoneIsMissed) {
  MlfStats stats;
  for (uint64_t seed = 1; seed <= 12000; ++seed) {
    randomMlfRun(seed, stats);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(stats.runs, 8000);
  EXPECT_GT(stats.fixed, 100000);
  EXPECT_GT(stats.dontCares, 10000);
  EXPECT_GT(stats.completeChecks, 5000);
}

}  // namespace
}  // namespace vorn
