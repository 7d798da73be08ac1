// Sweeps on clause cells against sweeps on the store: the same messages in
// the same order, so every marginal, warning field, largest change and the
// ranking keep their bits; formulas that do not fit keep the store.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bp/BpFormula.h"
#include "support/Process.h"

using vorn::XTQRANDOMv3;
using vorn::zsat;

namespace {

uint64_t bitsOf(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// Clauses of up to three distinct variables, with what the sweeps treat
// specially: units on one variable of both signs (zero and NaN factors),
// empty clauses, variables in no clause. misfit adds one clause that cells
// cannot hold (four members, or a variable twice).
std::string cellFormula(unsigned seed, int misfit) {
  std::mt19937 g(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); };
  const int n = pick(4, 30);
  std::string text;
  int m = 0;
  auto clause = [&](std::vector<int> lits) {
    for (int lit : lits) text += std::to_string(lit) + " ";
    text += "0\n";
    ++m;
  };
  auto lit = [&](int v) { return pick(0, 1) ? v : -v; };
  for (int c = pick(1, 50); c > 0; --c) {
    std::vector<int> vars;
    for (int size = pick(1, 3); static_cast<int>(vars.size()) < size;) {
      const int v = pick(1, n);
      bool fresh = true;
      for (int w : vars) fresh &= w != v;
      if (fresh) vars.push_back(v);
    }
    std::vector<int> lits;
    for (int v : vars) lits.push_back(lit(v));
    clause(lits);
  }
  for (int k = pick(0, 3); k > 0; --k) {
    const int unit = lit(pick(1, n));
    for (int copies = pick(1, 4); copies > 0; --copies) clause({unit});
    if (pick(0, 2) == 0) clause({-unit});
  }
  if (pick(0, 5) == 0) clause({});
  if (misfit == 1) clause({1, 2, 3, -4});
  if (misfit == 2) clause({lit(2), lit(2)});
  std::string prefix = "p cnf " + std::to_string(n) + " " + std::to_string(m) + "\n";
  if (pick(0, 3) != 0) prefix += "a 1 2 0\ne " + std::to_string(n) + " 3 0\n";
  return prefix + text;
}

struct Road {
  XTQRANDOMv3 rng;
  zsat bp;
  Road(long seed) : rng(seed), bp(&rng, 0) {}
};

// cells: the flags before reading (cells made by the reader) or after
// (made at bp_init_structure).
enum class Flags { kBeforeReading, kAfterReading };

void read(Road& r, const std::string& path, bool cells, Flags when) {
  r.bp.keep_edge_messages = false;
  if (when == Flags::kBeforeReading) r.bp.release_literals = cells;
  testing::internal::CaptureStdout();
  r.bp.formula_read_qbf_file(path);
  testing::internal::GetCapturedStdout();
  if (when == Flags::kAfterReading) r.bp.release_literals = cells;
  r.bp.bp_init_structure();
}

// Both roads sweep alike, with variables fixed, flipped and released
// between sweeps as decimation would, and rank alike.
void compareRoads(const std::string& text, unsigned seed, bool fits, Flags when) {
  const vorn::test::TempDir dir;
  const std::string path = dir.write("formula.qdimacs", text);
  Road a(seed), b(seed);
  read(a, path, true, when);
  read(b, path, false, when);
  ASSERT_EQ(a.bp.cells_in_use(), fits) << text;
  ASSERT_FALSE(b.bp.cells_in_use());
  if (fits) {
    EXPECT_TRUE(a.bp.members.empty() && a.bp.eta.empty() && a.bp.h.empty());
  }
  std::mt19937 g(seed);
  for (int sweep = 0; sweep < 14; ++sweep) {
    if (sweep == 0 || sweep == 10) {
      a.bp.bp_init_random();
      b.bp.bp_init_random();
    }
    if (sweep % 4 == 3)
      for (std::size_t v = 0; v < a.bp.var_recs.size(); ++v) {
        int& fixedA = a.bp.var_recs[v].fixed_value;
        const unsigned r = g() % 8;
        if (fixedA == 0 && r < 2)
          fixedA = g() % 2 ? 1 : -1;
        else if (fixedA != 0 && r == 0)
          fixedA = -fixedA;
        else if (fixedA != 0 && r == 1)
          fixedA = 0;
        b.bp.var_recs[v].fixed_value = fixedA;
      }
    const double da = a.bp.bp_iterate(), db = b.bp.bp_iterate();
    ASSERT_EQ(bitsOf(da), bitsOf(db)) << "sweep " << sweep << "\n" << text;
    ASSERT_EQ(a.bp.perm, b.bp.perm);
    for (std::size_t v = 0; v < a.bp.var_recs.size(); ++v) {
      const vorn::formula_var &x = a.bp.var_recs[v], &y = b.bp.var_recs[v];
      ASSERT_EQ(bitsOf(x.WT), bitsOf(y.WT)) << "WT of " << v << ", sweep " << sweep << "\n" << text;
      ASSERT_EQ(bitsOf(x.WF), bitsOf(y.WF)) << "WF of " << v << ", sweep " << sweep << "\n" << text;
      ASSERT_EQ(x.H, y.H) << "H of " << v << ", sweep " << sweep << "\n" << text;
    }
  }
  for (std::size_t v = 0; v < a.bp.var_recs.size(); ++v) a.bp.var_recs[v].fixed_value = b.bp.var_recs[v].fixed_value = 0;
  a.bp.bp_release_messages();
  a.bp.des_allmag(a.bp.N);
  b.bp.des_allmag(b.bp.N);
  EXPECT_EQ(a.bp.des_vars, b.bp.des_vars) << text;
  EXPECT_EQ(a.bp.des_vals, b.bp.des_vals) << text;
}

}  // namespace

TEST(BpCells, RandomFormulasSweepAndRankAsOnTheStore) {
  for (unsigned seed = 1; seed <= 120; ++seed)
    for (Flags when : {Flags::kBeforeReading, Flags::kAfterReading})
      for (int misfit : {0, 1, 2}) compareRoads(cellFormula(seed, misfit), seed, misfit == 0, when);
}

TEST(BpCells, SmallFormulasAtTheEdges) {
  struct Case {
    const char* name;
    const char* text;
    bool fits;
  };
  const Case cases[] = {
      {"unit clauses only", "p cnf 3 3\ne 1 2 3 0\n1 0\n-2 0\n3 0\n", true},
      {"contradicting units", "p cnf 2 4\ne 1 2 0\n1 0\n-1 0\n1 0\n1 2 0\n", true},
      {"no clause", "p cnf 3 0\ne 1 2 3 0\n", true},
      {"an empty clause", "p cnf 2 2\n1 -2 0\n0\n", true},
      {"no variable", "p cnf 0 0\n", true},
      {"a tautology", "p cnf 2 1\n1 -1 2 0\n", false},
      {"a clause of four", "p cnf 4 2\n1 2 3 4 0\n-1 0\n", false},
  };
  for (const Case& c : cases)
    for (Flags when : {Flags::kBeforeReading, Flags::kAfterReading}) {
      SCOPED_TRACE(c.name);
      compareRoads(c.text, 5, c.fits, when);
    }
}
