#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "bp/BpFormula.h"
#include "support/FatalCheck.h"

using vorn::XTQRANDOMv3;
using vorn::zsat;

namespace {

std::string writeTemp(const std::string& text, bool gzip = false) {
  char name[] = "/tmp/vorn_bpstoreXXXXXX";
  int fd = mkstemp(name);
  close(fd);
  if (gzip) {
    gzFile g = gzopen(name, "wb");
    gzwrite(g, text.data(), static_cast<unsigned>(text.size()));
    gzclose(g);
  } else {
    FILE* f = fopen(name, "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  return name;
}

// "N3 M2 | e0,1 a2 | 1 -3 0 / 2 3 0 | vt 1,1,0" and the store invariants.
std::string summary(const zsat& f) {
  std::string s = "N" + std::to_string(f.N) + " M" + std::to_string(f.M) + " |";
  for (std::size_t b = 0; b < f.prefix_blocks.size(); ++b) {
    s += f.block_types[b] == 1 ? " e" : " a";
    for (std::size_t i = 0; i < f.prefix_blocks[b].size(); ++i)
      s += (i ? "," : "") + std::to_string(f.prefix_blocks[b][i]);
  }
  s += " |";
  for (int c = 0; c < f.M; ++c) {
    const vorn::formula_clause& r = f.clause_recs[c];
    s += c ? " /" : "";
    for (int k = 0; k < r.size; ++k) s += " " + std::to_string((f.members[r.begin + k] + 1) * f.member_sign[r.begin + k]);
    s += " 0";
  }
  s += " | vt ";
  for (int v = 0; v < f.N; ++v) s += (v ? "," : "") + std::to_string(f.vtypes[v]);

  // Every member points at its variable's first occurrence in the clause.
  for (int c = 0; c < f.M; ++c) {
    const vorn::formula_clause& r = f.clause_recs[c];
    for (int k = 0; k < r.size; ++k) {
      int v = f.members[r.begin + k];
      const vorn::formula_var& rv = f.var_recs[v];
      int e = rv.occ_begin + f.member_pos(c, k);
      EXPECT_EQ(f.occ_clause[e], c);
      for (int o = rv.occ_begin; o < e; ++o) EXPECT_NE(f.occ_clause[o], c);
    }
  }
  // Entry lists agree with the blocks and the types.
  int nn = 0, nm = 0;
  for (std::size_t b = 0; b < f.prefix_blocks.size(); ++b)
    for (int v : f.prefix_blocks[b]) {
      EXPECT_EQ(f.vtypes[v], f.block_types[b]);
      (f.block_types[b] ? nn : nm) += 1;
    }
  if (!f.prefix_blocks.empty()) {
    EXPECT_EQ(f.Nn, nn);
    EXPECT_EQ(f.Nm, nm);
  }
  EXPECT_EQ(f.exist_vals.size(), static_cast<std::size_t>(f.Nn));
  EXPECT_EQ(f.univ_vals.size(), static_cast<std::size_t>(f.Nm));
  return s;
}

std::string readSummary(const std::string& text, bool gzip = false, std::string* out = nullptr) {
  std::string path = writeTemp(text, gzip);
  XTQRANDOMv3 rng(1);
  zsat f(&rng, 0);
  testing::internal::CaptureStdout();
  f.formula_read_qbf_file(path);
  std::string printed = testing::internal::GetCapturedStdout();
  if (out) *out = printed;
  std::remove(path.c_str());
  return summary(f);
}

}  // namespace

TEST(BpStore, ReaderTable) {
  const struct {
    const char* input;
    const char* store;
  } cases[] = {
      {"p cnf 3 2\ne 1 2 0\na 3 0\n1 -3 0\n2 3 0\n", "N3 M2 | e0,1 a2 | 1 -3 0 / 2 3 0 | vt 1,1,0"},
      // Any white space separates; blank lines, CRLF, a clause over two lines.
      {"c x\r\np cnf\t3 2\r\n\n\te 1\t2 0\r\na 3 0\n1\n-3 0 2 3\n0", "N3 M2 | e0,1 a2 | 1 -3 0 / 2 3 0 | vt 1,1,0"},
      // Every quantifier line is a block; an empty one is an empty block.
      {"p cnf 3 1\ne 1 0\ne 2 0\na 0\na 3 0\n1 2 3 0\n", "N3 M1 | e0 e1 a a2 | 1 2 3 0 | vt 1,1,0"},
      // A variable keeps its first place; entries without a record are dropped.
      {"p cnf 3 1\ne 1 2 2 0\na 2 3 9 0\n1 2 3 0\n", "N3 M1 | e0,1 a2 | 1 2 3 0 | vt 1,1,0"},
      // Variables in no quantifier line are existential.
      {"p cnf 4 1\na 2 0\n1 2 3 4 0\n", "N4 M1 | a1 | 1 2 3 4 0 | vt 1,0,1,1"},
      // Records go up to the largest variable a clause or a prefix entry
      // within the header's count mentions, not to the header's count.
      {"p cnf 4 1\na 2 0\n1 2 3 0\n", "N3 M1 | a1 | 1 2 3 0 | vt 1,0,1"},
      {"p cnf 500000000 1\n1 0\n", "N1 M1 | | 1 0 | vt 1"},
      {"p cnf 2147483647 2\n1 -2 0\n2 0\n", "N2 M2 | | 1 -2 0 / 2 0 | vt 1,1"},
      {"p cnf 9 1\ne 1 7 0\n-1 0\n", "N7 M1 | e0,6 | -1 0 | vt 1,1,1,1,1,1,1"},
      {"p cnf 3 1\ne 1 3 9 0\n1 0\n", "N3 M1 | e0,2 | 1 0 | vt 1,1,1"},
      {"p cnf 147483647 5", "N0 M0 | | | vt "},
      // Clause lines before the header count toward M and are kept.
      {"1 2 0\np cnf 2 2\n-1 0\n-2 0\n", "N2 M2 | | 1 2 0 / -1 0 | vt 1,1"},
      {"1 0\n2 0\n-1 0\np cnf 2 2\ne 1 2 0\n-2 0\n", "N2 M2 | e0,1 | 1 0 / 2 0 | vt 1,1"},
      // The header's count ends the reading (variable 2 is never read);
      // fewer clauses leave M at what was read.
      {"p cnf 2 1\n1 0\n2 0\nnot read\n", "N1 M1 | | 1 0 | vt 1"},
      {"p cnf 2 5\ne 1 2 0\n1 0\n", "N2 M1 | e0,1 | 1 0 | vt 1,1"},
      // Empty clause; repeated variable; tautology keeps both signs.
      {"p cnf 2 3\n0\n1 1 -2 0\n2 -2 0\n", "N2 M3 | | 0 / 1 1 -2 0 / 2 -2 0 | vt 1,1"},
      {"p cnf 0 0\n", "N0 M0 | | | vt "},
      {"p cnf 3 0\ne 1 2 3 0\n", "N3 M0 | e0,1,2 | | vt 1,1,1"},
  };
  for (const auto& c : cases) EXPECT_EQ(readSummary(c.input), c.store) << c.input;
}

TEST(BpStore, SatFormulaAndGzip) {
  std::string printed;
  const char* text = "p cnf 3 2\n1 -2 0\n2 3 0\n";
  EXPECT_EQ(readSummary(text, false, &printed), "N3 M2 | | 1 -2 0 / 2 3 0 | vt 1,1,1");
  EXPECT_EQ(printed, "no existential variable found, it is a SAT formula\n");

  const char* qbf = "c gz\np cnf 3 2\ne 1 2 0\na 3 0\n1 -3 0\n2 3 0\n";
  EXPECT_EQ(readSummary(qbf, true), readSummary(qbf, false));

  std::string path = writeTemp(text);
  XTQRANDOMv3 rng(1);
  zsat f(&rng, 0);
  f.formula_read_qbf_file(path);
  std::remove(path.c_str());
  ASSERT_EQ(f.exist_vars, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(f.Nn, 3);
  EXPECT_EQ(f.Nm, 0);
  // Variable 2 occurs negatively in clause 0, positively in clause 1.
  const vorn::formula_var& v = f.var_recs[1];
  ASSERT_EQ(v.deg, 2);
  EXPECT_EQ(f.occ_clause[v.occ_begin], 0);
  EXPECT_EQ(f.occ_sign[v.occ_begin], -1);
  EXPECT_EQ(f.occ_clause[v.occ_begin + 1], 1);
  EXPECT_EQ(f.occ_sign[v.occ_begin + 1], 1);
}

TEST(BpStore, RejectedInput) {
  const struct {
    const char* input;
    int code;
    const char* stderrText;
  } cases[] = {
      {"p cnf 2 1\n1 3 0\n", 255, "Too many variables\\.\n.*:2: variable 3 is beyond the 2 variables"},
      {"1 -7 0\np cnf 2 1\n", 255, "Too many variables\\.\n.*:1: variable 7 is beyond"},
      {"p cnf 2 1\n1 x 0\n", 3, ":2: "},
      {"p cnf 2 1\n1 4294967296 0\n", 3, ":2: number does not fit 32 bits"},
      {"p qbf 2 1\n", 99, ":1: "},
      {"e 1 0\n1 0\n", 99, "no \"p cnf\" header"},
      // A record per file number up to 2^31 - 1 is refused, not attempted.
      {"p cnf 2147483647 2\n2147483647 1 2 0\n-2 1 0\n", 255,
       "^belief propagation: out of memory for 2147483647 variables and 2 clauses\n$"},
  };
  for (const auto& c : cases) {
    std::string path = writeTemp(c.input);
    XTQRANDOMv3 rng(1);
    zsat f(&rng, 0);
    SCOPED_TRACE(c.input);
    ::test::expectFatal(::test::fatalOf([&] { f.formula_read_qbf_file(path); }), c.code, "", c.stderrText);
    std::remove(path.c_str());
  }
  XTQRANDOMv3 rng(1);
  zsat f(&rng, 0);
  ::test::expectFatal(::test::fatalOf([&] { f.formula_read_qbf_file("/nonexistent/vorn.qdimacs"); }), 1,
                    "ERROR: file not found!\n", "^/nonexistent/vorn\\.qdimacs: cannot be opened\n$");
  ::test::expectFatal(::test::fatalOf([&] { f.formula_read_cnf_file("/nonexistent/vorn.cnf"); }), 255,
                    "can not open file /nonexistent/vorn.cnf\n", "^/nonexistent/vorn\\.cnf: cannot be opened\n$");
}

TEST(BpStore, CnfReaderAndWriters) {
  std::string path = writeTemp("c comment\np cnf 3 2\n1 -3 0\n2 3 0\n-1 0\n");
  XTQRANDOMv3 rng(1);
  zsat f(&rng, 0);
  f.formula_read_cnf_file(path.c_str());
  EXPECT_EQ(summary(f), "N3 M2 | | 1 -3 0 / 2 3 0 | vt 1,1,1");

  // A store written with its prefix reads back as the same store.
  std::string qbf = writeTemp("p cnf 4 3\na 4 0\ne 2 1 0\n1 -4 0\n2 4 -3 0\n-1 -2 0\n");
  zsat g(&rng, 0);
  g.formula_read_qbf_file(qbf);
  testing::internal::CaptureStdout();
  g.formula_write_qformula(path.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "writing into formula " + path + "...done\n");
  zsat back(&rng, 0);
  back.formula_read_qbf_file(path);
  EXPECT_EQ(summary(back), "N4 M3 | a3 e1,0 | 1 -4 0 / 2 4 -3 0 / -1 -2 0 | vt 1,1,1,0");

  g.formula_write_formula(path.c_str());
  FILE* in = fopen(path.c_str(), "rb");
  char buf[256] = {0};
  fread(buf, 1, sizeof buf - 1, in);
  fclose(in);
  EXPECT_STREQ(buf, "p cnf 4 3\n1 -4 0\n2 4 -3 0\n-1 -2 0\n");

  testing::internal::CaptureStdout();
  g.formula_write_formula("/nonexistent/dir/out.cnf");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "writing into formula /nonexistent/dir/out.cnf...can not open file /nonexistent/dir/out.cnf\n");
  std::remove(path.c_str());
  std::remove(qbf.c_str());
}

TEST(BpStore, IntakeBounds) {
  XTQRANDOMv3 rng(1);
  zsat f(&rng, 0);
  f.N = 3;
  f.M = 2;
  f.formula_init_structures();
  f.formula_add_var(2, 0);
  f.formula_add_var(0, 0);   // no variable
  f.formula_add_var(1, 2);   // no such clause
  f.formula_add_var(-3, -1);
  f.formula_add_var(-3, 1);
  f.N = 50;                  // more than the records hold
  f.formula_add_var(40, 1);
  f.N = 3;
  f.formula_vector2array();
  f.formula_vector2array();  // idempotent
  EXPECT_EQ(summary(f), "N3 M2 | | 2 0 / -3 0 | vt 1,1,1");
  ::test::expectFatal(::test::fatalOf([&] { f.formula_add_var(-4, 0); }), 255, "", "^Too many variables\\.\n$");
}
