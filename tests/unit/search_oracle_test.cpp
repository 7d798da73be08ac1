// The propagation, pure-literal and analysis strategies driven together by
// the test-only search loop, checked against the brute-force evaluator on
// random formulas: every answer, every learned constraint, every initial
// solution term.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/Evaluator.h"
#include "support/Formula.h"
#include "support/Generator.h"
#include "support/SolverSearch.h"

namespace vorn {
namespace test {
namespace {

struct Family {
  const char* name;
  GenParams params;
  int count;
};

GenParams params(int vars, int clauses, int minLen, int maxLen, int alternations) {
  GenParams p;
  p.numVars = vars;
  p.numClauses = clauses;
  p.minClauseLen = minLen;
  p.maxClauseLen = maxLen;
  p.alternations = alternations;
  return p;
}

GenParams planted(GenParams p, int xors, int ands, double roughness) {
  p.xorTriples = xors;
  p.andGates = ands;
  p.freeVarProb = roughness;
  p.emptyBlockProb = roughness;
  p.redeclareProb = roughness / 2;
  return p;
}

// Plain random formulas fall to propagation and pure literals after a
// decision or two; planted XOR triples and AND gates make the search
// learn. Counts are formulas; each runs with two phase choices.
std::vector<Family> families() {
  std::vector<Family> out;
  out.push_back({"binary-heavy", params(6, 10, 2, 3, 2), 600});
  out.push_back({"mixed", params(8, 14, 2, 4, 3), 600});
  out.push_back({"ternary", params(9, 18, 3, 3, 3), 400});
  out.push_back({"long", params(10, 16, 3, 6, 4), 400});
  out.push_back({"six-alternations", params(12, 22, 2, 5, 6), 400});
  GenParams rough = params(9, 15, 1, 4, 5);
  rough.freeVarProb = 0.2;
  rough.emptyBlockProb = 0.3;
  rough.redeclareProb = 0.1;
  rough.repeatLitProb = 0.1;
  rough.tautologyProb = 0.05;
  rough.nameRange = 20;
  out.push_back({"free-vars-empty-blocks", rough, 600});
  out.push_back({"xor-chains", planted(params(14, 6, 3, 3, 3), 5, 0, 0.0), 500});
  out.push_back({"gates", planted(params(16, 10, 3, 4, 4), 4, 3, 0.0), 500});
  out.push_back({"deep-gates", planted(params(18, 8, 3, 3, 6), 6, 2, 0.1), 400});
  out.push_back({"small-gates", planted(params(12, 4, 2, 3, 5), 4, 2, 0.1), 600});
  return out;
}

// F or T, for the evaluator, which reads CNF only: every clause of F
// widened by each literal of T in turn.
QbfFormula withTerm(const QbfFormula& f, const std::vector<int>& term) {
  QbfFormula g = f;
  g.clauses.clear();
  for (const auto& c : f.clauses)
    for (int t : term) {
      g.clauses.push_back(c);
      g.clauses.back().push_back(t);
    }
  return g;
}

// Universal reduction of every clause: universal literals quantified
// after every existential literal of their clause go. The solver works on
// the reduced clauses, so a universal variable may be gone from them.
QbfFormula universallyReduced(const QbfFormula& f) {
  const EvalOrder order = evaluationOrder(f);
  std::vector<int> depth(static_cast<std::size_t>(f.maxVar()) + 1, -1);
  std::vector<bool> exists(depth.size(), true);
  for (std::size_t i = 0; i < order.vars.size(); ++i) {
    depth[static_cast<std::size_t>(order.vars[i])] = static_cast<int>(i);
    exists[static_cast<std::size_t>(order.vars[i])] = order.exists[i];
  }
  QbfFormula g = f;
  g.clauses.clear();
  for (auto c : f.clauses) {
    bool tautology = false;
    for (int l : c) tautology = tautology || std::find(c.begin(), c.end(), -l) != c.end();
    if (tautology) continue;  // true whatever the universal player does
    int deepestExists = -1;
    for (int l : c)
      if (exists[static_cast<std::size_t>(std::abs(l))])
        deepestExists = std::max(deepestExists, depth[static_cast<std::size_t>(std::abs(l))]);
    std::vector<int> kept;
    for (int l : c)
      if (exists[static_cast<std::size_t>(std::abs(l))] || depth[static_cast<std::size_t>(std::abs(l))] < deepestExists)
        kept.push_back(l);
    g.clauses.push_back(kept);
  }
  return g;
}

// The input under the given true literals: satisfied clauses go, false
// literals leave their clauses.
QbfFormula restricted(const QbfFormula& f, const std::vector<int>& trueLits) {
  std::vector<int> value(static_cast<std::size_t>(f.maxVar()) + 1, 0);
  for (int l : trueLits) value[static_cast<std::size_t>(std::abs(l))] = l > 0 ? 1 : -1;
  QbfFormula g = f;
  g.clauses.clear();
  for (const auto& c : f.clauses) {
    std::vector<int> kept;
    bool satisfied = false;
    for (int l : c) {
      const int v = value[static_cast<std::size_t>(std::abs(l))];
      if (v == 0)
        kept.push_back(l);
      else if ((v > 0) == (l > 0))
        satisfied = true;
    }
    if (!satisfied) g.clauses.push_back(kept);
  }
  return g;
}

std::string lits(const std::vector<int>& v) {
  std::string s;
  for (int l : v) s += std::to_string(l) + " ";
  return s;
}

TEST(SearchOracle, AnswersAgreeWithEvaluator) {
  int checked = 0;
  for (const Family& fam : families()) {
    for (int i = 0; i < fam.count; ++i) {
      const uint64_t seed = 1000 + static_cast<uint64_t>(i);
      const QbfFormula f = generate(fam.params, seed);
      const int expected = expectedExitCode(f);
      for (uint64_t phase : {uint64_t(0), seed}) {
        SolverSearchConfig config;
        config.phaseSeed = phase;
        SolverSearch search(f, config);
        const int got = search.solve();
        ASSERT_FALSE(search.exhausted) << fam.name << " seed " << seed << ": " << describe(f);
        ASSERT_EQ(got, expected) << fam.name << " seed " << seed << " phase " << phase << ": " << describe(f);
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 5000);
}

// Every learned clause or term, added to the input, leaves its truth
// value unchanged. The analysis drops the literals of the top level, so
// the input is taken under the top-level values of the moment; that those
// values keep the truth value is checked as well.
TEST(SearchOracle, LearnedConstraintsAreImplied) {
  std::size_t clauses = 0, terms = 0;
  for (const Family& fam : families()) {
    for (int i = 0; i < fam.count * 2; ++i) {
      const uint64_t seed = 5000 + static_cast<uint64_t>(i);
      const QbfFormula input = generate(fam.params, seed);
      const QbfFormula reduced = universallyReduced(input);
      const bool truth = evaluate(input);
      SolverSearchConfig config;
      config.phaseSeed = seed;
      SolverSearch search(input, config);
      search.solve();
      for (const LearnedConstraint& c : search.learned) {
        const QbfFormula f = restricted(reduced, c.topLevel);
        ASSERT_EQ(evaluate(f), truth) << fam.name << " seed " << seed << " top level " << lits(c.topLevel)
                                      << ": " << describe(input);
        QbfFormula g = f;
        if (c.clause) {
          g.clauses.push_back(c.lits);
          ++clauses;
        } else {
          g = withTerm(f, c.lits);
          ++terms;
        }
        ASSERT_EQ(evaluate(g), truth) << fam.name << " seed " << seed << (c.clause ? " clause " : " term ")
                                      << lits(c.lits) << " top level " << lits(c.topLevel) << ": "
                                      << describe(input);
      }
    }
  }
  // Both kinds were exercised in numbers.
  EXPECT_GT(clauses, 1000u);
  EXPECT_GT(terms, 1000u);
}

// Every learned record is watched on two of its own literals, and right
// after the backjump it is unit: the asserted literal holds with the
// record as its reason, every other literal is spent or an open opponent
// literal quantified after the asserted one.
TEST(SearchOracle, LearnedRecordsAreWatchedAndUnit) {
  std::size_t records = 0;
  for (const Family& fam : families()) {
    for (int i = 0; i < fam.count * 4; ++i) {
      const uint64_t seed = 7000 + static_cast<uint64_t>(i);
      const QbfFormula input = generate(fam.params, seed);
      SolverSearchConfig config;
      config.phaseSeed = seed;
      SolverSearch search(input, config);
      std::size_t seen[2] = {1, 1};
      std::string failure;
      search.afterAnalysis = [&](SolverSearch& s) {
        DynFormula& f = s.formula;
        for (int k = 0; k < 2; ++k) {
          const ConstraintKind kind = k == 0 ? LearnedClause : LearnedTerm;
          for (; seen[k] < f.watchedOccs[kind].size(); ++seen[k]) {
            ++records;
            const uint32_t id = static_cast<uint32_t>(seen[k]);
            const watchedOccs_& e = f.watchedOccs[kind][id];
            const uint32_t* r = e.begin;
            std::vector<Literal> body;
            for (const uint32_t* p = NConstraint::literals(r); *p; ++p) body.push_back(*p);
            auto has = [&](Literal l) { return std::find(body.begin(), body.end(), l) != body.end(); };
            auto listed = [&](Literal l) {
              const auto& list = f.watchLists[kind][litCode(l)];
              return std::find(list.begin(), list.end(), id) != list.end();
            };
            if (!has(r[0]) || !has(r[1]) || r[0] == r[1]) failure = "watch outside the record";
            if (e.watch1 != r[0] || e.watch2 != r[1]) failure = "watch words differ from the record";
            if (!listed(r[0]) || !listed(r[1])) failure = "record missing from a watch list";
            // The second watch can stand beside the first in a watch pair:
            // an own literal, or an opponent literal quantified before it.
            if (!litOwn(r[1]) && f.prefix.level(litVar(r[1])) >= f.prefix.level(litVar(r[0])))
              failure = "second watch an opponent literal inside the first";
            const Literal asserted = k == 0 ? r[0] : termForces(r[0]);
            const reasonItem_ reason = f.reasons[litCode(asserted)];
            if (!f.isTrue(asserted) || reason.antecedent != id || reason.kind != (NaryUnit | kind))
              failure = "uip not asserted by the record";
            const bool term = k == 1;
            for (const Literal l : body) {
              // A value the term rests on is never flipped later.
              if (term && litExistential(l) && f.isTrue(l) && f.reasonKindOf(l) == DontCare)
                failure = "learned term rests on a don't-care value";
              if (l == r[0]) continue;
              const bool spent = term ? f.isTrue(l) : f.isFalse(l);
              const bool reducible = !litOwn(l) && !f.isAssigned(l) &&
                                     f.prefix.level(litVar(l)) > f.prefix.level(litVar(r[0]));
              if (!spent && !reducible) failure = "learned record not unit after its backjump";
            }
          }
        }
      };
      search.solve();
      ASSERT_EQ(failure, "") << fam.name << " seed " << seed << ": " << describe(input);
    }
  }
  EXPECT_GT(records, 1000u);
}

// After the flips of the initial solution term every input clause has a
// true literal in the term (or one of the top level, which the analysis
// leaves out of every learned constraint); no top-level value is flipped.
TEST(SearchOracle, InitialTermCoversEveryClause) {
  std::size_t terms = 0, flips = 0, topLevelDontCares = 0;
  for (const Family& fam : families()) {
    for (int i = 0; i < fam.count * 2; ++i) {
      const uint64_t seed = 9000 + static_cast<uint64_t>(i);
      const QbfFormula input = generate(fam.params, seed);
      SolverSearchConfig config;
      config.phaseSeed = seed;
      SolverSearch search(input, config);
      std::string failure;
      search.onCompleteAssignment = [&](SolverSearch& s) {
        DynFormula& f = s.formula;
        const std::vector<int32_t> before = f.value;
        std::vector<Literal> out;
        s.backtrack->computeSolution_(out);
        ++terms;
        std::vector<bool> inTerm(f.value.size(), false);
        for (const Literal t : s.backtrack->termLits) inTerm[litVar(t)] = f.isTrue(t);
        for (std::size_t v = 1; v < before.size(); ++v) {
          const Literal was = f.prefix.atomWord[v] | (before[v] < 0 ? kSignBit : 0u);
          if (before[v] != 0 && f.levelOf(was) == 1 && f.reasonKindOf(was) == DontCare) ++topLevelDontCares;
          if (before[v] == f.value[v]) continue;
          ++flips;
          const Literal now = f.prefix.atomWord[v] | (f.value[v] < 0 ? kSignBit : 0u);
          if (f.levelOf(now) <= 1) failure = "flip at the top level";
          if (f.reasons[litCode(now)].kind != Pure) failure = "flipped value not Pure";
        }
        for (const auto& clause : input.clauses) {
          bool covered = false, tautology = false;
          for (int l : clause) {
            if (std::find(clause.begin(), clause.end(), -l) != clause.end()) tautology = true;
            const Literal x = s.internalLiteral(l);
            if (x != 0 && f.isTrue(x) && (inTerm[litVar(x)] || f.levelOf(x) == 1)) covered = true;
          }
          if (!covered && !tautology && failure.empty()) failure = "uncovered clause " + lits(clause);
        }
      };
      search.solve();
      ASSERT_EQ(failure, "") << fam.name << " seed " << seed << ": " << describe(input);
    }
  }
  EXPECT_GT(terms, 2000u);
  // Both rules were exercised: flips happen, and top-level don't-care
  // values, which must stay, were there to be tempted.
  EXPECT_GT(flips, 100u);
  EXPECT_GT(topLevelDontCares, 100u);
}

// A resolution stamp that comes round again must not leave literals of
// earlier cycles looking stamped: with the stamp wrapping after every
// cycle, every analysis learns exactly what it learns without a wrap.
TEST(SearchOracle, StampWrapLosesNoLiteral) {
  std::size_t compared = 0;
  for (const Family& fam : families()) {
    for (int i = 0; i < fam.count; ++i) {
      const uint64_t seed = 13000 + static_cast<uint64_t>(i);
      const QbfFormula input = generate(fam.params, seed);
      SolverSearchConfig plain, wrapping;
      plain.phaseSeed = wrapping.phaseSeed = seed;
      wrapping.stampLimit = 2;
      SolverSearch a(input, plain), b(input, wrapping);
      const int answerA = a.solve(), answerB = b.solve();
      ASSERT_EQ(answerA, answerB) << fam.name << " seed " << seed << ": " << describe(input);
      ASSERT_EQ(a.learned.size(), b.learned.size()) << fam.name << " seed " << seed << ": " << describe(input);
      for (std::size_t j = 0; j < a.learned.size(); ++j)
        ASSERT_EQ(a.learned[j].lits, b.learned[j].lits) << fam.name << " seed " << seed << ": " << describe(input);
      compared += a.learned.size();
    }
  }
  EXPECT_GT(compared, 1000u);
}

}  // namespace
}  // namespace test
}  // namespace vorn
