// Preprocessing keeps the truth value: thousands of small random formulas
// with planted subsumed clauses, self-subsuming pairs, repeated literals,
// tautologies and re-declared atoms go through the default road
// in-process; the written formula must be well-formed QDIMACS and have the
// input's value, and an answer from preprocessing alone, or from the engine
// after the hand-over (-solve), must be right.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "driver/PreproRoad.h"
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

// Clauses the loading rules act on, inserted at random places so that a
// planted clause comes both before and after the clause it relates to.
void plant(QbfFormula& f, SplitMix64& rng) {
  const int vars = f.numVars;
  auto insert = [&](std::vector<int> c) {
    f.clauses.insert(f.clauses.begin() + static_cast<long>(rng.below(f.clauses.size() + 1)), std::move(c));
  };
  auto freshVar = [&](const std::vector<int>& c) {
    for (int tries = 0; tries < 8; ++tries) {
      int v = rng.range(1, vars);
      bool used = false;
      for (int l : c) used = used || std::abs(l) == v;
      if (!used) return v;
    }
    return 0;
  };
  int plants = rng.range(1, 4);
  for (int i = 0; i < plants && !f.clauses.empty(); ++i) {
    std::vector<int> c = f.clauses[rng.below(f.clauses.size())];
    if (c.empty()) continue;
    switch (rng.below(3)) {
      case 0: {  // subsumed: a superset
        int v = freshVar(c);
        if (v) c.push_back(rng.chance(0.5) ? v : -v);
        insert(c);
        break;
      }
      case 1: {  // self-subsuming: one literal flipped, maybe one more literal
        std::size_t k = rng.below(c.size());
        c[k] = -c[k];
        if (rng.chance(0.5)) {
          int v = freshVar(c);
          if (v) c.push_back(rng.chance(0.5) ? v : -v);
        }
        insert(c);
        break;
      }
      default: {  // flipped and shortened: strengthens the original
        if (c.size() < 2) break;
        std::size_t k = rng.below(c.size());
        c[k] = -c[k];
        c.erase(c.begin() + static_cast<long>((k + 1) % c.size()));
        insert(c);
        break;
      }
    }
  }
}

QbfFormula randomFormula(uint64_t seed) {
  SplitMix64 rng(seed * 7919 + 11);
  test::GenParams p;
  p.numVars = rng.range(2, 9);
  p.numClauses = rng.range(2, 4 + 2 * p.numVars);
  p.minClauseLen = rng.chance(0.15) ? 1 : rng.range(2, 3);
  p.maxClauseLen = p.minClauseLen + rng.range(0, 2);
  p.alternations = rng.range(0, 3);
  p.freeVarProb = rng.chance(0.3) ? 0.2 : 0.0;
  p.emptyBlockProb = rng.chance(0.2) ? 0.3 : 0.0;
  p.redeclareProb = rng.chance(0.4) ? 0.3 : 0.0;
  p.repeatLitProb = 0.15;
  p.tautologyProb = rng.chance(0.1) ? 0.9 : 0.1;  // some lose every clause
  p.emptyClauseProb = rng.chance(0.05) ? 0.05 : 0.0;
  p.nameRange = rng.chance(0.3) ? p.numVars + rng.range(0, 6) : 0;
  QbfFormula f = test::generate(p, seed);
  f.numVars = f.maxVar();
  plant(f, rng);
  return f;
}

struct Outcome {
  int code;
  std::string out;
};

Outcome runRoad(const std::string& path, const char* flag) {
  instance = Instance<long>();
  CommandLine cl(optionTable());
  cl["FILENAME"] = path.c_str();
  if (flag) cl[flag] = "true";
  cl["--heur"] = "occs";  // for -solve: the engine's occurrence heuristic
  Timer timer;
  testing::internal::CaptureStdout();
  int code = runPreprocessingRoad(cl, 6000, timer);
  std::fflush(stdout);
  return {code, testing::internal::GetCapturedStdout()};
}

class TruthPreserved : public ::testing::TestWithParam<const char*> {};

TEST_P(TruthPreserved, RandomFormulas) {
  const char* flag = GetParam();
  const bool solve = flag && std::string(flag) == "-solve";
  test::TempDir dir;
  const std::string path = dir.file("in.qdimacs");
  int written = 0, decidedTrue = 0, decidedFalse = 0;
  for (uint64_t seed = 1; seed <= 3000; ++seed) {
    if (!test::drawnInThisBuild(static_cast<int>(seed))) continue;
    QbfFormula input = randomFormula(seed);
    const std::string text = input.toQdimacs();
    test::writeFile(path, text);
    const bool value = test::evaluate(input);
    Outcome r = runRoad(path, flag);
    SCOPED_TRACE("seed " + std::to_string(seed) + "\n" + text + "-- written:\n" + r.out);
    if (r.code == 100) {
      ++written;
      ASSERT_TRUE(test::wellFormedSimplified(r.out));
      QbfFormula out = test::parseQdimacsOrFail(r.out);
      ASSERT_EQ(test::evaluate(out), value);
    } else if (r.code == 10 || r.code == 20) {
      r.code == 10 ? ++decidedTrue : ++decidedFalse;
      ASSERT_EQ(r.code, value ? 10 : 20);
      const std::string result = value ? "s cnf 1\n" : "s cnf 0\n";
      if (solve) {
        // Decided by preprocessing, or by the engine after its own lines.
        ASSERT_GE(r.out.size(), result.size());
        ASSERT_EQ(r.out.substr(r.out.size() - result.size()), result);
      } else {
        ASSERT_EQ(r.out, result);
      }
    } else {
      FAIL() << "exit code " << r.code;
    }
  }
  // The mix is wide enough to mean something.
  if (solve) {
    EXPECT_EQ(written, 0);
  } else {
    EXPECT_GT(written, test::drawnAtLeast(1200));
  }
  EXPECT_GT(decidedFalse, test::drawnAtLeast(100));
  EXPECT_GT(decidedTrue, test::drawnAtLeast(10));
}

INSTANTIATE_TEST_SUITE_P(Options, TruthPreserved, ::testing::Values(nullptr, "-ss", "-qr", "-solve"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param ? info.param + 1 : "none");
                         });

}  // namespace
}  // namespace vorn
