// The default road through the built binary where the output carries CPU
// times: the "-stat" block, the hand-over to the engine (-solve) and the
// huge-input road. Times are compared as a pattern ("T"), the number of
// Q-resolution steps as "N". Where a run answers, the evaluator must agree.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/Evaluator.h"
#include "support/Formula.h"
#include "support/Process.h"

namespace vorn {
namespace test {
namespace {

const std::string kFixtures = VORN_FIXTURES "/e2e/";

// Times print in the stream's default format ("0.000312", "4e-06", "0");
// a label followed by anything else stays as it is, and the comparison fails.
std::string masked(std::string out) {
  auto isDigit = [&](std::size_t i) { return i < out.size() && out[i] >= '0' && out[i] <= '9'; };
  auto digits = [&](std::size_t i) {
    while (isDigit(i)) ++i;
    return i;
  };
  for (const char* label : {"c Parse time: ", "c Tamrix time: ", "c QRES Time: ", "c EQ Time: ",
                            "time used in BP  : ", "time used in dpll: "}) {
    const std::string l(label);
    for (std::size_t at = out.find(l); at != std::string::npos; at = out.find(l, at + 1)) {
      const std::size_t from = at + l.size();
      if (!isDigit(from)) continue;
      std::size_t to = digits(from);
      if (to < out.size() && out[to] == '.' && isDigit(to + 1)) to = digits(to + 1);
      if (to + 2 < out.size() && out[to] == 'e' && (out[to + 1] == '-' || out[to + 1] == '+') && isDigit(to + 2))
        to = digits(to + 2);
      out.replace(from, to - from, "T");
    }
  }
  const std::string by = " s by ";
  for (std::size_t at = out.find(by); at != std::string::npos; at = out.find(by, at + 1)) {
    const std::size_t from = at + by.size(), to = digits(from);
    if (to > from && out.compare(to, 8, " checks\n") == 0) out.replace(from, to - from, "N");
  }
  return out;
}

// Clause bodies for the huge-input road, under a header declaring many
// more clauses than they hold (the cut is on the declared count).
// Only tautologies: preprocessing alone answers, while the engine, reading
// the file itself, prints its own lines first; so the output tells the roads apart.
const char* const kTautologies = "e 1 2 0\na 3 0\n1 -1 3 0\n2 3 -3 0\n";
// forall 1 exists 2 3, (2 1)(-2 1)(3 -2)(-3 2): false, left to the engine.
const char* const kFalse = "a 1 0\ne 2 3 0\n2 1 0\n-2 1 0\n3 -2 0\n-3 2 0\n";
// No unit, no pure literal: the search must decide, so a limit of 0 stops it.
const char* const kSearch = "e 1 2 3 0\n1 2 3 0\n-1 -2 3 0\n1 -2 -3 0\n-1 2 -3 0\n";

struct Case {
  const char* name;
  // A fixture under tests/fixtures/e2e/, or the body of a generated file
  // whose header declares `declared` clauses.
  const char* fixture;
  const char* body;
  long declared;
  std::vector<std::string> args;
  const char* softCpuLimit;  // the soft CPU-time limit the run starts with
  int exit;
  std::string out;  // masked
};

// ctest lists a case by what it runs.
void PrintTo(const Case& c, std::ostream* os) {
  if (c.fixture)
    *os << c.fixture;
  else
    *os << "p cnf 3 " << c.declared;
  for (const std::string& a : c.args) *os << " " << a;
  *os << " -> " << c.exit;
}

std::string stats(int budget, long vars, long clauses, long clausesLeft, bool qr = false, bool tail = true) {
  std::string s = "c Tamrix\nc Parse time: T s\n";
  if (budget) s += "c Time Limit " + std::to_string(budget) + " s\n";
  s += "c EQ Statistics: MIN 0.00 AVG 0.00 MAX 0.00\nc EQ Substituted 0.00 0.00\n";
  if (qr) s += "c QRES Time: T s by N checks\nc Variables Eliminated by QRES: 0\n";
  s += "c Variables Checked by QRES: 0\n";
  s += "c Variables Eliminated by PrePro: 0 / " + std::to_string(vars) + "\n";
  s += "c Clauses   Eliminated by PrePro: " + std::to_string(clauses - clausesLeft) + " / " +
       std::to_string(clauses) + "\n";
  if (tail) s += "c Tamrix time: T s\n";
  return s;
}

const std::string kMore =
    "c More than 500000 clauses: Tamrix is now disabled. Re-run with \"-forceprepro\" to override.\n";
const std::string kOccs = "Heuristic choice : occs\ntime used in BP  : T\n";
const std::string kTrueByEngine = kOccs + "time used in dpll: T\ns cnf 1\n";
const std::string kFalseByEngine = kOccs + "time used in dpll: T\ns cnf 0\n";
// The engine answers before its loop when no clause of two or more literals is left.
const std::string kEarlyTrue = kOccs + "s cnf 1\n";
const std::string kTimeout = kOccs + "DPLL: TIMEOUT\ntime used in dpll: T\ns cnf -1\n";
const std::string kThreeBlocks = "p cnf 5 4\ne 1 2 0\na 3 0\ne 4 5 0\n 4 3 1 0\n 5 -3 -2 0\n 2 0\n -5 -4 3 -1 0\n";
const std::string kFalseWritten = "p cnf 3 4\na 1 0\ne 2 3 0\n 2 1 0\n -2 1 0\n 3 -2 0\n -3 2 0\n";

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      // The statistics block: only the five unconditional lines without
      // other options; the budget from the soft CPU limit (above 6000: 6000).
      {"stat", "road-three-blocks.qdimacs", nullptr, 0, {"-stat"}, "7200", 100,
       stats(6000, 5, 4, 4) + kThreeBlocks},
      {"stat_qr", "road-three-blocks.qdimacs", nullptr, 0, {"-stat", "-qr"}, "120", 100,
       stats(120, 5, 4, 4, true) + kThreeBlocks},
      // Tautologies never reach the store: nothing to eliminate, nothing left.
      {"stat_true", "road-true.qdimacs", nullptr, 0, {"-stat"}, "7200", 10, stats(6000, 3, 0, 0) + "s cnf 1\n"},
      // False while loading, which stops at the empty clause (one clause
      // stored before it): the block, then the answer; no budget line, no loop time.
      {"stat_false", "road-false.qdimacs", nullptr, 0, {"-stat", "-qr"}, "7200", 20,
       stats(0, 3, 1, 1, true, false) + "s cnf 0\n"},
      // The hand-over: the engine's lines follow the road's own.
      {"solve", "road-three-blocks.qdimacs", nullptr, 0, {"-solve", "--heur", "occs"}, "7200", 10, kTrueByEngine},
      {"solve_stat", "road-three-blocks.qdimacs", nullptr, 0, {"-solve", "-stat", "--heur", "occs"}, "300", 10,
       stats(300, 5, 4, 4) + kTrueByEngine},
      {"solve_timeout", nullptr, kSearch, 4, {"-solve", "--heur", "occs", "--timelimit", "0"}, "7200", 99, kTimeout},

      // The cut: more than 500000 declared clauses with -solve and without
      // -forceprepro sends the file to the engine unread.
      {"huge_500000_solve", nullptr, kTautologies, 500000, {"-solve", "--heur", "occs"}, "7200", 10, "s cnf 1\n"},
      {"huge_500000_solve_stat", nullptr, kTautologies, 500000, {"-solve", "-stat", "--heur", "occs"}, "7200", 10,
       stats(6000, 3, 0, 0) + "s cnf 1\n"},
      {"huge_500001_solve", nullptr, kTautologies, 500001, {"-solve", "--heur", "occs"}, "7200", 10, kEarlyTrue},
      {"huge_500001_solve_stat", nullptr, kTautologies, 500001, {"-solve", "-stat", "--heur", "occs"}, "7200", 10,
       kMore + kEarlyTrue},
      {"huge_500001_forceprepro", nullptr, kTautologies, 500001, {"-solve", "-forceprepro", "--heur", "occs"},
       "7200", 10, "s cnf 1\n"},
      {"huge_500001_forceprepro_stat", nullptr, kTautologies, 500001,
       {"-solve", "-forceprepro", "-stat", "--heur", "occs"}, "7200", 10, stats(6000, 3, 0, 0) + "s cnf 1\n"},
      // Without -solve the file is read in full whatever it declares.
      {"huge_500001_no_solve", nullptr, kTautologies, 500001, {}, "7200", 10, "s cnf 1\n"},
      {"huge_500001_no_solve_stat", nullptr, kTautologies, 500001, {"-stat"}, "7200", 10,
       stats(6000, 3, 0, 0) + "s cnf 1\n"},
      {"huge_500001_no_solve_forceprepro", nullptr, kTautologies, 500001, {"-forceprepro"}, "7200", 10,
       "s cnf 1\n"},
      {"huge_500001_written", nullptr, kFalse, 500001, {}, "7200", 100, kFalseWritten},
      {"huge_500001_written_stat", nullptr, kFalse, 500001, {"-stat"}, "7200", 100,
       stats(6000, 3, 4, 4) + kFalseWritten},
      // The engine's answer is the exit code on both roads to it.
      {"huge_500000_solve_false", nullptr, kFalse, 500000, {"-solve", "--heur", "occs"}, "7200", 20,
       kFalseByEngine},
      {"huge_500001_solve_false_stat", nullptr, kFalse, 500001, {"-solve", "-stat", "--heur", "occs"}, "7200", 20,
       kMore + kFalseByEngine},
      {"huge_500001_solve_timeout", nullptr, kSearch, 500001, {"-solve", "--heur", "occs", "--timelimit", "0"},
       "7200", 99, kTimeout},
      // The default heuristic reads the file itself, header and all.
      {"huge_500001_solve_default_heuristic", nullptr, kFalse, 500001, {"-solve", "-stat"}, "7200", 20,
       kMore + "Heuristic choice : Belief Propagation\ntime used in BP  : T\ntime used in dpll: T\ns cnf 0\n"},
  };
  return all;
}

// Runs the binary as "vorn" with the soft CPU-time limit set first.
ProcessResult runWithSoftCpuLimit(const char* limit, const std::vector<std::string>& args) {
  std::vector<std::string> shellArgs{"-c", std::string("ulimit -S -t ") + limit + " && exec -a vorn \"$0\" \"$@\"",
                                     vornBinary()};
  shellArgs.insert(shellArgs.end(), args.begin(), args.end());
  return runProcess("/bin/bash", shellArgs, 120);
}

class DefaultRoad : public testing::TestWithParam<Case> {};

TEST_P(DefaultRoad, Run) {
  const Case& c = GetParam();
  TempDir dir;
  const std::string text = c.fixture ? readFileOrFail(kFixtures + c.fixture)
                                     : "p cnf 3 " + std::to_string(c.declared) + "\n" + c.body;
  const std::string file = dir.write(c.fixture ? c.fixture : "in.qdimacs", text);
  std::vector<std::string> args{file};
  args.insert(args.end(), c.args.begin(), c.args.end());

  const ProcessResult r = runWithSoftCpuLimit(c.softCpuLimit, args);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, c.exit) << "stdout:\n" << r.out << "\nstderr:\n" << r.err;
  EXPECT_EQ(masked(r.out), c.out) << "stdout:\n" << r.out << "\nstderr:\n" << r.err;
  EXPECT_EQ(r.err, "");
  if (c.exit == 10 || c.exit == 20) {
    EXPECT_EQ(c.exit, expectedExitCode(parseQdimacsOrFail(text))) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DefaultRoad, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace test
}  // namespace vorn
