// The equivalence pass on planted structure: AND-type definitions (one and
// several body literals, body atoms outer and in the defined atom's own
// block), parity groups of both parities led by a clause of the group or
// by one of the other parity, cycles of definitions (one put back each),
// the order of elimination, splitting with a fresh atom, a chain of 10^5
// definitions, and the exact output and "-stat" lines of the default road.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "driver/PreproRoad.h"
#include "preprocessor/CnfFormula.h"
#include "preprocessor/DependencyGraph.h"
#include "preprocessor/Equivalences.h"
#include "support/Evaluator.h"
#include "support/Formula.h"
#include "support/Process.h"
#include "support/TimeMask.h"

namespace vorn {
namespace {

using Clauses = std::vector<std::vector<CnfLiteral>>;

// A prefix line: 'e' or 'a' and its atoms.
struct Line {
  char q;
  std::vector<CnfLiteral> atoms;
};

// Declares as the reader does (prefix lines, then every clause atom) and loads.
void load(CnfFormula& F, const std::vector<Line>& prefix, const Clauses& clauses) {
  for (const Line& l : prefix)
    for (CnfLiteral a : l.atoms) F.addAtom(a, l.q == 'e' ? Exists : Forall);
  for (const auto& c : clauses)
    for (CnfLiteral l : c) F.addAtom(std::abs(l));
  F.init(clauses);
}

// Stored clauses in id order as "(l1 l2) (l3)".
std::string stored(const CnfFormula& F) {
  std::string s;
  for (ClauseId id = 1; id < F.slotCount(); ++id) {
    if (!F.isStored(id)) continue;
    if (!s.empty()) s += " ";
    s += "(";
    for (std::size_t i = 0; i < F.clauses[id].size(); ++i) s += (i ? " " : "") + std::to_string(F.clauses[id][i]);
    s += ")";
  }
  return s;
}

// The same, sorted as text: for clause sets whose ids do not matter.
std::string sortedStored(const CnfFormula& F) {
  std::vector<std::string> items;
  for (ClauseId id = 1; id < F.slotCount(); ++id) {
    if (!F.isStored(id)) continue;
    std::string c = "(";
    for (std::size_t i = 0; i < F.clauses[id].size(); ++i) c += (i ? " " : "") + std::to_string(F.clauses[id][i]);
    items.push_back(c + ")");
  }
  std::sort(items.begin(), items.end());
  std::string s;
  for (const std::string& c : items) s += (s.empty() ? "" : " ") + c;
  return s;
}

std::string written(CnfFormula& F) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* mem = open_memstream(&buffer, &size);
  F.printFormula(mem);
  std::fclose(mem);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

bool valueOf(CnfFormula& F) { return test::evaluate(test::parseQdimacsOrFail(written(F))); }

std::string listOf(const std::vector<CnfLiteral>& v) {
  std::string s;
  for (std::size_t i = 0; i < v.size(); ++i) s += (i ? " " : "") + std::to_string(v[i]);
  return s;
}

EquivalenceSwitches switches(bool es, bool er, bool x3) {
  EquivalenceSwitches s;
  s.substitution = es;
  s.rewriting = er;
  s.threeEqui = x3;
  return s;
}

// ---------------------------------------------------------------------------
// AND-type detection: the detection walk of a sweep, then the definitions
// found and the clauses left.

std::string detectAnd(CnfFormula& F, Equivalences& eq) {
  eq.graph.reset(F.maxAtom);
  F.sortBinary();
  for (ClauseId id = F.getBeginClause(); id != F.getEndClause(); id = F.getNextClause())
    if (F.clauses[id].size() >= 2) eq.checkEqui_(F, id);
  std::string defs;
  for (std::size_t d = 1; d < eq.graph.definitions.size(); ++d)
    defs += (d > 1 ? "; " : "") + listOf(eq.graph.definitions[d]);
  return defs;
}

TEST(AndDetection, DefinitionsAndWhatLeavesTheFormula) {
  struct Case {
    const char* name;
    std::vector<Line> prefix;
    Clauses clauses;
    const char* definitions;  // "v b1 b2; ..." in detection order
    const char* left;
  } cases[] = {
      {"one body literal in an outer universal block", {{'a', {1}}, {'e', {2}}}, {{2, 1}, {-2, -1}, {2, 3}},
       "2 -1", "(2 3)"},
      {"several body literals, same block and outer", {{'e', {1}}, {'a', {2}}, {'e', {3, 4, 5}}},
       {{-5, 4}, {-5, -2}, {-5, 1}, {5, -4, 2, -1}, {5, 3, 4}}, "5 4 -2 1", "(5 4 3)"},
      // Only the deepest block's literals may be defined: 1 has its
      // binaries (-1 -3), (-1 -2) but lies outside.
      {"an outer literal is never defined", {{'e', {1}}, {'a', {4}}, {'e', {2, 3}}},
       {{3, 2, 1}, {-1, -3}, {-1, -2}}, "", "(3 2 1) (-3 -1) (-2 -1)"},
      // The first literal (deepest block, largest atom) is tried first;
      // once its atom is defined the next literal of the block is tried.
      {"first literal first, then the next one of the block", {{'e', {1, 2, 3}}},
       {{3, -1}, {-3, 1}, {3, 2}, {-3, -2}}, "3 1; 2 -3", ""},
      // From (2 3) the walk over the partners [1, -3] of -2 stops at 1, a
      // deeper literal with a smaller atom; (-2 -3) finds the pair instead.
      {"the merge walk stops at a deeper partner with a smaller atom", {{'e', {3}}, {'a', {4}}, {'e', {1, 2}}},
       {{2, 3}, {-2, -3}, {-2, 1}}, "-2 3", "(-2 1)"},
  };
  for (const Case& c : cases) {
    CnfFormula F;
    load(F, c.prefix, c.clauses);
    Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(true, false, false));
    EXPECT_EQ(detectAnd(F, eq), c.definitions) << c.name;
    EXPECT_EQ(stored(F), c.left) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Parity groups: atoms 3 and 2 existential inside the universal 1, so the
// stored order is (3 2 1). Both parities, each clause of the group as the
// first stored clause, and a clause of the other parity in front.

// The four clauses over (3, 2, 1) whose number of negations has the parity.
Clauses parityGroup(int parity) {
  Clauses g;
  for (int bits = 0; bits < 8; ++bits) {
    int negations = (bits & 1) + ((bits >> 1) & 1) + ((bits >> 2) & 1);
    if (negations % 2 != parity) continue;
    g.push_back({bits & 1 ? -3 : 3, bits & 2 ? -2 : 2, bits & 4 ? -1 : 1});
  }
  return g;
}

bool satisfies(const std::vector<CnfLiteral>& clause, int assignment) {
  for (CnfLiteral l : clause) {
    bool value = (assignment >> (std::abs(l) - 1)) & 1;
    if ((l > 0) == value) return true;
  }
  return false;
}

TEST(ParityDetection, DefinitionDescribesTheGroupItTookOut) {
  for (int parity = 0; parity < 2; ++parity) {
    const Clauses group = parityGroup(parity);
    const Clauses others = parityGroup(1 - parity);
    for (int leader = 0; leader < 5; ++leader) {
      SCOPED_TRACE("parity " + std::to_string(parity) + " leader " + std::to_string(leader));
      Clauses clauses;
      // leader 4: a clause of the other parity comes first and stays.
      if (leader == 4) clauses.push_back(others[1]);
      for (int k = 0; k < 4; ++k) clauses.push_back(group[(leader % 4 + k) % 4]);
      clauses.push_back({3, 4});  // keeps a clause of the defined atom around
      CnfFormula F;
      load(F, {{'a', {1}}, {'e', {2, 3, 4}}}, clauses);
      Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(false, false, true));
      eq.graph.reset(F.maxAtom);
      ASSERT_TRUE(eq.check3Equi_(F, 1));
      ASSERT_EQ(eq.threeEquiRecords.size(), 1u);
      // The whole group left; a leading stranger stays.
      std::string expectLeft = leader == 4 ? "(3 2 1) (4 3)" : "(4 3)";
      if (leader == 4) {
        std::vector<CnfLiteral> s = others[1];
        expectLeft = "(" + listOf(s) + ") (4 3)";
      }
      EXPECT_EQ(stored(F), expectLeft);

      eq.compute3EquiGraph_(F);
      ASSERT_EQ(eq.graph.definitions.size(), 2u);
      const EquiDefinition& d = eq.graph.definitions[1];
      ASSERT_EQ(d.size(), 3u);
      EXPECT_EQ(std::abs(d[0]), 3) << "the deepest atom is defined";
      EXPECT_TRUE(eq.graph.isXor(3));
      // v <-> (p <-> q) holds exactly where the group holds.
      for (int a = 0; a < 8; ++a) {
        bool groupHolds = true;
        for (const auto& c : group) groupHolds = groupHolds && satisfies(c, a);
        auto value = [&](CnfLiteral l) { return (((a >> (std::abs(l) - 1)) & 1) != 0) == (l > 0); };
        EXPECT_EQ(value(d[0]) == (value(d[1]) == value(d[2])), groupHolds) << "assignment " << a;
      }
    }
  }
}

TEST(ParityDetection, AlreadyDefinedAtomPutsTheGroupBack) {
  // 3 <-> -4 (4 outermost) comes first, so the group's deepest atom is taken.
  Clauses clauses{{3, 4}, {-3, -4}};
  for (const auto& c : parityGroup(1)) clauses.push_back(c);
  CnfFormula F;
  load(F, {{'e', {4}}, {'a', {1}}, {'e', {2, 3}}}, clauses);
  Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(false, false, true));
  eq.graph.reset(F.maxAtom);
  F.sortBinary();
  for (ClauseId id = F.getBeginClause(); id != F.getEndClause(); id = F.getNextClause()) {
    if (F.clauses[id].size() == 3 && eq.check3Equi_(F, id)) continue;
    eq.checkEqui_(F, id);
  }
  ASSERT_EQ(eq.threeEquiRecords.size(), 1u);
  EXPECT_EQ(stored(F), "");
  eq.compute3EquiGraph_(F);
  EXPECT_EQ(eq.graph.definitions.size(), 2u);
  EXPECT_FALSE(eq.graph.isXor(3));
  // The group as it was, stored again.
  EXPECT_EQ(sortedStored(F), "(-3 -2 -1) (-3 2 1) (3 -2 1) (3 2 -1)");
}

TEST(ParityDetection, DuplicateDoesNotStandInForAMissingClause) {
  // Subsumption off (as for inputs above 100000 clauses): (-3 2 -1) twice
  // and (-3 -2 1) missing. Read as a group, the pass would add the missing
  // clause, and this formula (true: 1 = 0 forces 3 = 2 = 1, which the
  // missing clause forbids) would become false.
  const Clauses clauses{{3, 2, 1}, {3, -2, -1}, {-3, 2, -1}, {-3, 2, -1}, {3, 1}, {2, 1}, {4, 3, -2}};
  for (bool all : {false, true}) {
    CnfFormula F;
    F.useSubsumption = false;
    load(F, {{'a', {1}}, {'e', {2, 3, 4}}}, clauses);
    ASSERT_EQ(F.liveClauseCount(), 7);
    ASSERT_TRUE(valueOf(F));
    EquivalenceSwitches sw = switches(true, all, true);
    Equivalences eq(F.maxAtom, F.liveClauseCount(), sw);
    ASSERT_EQ(eq(F), PassUndecided);
    EXPECT_TRUE(eq.threeEquiRecords.empty());
    EXPECT_EQ(eq.eq3Substitutions + eq.eq3Rewritings, 0);
    EXPECT_TRUE(valueOf(F));
  }
}

// ---------------------------------------------------------------------------
// The dependency graph: order of elimination and cycle breaking.

TEST(DependencyGraph, SearchOrderAndCycles) {
  struct Case {
    const char* name;
    std::vector<EquiDefinition> definitions;  // [v, body...]
    const char* roots;
    const char* good;
    const char* bad;
  } cases[] = {
      // a <- b <- c: the user of a definition is eliminated first.
      {"chain", {{3, 2}, {2, -1}}, "1", "3 2", ""},
      {"two definitions sharing a body atom", {{3, 1, -2}, {4, -1, 3}}, "1 2", "4 3", ""},
      // No root reaches a pure cycle: the search starts at the smaller
      // atom and the other definition closes the cycle.
      {"2-cycle without roots", {{2, 1}, {1, -2}}, "", "1", "2"},
      {"3-cycle without roots", {{1, 2}, {2, 3}, {3, -1}}, "", "3 1", "2"},
      {"3-cycle reached from a root", {{1, 2, 4}, {2, 3}, {3, 1}}, "4", "3 1", "2"},
      // The walk of a node ends at its first edge onto the path; its later
      // edges are left to the second part of the search.
      {"bad node's later edges are not walked", {{2, 1}, {1, 2}, {4, -2}}, "", "1 4", "2"},
  };
  for (const Case& c : cases) {
    DependencyGraph g;
    g.reset(4);
    for (const EquiDefinition& d : c.definitions) g.addDefinition(d, false);
    g.build();
    g.search();
    EXPECT_EQ(listOf(g.roots), c.roots) << c.name;
    EXPECT_EQ(listOf(g.good), c.good) << c.name;
    EXPECT_EQ(listOf(g.bad), c.bad) << c.name;
  }
}

TEST(DependencyGraph, CyclesInAFormulaLoseExactlyOneDefinition) {
  struct Case {
    const char* name;
    Clauses clauses;
    const char* bad;
  } cases[] = {
      // 1 <-> 3 & 2 and 2 <-> -1 & 4.
      {"2-cycle", {{-1, 2}, {-1, 3}, {1, -2, -3}, {-2, -1}, {-2, 4}, {2, 1, -4}}, "2"},
      // 1 <-> 2 & 4, 2 <-> 3 & 5, 3 <-> 1 & 6.
      {"3-cycle",
       {{-1, 2}, {-1, 4}, {1, -2, -4}, {-2, 3}, {-2, 5}, {2, -3, -5}, {-3, 1}, {-3, 6}, {3, -1, -6}, {1, 2, 3, 7}},
       "2"},
  };
  for (const Case& c : cases) {
    CnfFormula F;
    load(F, {{'e', {1, 2, 3, 4, 5, 6, 7}}}, c.clauses);
    const bool before = valueOf(F);
    Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(true, false, false));
    ASSERT_EQ(eq(F), PassUndecided) << c.name;
    EXPECT_EQ(listOf(eq.graph.bad), c.bad) << c.name;
    EXPECT_EQ(eq.graph.good.size() + 1, eq.graph.definitions.size() - 1) << c.name;
    EXPECT_EQ(valueOf(F), before) << c.name;
  }
}

// A chain of 3 * 10^5 definitions x2 <- x1, x3 <- x2, ...: the search is
// as deep as the chain (a recursive search overflows the stack here), and
// every link is eliminated, outermost user first.
TEST(DependencyGraph, ChainOfHundredsOfThousandsOfDefinitions) {
  const CnfLiteral n = 300000;
  Clauses clauses;
  // Atom 1 is universal; x_i is atom i + 1.
  for (CnfLiteral i = 1; i <= n; ++i) {
    clauses.push_back({-(i + 1), i + 2});
    clauses.push_back({i + 1, -(i + 2)});
  }
  clauses.push_back({n + 2, 1});
  clauses.push_back({-2, -1});
  std::vector<CnfLiteral> inner;
  for (CnfLiteral a = 2; a <= n + 2; ++a) inner.push_back(a);
  CnfFormula F;
  load(F, {{'a', {1}}, {'e', inner}}, clauses);
  Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(true, false, false));
  ASSERT_EQ(eq(F), PassUndecided);
  EXPECT_EQ(eq.graph.definitions.size(), static_cast<std::size_t>(n) + 1);
  ASSERT_EQ(eq.graph.good.size(), static_cast<std::size_t>(n));
  EXPECT_TRUE(eq.graph.bad.empty());
  EXPECT_EQ(eq.graph.good.front(), n + 2);
  EXPECT_EQ(eq.graph.good.back(), 3);
  EXPECT_EQ(eq.eqSubstitutions, n);
  // (x_{n+1} 1) went down the chain to (x1 1).
  EXPECT_EQ(stored(F), "(2 1) (-2 -1)");
}

// ---------------------------------------------------------------------------
// Substitution and rewriting.

TEST(Substitution, UniversalResolventMakesTheFormulaFalse) {
  // 3 <-> 1 with 1 and 2 universal: (3 2) becomes (1 2), which universal
  // reduction empties.
  CnfFormula F;
  load(F, {{'a', {1, 2}}, {'e', {3}}}, {{-3, 1}, {3, -1}, {3, 2}});
  Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(true, false, false));
  EXPECT_EQ(eq(F), PassFalse);
}

TEST(Substitution, NothingWithoutTheSwitches) {
  CnfFormula F;
  load(F, {{'e', {1, 2, 3}}}, {{3, -1}, {-3, 1}, {1, 2}, {3, 2}});
  const std::string before = stored(F), partners = listOf(F.partners(2));
  Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(false, false, false));
  EXPECT_EQ(eq(F), PassUndecided);
  EXPECT_EQ(stored(F), before);
  EXPECT_EQ(listOf(F.partners(2)), partners) << "partner lists are not even sorted";
}

TEST(Rewriting, FreshAtomJoinsTheBlockAndEveryListCoversIt) {
  // 5 <-> 4 & -2 & 1 split with -er: the fresh atom 7 stands in 5's block,
  // existential, and the per-atom lists of the pass cover it for good.
  CnfFormula F;
  load(F, {{'e', {1}}, {'a', {2}}, {'e', {3, 4, 5, 6}}},
       {{-5, 4}, {-5, -2}, {-5, 1}, {5, -4, 2, -1}, {5, 3, 6}, {-5, -3, 2}});
  const bool before = valueOf(F);
  Equivalences eq(F.maxAtom, F.liveClauseCount(), switches(false, true, false));
  ASSERT_EQ(eq(F), PassUndecided);
  EXPECT_EQ(eq.eqRewritings, 1);
  ASSERT_EQ(F.maxAtom, 7);
  EXPECT_EQ(F.blockOf(7), F.blockOf(5));
  EXPECT_TRUE(F.isExist(7));
  EXPECT_EQ(F.occs(-5).size(), 4u) << "-5 only in (-5 -7) and the kept half";
  for (const std::size_t size : {eq.graph.definitionIndex.size(), eq.graph.xorIndex.size(), eq.graph.nodes.size(),
                                 eq.graph.visited.size(), eq.graph.onStack.size(), eq.clauseNegation.size(),
                                 eq.bodyLiteral.size()})
    EXPECT_GE(size, 8u);
  EXPECT_EQ(valueOf(F), before);
  // The second sweep meets the fresh atom like any other.
  ASSERT_EQ(eq(F), PassUndecided);
  EXPECT_GE(eq.graph.definitionIndex.size(), 8u);
  EXPECT_EQ(valueOf(F), before);
}

// ---------------------------------------------------------------------------
// The default road, in-process: exact output of planted fixtures.

const std::string kFixtures = VORN_FIXTURES "/equivalence/";

struct Road {
  int code;
  std::string out;
};

Road runRoad(const std::string& path, const std::vector<std::string>& flags) {
  instance = Instance<long>();
  CommandLine cl(optionTable());
  cl["FILENAME"] = path.c_str();
  for (const std::string& f : flags) cl[f.c_str()] = "true";
  Timer timer;
  testing::internal::CaptureStdout();
  int code = runPreprocessingRoad(cl, 6000, timer);
  std::fflush(stdout);
  return {code, testing::internal::GetCapturedStdout()};
}

TEST(EquivalenceRoad, PlantedFixtures) {
  struct Case {
    const char* fixture;
    std::vector<std::string> flags;
    const char* expected;  // file with the exact output
    int code;
  } cases[] = {
      // A one-literal body is substituted whatever the switches.
      {"and_one_outer", {"-es"}, "and_one_outer", 100},
      {"and_one_outer", {"-er"}, "and_one_outer", 100},
      {"and_one_outer", {"-3e"}, "and_one_outer", 100},
      {"and_three", {"-es"}, "and_three_es", 100},
      {"and_three", {"-er"}, "and_three_er", 100},
      {"and_three", {"-3e"}, "and_three_kept", 100},
      {"xor_in_group", {"-3e", "-es"}, "xor_in_group_es", 100},
      {"xor_in_group", {"-3e"}, "xor_in_group_kept", 100},
      // The group left and came back with the parity it had.
      {"xor_led_by_stranger", {"-3e", "-es"}, "xor_led_by_stranger_es", 100},
      {"xor_led_by_stranger", {"-3e"}, "xor_led_by_stranger_kept", 100},
      {"cycle2", {"-es"}, "cycle2", 100},
      // Without -es and -er: the 3-EQ line alone of the pass's own lines.
      {"xor_in_group", {"-3e", "-stat"}, "xor_in_group_3e_stat", 100},
      {"stat", {"-es", "-er", "-stat"}, "stat_es_er", 100},
  };
  for (const Case& c : cases) {
    std::string name = std::string(c.fixture);
    for (const std::string& f : c.flags) name += " " + f;
    Road r = runRoad(kFixtures + c.fixture + ".qdimacs", c.flags);
    EXPECT_EQ(r.code, c.code) << name;
    EXPECT_EQ(test::maskTimes(r.out), test::readFileOrFail(kFixtures + c.expected + ".out")) << name;
  }
}

}  // namespace
}  // namespace vorn
