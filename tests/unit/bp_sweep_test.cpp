// The sweeps of belief and survey propagation against the literal formula:
// every "product over the other members" multiplied out over the clause,
// every left-out product over the variable's other occurrences. Clauses up
// to zsat::kExactClauseSize must give the literal formula's bits; longer
// ones its values up to rounding, at a cost linear in the clause's length.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "bp/RunningProduct.h"
#include "bp/BpFormula.h"

using vorn::RunningProduct;
using vorn::XTQRANDOMv3;
using vorn::zsat;

namespace {

constexpr double kTiny = 1e-100;

std::string writeTemp(const std::string& text) {
  char name[] = "/tmp/vorn_bpsweepXXXXXX";
  int fd = mkstemp(name);
  close(fd);
  std::ofstream(name, std::ios::binary) << text;
  return name;
}

void shuffle(zsat& z) {
  const int n = static_cast<int>(z.var_recs.size());
  z.perm.resize(n);
  for (int i = 0; i < n; ++i) z.perm[i] = i;
  for (int i = 0; i < n; ++i) {
    const int k = n - i;
    int idx = static_cast<int>(z.rng->rdflt() * k);
    if (idx >= k) idx = k - 1;
    std::swap(z.perm[idx], z.perm[k - 1]);
  }
}

// One belief-propagation sweep by the literal formula.
double literalBpSweep(zsat& z) {
  const int n = static_cast<int>(z.var_recs.size());
  if (n < 1) return 0.0;
  shuffle(z);
  double maxdiff = 0.0;
  for (int i = 0; i < n; ++i) {
    const int v = z.perm[i];
    vorn::formula_var& r = z.var_recs[v];
    const int e0 = r.occ_begin, e1 = r.occ_begin + r.deg;
    if (r.fixed_value != 0) {
      r.WT = r.fixed_value > 0 ? 1.0 : 0.0;
      r.WF = 1.0 - r.WT;
      for (int e = e0; e < e1; ++e) {
        z.eta[e] = z.WT_cav[e] = r.WT;
        z.WF_cav[e] = r.WF;
      }
      continue;
    }
    double WT = 1.0, WF = 1.0;
    int H = 0;
    for (int e = e0; e < e1; ++e) {
      const vorn::formula_clause& c = z.clause_recs[z.occ_clause[e]];
      double prod = 1.0;
      int warn = 1;
      for (int s = c.begin; s < c.begin + c.size; ++s) {
        if (z.members[s] == v) continue;
        const int f = z.member_edge[s];
        prod *= z.occ_sign[f] > 0 ? 1.0 - z.eta[f] : z.eta[f];
        if (z.occ_sign[f] * z.h[f] >= 0) warn = 0;
      }
      z.pi[e] = prod;
      z.u[e] = static_cast<int8_t>(warn);
      (z.occ_sign[e] > 0 ? WF : WT) *= 1.0 - prod;
      H += warn * z.occ_sign[e];
    }
    r.WT = WT;
    r.WF = WF;
    r.H = H;
    for (int e = e0; e < e1; ++e) {
      const int J = z.occ_sign[e];
      z.h[e] = H - J * z.u[e];
      const double x = 1.0 - z.pi[e];
      double T = 1.0, F = 1.0;
      if (x > kTiny) {
        T = J > 0 ? WT : WT / x;
        F = J > 0 ? WF / x : WF;
      } else {
        for (int o = e0; o < e1; ++o)
          if (o != e) (z.occ_sign[o] > 0 ? F : T) *= 1.0 - z.pi[o];
      }
      const double m = T / (T + F);
      const double d = std::fabs(z.eta[e] - m);
      z.eta[e] = m;
      z.WT_cav[e] = T;
      z.WF_cav[e] = F;
      if (d > maxdiff) maxdiff = d;
    }
  }
  return maxdiff;
}

double surveyFactor(const zsat& z, int slot) {
  const int f = z.member_edge[slot];
  const int J = z.occ_sign[f];
  const int fixed = z.sp_vars[z.members[slot]].sp_fixed;
  if (fixed * J == 1) return 0.0;
  if (fixed != 0) return 1.0;
  return J < 0 ? z.sp_T[f] : z.sp_F[f];
}

// One survey-propagation sweep by the literal formula; false where the
// module would stop the process on a survey that is not a number.
bool literalSpSweep(zsat& z, double& maxdiff) {
  const int n = static_cast<int>(z.var_recs.size());
  maxdiff = 0.0;
  if (n < 1) return true;
  shuffle(z);
  for (int i = 0; i < n; ++i) {
    const int v = z.perm[i];
    const vorn::formula_var& r = z.var_recs[v];
    const int e0 = r.occ_begin, e1 = r.occ_begin + r.deg;
    double P1 = 1.0, P2 = 1.0;
    for (int e = e0; e < e1; ++e) {
      const vorn::formula_clause& c = z.clause_recs[z.occ_clause[e]];
      double prod = 1.0;
      for (int s = c.begin; s < c.begin + c.size; ++s)
        if (z.members[s] != v) prod *= surveyFactor(z, s);
      z.sp_eta[e] = prod;
      (z.occ_sign[e] > 0 ? P1 : P2) *= 1.0 - prod;
    }
    vorn::sp_var& sv = z.sp_vars[v];
    sv.PT = (1.0 - P1) * P2;
    sv.PF = (1.0 - P2) * P1;
    sv.P0 = P1 * P2;
    const double all = sv.PT + sv.PF + sv.P0;
    sv.Wp = sv.PT / all;
    sv.Wm = sv.PF / all;
    for (int e = e0; e < e1; ++e) {
      const double x = 1.0 - z.sp_eta[e];
      double p1 = 1.0, p2 = 1.0;
      if (x > kTiny) {
        p1 = z.occ_sign[e] > 0 ? P1 / x : P1;
        p2 = z.occ_sign[e] < 0 ? P2 / x : P2;
      } else {
        for (int o = e0; o < e1; ++o)
          if (o != e) (z.occ_sign[o] > 0 ? p1 : p2) *= 1.0 - z.sp_eta[o];
      }
      z.sp_cavT[e] = (1.0 - p1) * p2;
      z.sp_cavF[e] = (1.0 - p2) * p1;
      z.sp_cav0[e] = p1 * p2;
      const double S = z.sp_cavT[e] + z.sp_cavF[e] + z.sp_cav0[e];
      const double t = z.sp_cavT[e] / S, f = z.sp_cavF[e] / S;
      if (!std::isfinite(t) || !std::isfinite(f)) return false;
      const double d = std::fabs(z.sp_T[e] - t);
      z.sp_T[e] = t;
      z.sp_F[e] = f;
      if (d > maxdiff) maxdiff = d;
    }
  }
  return true;
}

uint64_t bitsOf(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Bit for bit (NaN included), or within a relative 1e-9 when `close`.
testing::AssertionResult same(const std::vector<double>& a, const std::vector<double>& b, bool close,
                              const char* what) {
  if (a.size() != b.size()) return testing::AssertionFailure() << what << ": sizes differ";
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (bitsOf(a[i]) == bitsOf(b[i])) continue;
    if (close && (a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])) ||
                  std::fabs(a[i] - b[i]) <= 1e-9 * std::max(std::fabs(a[i]), std::fabs(b[i])) + 1e-280))
      continue;
    return testing::AssertionFailure() << what << "[" << i << "]: " << a[i] << " vs " << b[i];
  }
  return testing::AssertionSuccess();
}

struct Shape {
  int minLong;  // clause lengths of the long clauses: minLong..maxLong
  int maxLong;
};

// A random formula with what the sweeps treat specially: clauses of one to
// maxLen members, repeated members and both signs of a variable in one
// clause, variables in several unit clauses (a left-out product over
// zeros), contradicting units (NaN messages), an empty clause, variables in
// no clause, and a prefix of several blocks or none.
std::string randomFormula(unsigned seed, Shape shape) {
  std::mt19937 g(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); };
  const int n = pick(2, 40);
  std::vector<std::vector<int>> clauses;
  const int m = pick(1, 60);
  for (int c = 0; c < m; ++c) {
    const bool isLong = pick(0, 5) == 0;
    const int repeats = pick(0, 4) == 0 ? pick(1, 3) : 0;
    const int tautology = pick(0, 9) == 0 ? 1 : 0;
    const int len = isLong ? pick(shape.minLong, shape.maxLong) - repeats - tautology : pick(1, 4);
    std::vector<int> cl;
    for (int k = 0; k < len; ++k) cl.push_back((pick(0, 1) ? 1 : -1) * pick(1, n));
    if (repeats <= len) cl.insert(cl.end(), cl.begin(), cl.begin() + repeats);
    if (tautology) cl.push_back(-cl[0]);
    clauses.push_back(cl);
  }
  for (int k = pick(0, 3); k > 0; --k) {
    const int lit = (pick(0, 1) ? 1 : -1) * pick(1, n);
    for (int copies = std::vector<int>{1, 2, 3, 70}[pick(0, 3)]; copies > 0; --copies) clauses.push_back({lit});
    if (pick(0, 3) == 0) clauses.push_back({-lit});
  }
  if (pick(0, 9) == 0) clauses.push_back({});
  std::string text = "p cnf " + std::to_string(n) + " " + std::to_string(clauses.size()) + "\n";
  if (pick(0, 4) != 0) {
    char q = pick(0, 1) ? 'e' : 'a';
    for (int v = 1; v <= n;) {
      text += q;
      for (int end = std::min(n, v + pick(0, 10)); v <= end; ++v) text += " " + std::to_string(v);
      text += " 0\n";
      q = q == 'e' ? 'a' : 'e';
    }
  } else {
    // The records must reach variable n, which may be in no clause.
    text += "e " + std::to_string(n) + " 0\n";
  }
  for (const std::vector<int>& cl : clauses) {
    for (int lit : cl) text += std::to_string(lit) + " ";
    text += "0\n";
  }
  return text;
}

struct Pair {
  XTQRANDOMv3 rngA, rngB;
  zsat a, b;  // a sweeps with the module, b by the literal formula
  explicit Pair(const std::string& path, long seed) : rngA(seed), rngB(seed), a(&rngA, 0), b(&rngB, 0) {
    testing::internal::CaptureStdout();
    a.formula_read_qbf_file(path);
    b.formula_read_qbf_file(path);
    testing::internal::GetCapturedStdout();
  }
};

std::vector<double> field(const zsat& z, double vorn::formula_var::*member) {
  std::vector<double> out;
  for (const vorn::formula_var& r : z.var_recs) out.push_back(r.*member);
  return out;
}

testing::AssertionResult sameBp(const zsat& a, const zsat& b, bool close) {
  if (a.perm != b.perm) return testing::AssertionFailure() << "visiting orders differ";
  if (a.h != b.h || a.u != b.u) return testing::AssertionFailure() << "warnings differ";
  for (std::size_t v = 0; v < a.var_recs.size(); ++v)
    if (a.var_recs[v].H != b.var_recs[v].H) return testing::AssertionFailure() << "H of " << v << " differs";
  for (auto check : {same(a.eta, b.eta, close, "eta"), same(a.pi, b.pi, close, "pi"),
                     same(a.WT_cav, b.WT_cav, close, "WT_cav"), same(a.WF_cav, b.WF_cav, close, "WF_cav"),
                     same(field(a, &vorn::formula_var::WT), field(b, &vorn::formula_var::WT), close, "WT"),
                     same(field(a, &vorn::formula_var::WF), field(b, &vorn::formula_var::WF), close, "WF")})
    if (!check) return check;
  return testing::AssertionSuccess();
}

testing::AssertionResult sameSp(const zsat& a, const zsat& b, bool close) {
  for (auto check : {same(a.sp_T, b.sp_T, close, "sp_T"), same(a.sp_F, b.sp_F, close, "sp_F"),
                     same(a.sp_eta, b.sp_eta, close, "sp_eta"), same(a.sp_cav0, b.sp_cav0, close, "sp_cav0")})
    if (!check) return check;
  return testing::AssertionSuccess();
}

// Fixes a few variables alike in both, as decimation does between runs.
void fixSome(Pair& p, unsigned seed) {
  std::mt19937 g(seed);
  for (std::size_t v = 0; v < p.a.var_recs.size(); ++v)
    if (g() % 7 == 0) {
      const int value = g() % 2 ? 1 : -1;
      p.a.var_recs[v].fixed_value = p.b.var_recs[v].fixed_value = value;
      if (!p.a.sp_vars.empty()) p.a.sp_vars[v].sp_fixed = p.b.sp_vars[v].sp_fixed = value;
    }
}

// Both copies from the same random messages.
void startBp(Pair& p) {
  p.a.bp_init_structure();
  p.b.bp_init_structure();
  p.a.bp_init_random();
  p.b.bp_init_random();
}

// Sweeps both copies and compares. Bit for bit, the copies stay equal
// sweep after sweep; up to rounding, the literal copy restarts from the
// module's messages before each sweep, so differences do not compound.
void compareSweeps(const std::string& text, unsigned seed, bool close) {
  const std::string path = writeTemp(text);
  {
    Pair p(path, seed);
    startBp(p);
    for (int sweep = 0; sweep < 8; ++sweep) {
      if (sweep == 4) fixSome(p, seed);
      if (close) {
        p.b.eta = p.a.eta;
        p.b.h = p.a.h;
      }
      const double da = p.a.bp_iterate(), db = literalBpSweep(p.b);
      ASSERT_TRUE(sameBp(p.a, p.b, close)) << "BP sweep " << sweep << "\n" << text;
      if (!close) {
        EXPECT_EQ(bitsOf(da), bitsOf(db));
      }
    }
  }
  {
    Pair p(path, seed);
    p.a.sp_init_random();
    p.b.sp_init_random();
    for (int sweep = 0; sweep < 8; ++sweep) {
      if (sweep == 4) fixSome(p, seed);
      if (close) {
        p.b.sp_T = p.a.sp_T;
        p.b.sp_F = p.a.sp_F;
      }
      double db;
      if (!literalSpSweep(p.b, db)) break;  // the module would end the process here
      const double da = p.a.sp_iterate();
      ASSERT_TRUE(sameSp(p.a, p.b, close)) << "SP sweep " << sweep << "\n" << text;
      if (!close) {
        EXPECT_EQ(bitsOf(da), bitsOf(db));
      }
    }
  }
  std::remove(path.c_str());
}

}  // namespace

TEST(BpSweep, ShortClausesGiveTheLiteralFormulasBits) {
  for (unsigned seed = 1; seed <= 300; ++seed)
    compareSweeps(randomFormula(seed, {5, zsat::kExactClauseSize}), seed, false);
}

// What a sweep keeps from one sweep to the next (per-clause tallies,
// cached prefix products, fixed variables whose messages are in place)
// must follow every change between sweeps: decimation-like fixing, a fixed
// value flipped or released, messages drawn anew.
TEST(BpSweep, KeptStateFollowsFixingFlippingAndRestarts) {
  for (unsigned seed = 1; seed <= 150; ++seed) {
    const std::string text = randomFormula(seed, {5, zsat::kExactClauseSize});
    const std::string path = writeTemp(text);
    Pair p(path, seed);
    startBp(p);
    std::mt19937 g(seed);
    for (int sweep = 0; sweep < 40; ++sweep) {
      if (sweep == 20) {
        p.a.bp_init_random();
        p.b.bp_init_random();
      }
      if (sweep % 3 == 2) {
        for (std::size_t v = 0; v < p.a.var_recs.size(); ++v) {
          int& fixedA = p.a.var_recs[v].fixed_value;
          const unsigned r = g() % 10;
          // Mostly fix more, as decimation does; sometimes flip or release.
          if (fixedA == 0 && r < 2) fixedA = g() % 2 ? 1 : -1;
          else if (fixedA != 0 && r == 0) fixedA = -fixedA;
          else if (fixedA != 0 && r == 1) fixedA = 0;
          p.b.var_recs[v].fixed_value = fixedA;
        }
      }
      const double da = p.a.bp_iterate(), db = literalBpSweep(p.b);
      ASSERT_TRUE(sameBp(p.a, p.b, false)) << "sweep " << sweep << "\n" << text;
      ASSERT_EQ(bitsOf(da), bitsOf(db)) << "sweep " << sweep;
    }
    std::remove(path.c_str());
  }
}

// Without the per-edge messages kept, a visit holds them in its own
// buffers: the sweeps, their largest changes and the ranking keep their
// bits, over every clause-size regime and with fixed variables.
TEST(BpSweep, SweepsWithoutKeptEdgeMessagesKeepTheirBits) {
  for (unsigned seed = 1; seed <= 100; ++seed)
    for (const Shape shape : {Shape{5, zsat::kExactClauseSize}, Shape{zsat::kExactClauseSize + 1, 200}}) {
      const std::string text = randomFormula(seed, shape);
      const std::string path = writeTemp(text);
      Pair p(path, seed);
      p.a.keep_edge_messages = false;
      startBp(p);
      ASSERT_TRUE(p.a.pi.empty() && p.a.u.empty() && p.a.WT_cav.empty() && p.a.WF_cav.empty());
      for (int sweep = 0; sweep < 12; ++sweep) {
        if (sweep == 6) fixSome(p, seed);
        const double da = p.a.bp_iterate(), db = p.b.bp_iterate();
        ASSERT_EQ(bitsOf(da), bitsOf(db)) << "sweep " << sweep << "\n" << text;
        ASSERT_TRUE(same(p.a.eta, p.b.eta, false, "eta")) << "sweep " << sweep << "\n" << text;
        ASSERT_EQ(p.a.h, p.b.h) << "sweep " << sweep;
        ASSERT_TRUE(same(field(p.a, &vorn::formula_var::WT), field(p.b, &vorn::formula_var::WT), false, "WT"));
        ASSERT_TRUE(same(field(p.a, &vorn::formula_var::WF), field(p.b, &vorn::formula_var::WF), false, "WF"));
      }
      for (std::size_t v = 0; v < p.a.var_recs.size(); ++v) p.a.var_recs[v].fixed_value = p.b.var_recs[v].fixed_value = 0;
      p.a.des_allmag(p.a.N);
      p.b.des_allmag(p.b.N);
      EXPECT_EQ(p.a.des_vars, p.b.des_vars) << text;
      EXPECT_EQ(p.a.des_vals, p.b.des_vals) << text;
      std::remove(path.c_str());
    }
}

TEST(BpSweep, LongClausesFollowTheLiteralFormula) {
  for (unsigned seed = 1; seed <= 60; ++seed)
    compareSweeps(randomFormula(seed, {zsat::kExactClauseSize + 1, 400}), seed, true);
}

TEST(BpSweep, RunningProductAgainstMultiplication) {
  std::mt19937 g(7);
  for (int round = 0; round < 200; ++round) {
    // Factors with exact 0s, 1s and NaNs among them, some of them twice.
    std::vector<double> f(1 + g() % 400);
    for (double& x : f) {
      const unsigned kind = g() % 20;
      x = kind == 0 ? 0.0 : kind == 1 ? 1.0 : kind == 2 && round % 4 == 0 ? std::nan("") : (g() % 1000000 + 1) / 1e6;
    }
    RunningProduct p;
    for (double x : f) p.include(x, 1);
    // Swap factors out and in again, as a sweep does.
    for (int k = 0; k < 300; ++k) {
      const std::size_t i = g() % f.size();
      p.exclude(f[i], 1);
      f[i] = (g() % 1000000) / 1e6;
      p.include(f[i], 1);
    }
    const std::size_t skip = g() % f.size();
    int64_t copies = 0;
    double expected = 1.0;
    for (double x : f) {
      if (x == f[skip] || (std::isnan(x) && std::isnan(f[skip])))
        ++copies;
      else
        expected *= x;
    }
    const double got = p.without(f[skip], copies);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(got)) << round;
    } else if (expected == 0.0 || expected == 1.0) {
      EXPECT_EQ(got, expected) << round;
    } else {
      EXPECT_NEAR(got / expected, 1.0, 1e-12) << round;
    }
  }
  // Far below the smallest double and back: 10^6 halves, all but three
  // taken out again, leave exactly an eighth.
  RunningProduct p;
  p.include(0.5, 1000000);
  EXPECT_EQ(p.without(0.5, 999997), 0.125);
  EXPECT_EQ(p.without(0.5, 1000000), 1.0);
  p.exclude(0.5, 999999);
  EXPECT_EQ(p.without(0.25, 0), 0.5);
}

// The default heuristic's run on 10^6 literals in one clause or in one
// variable's occurrences: it must finish (linear per sweep), and rank as
// the same clause at plain-loop length does.
TEST(BpSweep, ClausesOfAMillionLiteralsAreRanked) {
  auto rank = [](const std::string& text) {
    const std::string path = writeTemp(text);
    XTQRANDOMv3 rng(1024);
    zsat bp(&rng, 0);
    testing::internal::CaptureStdout();
    bp.formula_read_qbf_file(path);
    bp.bp_init_structure();
    bp.bp_init_random();
    bp.bp_converge(0.01, 200, 0);
    bp.des_allmag(bp.N);
    testing::internal::GetCapturedStdout();
    std::remove(path.c_str());
    std::string ranking;
    for (std::size_t i = 0; i < bp.des_vars.size(); ++i)
      ranking += (bp.des_vals[i] == 1 ? "+" : "-") + std::to_string(bp.des_vars[i] + 1) + " ";
    return ranking;
  };
  // Variable 1 repeated, then -2: variable 1 satisfies it.
  auto repeats = [](int length) {
    std::string clause;
    for (int i = 0; i < length - 1; ++i) clause += "1 ";
    return "p cnf 2 1\ne 1 2 0\n" + clause + "-2 0\n";
  };
  const std::string plain = rank(repeats(zsat::kExactClauseSize));
  EXPECT_EQ(plain, "+1 -2 ");
  EXPECT_EQ(rank(repeats(zsat::kExactClauseSize + 1)), plain);
  EXPECT_EQ(rank(repeats(1000000)), plain);

  // A variable in 10^6 unit clauses: each left-out product holds the other
  // units' zero factors.
  std::string units = "p cnf 1 1000000\n";
  for (int i = 0; i < 1000000; ++i) units += "-1 0\n";
  EXPECT_EQ(rank(units), "-1 ");

  // 1000 variables, each 1000 times, interleaved, and the unit -7: only
  // variable 7 is pulled off the tie.
  std::string text = "p cnf 1000 2\n";
  for (int round = 0; round < 1000; ++round)
    for (int v = 1; v <= 1000; ++v) text += std::to_string(v % 2 ? v : -v) + " ";
  text += "0\n-7 0\n";
  std::string expected = "-7 ";
  for (int v = 1; v <= 1000; ++v)
    if (v != 7) expected += "-" + std::to_string(v) + " ";
  EXPECT_EQ(rank(text), expected);
}
