#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "bp/BpFormula.h"
#include "input/QdimacsItems.h"
#include "support/FatalCheck.h"

using vorn::XTQRANDOMv3;
using vorn::zsat;

namespace {

std::string tempName() {
  char name[] = "/tmp/vorn_spXXXXXX";
  close(mkstemp(name));
  return name;
}

std::string writeTemp(const std::string& text) {
  std::string name = tempName();
  std::ofstream(name, std::ios::binary) << text;
  return name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void readQuietly(zsat& f, const std::string& path) {
  testing::internal::CaptureStdout();
  f.formula_read_qbf_file(path);
  testing::internal::GetCapturedStdout();
}

// Runs a generator on a fresh store; returns what it printed and the
// formula it wrote.
struct Generated {
  int result;
  std::string printed;
  std::string text;
};
template <class Call>
Generated generate(long seed, Call call) {
  XTQRANDOMv3 rng(seed);
  zsat f(&rng, 0);
  Generated g;
  testing::internal::CaptureStdout();
  g.result = call(f);
  g.printed = testing::internal::GetCapturedStdout();
  if (g.result >= 0) {
    std::string path = tempName();
    testing::internal::CaptureStdout();
    f.formula_write_qformula(path.c_str());
    testing::internal::GetCapturedStdout();
    g.text = slurp(path);
    std::remove(path.c_str());
  }
  return g;
}

// Strict QDIMACS check through the shared item grammar: one header first,
// no empty or repeated quantifier entries, everything within the header.
struct StrictCheck {
  int32_t vars = -1, clauses = -1;
  long clausesSeen = 0;
  bool inClause = false, sawClause = false, ok = true;
  std::set<int32_t> quantified;
  std::vector<int32_t> block;
  std::vector<std::vector<int32_t>> clauseList;
  bool header(int32_t v, int32_t c) {
    ok &= clausesSeen == 0 && quantified.empty();
    vars = v;
    clauses = c;
    return true;
  }
  void quantifierBegin(bool) {
    ok &= !sawClause;
    block.clear();
  }
  void quantifierEntry(int32_t v) {
    ok &= v >= 1 && v <= vars && quantified.insert(v).second;
    block.push_back(v);
  }
  void quantifierEnd() { ok &= !block.empty(); }
  void clauseBegin() {
    sawClause = true;
    clauseList.emplace_back();
  }
  void clauseLiteral(int32_t l) {
    ok &= l != 0 && std::abs(l) <= vars;
    clauseList.back().push_back(l);
  }
  bool clauseEnd() {
    ++clausesSeen;
    return true;
  }
  bool wantsPreferenceLines() const { return false; }
  void preferenceLine(const std::vector<int32_t>&) {}
};

StrictCheck strictRead(const std::string& text) {
  std::string path = writeTemp(text);
  vorn::Scanner in(path);
  StrictCheck check;
  vorn::InputError error;
  EXPECT_EQ(vorn::scanQdimacs(in, check, error), vorn::ScanEnd::Complete) << error.what;
  std::remove(path.c_str());
  EXPECT_EQ(check.clausesSeen, check.clauses);
  return check;
}

}  // namespace

TEST(Survey, SurveysOfSatisfiedAndViolatingMembers) {
  // (x1 or x2) with x2 fixed TRUE sends x1 the survey 0; (-x1 or x3) with
  // x3 fixed FALSE sends 1, so x1 is forced FALSE whatever the order.
  const std::string path = writeTemp("p cnf 3 2\n1 2 0\n-1 3 0\n");
  for (long seed : {1L, 2L, 3L}) {
    XTQRANDOMv3 rng(seed);
    zsat f(&rng, 0);
    readQuietly(f, path);
    f.sp_init_structure();
    f.sp_init_random();
    f.sp_vars[1].sp_fixed = 1;
    f.sp_vars[2].sp_fixed = -1;
    f.sp_iterate();
    const int e0 = f.var_recs[0].occ_begin, e1 = e0 + 1;
    EXPECT_EQ(f.sp_eta[e0], 0.0);
    EXPECT_EQ(f.sp_eta[e1], 1.0);
    EXPECT_EQ(f.sp_vars[0].Wm, 1.0);
    EXPECT_EQ(f.sp_vars[0].Wp, 0.0);
    EXPECT_EQ(f.sp_T[e0], 0.0);
    EXPECT_EQ(f.sp_F[e0], 1.0);
    // The forcing clause's own cavity leaves it out: nothing forces then.
    EXPECT_EQ(f.sp_cav0[e1], 1.0);
    EXPECT_EQ(f.sp_F[e1], 0.0);
    EXPECT_EQ(f.sp_get_complexity(), 0.0);
    EXPECT_EQ(f.sp_des_allmag(2), -1);  // only x1 is free
    EXPECT_EQ(f.des_vars, std::vector<int>{0});
    EXPECT_EQ(f.des_vals, std::vector<int>{-1});
    EXPECT_EQ(f.sp_vars[0].sp_fixed, -1);
  }
  std::remove(path.c_str());
}

TEST(Survey, ConvergenceLinesAndEmptyFormula) {
  const std::string path = writeTemp("p cnf 3 2\n1 2 0\n-1 3 0\n");
  XTQRANDOMv3 rng(4);
  zsat f(&rng, 1);
  readQuietly(f, path);
  f.sp_init_structure();
  f.sp_init_random();
  testing::internal::CaptureStdout();
  EXPECT_EQ(f.sp_converge(0.01, 1, 0), -1);
  EXPECT_EQ(f.sp_converge(1e-9, 500, 0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 12), "sp:  :(-\nsp:");
  std::remove(path.c_str());

  const std::string empty = writeTemp("p cnf 0 0\n");
  zsat z(&rng, 0);
  readQuietly(z, empty);
  z.sp_init_structure();
  EXPECT_EQ(z.sp_iterate(), 0.0);
  EXPECT_EQ(z.sp_get_complexity(), 0.0);
  EXPECT_EQ(z.sp_des_allmag(1), -1);
  std::remove(empty.c_str());
}

TEST(Survey, DivergenceIsFatal) {
  // Both polarities forced twice: every cavity weight is 0/0.
  const std::string path = writeTemp("p cnf 1 4\n1 0\n1 0\n-1 0\n-1 0\n");
  XTQRANDOMv3 rng(1);
  zsat f(&rng, 0);
  readQuietly(f, path);
  f.sp_init_structure();
  f.sp_init_random();
  ::test::expectFatal(::test::fatalOf([&] { f.sp_iterate(); }), 255, "divergence in sp_iterate()!!!\n",
                    "^survey propagation: the survey of variable 1 is not a number\n$");
  std::remove(path.c_str());
}

// The three decimations against their literal scans.
TEST(Survey, DecimationOrders) {
  std::mt19937_64 g(5);
  const double pool[] = {0.0, 0.25, 0.5, 0.75, 1.0, std::numeric_limits<double>::quiet_NaN()};
  XTQRANDOMv3 rng(1);
  for (int round = 0; round < 500; ++round) {
    const int n = 1 + static_cast<int>(g() % 25);
    zsat f(&rng, 0);
    f.N = n;
    f.M = 0;
    f.formula_init_structures();
    f.formula_vector2array();
    f.sp_init_structure();
    for (int v = 0; v < n; ++v) {
      f.sp_vars[v].Wp = pool[g() % 6];
      f.sp_vars[v].Wm = pool[g() % 5];
      if (g() % 10 == 0) f.sp_vars[v].sp_fixed = 1;
      f.vtypes[v] = static_cast<int>(g() % 2);
    }
    const int mode = round % 3;
    const int picks = static_cast<int>(g() % (n + 2));
    // Literal: picks full scans, strict minimum of the key.
    std::vector<vorn::sp_var> recs = f.sp_vars;
    std::vector<int> wantVars, wantVals;
    int wantResult = 1;
    for (int k = 0; k < picks; ++k) {
      double best = 100.0;
      int pick = -1;
      for (int v = 0; v < n; ++v) {
        if (recs[v].sp_fixed != 0) continue;
        double key = mode == 1 ? 1 - recs[v].Wp * recs[v].Wm : 1 - std::max(recs[v].Wp, recs[v].Wm);
        if (key < best) {
          best = key;
          pick = v;
        }
      }
      if (pick < 0) {
        wantResult = -1;
        break;
      }
      int s = recs[pick].Wp > recs[pick].Wm ? 1 : -1;
      recs[pick].sp_fixed = mode == 2 ? -1 : s;
      wantVars.push_back(pick);
      wantVals.push_back(mode == 2 ? -s : (f.vtypes[pick] == 1 ? s : -s));
    }
    int got = mode == 0 ? f.sp_des_allmag(picks) : mode == 1 ? f.sp_des_allmag_balance(picks) : f.sp_des_allmag_inverse(picks);
    ASSERT_EQ(f.des_vars, wantVars) << round;
    ASSERT_EQ(f.des_vals, wantVals) << round;
    ASSERT_EQ(got, wantResult) << round;
    for (int v = 0; v < n; ++v) ASSERT_EQ(f.sp_vars[v].sp_fixed, recs[v].sp_fixed) << round;
  }
}

TEST(Generators, FixedSeedSameFormulaAndWellFormed) {
  const struct {
    const char* name;
    int (zsat::*gen)(int, int, int);
    int nn, nm, m;
    int length;      // literals per clause
    int universals;  // universal positions
  } kinds[] = {
      {"12", &zsat::formula_gen_ran_12qsat, 6, 3, 20, 3, 1},   {"13", &zsat::formula_gen_ran_13qsat, 6, 3, 20, 4, 1},
      {"22", &zsat::formula_gen_ran_22qsat, 6, 3, 20, 4, 2},   {"23", &zsat::formula_gen_ran_23qsat, 6, 3, 20, 5, 2},
      {"121", &zsat::formula_gen_ran_121qsat, 6, 99, 20, 3, 1}, {"12 no universal", &zsat::formula_gen_ran_12qsat, 6, 0, 20, 2, 0},
  };
  for (const auto& k : kinds) {
    auto call = [&](zsat& f) { return (f.*k.gen)(k.nn, k.nm, k.m); };
    Generated a = generate(31, call), b = generate(31, call), c = generate(32, call);
    ASSERT_EQ(a.result, 1) << k.name;
    EXPECT_EQ(a.text, b.text) << k.name;
    EXPECT_EQ(a.printed, b.printed) << k.name;
    EXPECT_NE(a.text, c.text) << k.name;

    const int nm = k.gen == &zsat::formula_gen_ran_121qsat ? k.m : k.nm;
    StrictCheck q = strictRead(a.text);
    EXPECT_TRUE(q.ok) << k.name << "\n" << a.text;
    EXPECT_EQ(q.vars, k.nn + nm) << k.name;
    ASSERT_EQ(q.clauseList.size(), static_cast<std::size_t>(k.m)) << k.name;
    for (std::size_t ci = 0; ci < q.clauseList.size(); ++ci) {
      const std::vector<int32_t>& cl = q.clauseList[ci];
      ASSERT_EQ(cl.size(), static_cast<std::size_t>(k.length)) << k.name;
      std::set<int32_t> exist;
      for (int p = 0; p < k.length; ++p) {
        int32_t v = std::abs(cl[p]);
        if (p < k.universals) {
          EXPECT_LE(v, nm) << k.name;
          if (k.gen == &zsat::formula_gen_ran_121qsat) {
            EXPECT_EQ(v, static_cast<int32_t>(ci) + 1);
          }
        } else {
          EXPECT_GT(v, nm) << k.name;
          EXPECT_TRUE(exist.insert(v).second) << k.name;  // distinct existentials
        }
      }
      if (k.universals == 2) {
        EXPECT_NE(std::abs(cl[0]), std::abs(cl[1])) << k.name;
      }
    }
    // The store reads its own output back unchanged.
    std::string path = writeTemp(a.text);
    XTQRANDOMv3 rng(1);
    zsat back(&rng, 0);
    readQuietly(back, path);
    std::string again = tempName();
    testing::internal::CaptureStdout();
    back.formula_write_qformula(again.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(slurp(again), a.text) << k.name;
    std::remove(path.c_str());
    std::remove(again.c_str());
  }

  Generated k3 = generate(8, [](zsat& f) { return f.formula_gen_ran_K3(7, 15, 3); });
  EXPECT_EQ(k3.result, 0);
  EXPECT_EQ(k3.printed, "N=7 M=15 K=3\n");
  EXPECT_EQ(k3.text, generate(8, [](zsat& f) { return f.formula_gen_ran_K3(7, 15, 3); }).text);
  StrictCheck q = strictRead(k3.text);
  EXPECT_TRUE(q.ok);
  for (const auto& cl : q.clauseList) {
    ASSERT_EQ(cl.size(), 3u);
    EXPECT_EQ(std::set<int32_t>({std::abs(cl[0]), std::abs(cl[1]), std::abs(cl[2])}).size(), 3u);
  }
}

TEST(Generators, NoUniversalKeepsTheRandomSequence) {
  // Without universals the universal position's sign is still drawn, so the
  // existential part equals the one with a single universal.
  Generated none = generate(5, [](zsat& f) { return f.formula_gen_ran_12qsat(5, 0, 12); });
  Generated one = generate(5, [](zsat& f) { return f.formula_gen_ran_12qsat(5, 1, 12); });
  StrictCheck a = strictRead(none.text), b = strictRead(one.text);
  ASSERT_EQ(a.clauseList.size(), b.clauseList.size());
  for (std::size_t c = 0; c < a.clauseList.size(); ++c) {
    ASSERT_EQ(b.clauseList[c].size(), 3u);
    std::vector<int32_t> shifted;
    for (int p = 1; p < 3; ++p) shifted.push_back(b.clauseList[c][p] > 0 ? b.clauseList[c][p] - 1 : b.clauseList[c][p] + 1);
    EXPECT_EQ(a.clauseList[c], shifted);
  }
}

TEST(Generators, MessagesDispatchAndRefusals) {
  Generated g22 = generate(1, [](zsat& f) { return f.formula_gen_ran_22qsat(5, 3, 4); });
  EXPECT_EQ(g22.printed, "generating (2,2)(3,5) qsat fromula\nNn=5 Nm=3 M=4\n");
  Generated g13 = generate(1, [](zsat& f) { return f.formula_gen_ran_13qsat(4, 2, 1); });
  EXPECT_EQ(g13.printed, "generating (1,3)QSAT\nNn=4 Nm=2 M=1\n");

  // Dispatch passes (b, a, c); 23 is not dispatched.
  EXPECT_EQ(generate(9, [](zsat& f) { return f.formula_gen_ran_formula(-12, 2, 5, 7, 0, 0, 0); }).text,
            generate(9, [](zsat& f) { return f.formula_gen_ran_12qsat(5, 2, 7); }).text);
  EXPECT_EQ(generate(9, [](zsat& f) { return f.formula_gen_ran_formula(121, 0, 4, 3, 0, 0, 0); }).text,
            generate(9, [](zsat& f) { return f.formula_gen_ran_121qsat(4, 0, 3); }).text);
  EXPECT_EQ(generate(9, [](zsat& f) { return f.formula_gen_ran_formula(23, 3, 5, 7, 0, 0, 0); }).result, -1);

  // Requests that cannot be drawn are refused before anything changes.
  const struct {
    const char* what;
    int (*call)(zsat&);
  } refused[] = {
      {"K3 k > n", [](zsat& f) { return f.formula_gen_ran_K3(3, 5, 4); }},
      {"K3 negative", [](zsat& f) { return f.formula_gen_ran_K3(3, -1, 2); }},
      {"12 one existential", [](zsat& f) { return f.formula_gen_ran_12qsat(1, 4, 5); }},
      {"13 two existentials", [](zsat& f) { return f.formula_gen_ran_13qsat(2, 4, 5); }},
      {"22 one universal", [](zsat& f) { return f.formula_gen_ran_22qsat(5, 1, 5); }},
      {"23 no universal", [](zsat& f) { return f.formula_gen_ran_23qsat(5, 0, 5); }},
      {"121 one existential", [](zsat& f) { return f.formula_gen_ran_121qsat(1, 0, 5); }},
      {"dispatch refused", [](zsat& f) { return f.formula_gen_ran_formula(13, 1, 2, 5, 0, 0, 0); }},
  };
  for (const auto& r : refused) {
    XTQRANDOMv3 rng(1), fresh(1);
    zsat f(&rng, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(r.call(f), -1) << r.what;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << r.what;
    EXPECT_EQ(f.N, 10000) << r.what;
    EXPECT_TRUE(f.var_recs.empty()) << r.what;
    EXPECT_EQ(rng.rdflt(), fresh.rdflt()) << r.what;  // nothing drawn
  }
}
