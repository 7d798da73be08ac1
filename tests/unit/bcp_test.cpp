// Unit propagation. First hand-built fixtures for the quantified rules,
// the binary phase, the watch bookkeeping and the handling of literals
// fixed by MLF; then random formulas driven through random decisions and
// backjumps, with every state checked against a plain model of the stored
// constraints:
//  - no unit invented: every forced trail literal was unit (or, for the
//    opponent pushed with a binary empty constraint, the constraint was
//    empty) under the trail before it; every recorded empty constraint is
//    empty;
//  - no unit lost: at every fixpoint no constraint is unit or empty.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
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

enum class St { Satisfied, Open, Unit, Empty };
struct Verdict {
  St st;
  Literal forced;  // for Unit: the clause-form literal the constraint makes true
};

struct Con {
  ConstraintKind kind;
  std::vector<Literal> lits;  // encoded, reduced, ascending prefix order
};

// The engine under test plus a model of the prefix and of every stored
// constraint, kept apart from the store's own tables.
class Harness {
 public:
  explicit Harness(int numVars, std::size_t chunkWords = kTestChunkWords)
      : f(options, names, chunkWords),
        solver(test::makeSolver(f, options, names)),
        bcp(test::bcpOf(*solver)),
        mlf(test::mlfOf(*solver)) {
    level.assign(static_cast<std::size_t>(numVars) + 1, -1);
    exists.assign(static_cast<std::size_t>(numVars) + 1, 1);
    f.NffEx::init(numVars, 0);
  }

  // A quantifier line; a variable placed before keeps its first place.
  void place(bool existential, const std::vector<int>& vars) {
    const Quantifier q = existential ? Exists : Forall;
    bool opened = false;
    for (int v : vars) {
      f.prefix.learnAtom(q, static_cast<unsigned long>(v));
      if (level[v] >= 0) continue;
      if (!opened && existential != currentExists_) {
        ++currentLevel_;
        currentExists_ = existential;
      }
      opened = true;
      level[v] = currentLevel_;
      exists[v] = existential;
    }
  }

  Literal lit(int s, bool term = false) const {
    const int v = std::abs(s);
    return 2u * v + (s < 0 ? 1u : 0u) + (exists[v] ? kExistBit : 0u) + (term ? kTermBit : 0u);
  }
  int levelOf(Literal l) const { return level[litVar(l)]; }

  // Encoded and reduced as the semantics ask: repeated literals merged, a
  // tautology gives false, opponent literals behind every own one dropped.
  bool reduce(const std::vector<int>& in, bool term, std::vector<Literal>& out) const {
    std::vector<int> s(in);
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    for (int x : s)
      if (std::binary_search(s.begin(), s.end(), -x)) return false;
    out.clear();
    for (int x : s) out.push_back(lit(x, term));
    std::sort(out.begin(), out.end(), [&](Literal a, Literal b) {
      return std::make_pair(levelOf(a), litVar(a)) < std::make_pair(levelOf(b), litVar(b));
    });
    while (!out.empty() && !litOwn(out.back())) out.pop_back();
    return true;
  }

  // An input clause (or term) before start().
  void addInput(const std::vector<int>& in, bool clause = true) {
    for (int x : in) {
      const int v = std::abs(x);
      if (level[v] < 0) {  // met only in a constraint: free, outermost
        level[v] = 0;
        exists[v] = 1;
      }
    }
    std::vector<long> engine(in.begin(), in.end());
    uint32_t id = 0;
    const uint32_t* outcome = f.learnConstraint(engine, id, true, clause);
    Con c{clause ? OrigClause : OrigTerm, {}};
    if (!reduce(in, !clause, c.lits)) {
      EXPECT_EQ(outcome, &f.matrix.tautologyTag);
      return;
    }
    remember_(c, outcome);
  }

  void start() {
    f.init();
    if (f.hasEmpty()) return;
    bcp.init();
    if (useMlf) mlf.init();
  }

  // A learned constraint after start(), watched on the stored literals at
  // positions wa and wb (innermost first, taken modulo the length). As
  // everywhere in the engine, the first watch is an own literal and the
  // second one another own literal or an opponent literal outside it; the
  // positions are moved on until they are.
  bool addLearned(const std::vector<int>& in, bool clause, std::size_t wa = 0, std::size_t wb = 1) {
    Con c{clause ? LearnedClause : LearnedTerm, {}};
    if (!reduce(in, !clause, c.lits) || c.lits.size() < 2) return false;
    std::vector<uint32_t> engine(c.lits);
    uint32_t id = 0;
    uint32_t* record = f.learnConstraint(engine, id, clause);
    if (f.isRecord(record)) {
      const std::size_t n = c.lits.size();
      const Literal* stored = record + 2;
      wa %= n;
      while (!litOwn(stored[wa])) wa = (wa + 1) % n;
      auto fits = [&](std::size_t i) {
        return i != wa && (litOwn(stored[i]) || levelOf(stored[i]) < levelOf(stored[wa]));
      };
      wb %= n;
      for (std::size_t tries = 0; !fits(wb) && tries < n; ++tries) wb = (wb + 1) % n;
      if (!fits(wb)) return false;
      record[0] = record[2 + wa];
      record[1] = record[2 + wb];
      watchedOccs_& e = f.watchedOccs[c.kind][id];
      e.watch1 = record[0];
      e.watch2 = record[1];
      f.watchLists[c.kind].edit(litCode(record[0])).push_back(id);
      f.watchLists[c.kind].edit(litCode(record[1])).push_back(id);
    }
    remember_(c, record);
    return true;
  }

  bool decide(int s) { return f.push2Assign(lit(s), reasonItem_{0, Branch}); }
  bool fix(int s, uint32_t kind) { return f.push2Assign(lit(s), reasonItem_{0, kind}); }

  // The engine's propagation when MLF takes part; without it, BCP alone
  // to its fixpoint.
  void propagate() {
    if (useMlf) return solver->propagate();
    do {
      bcp.assignBinaries();
      bcp.assignNaries();
    } while (!f.hasEmpty() && f.binHead != f.trailSize);
  }

  // As the analysis backjumps, with the pending empty constraints dropped.
  void backjump(uint32_t b) {
    f.backjump(b);
    f.bEmpties.clear();
    f.nEmpties.clear();
    f.conflictLit = 0;
  }

  // The model's verdict on c under the trail positions below cutoff.
  Verdict evaluate(const Con& c, uint32_t cutoff) const {
    const bool term = c.kind == OrigTerm || c.kind == LearnedTerm;
    std::vector<Literal> own, opp;
    for (Literal l : c.lits) {
      const uint32_t v = litVar(l);
      const bool assigned = f.value[v] != 0 && f.trailPos[v] < cutoff;
      if (assigned) {
        const bool isTrue = (f.value[v] < 0) == litNegative(l);
        if (term ? !isTrue : isTrue) return {St::Satisfied, 0};
        continue;
      }
      (litOwn(l) ? own : opp).push_back(l);
    }
    if (own.empty()) return {St::Empty, 0};
    if (own.size() == 1 &&
        std::all_of(opp.begin(), opp.end(), [&](Literal o) { return levelOf(o) > levelOf(own[0]); }))
      return {St::Unit, term ? termForces(own[0]) : own[0]};
    return {St::Open, 0};
  }

  const Con* byPair(uint32_t kind, Literal a, Literal b) const {
    auto it = pairs_.find(std::make_tuple(kind, std::min(a, b), std::max(a, b)));
    return it == pairs_.end() ? nullptr : &cons[it->second];
  }
  const Con* byRecord(const uint32_t* r) const {
    auto it = records_.find(r);
    return it == records_.end() ? nullptr : &cons[it->second];
  }

  std::string describe(const Con& c) const {
    std::ostringstream s;
    s << "kind " << c.kind << " {";
    for (Literal l : c.lits) {
      const uint32_t v = litVar(l);
      s << " " << (litNegative(l) ? "-" : "") << v << (litExistential(l) ? "e" : "a") << "@" << level[v] << "=";
      s << (f.value[v] == 0 ? "?" : (f.value[v] < 0) == litNegative(l) ? "T" : "F") << (f.value[v] < 0 ? -f.value[v] : f.value[v]);
    }
    s << " }";
    return s.str();
  }

  bool hasPureFixed(const Con& c) const {
    return std::any_of(c.lits.begin(), c.lits.end(), [&](Literal l) { return f.isPureFixed(l); });
  }

  // Every forced trail literal was unit on the trail before it.
  std::string checkTrail() const {
    for (uint32_t pos = 0; pos < f.trailSize; ++pos) {
      const Literal t = f.trail[pos];
      const uint32_t v = litVar(t);
      std::ostringstream where;
      where << "trail[" << pos << "] = " << (litNegative(t) ? "-" : "") << v << ": ";
      if (f.value[v] == 0 || f.trailPos[v] != pos || !f.isTrue(t) || litTerm(t)) return where.str() + "bad trail entry";
      if (f.reasons[litCode(t) ^ 1u].kind != NoReason) return where.str() + "complement has a reason";
      const reasonItem_ r = f.reasons[litCode(t)];
      if (r.kind == Branch || r.kind == Pure || r.kind == DontCare) continue;
      if (!isUnitKind(r.kind)) return where.str() + "no reason";
      const uint32_t k = r.kind & 3u;
      const bool term = k == OrigTerm || k == LearnedTerm;
      const Con* c = nullptr;
      if ((r.kind & 0xC0u) == 0xC0u) {
        c = byPair(k, r.antecedent, term ? termForces(t) : t);
      } else if (r.antecedent == 0) {
        if (std::find(units.begin(), units.end(), t) == units.end()) return where.str() + "not an input unit";
        continue;
      } else if (r.antecedent < f.watchedOccs[k].size()) {
        c = byRecord(f.watchedOccs[k][r.antecedent].begin);
      }
      if (!c) return where.str() + "reason names no stored constraint";
      const Verdict verdict = evaluate(*c, pos);
      if (verdict.st == St::Unit && verdict.forced == t) continue;
      const bool opponentOfEmpty = verdict.st == St::Empty && !litOwn(term ? termForces(t) : t) &&
                                   pos + 1 == f.trailSize && !f.bEmpties.empty();
      if (!opponentOfEmpty) return where.str() + "invented by " + describe(*c);
    }
    return "";
  }

  // The pending empty constraint is empty.
  std::string checkEmpty() const {
    if (f.bEmpties.size() + f.nEmpties.size() != 1) return "expected exactly one empty constraint";
    if (!f.bEmpties.empty()) {
      const DynFormula::Bempty e = f.bEmpties.back();
      const bool term = litTerm(e.lit1);
      // The opponent pushed with the record does not count.
      uint32_t cutoff = f.trailSize;
      const uint32_t v2 = litVar(e.lit2);
      if (f.value[v2] != 0 && f.reasons[litCode(f.trail[f.trailPos[v2]])].antecedent == e.lit1 &&
          f.trailPos[v2] + 1 == f.trailSize && !litOwn(e.lit2))
        cutoff = f.trailPos[v2];
      for (uint32_t k : {term ? 1u : 0u, term ? 3u : 2u}) {
        const Con* c = byPair(k, e.lit1, e.lit2);
        if (c && evaluate(*c, cutoff).st == St::Empty) return "";
      }
      return "binary empty constraint that is not empty";
    }
    const Con* c = byRecord(f.nEmpties.back());
    if (!c) return "nEmpties names no stored record";
    if (evaluate(*c, f.trailSize).st != St::Empty) return "empty record that is not empty: " + describe(*c);
    return "";
  }

  // At a fixpoint nothing is unit or empty. Learned constraints and terms
  // that hold an MLF-fixed literal are exempt: such a value is no
  // consequence of the formula, and propagation leaves them alone.
  std::string checkFixpoint() const {
    for (const Con& c : cons) {
      if (c.kind != OrigClause && hasPureFixed(c)) continue;
      const St st = evaluate(c, f.trailSize).st;
      if (st == St::Unit) return "unit lost: " + describe(c);
      if (st == St::Empty) return "empty constraint lost: " + describe(c);
    }
    if (f.binHead != f.trailSize || f.naryHead != f.trailSize) return "trail not read to its end";
    return "";
  }

  // What the pending empty constraint becomes after a backjump: when it is
  // unit, assert it as the analysis asserts a learned constraint.
  void assertAfterBackjump(const Con* c, const uint32_t* record) {
    if (!c) return;
    if (c->kind != OrigClause && hasPureFixed(*c)) return;
    const Verdict verdict = evaluate(*c, f.trailSize);
    ASSERT_NE(verdict.st, St::Empty) << "empty below its conflict level: " << describe(*c);
    if (verdict.st != St::Unit) return;
    const bool term = c->kind == OrigTerm || c->kind == LearnedTerm;
    const Literal forcedLit = term ? termForces(verdict.forced) : verdict.forced;  // the literal of c
    if (c->lits.size() == 2) {
      const Literal other = c->lits[0] == forcedLit ? c->lits[1] : c->lits[0];
      f.push2Assign(forcedLit, reasonItem_{other, BinaryUnit | c->kind});
    } else {
      uint32_t id = 0;
      for (uint32_t i = 1; i < f.watchedOccs[c->kind].size(); ++i)
        if (f.watchedOccs[c->kind][i].begin == record) id = i;
      f.push2Assign(forcedLit, reasonItem_{id, NaryUnit | c->kind});
    }
  }

  CommandLine options;
  Instance<long> names;
  DynFormula f;
  std::unique_ptr<Solver> solver;
  BCP& bcp;
  MLF& mlf;
  bool useMlf = false;

  std::vector<int> level;     // model of the prefix, by variable; -1 unplaced
  std::vector<char> exists;
  std::vector<Con> cons;
  std::vector<Literal> units;  // input units as the assignment they force

 private:
  void remember_(const Con& c, const uint32_t* outcome) {
    const std::size_t index = cons.size();
    if (c.lits.empty()) {
      EXPECT_EQ(outcome, &f.matrix.emptyTag);
      return;
    }
    if (c.lits.size() == 1) {
      EXPECT_EQ(outcome, &f.matrix.unitTag);
      const bool term = c.kind == OrigTerm || c.kind == LearnedTerm;
      units.push_back(term ? termForces(c.lits[0]) : c.lits[0]);
    } else if (c.lits.size() == 2) {
      EXPECT_EQ(outcome, &f.matrix.binaryTag);
      pairs_[std::make_tuple(static_cast<uint32_t>(c.kind), std::min(c.lits[0], c.lits[1]),
                             std::max(c.lits[0], c.lits[1]))] = index;
    } else {
      EXPECT_TRUE(f.isRecord(outcome));
      records_[outcome] = index;
    }
    cons.push_back(c);
  }

  int currentLevel_ = 0;
  bool currentExists_ = true;
  std::map<std::tuple<uint32_t, Literal, Literal>, std::size_t> pairs_;
  std::map<const uint32_t*, std::size_t> records_;
};

uint32_t kindOfReason(const DynFormula& f, Literal l) { return f.reasons[litCode(l)].kind; }

// ---------------------------------------------------------------------------
// Binary constraints

TEST(BcpBinary, UniversalPartnerOfAFalseExistentialIsAConflict) {
  Harness h(2);
  h.place(false, {1});  // u outside x
  h.place(true, {2});
  h.addInput({2, 1});
  h.start();
  h.decide(-2);
  h.bcp.assignBinaries();
  EXPECT_TRUE(h.f.isTrue(h.lit(1)));
  EXPECT_EQ(h.f.reasons[litCode(h.lit(1))].antecedent, h.lit(2));
  EXPECT_EQ(kindOfReason(h.f, h.lit(1)), BinaryUnit | OrigClause);
  ASSERT_EQ(h.f.bEmpties.size(), 1u);
  EXPECT_EQ(h.f.bEmpties[0].lit1, h.lit(2));
  EXPECT_EQ(h.f.bEmpties[0].lit2, h.lit(1));
  EXPECT_EQ(h.f.emptyCount, 1u);
}

TEST(BcpBinary, ExistentialPartnerIsForcedOrConflicts) {
  {
    Harness h(2);
    h.place(true, {1, 2});
    h.addInput({1, 2});
    h.start();
    h.decide(-1);
    h.bcp.assignBinaries();
    EXPECT_TRUE(h.f.isTrue(h.lit(2)));
    EXPECT_EQ(h.f.reasons[litCode(h.lit(2))].antecedent, h.lit(1));
    EXPECT_EQ(kindOfReason(h.f, h.lit(2)), 0xC0u);
    EXPECT_TRUE(h.f.bEmpties.empty());
  }
  // y false too before x is read: the push is refused. conflictLit ends on
  // the complement of x when x is at least as deep as y.
  for (const bool sameLevel : {true, false}) {
    Harness h(2);
    h.place(true, {1, 2});
    h.addInput({1, 2});
    h.start();
    h.decide(-1);
    if (sameLevel) {
      h.fix(-2, NaryUnit);
    } else {
      h.decide(-2);
    }
    h.bcp.assignBinaries();
    ASSERT_EQ(h.f.bEmpties.size(), 1u);
    EXPECT_EQ(h.f.bEmpties[0].lit1, h.lit(1));
    EXPECT_EQ(h.f.bEmpties[0].lit2, h.lit(2));
    EXPECT_EQ(h.f.emptyCount, 1u);
    EXPECT_EQ(h.f.conflictLit, sameLevel ? h.lit(-1) : h.lit(-2)) << sameLevel;
  }
}

TEST(BcpBinary, SatisfiedPartnerDoesNotStopTheWalk) {
  for (const bool clause : {true, false}) {
    Harness h(3);
    if (clause) {
      // (x | y), (x | z): y true already, x false forces z.
      h.place(true, {1, 2, 3});
      h.addInput({1, 2});
      h.addInput({1, 3});
      h.start();
      h.decide(2);
      h.decide(-1);
    } else {
      // (u1 & u2), (u1 & u3): u2 false already, u1 true forces u3 false.
      h.place(false, {1, 2, 3});
      h.addInput({1, 2}, false);
      h.addInput({1, 3}, false);
      h.start();
      h.decide(-2);
      h.decide(1);
    }
    h.bcp.assignBinaries();
    EXPECT_TRUE(h.f.bEmpties.empty()) << clause;
    EXPECT_EQ(h.f.emptyCount, 0u) << clause;
    const Literal forced = clause ? h.lit(3) : h.lit(-3);
    EXPECT_TRUE(h.f.isTrue(forced)) << clause;
    EXPECT_EQ(h.f.reasons[litCode(forced)].antecedent, clause ? h.lit(1) : h.lit(1, true)) << clause;
    EXPECT_EQ(kindOfReason(h.f, forced), BinaryUnit | (clause ? OrigClause : OrigTerm)) << clause;
    EXPECT_EQ(h.checkTrail(), "") << clause;
  }
}

TEST(BcpBinary, LearnedClauseIgnoresMlfFixedPartner) {
  for (const uint32_t fixedKind : {static_cast<uint32_t>(Pure), static_cast<uint32_t>(DontCare)}) {
    for (const bool learned : {false, true}) {
      Harness h(2);
      h.place(true, {1, 2});
      if (!learned) h.addInput({1, 2});
      h.start();
      if (learned) {
        ASSERT_TRUE(h.addLearned({1, 2}, true));
      }
      h.fix(-2, fixedKind);
      h.decide(-1);
      h.bcp.assignBinaries();
      EXPECT_EQ(h.f.bEmpties.size(), learned ? 0u : 1u) << "learned " << learned << " kind " << fixedKind;
    }
  }
}

TEST(BcpBinary, PendingEmptyStopsBothPhases) {
  Harness h(3);
  h.place(true, {1, 2, 3});
  h.addInput({1, 2});
  h.addInput({1, 2, 3});
  h.start();
  h.f.pushBEmpty(h.lit(2), h.lit(3));
  h.decide(-1);
  h.decide(-3);
  h.bcp.assignBinaries();
  h.bcp.assignNaries();
  EXPECT_EQ(h.f.binHead, 0u);
  EXPECT_EQ(h.f.naryHead, 0u);
  EXPECT_EQ(h.f.trailSize, 2u);
}

// ---------------------------------------------------------------------------
// N-ary constraints

TEST(BcpNary, NoPendingLiteralChangesNothing) {
  Harness h(3);
  h.place(true, {1, 2, 3});
  h.addInput({1, 2, 3});
  h.start();
  const std::vector<uint32_t> watchesBefore = h.f.watchLists[OrigClause][litCode(h.lit(3))];
  h.bcp.assignNaries();
  EXPECT_EQ(h.f.naryHead, 0u);
  EXPECT_EQ(h.f.trailSize, 0u);
  EXPECT_EQ(h.f.watchLists[OrigClause][litCode(h.lit(3))], watchesBefore);
}

TEST(BcpNary, OuterOpenUniversalKeepsTheClauseOpenThenEmpty) {
  // (u1 | e2 | e3), u1 outside e2 and e3.
  Harness h(3);
  h.place(false, {1});
  h.place(true, {2, 3});
  h.addInput({1, 2, 3});
  h.start();
  const uint32_t* record = h.f.watchedOccs[OrigClause][1].begin;
  h.decide(-3);
  h.propagate();
  EXPECT_FALSE(h.f.hasEmpty());
  EXPECT_FALSE(h.f.isAssigned(h.lit(2)));
  EXPECT_EQ(std::set<Literal>({record[0], record[1]}), std::set<Literal>({h.lit(2), h.lit(1)}));
  h.decide(-2);
  h.propagate();
  ASSERT_EQ(h.f.nEmpties.size(), 1u);
  EXPECT_EQ(h.f.nEmpties[0], record);
  EXPECT_FALSE(h.f.isAssigned(h.lit(1)));
  EXPECT_EQ(h.f.conflictLit, h.lit(-2));
}

TEST(BcpNary, InnerUniversalIsReducedAway) {
  // (e1 | u2 | e3) over the blocks e1 | u2 | e3.
  Harness h(3);
  h.place(true, {1});
  h.place(false, {2});
  h.place(true, {3});
  h.addInput({1, 2, 3});
  h.start();
  h.decide(-3);
  h.propagate();
  EXPECT_TRUE(h.f.isTrue(h.lit(1)));
  EXPECT_EQ(h.f.reasons[litCode(h.lit(1))].antecedent, 1u);
  EXPECT_EQ(kindOfReason(h.f, h.lit(1)), NaryUnit | OrigClause);
  EXPECT_FALSE(h.f.isAssigned(h.lit(2)));
}

TEST(BcpNary, UnitMovesTheWatchesAndLeavesAResumePoint) {
  // A = (e1 | e5 | e6) and B = (e2 | e5 | e6), both watched on e6 and e5;
  // the input units -5 then -6 make both unit.
  Harness h(6);
  h.place(true, {1, 2, 3, 4, 5, 6});
  h.addInput({1, 5, 6});
  h.addInput({2, 5, 6});
  h.addInput({-5});
  h.addInput({-6});
  h.start();
  const uint32_t* a = h.f.watchedOccs[OrigClause][1].begin;
  h.bcp.assignBinaries();
  h.bcp.assignNaries();
  // A first: the unit e1 and the false literal of greatest level (the
  // first met on a tie) become its watches; e5 leaves.
  EXPECT_TRUE(h.f.isTrue(h.lit(1)));
  EXPECT_FALSE(h.f.isAssigned(h.lit(2)));
  EXPECT_EQ(a[0], h.lit(6));
  EXPECT_EQ(a[1], h.lit(1));
  EXPECT_EQ(h.f.watchedOccs[OrigClause][1].watch1, h.lit(1));
  EXPECT_EQ(h.f.watchedOccs[OrigClause][1].watch2, h.lit(1));
  EXPECT_EQ(h.f.watchLists[OrigClause][litCode(h.lit(5))], std::vector<uint32_t>{2});
  EXPECT_EQ(h.f.watchLists[OrigClause][litCode(h.lit(1))], std::vector<uint32_t>{1});
  // The interrupted literal is taken again, from the entry that moved into
  // the freed place.
  EXPECT_EQ(h.f.naryHead, 0u);
  EXPECT_EQ(h.bcp.resumeLit, h.lit(-5));
  EXPECT_EQ(h.bcp.resumeStage, 1u);
  EXPECT_EQ(h.bcp.resumePos, 0u);
  h.propagate();
  EXPECT_TRUE(h.f.isTrue(h.lit(2)));
  EXPECT_EQ(h.f.reasons[litCode(h.lit(2))].antecedent, 2u);
  EXPECT_EQ(h.checkFixpoint(), "");
  EXPECT_EQ(h.checkTrail(), "");
}

TEST(BcpNary, LearnedTermWithAllUniversalsTrueIsASolution) {
  // Term (e1 & u2 & u4) over the blocks e1 | u2 | e3 | u4.
  Harness h(4);
  h.place(true, {1});
  h.place(false, {2});
  h.place(true, {3});
  h.place(false, {4});
  h.start();
  ASSERT_TRUE(h.addLearned({1, 2, 4}, false));
  h.decide(2);
  h.decide(4);
  h.propagate();
  ASSERT_EQ(h.f.nEmpties.size(), 1u);
  EXPECT_TRUE(DynFormula::isTermEntry(h.f.nEmpties[0]));
  EXPECT_EQ(h.checkEmpty(), "");
}

TEST(BcpNary, TermUnitMakesItsDontCareExistentialPure) {
  // Term (e1 & u2 & u4): e1 fixed DontCare, u4 true: u2 is forced false and
  // the term now rests on e1.
  for (const bool learned : {false, true}) {
    Harness h(4);
    h.place(true, {1});
    h.place(false, {2});
    h.place(true, {3});
    h.place(false, {4});
    if (!learned) h.addInput({1, 2, 4}, false);
    h.start();
    if (learned) {
      ASSERT_TRUE(h.addLearned({1, 2, 4}, false));
    }
    h.fix(1, DontCare);
    h.decide(4);
    h.propagate();
    EXPECT_TRUE(h.f.isFalse(h.lit(2))) << learned;
    EXPECT_EQ(kindOfReason(h.f, h.lit(1)), static_cast<uint32_t>(Pure)) << learned;
  }
}

TEST(BcpBinary, TermThatRestsOnADontCareExistentialMakesItPure) {
  // Term (e1 & u2): with e1 DontCare the term forces u2 false; with u2 true
  // first it is a solution. Either way e1 may no longer be flipped.
  for (const bool universalFirst : {false, true}) {
    Harness h(2);
    h.place(true, {1});
    h.place(false, {2});
    h.addInput({1, 2}, false);
    h.start();
    if (universalFirst) h.decide(2);
    h.fix(1, DontCare);
    h.propagate();
    EXPECT_EQ(kindOfReason(h.f, h.lit(1)), static_cast<uint32_t>(Pure)) << universalFirst;
    if (universalFirst) {
      EXPECT_EQ(h.f.bEmpties.size(), 1u);
    } else {
      EXPECT_TRUE(h.f.isFalse(h.lit(2)));
    }
  }
}

TEST(BcpNary, LearnedClauseWithMlfFixedOtherWatchIsPassedOver) {
  Harness h(4);
  h.place(true, {1, 2, 3, 4});
  h.start();
  ASSERT_TRUE(h.addLearned({1, 2, 3, 4}, true, 0, 1));  // watched on e4 and e3
  watchedOccs_& e = h.f.watchedOccs[LearnedClause][1];
  e.watch1 = e.watch2 = h.lit(1);  // watch words moved on, as MLF and BCP do
  h.fix(-3, Pure);
  h.decide(-2);
  h.decide(-4);
  h.propagate();
  EXPECT_FALSE(h.f.isAssigned(h.lit(1))) << "a clause resting on a fixed literal forces nothing";
  EXPECT_EQ(e.watch1, h.lit(3));
  EXPECT_EQ(e.watch2, h.lit(3));
  EXPECT_FALSE(h.f.hasEmpty());
}

TEST(BcpNary, RecordsLongerThanSixteenBitsPropagate) {
  const int n = 70000;
  Harness h(n, Matrix::kDefaultChunkWords);
  std::vector<int> all;
  for (int v = 1; v <= n; ++v) all.push_back(v);
  h.place(true, all);
  h.addInput(all);
  h.start();
  // Every literal but the outermost one is false: the walk meets the unit
  // at position 69999 of the record.
  for (int v = n; v >= 2; --v) h.fix(-v, NaryUnit);
  h.propagate();
  EXPECT_FALSE(h.f.hasEmpty());
  EXPECT_TRUE(h.f.isTrue(h.lit(1)));
  EXPECT_EQ(h.f.reasons[litCode(h.lit(1))].antecedent, 1u);
}

TEST(BcpNary, BrokenWatchIsReportedOnStandardError) {
  Harness h(4);
  h.place(true, {1, 2, 3, 4});
  h.start();
  ASSERT_TRUE(h.addLearned({1, 2, 3, 4}, true, 0, 1));  // watched on e4 and e3
  h.f.watchLists[LearnedClause].edit(litCode(h.lit(2))).push_back(1);  // not a watch of the record
  h.decide(-2);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  h.propagate();
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "[ 4-E 3-E 2-E 1-E ]\n3-E " + std::to_string(h.lit(2)) + "+" + std::to_string(h.lit(3)) + "\n");
  EXPECT_FALSE(h.f.hasEmpty());
}

// ---------------------------------------------------------------------------
// Random formulas, decisions and backjumps against the model.

struct RunStats {
  int runs = 0, fixpoints = 0, conflicts = 0, solutions = 0, units = 0;
};

void randomRun(uint64_t seed, bool withMlf, RunStats& stats) {
  test::SplitMix64 rng(seed * 7919 + (withMlf ? 1 : 0));
  test::GenParams gp;
  gp.numVars = 3 + static_cast<int>(rng.below(8));
  gp.numClauses = 2 + static_cast<int>(rng.below(static_cast<uint64_t>(3 * gp.numVars)));
  gp.minClauseLen = rng.chance(0.3) ? 1 : 2;
  gp.maxClauseLen = 2 + static_cast<int>(rng.below(4));
  gp.alternations = static_cast<int>(rng.below(6));
  gp.freeVarProb = rng.chance(0.3) ? 0.2 : 0.0;
  gp.emptyBlockProb = 0.1;
  gp.repeatLitProb = 0.05;
  gp.tautologyProb = 0.05;
  const test::QbfFormula q = test::generate(gp, seed);

  Harness h(q.maxVar());
  h.useMlf = withMlf;
  for (const test::QBlock& b : q.prefix) h.place(b.exists, b.vars);
  // Clauses that are empty after reduction, or units against an earlier
  // unit, decide the formula before the search: leave them out.
  for (const auto& c : q.clauses) {
    std::vector<Literal> reduced;
    if (h.reduce(c, false, reduced) && reduced.empty()) continue;
    if (reduced.size() == 1 &&
        std::find(h.units.begin(), h.units.end(), litComplement(reduced[0])) != h.units.end())
      continue;
    h.addInput(c);
  }
  for (int v = 1; v <= q.maxVar(); ++v) {
    ASSERT_EQ(h.f.prefix.level(v), h.level[v] < 0 ? kUnplaced : static_cast<uint32_t>(h.level[v])) << v;
    if (h.level[v] >= 0) {
      ASSERT_EQ(h.f.prefix.isExistential(v), h.exists[v] != 0) << v;
    }
  }
  std::vector<int> placed;
  auto collectPlaced = [&] {
    placed.clear();
    for (int v = 1; v <= q.maxVar(); ++v)
      if (h.level[v] >= 0) placed.push_back(v);
  };
  collectPlaced();
  if (placed.empty()) return;
  auto randomLits = [&](int len) {
    std::vector<int> lits;
    for (int i = 0; i < len; ++i) {
      const int v = placed[rng.below(placed.size())];
      const int s = rng.chance(0.5) ? v : -v;
      if (std::find(lits.begin(), lits.end(), -s) == lits.end()) lits.push_back(s);
    }
    return lits;
  };
  const int inputTerms = static_cast<int>(rng.below(4));
  for (int i = 0; i < inputTerms; ++i) {
    // Terms that reduce to nothing or to one literal decide the formula
    // before the search; they say nothing about propagation.
    const std::vector<int> term = randomLits(2 + static_cast<int>(rng.below(3)));
    std::vector<Literal> reduced;
    if (h.reduce(term, true, reduced) && reduced.size() >= 2) h.addInput(term, false);
  }
  h.start();
  if (h.f.hasEmpty()) return;
  const int learned = static_cast<int>(rng.below(6));
  for (int i = 0; i < learned; ++i)
    h.addLearned(randomLits(2 + static_cast<int>(rng.below(4))), rng.chance(0.6), rng.below(5), rng.below(5));
  ++stats.runs;

  const std::string where = "seed " + std::to_string(seed) + (withMlf ? " with MLF: " : ": ") + test::describe(q);
  for (int step = 0; step < 60; ++step) {
    const uint32_t before = h.f.trailSize;
    h.propagate();
    stats.units += static_cast<int>(h.f.trailSize - before);
    const std::string trail = h.checkTrail();
    ASSERT_EQ(trail, "") << where;
    if (h.f.hasEmpty()) {
      ASSERT_EQ(h.checkEmpty(), "") << where;
      const bool term = h.f.bEmpties.empty() ? DynFormula::isTermEntry(h.f.nEmpties.back())
                                             : litTerm(h.f.bEmpties.back().lit1);
      ++(term ? stats.solutions : stats.conflicts);
      if (h.f.decisionLevel <= 1) return;
      // Remember the empty constraint, backjump below its level, and
      // assert it when it has become unit there.
      const Con* c = nullptr;
      const uint32_t* record = nullptr;
      if (!h.f.bEmpties.empty()) {
        const DynFormula::Bempty e = h.f.bEmpties.back();
        for (uint32_t k : {term ? 1u : 0u, term ? 3u : 2u})
          if (!c) c = h.byPair(k, e.lit1, e.lit2);
      } else {
        record = h.f.nEmpties.back();
        c = h.byRecord(record);
      }
      const uint32_t b = 1 + static_cast<uint32_t>(rng.below(h.f.decisionLevel - 1));
      h.backjump(b);
      h.assertAfterBackjump(c, record);
      if (testing::Test::HasFatalFailure()) return;
      continue;
    }
    ++stats.fixpoints;
    ASSERT_EQ(h.checkFixpoint(), "") << where;
    std::vector<int> open;
    for (int v : placed)
      if (h.f.value[v] == 0) open.push_back(v);
    if (open.empty()) {
      if (h.f.decisionLevel <= 1) return;
      h.backjump(1 + static_cast<uint32_t>(rng.below(h.f.decisionLevel - 1)));
      continue;
    }
    const int v = open[rng.below(open.size())];
    h.decide(rng.chance(0.5) ? v : -v);
  }
}

TEST(BcpRandom, FixpointsAgreeWithTheModel) {
  RunStats stats;
  for (uint64_t seed = 1; seed <= 5000; ++seed) {
    randomRun(seed, false, stats);
    if (HasFatalFailure()) return;
  }
  // The runs must reach the interesting states, or the test proves little.
  EXPECT_GT(stats.runs, 4000);
  EXPECT_GT(stats.conflicts, 10000);
  EXPECT_GT(stats.solutions, 1000);
  EXPECT_GT(stats.units, 30000);
}

TEST(BcpRandom, FixpointsAgreeWithTheModelUnderPureLiterals) {
  RunStats stats;
  for (uint64_t seed = 1; seed <= 5000; ++seed) {
    randomRun(seed, true, stats);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(stats.runs, 4000);
  EXPECT_GT(stats.conflicts, 5000);
  EXPECT_GT(stats.units, 20000);
}

}  // namespace
}  // namespace vorn
