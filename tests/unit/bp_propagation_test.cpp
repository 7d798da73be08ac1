#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "bp/Polarisation.h"
#include "bp/BpFormula.h"

using vorn::XTQRANDOMv3;
using vorn::zsat;

namespace {

std::string writeTemp(const std::string& text) {
  char name[] = "/tmp/vorn_bpXXXXXX";
  int fd = mkstemp(name);
  close(fd);
  std::ofstream(name, std::ios::binary) << text;
  return name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string gzipCopy(const std::string& path) {
  std::string text = slurp(path);
  std::string gz = path + ".gz";
  gzFile g = gzopen(gz.c_str(), "wb");
  gzwrite(g, text.data(), static_cast<unsigned>(text.size()));
  gzclose(g);
  return gz;
}

struct BpRun {
  std::string out;      // everything the module printed
  std::string ranking;  // "+1 -3 -2 " as the search is given it
  int result = 0;
};

// The calls the belief-propagation heuristic makes, in its order.
BpRun runBp(const std::string& path, long seed, int mode, int sweeps = 200, double err = 0.01, int verbosity = 0) {
  BpRun r;
  XTQRANDOMv3 rng(seed);
  zsat bp(&rng, 0);
  bp.verbose = verbosity;
  testing::internal::CaptureStdout();
  bp.formula_read_qbf_file(path);
  bp.bp_init_structure();
  if (mode == 0) {
    bp.des_vars.clear();
    bp.des_vals.clear();
    bp.bp_init_random();
    bp.bp_converge(err, sweeps, 0);
    r.result = bp.des_allmag(bp.N);
  } else {
    r.result = bp.des_bp_mix(0.01, 1000);
  }
  r.out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(bp.des_vars.size(), bp.des_vals.size());
  for (std::size_t i = 0; i < bp.des_vars.size(); ++i)
    r.ranking += (bp.des_vals[i] == 1 ? "+" : "-") + std::to_string(bp.des_vars[i] + 1) + " ";
  return r;
}

// A random (1,2)-QSAT instance written as QDIMACS, from the module's own
// generator.
std::string randomInstance(long seed, int nn, int nm, int m) {
  XTQRANDOMv3 rng(seed);
  zsat gen(&rng, 0);
  std::string path = writeTemp("");
  testing::internal::CaptureStdout();
  gen.formula_gen_ran_12qsat(nn, nm, m);
  gen.formula_write_qformula(path.c_str());
  testing::internal::GetCapturedStdout();
  return path;
}

}  // namespace

TEST(BpRanking, ForcedFixtureAnySeed) {
  const std::string path = std::string(VORN_FIXTURES) + "/bp/forced.qdimacs";
  for (long seed : {1L, 2L, 3L, 77L, 1024L, 123456L, 2147483563L, 987654321L}) {
    EXPECT_EQ(runBp(path, seed, 0).ranking, "+1 -3 -2 ") << seed;
    EXPECT_EQ(runBp(path, seed, 1).ranking, "+1 -3 -2 ") << seed;
  }
  BpRun bpd = runBp(path, 5, 1);
  EXPECT_EQ(bpd.out, "after E decimation, s=0\nBP decimation: SAT\n");
  EXPECT_EQ(bpd.result, -1);
  // Progress lines at verbosity 1: a dot after the second sweep, then the
  // statistics of the fixed point.
  EXPECT_EQ(runBp(path, 5, 0, 200, 0.01, 1).out, "bp: .:) pf_wp=0.666667 pf_bp=0.666667 m=0\n");
}

TEST(BpRanking, SweepBudgetZeroIsDeterministic) {
  // No sweep: every marginal is the defined 1/2, a tie, so the ranking is
  // index order with the tie value (-1; +1 for a universal variable).
  const std::string path = writeTemp("p cnf 4 3\na 1 3 0\ne 2 4 0\n1 2 0\n-3 4 0\n2 3 -4 0\n");
  for (long seed : {1L, 99L, 31337L}) {
    BpRun r = runBp(path, seed, 0, 0, 0.01, 2);
    EXPECT_EQ(r.ranking, "+1 -2 +3 -4 ");
    EXPECT_EQ(r.out, "bp:  :(\n");
  }
  std::remove(path.c_str());
}

TEST(BpRanking, SameSeedSameOutputPlainOrGzip) {
  const std::string path = randomInstance(4242, 40, 12, 130);
  const std::string gz = gzipCopy(path);
  for (int mode : {0, 1}) {
    BpRun a = runBp(path, 2024, mode, 200, 0.01, 2);
    BpRun b = runBp(path, 2024, mode, 200, 0.01, 2);
    BpRun c = runBp(gz, 2024, mode, 200, 0.01, 2);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.ranking, b.ranking);
    EXPECT_EQ(a.out, c.out);
    EXPECT_EQ(a.ranking, c.ranking);
    EXPECT_FALSE(a.ranking.empty());
  }
  std::remove(path.c_str());
  std::remove(gz.c_str());
}

// The store ends at the largest variable the file mentions: a header that
// declares more variables (even 2^31 - 1) runs exactly as one that declares
// only those, with or without a prefix.
TEST(BpRanking, DeclaredButUnusedVariablesChangeNothing) {
  for (long seed : {3L, 8L, 21L}) {
    const std::string generated = randomInstance(seed, 30, 10, 100);
    std::istringstream in(slurp(generated));
    std::remove(generated.c_str());
    for (bool prefix : {true, false}) {
      std::string body, line;
      long clauses = 0, largest = 0;
      std::istringstream lines(in.str());
      while (std::getline(lines, line)) {
        if (line.empty() || line[0] == 'p' || (!prefix && (line[0] == 'a' || line[0] == 'e'))) continue;
        body += line + "\n";
        clauses += line[0] != 'a' && line[0] != 'e';
        std::istringstream numbers(line[0] == 'a' || line[0] == 'e' ? line.substr(1) : line);
        for (long x; numbers >> x;) largest = std::max(largest, std::labs(x));
      }
      const std::string tail = " " + std::to_string(clauses) + "\n" + body;
      const std::string exact = writeTemp("p cnf " + std::to_string(largest) + tail);
      for (long declared : {largest + 1, largest + 500, 2147483647L}) {
        const std::string wide = writeTemp("p cnf " + std::to_string(declared) + tail);
        for (int mode : {0, 1}) {
          const BpRun a = runBp(exact, seed, mode, 200, 0.01, 2), b = runBp(wide, seed, mode, 200, 0.01, 2);
          EXPECT_EQ(a.out, b.out) << declared;
          EXPECT_EQ(a.ranking, b.ranking) << declared;
          if (mode == 0 || prefix) {
            EXPECT_FALSE(a.ranking.empty());
          }
        }
        std::remove(wide.c_str());
      }
      std::remove(exact.c_str());
    }
  }
}

// What each ranking entry records follows the quantifier and the marginal
// at the time the variable was fixed.
TEST(BpRanking, ValuesFollowQuantifierAndMarginal) {
  const std::string path = randomInstance(7, 25, 8, 70);
  XTQRANDOMv3 rng(3);
  zsat bp(&rng, 0);
  testing::internal::CaptureStdout();
  bp.formula_read_qbf_file(path);
  bp.bp_init_structure();
  bp.bp_init_random();
  bp.bp_converge(0.01, 200, 0);
  ASSERT_EQ(bp.des_allmag(bp.N), 1);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(bp.des_vars.size(), static_cast<std::size_t>(bp.N));
  std::vector<char> seen(bp.N, 0);
  for (std::size_t i = 0; i < bp.des_vars.size(); ++i) {
    const int v = bp.des_vars[i];
    ASSERT_FALSE(seen[v]);
    seen[v] = 1;
    const vorn::formula_var& r = bp.var_recs[v];
    const int s = r.WT > r.WF ? 1 : -1;
    EXPECT_EQ(r.fixed_value, s);
    EXPECT_EQ(bp.des_vals[i], bp.vtypes[v] == 1 ? s : -s);
  }
  // Everything is fixed now: nothing more to pick.
  EXPECT_EQ(bp.des_allmag(1), -1);
  EXPECT_EQ(bp.des_allmag(0), 1);
  std::remove(path.c_str());
}

TEST(BpMessages, UnitClauseAndIsolatedVariable) {
  // Variable 1: a unit clause and a binary; variable 3 occurs in no clause.
  const std::string path = writeTemp("p cnf 3 2\ne 1 2 3 0\n1 0\n1 2 0\n");
  XTQRANDOMv3 rng(9);
  zsat bp(&rng, 0);
  testing::internal::CaptureStdout();
  bp.formula_read_qbf_file(path);
  testing::internal::GetCapturedStdout();
  bp.bp_init_structure();
  bp.bp_init_random();
  bp.bp_iterate();
  const vorn::formula_var& x = bp.var_recs[0];
  const int unit = x.occ_begin, other = x.occ_begin + 1;
  EXPECT_EQ(bp.pi[unit], 1.0);
  EXPECT_EQ(bp.u[unit], 1);
  EXPECT_EQ(x.WF, 0.0);
  EXPECT_EQ(bp.eta[other], 1.0);  // the unit forces it towards the binary
  // The unit's cavity comes from the other occurrence only.
  EXPECT_EQ(bp.WT_cav[unit], 1.0);
  EXPECT_EQ(bp.WF_cav[unit], 1.0 - bp.pi[other]);
  EXPECT_EQ(bp.eta[unit], 1.0 / (2.0 - bp.pi[other]));
  EXPECT_EQ(x.H, 1);
  // The isolated variable keeps its neutral marginal.
  EXPECT_EQ(bp.marginal(2), 0.5);
  std::remove(path.c_str());

  // Entropy of "x1 alone and one free variable" before any sweep:
  // variable term ln 2, clause ln(1 - 1/2), edge ln 2, over 2 variables.
  const std::string small = writeTemp("p cnf 2 1\ne 1 2 0\n1 0\n");
  zsat e(&rng, 0);
  testing::internal::CaptureStdout();
  e.formula_read_qbf_file(small);
  testing::internal::GetCapturedStdout();
  e.bp_init_structure();
  EXPECT_DOUBLE_EQ(e.bp_get_entropy(), std::log(2.0) / 2);
  std::remove(small.c_str());
}

TEST(BpMessages, ProgressLines) {
  const std::string path = randomInstance(11, 20, 5, 60);
  XTQRANDOMv3 rng(5);
  zsat bp(&rng, 0);
  testing::internal::CaptureStdout();
  bp.formula_read_qbf_file(path);
  testing::internal::GetCapturedStdout();
  bp.bp_init_structure();
  bp.bp_init_random();
  const struct {
    int verbosity, maxiter, miniter;
    const char* out;
  } cases[] = {
      {1, 1, 0, "bp:  :(\n"},      // one sweep can never converge
      {1, 12, 100, "bp: .. :(\n"}, // dots after sweeps 2 and 12
      {0, 12, 100, ""},
      {1, 0, 0, "bp:  :(\n"},
  };
  for (const auto& c : cases) {
    bp.verbose = c.verbosity;
    testing::internal::CaptureStdout();
    bp.bp_converge(0.01, c.maxiter, c.miniter);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.maxiter;
  }
  std::remove(path.c_str());
}

TEST(BpDecimation, EmptyFormulasAndBlocks) {
  const struct {
    const char* input;
    int mode;
    int verbosity;
    const char* out;
    int result;
  } cases[] = {
      {"p cnf 0 0\n", 0, 1, "no existential variable found, it is a SAT formula\nbp: .:) pf_wp=0 pf_bp=0 m=0\n", 1},
      {"p cnf 0 0\n", 1, 0, "no existential variable found, it is a SAT formula\nBP decimation: SAT\n", -1},
      {"p cnf 0 0\ne 0\n", 1, 0, "after E decimation, s=0\nBP decimation: SAT\n", -1},
      // Nothing decided without quantifier lines: the final check fails.
      {"p cnf 1 1\n1 0\n", 1, 0,
       "no existential variable found, it is a SAT formula\nBP decimation: UNSAT\ncontradiction\n", 1},
      // Contradicting units: the marginal is 0/0, so the block has no candidate.
      {"p cnf 1 2\ne 1 0\n1 0\n-1 0\n", 1, 0, "BP decimation: UNSAT\n", -1},
  };
  for (const auto& c : cases) {
    const std::string path = writeTemp(c.input);
    BpRun r = runBp(path, 1, c.mode, 200, 0.01, c.verbosity);
    EXPECT_EQ(r.out, c.out) << c.input;
    EXPECT_EQ(r.result, c.result) << c.input;
    std::remove(path.c_str());
  }
  // An empty block before any sweep reads the defined starting values and
  // the random initial messages: a number, not a contradiction.
  const std::string path = writeTemp("p cnf 2 1\na 0\ne 1 2 0\n1 2 0\n");
  for (long seed : {1L, 2L, 3L}) {
    BpRun r = runBp(path, seed, 1);
    double s = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "after U decimation, s=%lf", &s), 1) << r.out;
    EXPECT_TRUE(std::isfinite(s));
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "after E decimation, s=0.346574\nBP decimation: SAT\n");
    EXPECT_EQ(r.result, -1);
  }
  std::remove(path.c_str());
}

namespace {

// The ranking as first written: n full scans over all variables.
struct Literal {
  std::vector<int> vars, vals, fixed;
  int result = 1;
};
Literal literalAllmag(std::vector<vorn::formula_var> recs, const std::vector<int>& vtypes, int n) {
  Literal out;
  if (n > 0) {
    for (int k = 0; k < n; ++k) {
      double best = 100.0;
      int pick = -1;
      for (std::size_t v = 0; v < recs.size(); ++v) {
        if (recs[v].fixed_value != 0) continue;
        double m = recs[v].WT / (recs[v].WT + recs[v].WF);
        if (std::fabs(m - 1) < best) {
          best = std::fabs(m - 1);
          pick = static_cast<int>(v);
        } else if (m < best) {
          best = m;
          pick = static_cast<int>(v);
        }
      }
      if (pick < 0) {
        out.result = -1;
        break;
      }
      int s = recs[pick].WT > recs[pick].WF ? 1 : -1;
      recs[pick].fixed_value = s;
      out.vars.push_back(pick);
      out.vals.push_back(vtypes[pick] == 1 ? s : -s);
    }
  }
  for (const auto& r : recs) out.fixed.push_back(r.fixed_value);
  return out;
}

double pickWeight(std::mt19937_64& g) {
  static const double pool[] = {0.0, 1.0, 0.5, 0.25, 2.0, 3.0, 1e-300, 1e300};
  std::uniform_int_distribution<int> which(0, 11);
  int w = which(g);
  if (w < 8) return pool[w];
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  if (w == 8) return unit(g) * 1e-200;
  return unit(g);
}

}  // namespace

// The near-linear ranking against the literal quadratic scan: ties, NaN
// marginals (0/0), exact halves, values a rounding step off 1/2, fixed
// variables, and weights that push the marginal outside [0, 1].
TEST(BpRanking, FastRankingMatchesLiteralScan) {
  std::mt19937_64 g(20240607);
  const double nearHalf[] = {0.5 - std::ldexp(1.0, -54), 0.5 - std::ldexp(1.0, -53), 0.5 + std::ldexp(1.0, -53),
                             0.1, 0.85, 0.9, 0.15};
  XTQRANDOMv3 rng(1);
  for (int round = 0; round < 4000; ++round) {
    const int n = round < 3990 ? 1 + static_cast<int>(g() % 40) : 1500;
    zsat z(&rng, 0);
    z.N = n;
    z.M = 0;
    z.formula_init_structures();
    for (int v = 0; v < n; ++v) {
      vorn::formula_var& r = z.var_recs[v];
      int kind = static_cast<int>(g() % 10);
      if (kind < 6) {
        r.WT = pickWeight(g);
        r.WF = pickWeight(g);
      } else if (kind < 8) {
        r.WT = r.WF = pickWeight(g);  // 1/2, or NaN from 0/0
      } else if (kind == 8) {
        double m = nearHalf[g() % 7];
        r.WT = m;
        r.WF = 1.0 - m;
      } else {
        r.WT = g() % 2 ? 1.0 : 0.0;
        r.WF = 1.0 - r.WT;
      }
      if (round % 50 == 7 && g() % 8 == 0) r.WT = -0.5;  // outside [0, 1]
      if (g() % 12 == 0) r.fixed_value = g() % 2 ? 1 : -1;
      z.vtypes[v] = static_cast<int>(g() % 2);
    }
    const int picks = static_cast<int>(g() % (n + 3));
    Literal want = literalAllmag(z.var_recs, z.vtypes, picks);
    const int got = z.des_allmag(picks);
    ASSERT_EQ(z.des_vars, want.vars) << "round " << round;
    ASSERT_EQ(z.des_vals, want.vals) << "round " << round;
    ASSERT_EQ(got, want.result) << "round " << round;
    for (int v = 0; v < n; ++v) ASSERT_EQ(z.var_recs[v].fixed_value, want.fixed[v]) << "round " << round;
  }
}

// The same over raw marginal vectors, including infinities and values
// outside [0, 1] (the literal fallback).
TEST(BpRanking, PolarisationOrderRawVectors) {
  std::mt19937_64 g(77);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double pool[] = {nan, 0.0, -0.0, 1.0, 0.5, 0.5 - std::ldexp(1.0, -54), 0.1, 0.85, 0.9, 0.15, 0.3, 0.7};
  for (int round = 0; round < 3000; ++round) {
    const int n = static_cast<int>(g() % 30);
    std::vector<double> m(n);
    for (double& x : m) x = g() % 3 ? pool[g() % 12] : std::uniform_real_distribution<double>(0, 1)(g);
    if (round % 10 == 0 && n > 0) m[g() % n] = (g() % 3 == 0) ? inf : (g() % 2 ? 1.5 : -0.25);
    const int want = static_cast<int>(g() % (n + 2));
    std::vector<int> ref;
    std::vector<char> gone(n, 0);
    while (static_cast<int>(ref.size()) < want) {
      double best = 100.0;
      int pick = -1;
      for (int i = 0; i < n; ++i) {
        if (gone[i]) continue;
        if (std::fabs(m[i] - 1) < best) {
          best = std::fabs(m[i] - 1);
          pick = i;
        } else if (m[i] < best) {
          best = m[i];
          pick = i;
        }
      }
      if (pick < 0) break;
      gone[pick] = 1;
      ref.push_back(pick);
    }
    ASSERT_EQ(vorn::polarisation_order(m, want), ref) << "round " << round;
  }
}

TEST(BpDecimation, QuantifierListsAndVerification) {
  // Marginals set by hand: v0 0.9, v1 0.2, v2 0.5, v3 0.05.
  XTQRANDOMv3 rng(1);
  zsat z(&rng, 0);
  z.N = 4;
  z.M = 1;
  z.formula_init_structures();
  z.formula_add_var(1, 0);
  z.formula_add_var(-4, 0);
  z.formula_vector2array();
  const double m[] = {0.9, 0.2, 0.5, 0.05};
  for (int v = 0; v < 4; ++v) {
    z.var_recs[v].WT = m[v];
    z.var_recs[v].WF = 1 - m[v];
  }
  z.exist_vars = {2, 1, 3};
  z.univ_vars = {0};
  z.Nn = 3;
  z.Nm = 1;
  z.exist_vals.assign(3, 0);
  z.univ_vals.assign(1, 0);
  z.formula_gen_vtypes();

  // Over (v2, v1, v3): v2 takes best 0.5, v1 0.2 (m below best), v3 0.05.
  EXPECT_EQ(z.des_emag(2), 1);
  EXPECT_EQ(z.des_vars, (std::vector<int>{3, 1}));
  EXPECT_EQ(z.des_vals, (std::vector<int>{-1, -1}));
  EXPECT_EQ(z.exist_vals, (std::vector<int>{0, -1, -1}));
  EXPECT_EQ(z.des_umag(1), 1);
  EXPECT_EQ(z.univ_vals, (std::vector<int>{-1}));  // BP favours TRUE; the universal gets FALSE
  EXPECT_EQ(z.var_recs[0].fixed_value, -1);
  EXPECT_EQ(z.des_umag(1), -1);  // nothing left

  // (x1 or not x4): x4 = FALSE satisfies it, x1 = FALSE alone does not.
  EXPECT_EQ(z.des_verify_solution(), 1);
  z.exist_vals = {0, 0, 1};
  EXPECT_EQ(z.des_verify_solution(), -1);
}
