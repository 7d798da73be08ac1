// The simplified formula as written, byte for byte, the hand-over to the
// engine, and the statistics block of the preprocessing road.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/PreproRoad.h"
#include "driver/vornEngine.h"
#include "preprocessor/CnfFormula.h"
#include "preprocessor/Qresolution.h"

namespace vorn {
namespace {

using Clause = std::vector<CnfLiteral>;

std::string printed(const std::function<void(std::FILE*)>& write) {
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&data, &size);
  write(out);
  std::fclose(out);
  std::string text(data, size);
  std::free(data);
  return text;
}

// A CommandLine with the given flags.
struct Options {
  CommandLine cl{optionTable()};
  explicit Options(std::initializer_list<const char*> flags) {
    for (const char* f : flags) cl[f] = "true";
  }
};

std::string formulaText(CnfFormula& f) {
  return printed([&](std::FILE* out) { f.printFormula(out); });
}

TEST(Writer, OneBlockHasNoPrefixLine) {
  CnfFormula f;
  for (CnfLiteral a : {1, 2, 3}) f.addAtom(a);
  f.init(std::vector<Clause>{{1, 2}, {-2, 3}});
  EXPECT_EQ(formulaText(f), "p cnf 3 2\n 2 1 0\n 3 -2 0\n");
}

TEST(Writer, ThreeBlocks) {
  CnfFormula f;
  f.addAtom(1, Forall);
  f.addAtom(2, Exists);
  f.addAtom(3);
  f.init(std::vector<Clause>{{-1, 2, 3}, {1, -2}});
  EXPECT_EQ(formulaText(f), "p cnf 3 2\ne 3 0\na 1 0\ne 2 0\n 2 -1 3 0\n -2 1 0\n");
}

TEST(Writer, EmptyOutermostBlockAndLongBlocks) {
  CnfFormula f;
  f.addAtom(1, Forall);
  f.addAtom(2, Exists);
  f.addAtom(4, Exists);
  f.addAtom(3, Forall);
  f.addAtom(5, Forall);
  f.init(std::vector<Clause>{{4, -1, 2}});
  EXPECT_EQ(formulaText(f), "p cnf 5 1\na 1 0\ne 2 4 0\na 3 5 0\n 4 2 -1 0\n");
}

TEST(Writer, FreeSlotAndEmptiedPrefixSlot) {
  CnfFormula f;
  f.addAtom(1, Exists);
  f.addAtom(2, Forall);
  f.addAtom(3, Exists);
  f.addAtom(4, Exists);
  f.init(std::vector<Clause>{{3, 1}, {4, 3, -2}, {-3, 1}});
  f.removeClause(2);
  f.removeAtom(4);
  // The header keeps maxAtom although atom 4 is gone; the free slot writes nothing.
  EXPECT_EQ(formulaText(f), "p cnf 4 2\ne 1 0\na 2 0\ne 3 0\n 3 1 0\n -3 1 0\n");
  // Every slot of the prefix emptied: no line at all, not a bare " 0".
  CnfFormula g;
  g.addAtom(1, Forall);
  g.removeAtom(1);
  EXPECT_EQ(printed([&](std::FILE* out) { g.CnfPrefix::print(out); }), "");
  EXPECT_EQ(printed([&](std::FILE* out) { f.printClause(2, out); }), "");
  EXPECT_EQ(printed([&](std::FILE* out) { f.printClause(3, out); }), " -3 1 0\n");
}

TEST(Writer, LargeOutputIsComplete) {
  // More than one buffer's worth: nothing lost or reordered between pieces.
  CnfFormula f;
  const CnfLiteral n = 30000;
  for (CnfLiteral a = 1; a <= n; ++a) f.addAtom(a, a % 2 ? Exists : Forall);
  std::vector<Clause> input;
  for (CnfLiteral a = 1; a + 1 <= n; a += 2) input.push_back({a, -(a + 1), a + 2 <= n ? a + 2 : 1});
  f.init(input);
  std::string text = formulaText(f);
  std::string expected = "p cnf " + std::to_string(n) + " " + std::to_string(input.size()) + "\n";
  for (CnfLiteral a = 1; a <= n; ++a) expected += std::string(a % 2 ? "e " : "a ") + std::to_string(a) + " 0\n";
  for (const Clause& c : input) {
    Clause lits = c;
    f.minimizeClause(lits);
    for (CnfLiteral l : lits) expected += " " + std::to_string(l);
    expected += " 0\n";
  }
  EXPECT_EQ(text, expected);

  // One prefix line and one clause line longer than the writer's buffer.
  CnfFormula wide;
  std::string prefixLine = "e", clauseLine;
  Clause clause;
  for (CnfLiteral a = 1; a <= n; ++a) {
    wide.addAtom(a, Exists);
    prefixLine += " " + std::to_string(a);
    clause.push_back(-a);
  }
  wide.addAtom(n + 1, Forall);
  for (CnfLiteral a = n; a >= 1; --a) clauseLine += " " + std::to_string(-a);
  wide.init(std::vector<Clause>{clause});
  EXPECT_EQ(formulaText(wide), "p cnf " + std::to_string(n + 1) + " 1\n" + prefixLine + " 0\na " +
                                   std::to_string(n + 1) + " 0\n" + clauseLine + " 0\n");
}

TEST(HandOver, EngineGetsPrefixOrderThenClauses) {
  CnfFormula f;
  f.addAtom(5, Forall);
  f.addAtom(2, Exists);
  f.addAtom(7);
  f.addAtom(1);
  f.init(std::vector<Clause>{{2, 5, 7}, {-2, 1}, {7, 1}});
  f.removeClause(1);
  Options o{};
  vornEngine engine(f.maxAtom, f.liveClauseCount(), 0, o.cl);
  f.sendFormula(engine);
  // The engine numbers variables in order of arrival: the prefix order,
  // also for an atom that no clause holds any more.
  EXPECT_EQ(engine.names.intToExt, (std::vector<long>{0, 7, 1, 5, 2}));
}


std::string statsBlock(Options& o, Qresolution& qr, CnfFormula& f, float qrTime, long qrCalls) {
  PreproStats stats;
  stats.qrTime = qrTime;
  stats.qrCalls = qrCalls;
  stats.varsAtParse = 4;
  stats.clausesAtParse = 5;
  takeEndState(stats, qr, f);
  testing::internal::CaptureStdout();
  printStatsAfterPrepro(stats, o.cl);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(StatsBlock, Golden) {
  CnfFormula f;
  for (CnfLiteral a = 1; a <= 4; ++a) f.addAtom(a);
  f.init(std::vector<Clause>{{1, 2}, {3, 4}});
  Qresolution qr(false);

  Options none{"-stat"};
  EXPECT_EQ(statsBlock(none, qr, f, 0, 0),
            "c EQ Statistics: MIN 0.00 AVG 0.00 MAX 0.00\n"
            "c EQ Substituted 0.00 0.00\n"
            "c Variables Checked by QRES: 0\n"
            "c Variables Eliminated by PrePro: 0 / 4\n"
            "c Clauses   Eliminated by PrePro: 3 / 5\n");

  Options withQr{"-stat", "-qr"};
  EXPECT_EQ(statsBlock(withQr, qr, f, 0.125f, 2),
            "c EQ Statistics: MIN 0.00 AVG 0.00 MAX 0.00\n"
            "c EQ Substituted 0.00 0.00\n"
            "c QRES Time: 0.125 s by 2 checks\n"
            "c Variables Eliminated by QRES: 0\n"
            "c Variables Checked by QRES: 0\n"
            "c Variables Eliminated by PrePro: 0 / 4\n"
            "c Clauses   Eliminated by PrePro: 3 / 5\n");

  // Times in the stream's default format: six significant digits.
  Options all{"-stat", "-all"};
  std::string text = statsBlock(all, qr, f, 1234.5678f, 3);
  EXPECT_NE(text.find("c QRES Time: 1234.57 s by 3 checks\n"), std::string::npos) << text;

  Options silent{"-qr"};
  EXPECT_EQ(statsBlock(silent, qr, f, 1, 1), "");
}

}  // namespace
}  // namespace vorn
