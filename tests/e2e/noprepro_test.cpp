// The engine-only road (-noprepro) end to end: exact standard output and
// exit code of the built binary. The two time lines carry CPU seconds,
// which vary from run to run; their numbers are compared as "T".
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/Process.h"

namespace vorn {
namespace test {
namespace {

const std::string kFixtures = VORN_FIXTURES "/noprepro/";

// Replaces the number after each time label by "T".
std::string maskTimes(std::string out) {
  for (const char* label : {"time used in BP  : ", "time used in dpll: "}) {
    const std::string l(label);
    for (std::size_t at = out.find(l); at != std::string::npos; at = out.find(l, at + l.size())) {
      const std::size_t from = at + l.size();
      const std::size_t to = out.find('\n', from);
      out.replace(from, (to == std::string::npos ? out.size() : to) - from, "T");
    }
  }
  return out;
}

struct Case {
  const char* name;
  const char* fixture;
  std::vector<std::string> args;  // after the file and -noprepro
  int exit;
  const char* out;
  const char* errContains;  // null: standard error must be empty
};

const char* const kChoice = "Heuristic choice : occs\n";

std::string cat(std::initializer_list<const char*> parts) {
  std::string s;
  for (const char* p : parts) s += p;
  return s;
}

// ctest lists a case by what it runs.
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.fixture << " -noprepro";
  for (const std::string& a : c.args) *os << " " << a;
  *os << " -> " << c.exit;
}

class NoPrepro : public testing::TestWithParam<Case> {};

TEST_P(NoPrepro, Run) {
  const Case& c = GetParam();
  TempDir dir;
  const std::string file = dir.write(c.fixture, readFileOrFail(kFixtures + c.fixture));
  std::vector<std::string> args{file, "-noprepro"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const ProcessResult r = runVorn(args, 120);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, c.exit) << "stdout:\n" << r.out << "\nstderr:\n" << r.err;
  EXPECT_EQ(maskTimes(r.out), c.out) << "stderr:\n" << r.err;
  if (c.errContains)
    EXPECT_NE(r.err.find(c.errContains), std::string::npos) << r.err;
  else
    EXPECT_EQ(r.err, "");
}

const std::string kTrue = cat({kChoice, "time used in BP  : T\n", "time used in dpll: T\n", "s cnf 1\n"});
const std::string kFalse = cat({kChoice, "time used in BP  : T\n", "time used in dpll: T\n", "s cnf 0\n"});
const std::string kEarlyTrue = cat({kChoice, "time used in BP  : T\n", "s cnf 1\n"});
const std::string kEarlyFalse = cat({kChoice, "time used in BP  : T\n", "s cnf 0\n"});
const std::string kTimeout =
    cat({kChoice, "time used in BP  : T\n", "DPLL: TIMEOUT\n", "time used in dpll: T\n", "s cnf -1\n"});
const std::string kTimeoutStats = cat({kChoice, "time used in BP  : T\n", "DPLL: TIMEOUT\n", "BRANCHES 1\n",
                                       "BACKTRACKS CONFLICT 0\n", "BACKTRACKS SOLUTION 0\n",
                                       "time used in dpll: T\n", "s cnf -1\n"});
const std::string kTrueStats = cat({kChoice, "time used in BP  : T\n", "BRANCHES 1\n", "BACKTRACKS CONFLICT 0\n",
                                    "BACKTRACKS SOLUTION 2\n", "time used in dpll: T\n", "s cnf 1\n"});
const std::string kFalseStats = cat({kChoice, "time used in BP  : T\n", "BRANCHES 0\n", "BACKTRACKS CONFLICT 1\n",
                                     "BACKTRACKS SOLUTION 0\n", "time used in dpll: T\n", "s cnf 0\n"});
const std::string kSearchTrace = cat({kChoice, "time used in BP  : T\n", "1 2 time used in dpll: T\n", "s cnf 1\n"});
const std::string kVerboseBp = cat({"In BP: random_seed=7 bptime=200 bperr=0.5\n", kEarlyTrue.c_str()});

const Case kCases[] = {
    {"true", "true.qdimacs", {"--heur", "occs"}, 10, kTrue.c_str(), nullptr},
    {"false", "false.qdimacs", {"--heur", "occs"}, 20, kFalse.c_str(), nullptr},
    {"search", "search.qdimacs", {"--heur", "occs"}, 10, kTrue.c_str(), nullptr},
    // Statistics in list order: the heuristic's line, then the analysis'.
    // True: decide 1 FALSE, two solutions (the second at level 1).
    {"true_sstat", "true.qdimacs", {"--heur", "occs", "-sstat"}, 10, kTrueStats.c_str(), nullptr},
    // False: 1 is fixed FALSE as pure at level 1, then one conflict.
    {"false_sstat", "false.qdimacs", {"--heur", "occs", "-sstat"}, 20, kFalseStats.c_str(), nullptr},
    // Early answers print neither statistics nor the dpll time line.
    {"empty_formula", "empty-formula.qdimacs", {"--heur", "occs", "-sstat"}, 10, kEarlyTrue.c_str(), nullptr},
    {"empty_clause", "empty-clause.qdimacs", {"--heur", "occs", "-sstat"}, 20, kEarlyFalse.c_str(), nullptr},
    {"units_only", "units-only.qdimacs", {"--heur", "occs"}, 10, kEarlyTrue.c_str(), nullptr},
    {"contradicting_units", "contradicting-units.qdimacs", {"--heur", "occs"}, 20, kEarlyFalse.c_str(), nullptr},
    // The decision trace: one signed index and a blank per decision.
    {"ps_trace", "search.qdimacs", {"--heur", "occs", "-ps"}, 10, kSearchTrace.c_str(), nullptr},
    // A limit of 0 stops after the first iteration that leaves the
    // formula open; a timeout is never an answer.
    {"timelimit_0", "search.qdimacs", {"--heur", "occs", "--timelimit", "0"}, 99, kTimeout.c_str(), nullptr},
    {"timelimit_0_sstat", "search.qdimacs", {"--heur", "occs", "--timelimit", "0", "-sstat"}, 99,
     kTimeoutStats.c_str(), nullptr},
    {"timelimit_not_a_number", "search.qdimacs", {"--heur", "occs", "--timelimit", "abc"}, 99, kTimeout.c_str(),
     nullptr},
    {"bp_parameters_line", "units-only.qdimacs", {"--heur", "occs", "--bpvflag", "1", "--bpseed", "7", "--bperr", "0.5"},
     10, kVerboseBp.c_str(), nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, NoPrepro, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace test
}  // namespace vorn
