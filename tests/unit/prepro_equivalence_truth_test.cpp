// The equivalence pass keeps the truth value: thousands of small random
// formulas with planted AND gates (one to three inputs), XOR groups of
// both parities (some next to a clause of the other parity that triggers
// the detection), chains and cycles of definitions. Each goes through the
// pass as the preprocessing loop runs it (two sweeps); the written formula
// must be well-formed and have the input's value.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "driver/PreproRoad.h"
#include "preprocessor/CnfFormula.h"
#include "preprocessor/Equivalences.h"
#include "support/Evaluator.h"
#include "support/Families.h"
#include "support/Formula.h"
#include "support/Generator.h"
#include "support/Process.h"
#include "support/WrittenFormulaCheck.h"

namespace vorn {
namespace {

using test::QbfFormula;
using test::SplitMix64;

// Where each variable stands: its block (-1 when free, that is outermost)
// and its quantifier.
struct Places {
  std::vector<int> depth;
  std::vector<bool> exists;
  std::vector<bool> defined;
  explicit Places(const QbfFormula& f)
      : depth(f.maxVar() + 1, -1), exists(f.maxVar() + 1, true), defined(f.maxVar() + 1, false) {
    std::vector<bool> placed(depth.size(), false);
    for (std::size_t b = 0; b < f.prefix.size(); ++b)
      for (int v : f.prefix[b].vars)
        if (!placed[v]) {
          placed[v] = true;
          depth[v] = static_cast<int>(b);
          exists[v] = f.prefix[b].exists;
        }
  }
};

int signedLit(int v, SplitMix64& rng) { return rng.chance(0.5) ? v : -v; }

// count variables, none deeper than y, all different from y.
bool pickInputs(const QbfFormula& f, const Places& at, int y, int count, SplitMix64& rng, std::vector<int>& in) {
  std::vector<int> c;
  for (int v = 1; v <= f.numVars; ++v)
    if (v != y && at.depth[v] <= at.depth[y]) c.push_back(v);
  if (static_cast<int>(c.size()) < count) return false;
  for (std::size_t i = c.size(); i > 1; --i) std::swap(c[i - 1], c[rng.below(i)]);
  in.assign(c.begin(), c.begin() + count);
  return true;
}

// An existential variable that no plant defined yet: two definitions of
// one variable would mostly make the formula false.
int existential(const QbfFormula& f, Places& at, SplitMix64& rng) {
  for (int tries = 0; tries < 16; ++tries) {
    int y = rng.range(1, f.numVars);
    if (at.exists[y] && !at.defined[y]) {
      at.defined[y] = true;
      return y;
    }
  }
  return 0;
}

// y <-> (i1 & ... & ik) with y's sign and the inputs' signs random.
void addAnd(QbfFormula& f, int y, const std::vector<int>& inputs) {
  std::vector<int> defining{y};
  for (int a : inputs) {
    f.clauses.push_back({-y, a});
    defining.push_back(-a);
  }
  f.clauses.push_back(defining);
}

void plantWideAnd(QbfFormula& f, Places& at, SplitMix64& rng) {
  int y = existential(f, at, rng);
  std::vector<int> in;
  if (!y || !pickInputs(f, at, y, rng.range(1, 3), rng, in)) return;
  for (int& a : in) a = signedLit(a, rng);
  addAnd(f, signedLit(y, rng), in);
}

// z1 <- z2 <- z3 ...: each defined by the one before it (and maybe one
// more input), the chain going inwards or staying in a block.
void plantChain(QbfFormula& f, Places& at, SplitMix64& rng) {
  std::vector<int> order;
  for (int v = 1; v <= f.numVars; ++v) order.push_back(v);
  for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[rng.below(i)]);
  std::vector<int> chain;
  const int length = rng.range(3, 5);
  for (int v : order) {
    if (static_cast<int>(chain.size()) == length) break;
    if (chain.empty() || (at.exists[v] && !at.defined[v] && at.depth[v] >= at.depth[chain.back()])) {
      if (!chain.empty()) at.defined[v] = true;
      chain.push_back(v);
    }
  }
  for (std::size_t i = 1; i < chain.size(); ++i) {
    std::vector<int> in{signedLit(chain[i - 1], rng)};
    std::vector<int> more;
    if (rng.chance(0.3) && pickInputs(f, at, chain[i], 1, rng, more) && more[0] != chain[i - 1])
      in.push_back(signedLit(more[0], rng));
    addAnd(f, signedLit(chain[i], rng), in);
  }
}

// Two or three existential atoms of one block defined by each other.
void plantCycle(QbfFormula& f, Places& at, SplitMix64& rng) {
  int y = existential(f, at, rng);
  if (!y) return;
  std::vector<int> ring{y};
  for (int v = 1; v <= f.numVars && ring.size() < static_cast<std::size_t>(rng.range(2, 3)); ++v)
    if (v != y && at.exists[v] && !at.defined[v] && at.depth[v] == at.depth[y]) {
      at.defined[v] = true;
      ring.push_back(v);
    }
  if (ring.size() < 2) return;
  // Random signs around a ring without other inputs are mostly a
  // contradiction (a <-> -a); keep the signs even.
  for (std::size_t i = 0; i < ring.size(); ++i) {
    std::vector<int> in{ring[(i + 1) % ring.size()]};
    std::vector<int> more;
    if (rng.chance(0.5) && pickInputs(f, at, ring[i], 1, rng, more)) {
      bool inRing = false;
      for (int r : ring) inRing = inRing || r == more[0];
      if (!inRing) in.push_back(signedLit(more[0], rng));
    }
    addAnd(f, ring[i], in);
  }
}

// A parity group plus one clause of the other parity over the same atoms,
// so the detection may start from a clause outside the group.
void plantXorWithStranger(QbfFormula& f, Places& at, SplitMix64& rng) {
  int y = existential(f, at, rng);
  std::vector<int> in;
  if (!y || !pickInputs(f, at, y, 2, rng, in)) return;
  const int atoms[3] = {y, in[0], in[1]};
  const int parity = static_cast<int>(rng.below(2));
  const int stranger = static_cast<int>(rng.below(4));
  int odd = 0;
  for (int bits = 0; bits < 8; ++bits) {
    int negations = (bits & 1) + ((bits >> 1) & 1) + ((bits >> 2) & 1);
    std::vector<int> c;
    for (int i = 0; i < 3; ++i) c.push_back((bits >> i) & 1 ? -atoms[i] : atoms[i]);
    if (negations % 2 == parity)
      f.clauses.push_back(c);
    else if (odd++ == stranger)
      f.clauses.push_back(c);
  }
}

QbfFormula randomFormula(uint64_t seed) {
  SplitMix64 rng(seed * 104729 + 7);
  test::GenParams p;
  p.numVars = rng.range(3, 12);
  p.numClauses = rng.range(0, p.numVars);
  p.minClauseLen = rng.range(2, 3);
  p.maxClauseLen = p.minClauseLen + rng.range(0, 2);
  p.alternations = rng.range(0, 3);
  p.firstExists = rng.chance(0.5) ? 1 : -1;
  p.freeVarProb = rng.chance(0.2) ? 0.2 : 0.0;
  p.andGates = static_cast<int>(rng.below(2));
  p.xorTriples = static_cast<int>(rng.below(2));
  p.equivalences = static_cast<int>(rng.below(2));
  QbfFormula f = test::generate(p, seed);
  f.numVars = f.maxVar();
  Places at(f);
  const int plants = rng.range(1, 3);
  for (int i = 0; i < plants; ++i) {
    switch (rng.below(4)) {
      case 0: plantWideAnd(f, at, rng); break;
      case 1: plantChain(f, at, rng); break;
      case 2: plantCycle(f, at, rng); break;
      default: plantXorWithStranger(f, at, rng); break;
    }
  }
  for (std::size_t i = f.clauses.size(); i > 1; --i) std::swap(f.clauses[i - 1], f.clauses[rng.below(i)]);
  return f;
}

struct Mode {
  const char* name;
  bool substitution, rewriting, threeEqui, all;
};

struct Outcome {
  int code = 0;  // 10 no clause left, 20 false, 100 written
  std::string text;
  int32_t substitutions = 0, substitutions3 = 0, rewritings = 0, kept = 0, fresh = 0;
};

// The formula as the reader declares it (prefix lines, then clause atoms),
// then the loop's two equivalence steps with simplify after each.
Outcome runPass(const QbfFormula& q, const Mode& mode) {
  EquivalenceSwitches sw;
  sw.substitution = mode.substitution || mode.all;
  sw.rewriting = mode.rewriting || mode.all;
  sw.threeEqui = mode.threeEqui || mode.all;
  sw.selfSubsumption = mode.all;
  CnfFormula F(sw.selfSubsumption);
  for (const test::QBlock& b : q.prefix)
    for (int v : b.vars) F.addAtom(v, b.exists ? Exists : Forall);
  for (const auto& c : q.clauses)
    for (int l : c) F.addAtom(std::abs(l));
  F.init(q.clauses);
  const CnfLiteral atomsAtLoad = F.maxAtom;
  Equivalences eq(F.maxAtom, F.liveClauseCount(), sw);
  Outcome out;
  auto finish = [&](int code) {
    out.code = code;
    out.substitutions = eq.eqSubstitutions;
    out.substitutions3 = eq.eq3Substitutions;
    out.rewritings = eq.eqRewritings + eq.eq3Rewritings;
    out.kept = static_cast<int32_t>(eq.keptDefinitions);
    out.fresh = F.maxAtom - atomsAtLoad;
    return out;
  };
  if (F.simplify() == PassFalse) return finish(20);
  for (int iteration = 0; iteration < 2; ++iteration) {
    if (F.liveClauseCount() == 0) break;
    if (eq(F) == PassFalse || F.simplify() == PassFalse) return finish(20);
  }
  if (F.liveClauseCount() == 0) return finish(10);
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* mem = open_memstream(&buffer, &size);
  F.printFormula(mem);
  std::fclose(mem);
  out.text.assign(buffer, size);
  std::free(buffer);
  return finish(100);
}

class EquivalenceTruth : public ::testing::TestWithParam<Mode> {};

TEST_P(EquivalenceTruth, RandomFormulasWithPlantedDefinitions) {
  const Mode mode = GetParam();
  int written = 0, decidedTrue = 0, decidedFalse = 0, trueInputs = 0;
  long substitutions = 0, substitutions3 = 0, rewritings = 0, kept = 0;
  for (uint64_t seed = 1; seed <= 2500; ++seed) {
    const QbfFormula input = randomFormula(seed);
    const bool value = test::evaluate(input);
    trueInputs += value ? 1 : 0;
    const Outcome r = runPass(input, mode);
    SCOPED_TRACE("seed " + std::to_string(seed) + "\n" + input.toQdimacs() + "-- written:\n" + r.text);
    substitutions += r.substitutions;
    substitutions3 += r.substitutions3;
    rewritings += r.rewritings;
    kept += r.kept;
    if (r.code == 100) {
      ++written;
      ASSERT_TRUE(test::wellFormedSimplified(r.text));
      const QbfFormula out = test::parseQdimacsOrFail(r.text);
      ASSERT_EQ(test::evaluate(out), value);
    } else {
      r.code == 10 ? ++decidedTrue : ++decidedFalse;
      ASSERT_EQ(r.code, value ? 10 : 20);
    }
  }
  // The mix means something: most formulas are written, both answers occur,
  // and the mode's own steps happened many times.
  EXPECT_GT(written, 1400);
  EXPECT_GT(decidedTrue + decidedFalse, 20);
  EXPECT_GT(trueInputs, 800);
  EXPECT_LT(trueInputs, 1700);
  const bool es = mode.substitution || mode.all, er = mode.rewriting || mode.all, x3 = mode.threeEqui || mode.all;
  EXPECT_GT(substitutions, 1000);  // one-literal bodies are substituted in every mode
  if (x3 && es) {
    EXPECT_GT(substitutions3, 100);
  }
  if (er) {
    EXPECT_GT(rewritings, 30);
  } else {
    EXPECT_GT(kept, 100);
  }
  if (!x3) {
    EXPECT_EQ(substitutions3, 0);
  }
}

// The whole default road in-process, with -solve: the engine decides the
// simplified formula (fresh atoms included) and must give the evaluator's
// answer; an answer from preprocessing alone must be right too.
int solveOnRoad(const std::string& path, const Mode& mode) {
  instance = Instance<long>();
  CommandLine cl(optionTable());
  cl["FILENAME"] = path.c_str();
  cl["-solve"] = "true";
  cl["--heur"] = "occs";
  if (mode.substitution) cl["-es"] = "true";
  if (mode.rewriting) cl["-er"] = "true";
  if (mode.threeEqui) cl["-3e"] = "true";
  if (mode.all) cl["-all"] = "true";
  Timer timer;
  testing::internal::CaptureStdout();
  const int code = runPreprocessingRoad(cl, 6000, timer);
  std::fflush(stdout);
  testing::internal::GetCapturedStdout();
  return code;
}

TEST_P(EquivalenceTruth, SolveGivesTheEvaluatorsAnswer) {
  const Mode mode = GetParam();
  test::TempDir dir;
  const std::string path = dir.file("in.qdimacs");
  for (uint64_t seed = 1; seed <= 2500; ++seed) {
    if (!test::drawnInThisBuild(static_cast<int>(seed))) continue;
    const QbfFormula input = randomFormula(seed);
    const std::string text = input.toQdimacs();
    test::writeFile(path, text);
    SCOPED_TRACE("seed " + std::to_string(seed) + "\n" + text);
    ASSERT_EQ(solveOnRoad(path, mode), test::expectedExitCode(input));
  }
}

INSTANTIATE_TEST_SUITE_P(Options, EquivalenceTruth,
                         ::testing::Values(Mode{"es", true, false, false, false}, Mode{"3e", false, false, true, false},
                                           Mode{"er", false, true, false, false},
                                           Mode{"es_er", true, true, false, false},
                                           Mode{"all", false, false, false, true}),
                         [](const ::testing::TestParamInfo<Mode>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vorn
