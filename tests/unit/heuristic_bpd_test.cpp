// The belief-propagation heuristic on small hand-built formulas: the
// ranking it takes over from the module, the decision rule against the
// occurrence candidate, "-ps", the saved phases, the resumable scans
// against the rule as stated, and the end of the scan at an entry 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "heuristics/HeuristicBPD.h"
#include "support/Bench.h"
#include "support/FatalCheck.h"
#include "support/Generator.h"
#include "support/Process.h"

namespace vorn {
namespace {

using test::Block;

// The heuristic on a Bench. The BP module reads bpFile, by default the
// same formula written out.
struct Bench : test::HeuristicBench<HeuristicBPD> {
  test::TempDir dir;
  std::string file;

  Bench(const test::Prefix& prefix, test::Clauses clauses, std::initializer_list<const char*> flags = {},
        int mode = 0, long seed = 1024, int verbosity = 0, const std::string& bpFile = "")
      : HeuristicBench(prefix, clauses, flags) {
    file = dir.write("f.qdimacs", bpFile.empty() ? test::qdimacsText(prefix, clauses) : bpFile);
    options["FILENAME"] = file.c_str();
    build(mode, seed, 200L, verbosity, 0.01);
  }
};

// Units 1 and -2 force the marginals of 1 and 2; 3 stays open, so every
// seed ranks 1 (TRUE) and 2 (FALSE) around the undecided 3.
const std::vector<Block> kForcedPrefix{{Exists, {1, 2, 3}}};
const std::vector<std::vector<long>> kForcedClauses{{1}, {-2}, {1, 2, 3}};

TEST(BpdRanking, ForcedUnitsRankTheSameForEverySeed) {
  for (long seed : {1L, 7L, 1024L, 99991L, 2147483647L}) {
    Bench b(kForcedPrefix, kForcedClauses, {}, 0, seed, 2);
    EXPECT_EQ(b.heuristic->bpOrder, (std::vector<int32_t>{1, 3, 2})) << "seed " << seed;
    EXPECT_EQ(b.heuristic->bpSign, (std::vector<int32_t>{1, -1, -1})) << "seed " << seed;
    EXPECT_NE(b.initOutput.find("3 variables are loaded from BP.\n+1 -3 -2 \n"), std::string::npos) << b.initOutput;
  }
}

TEST(BpdRanking, PrintedOnlyAtVerbosityTwo) {
  for (int verbosity : {0, 1, 3}) {
    Bench b(kForcedPrefix, kForcedClauses, {}, 0, 5, verbosity);
    EXPECT_EQ(b.initOutput.find("loaded from BP"), std::string::npos) << verbosity;
    EXPECT_EQ(b.heuristic->bpOrder.size(), 3u);
  }
}

TEST(BpdRanking, DecimationIgnoresTheSweepLimit) {
  const std::vector<Block> prefix{{Exists, {1, 2}}, {Forall, {3}}, {Exists, {4, 5}}};
  const std::vector<std::vector<long>> clauses{{1, 3, 4}, {-1, -3, 5}, {2, -4, -5}, {-2, 3, 5}, {1, 2, -5}};
  std::vector<std::vector<int32_t>> orders, signs;
  for (long sweeps : {5L, 200L}) {
    Bench b(prefix, clauses);
    HeuristicBPD h(b.formula, b.options, b.names, 1, 33, sweeps, 0, 0.01);
    testing::internal::CaptureStdout();
    h.init();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("after E decimation, s="), std::string::npos) << out;
    orders.push_back(h.bpOrder);
    signs.push_back(h.bpSign);
  }
  EXPECT_EQ(orders[0], orders[1]);
  EXPECT_EQ(signs[0], signs[1]);
  // Decimation decides block by block in prefix order.
  ASSERT_EQ(orders[0].size(), 5u);
  EXPECT_TRUE((orders[0][0] == 1 || orders[0][0] == 2) && (orders[0][1] == 1 || orders[0][1] == 2));
  EXPECT_EQ(orders[0][2], 3);
}

TEST(BpdRanking, EntriesWithoutAPrefixPlaceAreDropped) {
  // Index 2 has no place; the module's file declares 6 variables.
  Bench b({{Exists, {1, 3}}, {Forall, {4}}}, {{1, 3, 4}, {-1, -3, 4}});
  b.heuristic->setRanking({5, 2, 0, -1, 4, 6, 3, 1}, {1, 1, 1, 1, -1, 1, 1, -1});
  EXPECT_EQ(b.heuristic->bpOrder, (std::vector<int32_t>{4, 3, 1}));
  EXPECT_EQ(b.heuristic->bpSign, (std::vector<int32_t>{-1, 1, -1}));
}

TEST(BpdRanking, FileWithMoreVariablesThanTheEngineHasIsHarmless) {
  const std::string bigger = "p cnf 9 3\ne 1 2 3 7 8 9 0\n1 0\n-2 0\n1 2 3 7 -8 9 0\n";
  Bench b(kForcedPrefix, kForcedClauses, {}, 0, 3, 0, bigger);
  for (int32_t v : b.heuristic->bpOrder) EXPECT_TRUE(v >= 1 && v <= 3) << v;
  EXPECT_EQ(b.heuristic->bpOrder.size(), 3u);
  // 3 open, 1 and 2 forced by units: 3 is decided by the ranking.
  EXPECT_NE(b.requestDecision(), 0u);
}

// Variables 1 and 2 in the outer block, universal 3, inner 4 and 5.
const std::vector<Block> kThreeBlocks{{Exists, {1, 2}}, {Forall, {3}}, {Exists, {4, 5}}};
const std::vector<std::vector<long>> kThreeBlockClauses{{1, 3, 4}, {-1, -3, 5}, {2, -4, -5}, {-2, 3, 5}, {1, 2, 4, 5}};

TEST(BpdDecision, BestRankedOfTheOutermostOpenBlockWithItsValue) {
  Bench b(kThreeBlocks, kThreeBlockClauses);
  // Inner-block variables stand first in the ranking.
  b.heuristic->setRanking({5, 4, 3, 2, 1}, {1, 1, 1, -1, 1});
  EXPECT_EQ(b.requestDecision(), b.negative(2));  // against the default
  EXPECT_EQ(b.requestDecision(), b.positive(1));
  EXPECT_EQ(b.requestDecision(), b.positive(3));  // universal, ranked TRUE
  EXPECT_EQ(b.requestDecision(), b.positive(5));
  EXPECT_EQ(b.requestDecision(), b.positive(4));
  EXPECT_EQ(b.requestDecision(), 0u);
}

TEST(BpdDecision, UnrankedOuterBlockDecidesByTheOrderWithTheSavedPhase) {
  Bench b(kThreeBlocks, kThreeBlockClauses);
  b.heuristic->setRanking({4, 5, 3}, {1, 1, -1});
  const uint32_t first = b.heuristic->order[0];
  ASSERT_TRUE(first == 1 || first == 2);
  b.heuristic->savedPhase[first] = true;
  EXPECT_EQ(b.requestDecision(), b.negative(first));
  const uint32_t second = 3 - first;
  EXPECT_EQ(b.requestDecision(), b.positive(second));
  // Now the universal block is open and 3 is ranked: its value, not the default.
  EXPECT_EQ(b.requestDecision(), b.negative(3));
  EXPECT_EQ(b.requestDecision(), b.positive(4));
}

TEST(BpdDecision, EmptyRankingDecidesLikeTheOccurrenceOrder) {
  Bench b(kThreeBlocks, kThreeBlockClauses, {}, 0, 1024, 0, "p cnf 0 0\n");
  EXPECT_TRUE(b.heuristic->bpOrder.empty());
  std::vector<uint32_t> decided;
  for (Literal l; (l = b.requestDecision()) != 0;) {
    decided.push_back(litVar(l));
    // Default values: existential TRUE, universal FALSE.
    EXPECT_EQ(litNegative(l), !litExistential(l));
  }
  std::vector<uint32_t> expected(b.heuristic->order.begin(), b.heuristic->order.begin() + 5);
  EXPECT_EQ(decided, expected);
}

TEST(BpdDecision, ProgressSavingOffUsesTheOrderAndPrintsEachDecision) {
  Bench b(kThreeBlocks, kThreeBlockClauses, {"-ps"}, 0, 1024, 2);
  // The BP run still happens, with its output.
  EXPECT_EQ(b.heuristic->bpOrder.size(), 5u);
  EXPECT_NE(b.initOutput.find("5 variables are loaded from BP."), std::string::npos);
  b.heuristic->setRanking({5, 4, 3, 2, 1}, {-1, -1, 1, -1, -1});
  testing::internal::CaptureStdout();
  std::ostringstream expected;
  for (int i = 0; i < 5; ++i) {
    const uint32_t v = b.heuristic->order[static_cast<std::size_t>(i)];
    const Literal l = b.requestDecision();
    ASSERT_EQ(litVar(l), v);
    EXPECT_EQ(litNegative(l), v == 3);  // default values only
    expected << (v == 3 ? "-3" : std::to_string(v)) << ' ';
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected.str());
}

TEST(BpdPhases, RecordedAtAConflictOnlyWithoutPs) {
  for (bool saving : {true, false}) {
    Bench b(kThreeBlocks, kThreeBlockClauses,
            saving ? std::initializer_list<const char*>{} : std::initializer_list<const char*>{"-ps"});
    b.heuristic->setRanking({}, {});
    b.formula.push2Assign(b.negative(1), reasonItem_{0, Branch});
    b.formula.push2Assign(b.positive(3), reasonItem_{0, Branch});
    b.formula.pushBEmpty(b.negative(1), b.positive(3));
    b.heuristic->assign(b.formula.trail[0], reasonItem_{0, Branch});  // records, no decision
    EXPECT_EQ(b.formula.trailSize, 2u);
    EXPECT_EQ(b.heuristic->savedPhase[1], saving);
    EXPECT_EQ(b.heuristic->savedPhase[3], saving);
    b.formula.bEmpties.clear();
    b.formula.backjump(1);
    testing::internal::CaptureStdout();
    std::vector<Literal> got;
    for (Literal l; (l = b.requestDecision()) != 0;) got.push_back(l);
    testing::internal::GetCapturedStdout();
    EXPECT_NE(std::find(got.begin(), got.end(), saving ? b.negative(1) : b.positive(1)), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), saving ? b.positive(3) : b.negative(3)), got.end());
  }
}

TEST(BpdDecision, BackjumpMakesRankedVariablesCandidatesAgain) {
  Bench b(kThreeBlocks, kThreeBlockClauses, {"-sstat"});
  b.heuristic->setRanking({2, 1, 3, 5, 4}, {1, 1, 1, 1, 1});
  EXPECT_EQ(b.requestDecision(), b.positive(2));
  EXPECT_EQ(b.requestDecision(), b.positive(1));
  EXPECT_EQ(b.requestDecision(), b.positive(3));
  b.formula.backjump(2);  // 1 and 3 undone, 2 stays
  b.formula.push2Assign(b.negative(1), reasonItem_{0, NaryUnit});
  EXPECT_EQ(b.requestDecision(), b.positive(3));
  b.formula.backjump(1);
  EXPECT_EQ(b.requestDecision(), b.positive(2));
  testing::internal::CaptureStdout();
  b.heuristic->printStats();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "BRANCHES 5\n");
}

TEST(BpdDecision, ScanReachingAnEntryThatNamesNoVariableIsFatal) {
  // Index 2 has no place, so the order holds two entries 0.
  auto run = [] {
    Bench b({{Exists, {1, 3}}}, {{1, 3}, {-1, -3}});
    b.requestDecision();
    b.requestDecision();
    b.requestDecision();
  };
  ::test::expectFatal(::test::fatalOf(run), 1, "error in HEURISTIC\n", "^$");
}

// The literal rule, over the whole ranking and the whole order.
Literal expectedDecision(const Bench& b, const std::vector<int32_t>& rank, const std::vector<int32_t>& sign) {
  const DynFormula& f = b.formula;
  const auto& order = b.heuristic->order;
  uint32_t v = 0;
  for (std::size_t i = 0; i + 1 < order.size() && order[i] != 0; ++i)
    if (f.value[order[i]] == 0) {
      v = order[i];
      break;
    }
  if (v == 0) return 0;
  std::size_t best = rank.size();
  for (std::size_t i = 0; i < rank.size(); ++i) {
    if (f.value[rank[i]] != 0) continue;
    if (best == rank.size() || f.prefix.atomLevel[rank[i]] < f.prefix.atomLevel[rank[best]]) best = i;
  }
  if (best != rank.size() && f.prefix.atomLevel[v] >= f.prefix.atomLevel[rank[best]])
    return sign[best] == -1 ? b.negative(rank[best]) : b.positive(rank[best]);
  const bool oppose = b.heuristic->savedPhase[v];
  const bool negative = litExistential(b.positive(v)) == oppose;
  return negative ? b.negative(v) : b.positive(v);
}

TEST(BpdDecision, ResumedScansAgreeWithTheRuleOverRandomSearches) {
  // Random prefixes and rankings; random decisions, propagated literals,
  // backjumps and saved phases, each decision checked against the rule.
  int decisions = 0;
  for (uint64_t seed = 1; seed <= 60; ++seed) {
    test::SplitMix64 rng(seed);
    const int nVars = rng.range(3, 14);
    std::vector<Block> prefix;
    std::vector<unsigned long> vars;
    for (int v = 1; v <= nVars; ++v) vars.push_back(static_cast<unsigned long>(v));
    for (std::size_t i = vars.size(); i > 1; --i) std::swap(vars[i - 1], vars[rng.below(i)]);
    const int blocks = rng.range(1, 4);
    for (int k = 0, at = 0; k < blocks && at < nVars; ++k) {
      const int size = k + 1 == blocks ? nVars - at : rng.range(1, nVars - at);
      prefix.push_back({k % 2 == 0 ? Exists : Forall, {vars.begin() + at, vars.begin() + at + size}});
      at += size;
    }
    if (prefix.back().vars.empty()) prefix.pop_back();
    std::vector<std::vector<long>> clauses;
    for (int c = 0; c < nVars; ++c) {
      std::vector<long> clause;
      for (int k = 0; k < 3; ++k) clause.push_back((rng.chance(0.5) ? 1 : -1) * rng.range(1, nVars));
      clauses.push_back(clause);
    }
    Bench b(prefix, clauses);
    if (b.formula.hasEmpty()) continue;  // an empty clause from loading: no search
    std::vector<int32_t> rank, sign;
    for (int v = 1; v <= nVars; ++v)
      if (rng.chance(0.7)) rank.push_back(v);
    for (std::size_t i = rank.size(); i > 1; --i) std::swap(rank[i - 1], rank[rng.below(i)]);
    for (std::size_t i = 0; i < rank.size(); ++i) sign.push_back(rng.chance(0.5) ? 1 : -1);
    b.heuristic->setRanking(rank, sign);
    for (int step = 0; step < 200; ++step) {
      const uint64_t what = rng.below(10);
      DynFormula& f = b.formula;
      if (what < 5) {
        const Literal expected = expectedDecision(b, rank, sign);
        ASSERT_EQ(b.requestDecision(), expected) << "seed " << seed << " step " << step;
        decisions += expected != 0;
        if (expected == 0 && f.decisionLevel > 1) f.backjump(static_cast<uint32_t>(rng.range(1, f.decisionLevel - 1)));
      } else if (what < 7) {
        // A propagated literal at the current level.
        const uint32_t v = static_cast<uint32_t>(rng.range(1, nVars));
        if (f.value[v] == 0) f.push2Assign(rng.chance(0.5) ? b.positive(v) : b.negative(v), reasonItem_{0, NaryUnit});
      } else if (what < 9) {
        if (f.decisionLevel > 1) f.backjump(static_cast<uint32_t>(rng.range(1, f.decisionLevel - 1)));
      } else {
        const uint32_t v = static_cast<uint32_t>(rng.range(1, nVars));
        b.heuristic->savedPhase[v] = !b.heuristic->savedPhase[v];
      }
    }
  }
  EXPECT_GT(decisions, 2000);
}

// Standard output with the two measured times blanked out.
std::string withoutTimes(const std::string& out) {
  std::string result;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    for (const char* lead : {"time used in BP  : ", "time used in dpll: "}) {
      const std::size_t at = line.find(lead);
      if (at != std::string::npos) line = line.substr(0, at + std::string(lead).size()) + "T";
    }
    result += line + "\n";
  }
  return result;
}

TEST(BpdBinary, FixedSeedGivesTheSameOutputOnEveryRun) {
  test::GenParams p;
  p.numVars = 40;
  p.numClauses = 160;
  p.minClauseLen = 3;
  p.maxClauseLen = 3;
  p.alternations = 0;
  p.firstExists = 1;
  p.namesInFileOrder = true;
  // Propositional and near the threshold: a search with many decisions
  // and conflicts, every one of them in the output with "-ps".
  const test::QbfFormula f = test::generate(p, 3);
  test::TempDir dir;
  const std::string file = dir.write("f.qdimacs", f.toQdimacs());
  for (const char* heur : {"bp", "bpd"})
    for (bool ps : {false, true}) {
      std::vector<std::string> args{file, "-noprepro", "--heur", heur, "--bpvflag", "2", "--bpseed", "4242", "-sstat"};
      if (ps) args.push_back("-ps");
      const test::ProcessResult first = test::runVorn(args, 120);
      const test::ProcessResult second = test::runVorn(args, 120);
      ASSERT_TRUE(first.exitCode == 10 || first.exitCode == 20) << first.out << first.err;
      EXPECT_EQ(second.exitCode, first.exitCode);
      EXPECT_EQ(withoutTimes(second.out), withoutTimes(first.out)) << heur << (ps ? " -ps" : "");
      EXPECT_NE(first.out.find(" variables are loaded from BP.\n"), std::string::npos) << first.out;
      // The search really decided something.
      EXPECT_NE(first.out.find("BRANCHES "), std::string::npos) << first.out;
      EXPECT_EQ(first.out.find("BRANCHES 0\n"), std::string::npos) << first.out;
    }
}

}  // namespace
}  // namespace vorn
