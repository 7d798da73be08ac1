// The engine target of the QDIMACS reader: what a file becomes in the
// constraint store (prefix, units, binaries, records, empty clause,
// preference lines), the fatal input errors with their exit codes and the
// one line on standard error, plain and gzip input, tokens across the
// 1 MiB refill point, and equivalence of the stored formula with the file
// on random formulas (checked by the brute-force evaluator).
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine/NffEx.h"
#include "engine/QDimacsEngine.h"
#include "input/QDimacs.h"
#include "support/Evaluator.h"
#include "support/FatalCheck.h"
#include "support/Formula.h"
#include "support/Generator.h"
#include "support/Process.h"

namespace vorn {
namespace {

std::string signedVar(uint32_t lit) {
  return (litNegative(lit) ? "-" : "") + std::to_string(litVar(lit)) + (litTerm(lit) ? "t" : "");
}

// Binary input clauses once each, from the owner with the smaller code.
std::vector<std::pair<uint32_t, uint32_t>> binaries(const NffEx& f, ConstraintKind k) {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (std::size_t c = 0; c < f.bOccs[k].size(); ++c) {
    const auto& list = f.bOccs[k][c];
    for (std::size_t i = 1; i < list.size(); ++i)
      if (litCode(list[i]) > c) out.emplace_back(list[0], list[i]);
  }
  return out;
}

// The stored formula in internal indices:
// "e1,2|a3 u:1 b:1,2 r:3,-2,1 empty pref:(2,-1)".
std::string dump(const NffEx& f) {
  std::string out;
  for (std::size_t b = 0; b < f.prefix.blocks.size(); ++b) {
    out += b ? "|" : "";
    out += Prefix::blockQuantifier(b) == Exists ? "e" : "a";
    for (std::size_t i = 0; i < f.prefix.blocks[b].size(); ++i)
      out += (i ? "," : "") + std::to_string(litVar(f.prefix.blocks[b][i]));
  }
  for (uint32_t u : f.units) out += " u:" + signedVar(u);
  for (const auto& p : binaries(f, OrigClause)) out += " b:" + signedVar(p.first) + "," + signedVar(p.second);
  for (std::size_t id = 1; id < f.watchedOccs[OrigClause].size(); ++id) {
    out += " r:";
    for (const uint32_t* p = f.watchedOccs[OrigClause][id].begin + kRecordHeader; *p; ++p)
      out += (p == f.watchedOccs[OrigClause][id].begin + kRecordHeader ? "" : ",") + signedVar(*p);
  }
  if (f.emptyClause) out += " empty";
  if (f.prefLines && !f.prefLines->empty()) {
    out += " pref:";
    for (const auto& g : *f.prefLines) {
      out += "(";
      for (std::size_t i = 0; i < g.size(); ++i) out += (i ? "," : "") + std::to_string(g[i]);
      out += ")";
    }
  }
  return out;
}

struct Reader {
  CommandLine options;
  Instance<long> names;
  NffEx store{options, names};
  std::string path;
  explicit Reader(const std::string& file) : path(file) {
    options["FILENAME"] = path.c_str();
    EngineTarget target(store, names);
    QDimacs reader(target, options);
    EXPECT_TRUE(reader.done());
  }
};

std::string readText(const test::TempDir& dir, const std::string& text, bool gzip = false) {
  Reader r(dir.write(gzip ? "in.qdimacs.gz" : "in.qdimacs", text, gzip));
  return dump(r.store);
}

// The fatal error the reader raises on the file.
FatalError readFatal(const std::string& path) {
  return ::test::fatalOf([&] {
    CommandLine options;
    Instance<long> names;
    NffEx store(options, names);
    options["FILENAME"] = path.c_str();
    EngineTarget target(store, names);
    QDimacs reader(target, options);
  });
}

std::string escapeRegex(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (std::string(".[]()*+?{}|^$\\").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

struct ReadCase {
  const char* name;
  const char* text;  // with an explicit length below when it holds bytes 0
  const char* stored;  // expected dump, or null for a fatal error
  int exitCode;
  int line;
};

TEST(ReaderEngine, InputsToStoredFormulaOrExit) {
  const ReadCase cases[] = {
      {"prefix and clauses", "p cnf 4 2\ne 1 2 0\na 3 0\ne 4 0\n1 -3 4 0\n2 3 0\n", "e1,2|a3|e4 u:2 r:4,-3,1", 0, 0},
      {"clause over two lines", "p cnf 3 1\n1 -2\n3 0\n", "e1,2,3 r:3,-2,1", 0, 0},
      {"two clauses on one line", "p cnf 2 2\n1 0 2 0\n", "e1,2 u:1 u:2", 0, 0},
      {"lone 0 is the empty clause", "p cnf 1 1\n0\n", "e empty", 0, 0},
      {"plus sign", "p cnf 3 1\n+3 0\n", "e1 u:1", 0, 0},
      {"numbering by first appearance", "p cnf 9 2\na 9 0\n5 -9 7 0\n-9 8 5 0\n", "e2,3,4|a1 b:2,3 b:2,4", 0, 0},
      {"large numbers", "p cnf 2 3\ne 2147483647 0\n100000 -2147483647 0\n-100000 2147483647 5 0\n",
       "e1,2,3 b:-1,2 r:3,-2,1", 0, 0},
      {"universal before the innermost existential stays", "p cnf 3 1\ne 1 0\na 2 0\ne 3 0\n3 -2 1 0\n",
       "e1|a2|e3 r:3,-2,1", 0, 0},
      {"quantified twice keeps the first place", "p cnf 2 1\ne 1 0\na 1 2 0\n1 2 0\n", "e1|a2 u:1", 0, 0},
      {"met in a clause first keeps the free place", "p cnf 2 1\n1 2 0\na 1 0\n", "e1,2 b:1,2", 0, 0},
      {"header after a clause", "1 -2 0\np cnf 2 1\n", "e1,2 b:1,-2", 0, 0},
      {"c foo is a comment", "c foo\np cnf 1 1\nc from the generator\nc f is here\n1 0\n", "e1 u:1", 0, 0},
      {"preference line", "p cnf 2 1\ne 1 2 0\nc f 2 -1 0\n1 2 0\n", "e1,2 b:1,2 pref:(2,-1)", 0, 0},
      {"empty preference group", "p cnf 1 1\nc f 0\n1 0\n", "e1 u:1 pref:()", 0, 0},
      {"variables only in preference lines come last", "p cnf 3 1\nc f 3 -1 0\ne 2 0\n1 2 0\n",
       "e1,2 b:1,2 pref:(3,-2)", 0, 0},
      {"byte 255 inside a comment", "p cnf 1 1\nc \xff here\n1 0\n", "e1 u:1", 0, 0},
      {"p qbf", "p qbf 3 2\n", nullptr, 99, 1},
      {"lone p", "p cnf 1 0\n1 0\np", nullptr, 99, 3},
      {"missing header", "1 0\n", nullptr, 99, 2},
      {"repeated header", "p cnf 1 1\np cnf 1 1\n", nullptr, 99, 2},
      {"negative count", "p cnf 3 -1\n", nullptr, 99, 1},
      {"missing clause count", "p cnf 3", nullptr, 3, 1},
      {"unclosed last clause", "p cnf 3 1\n1 2", nullptr, 3, 2},
      {"unclosed quantifier line", "p cnf 3 1\ne 1 2", nullptr, 3, 2},
      {"x", "p cnf 3 1\nx 0\n", nullptr, 3, 2},
      {"2147483648", "p cnf 3 1\n2147483648 0\n", nullptr, 3, 2},
      {"4294967296 does not wrap to 0", "p cnf 3 1\n1 4294967296 0\n", nullptr, 3, 2},
      {"byte 255 starts no item", "p cnf 3 1\n1 0\n\xff", nullptr, 3, 3},
      {"negative quantifier entry", "p cnf 3 1\ne -3 0\n", nullptr, 3, 2},
      {"c f with a stray token is a comment", "p cnf 1 1\nc f 1 x 0\nc f 2 0 3\n1 0\n", "e1 u:1", 0, 0},
  };
  test::TempDir dir;
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.stored) {
      EXPECT_EQ(readText(dir, c.text), c.stored);
      continue;
    }
    const std::string path = dir.write("bad.qdimacs", c.text);
    const std::string expected = "^" + escapeRegex(path) + ":" + std::to_string(c.line) + ": [^\n]+\n$";
    ::test::expectFatal(readFatal(path), c.exitCode, "", expected);
  }
}

TEST(ReaderEngine, AnyByteInsideACommentIsSkipped) {
  test::TempDir dir;
  EXPECT_EQ(readText(dir, std::string("p cnf 1 1\nc a\0b\xff\n1 0\n", 21)), "e1 u:1");
}

TEST(ReaderEngine, FilesThatCannotBeRead) {
  test::TempDir dir;
  const std::string missing = dir.file("missing.qdimacs");
  ::test::expectFatal(readFatal(missing), 1, "ERROR: file not found!\n", "^" + escapeRegex(missing) + ": cannot be opened\n$");
  // A directory is a read error, not an empty formula.
  ::test::expectFatal(readFatal(dir.path()), 3, "", "^" + escapeRegex(dir.path()) + ":[0-9]+: [^\n]+\n$");

  // A truncated gzip file fails instead of yielding the clauses before the cut.
  std::string text = "p cnf 3 2\n";
  for (int i = 0; i < 20000; ++i) text += "1 -2 3 0\n";
  const std::string whole = dir.write("whole.gz", text, true);
  std::string bytes = test::readFileOrFail(whole);  // decompressed; reread raw below
  std::ifstream raw(whole, std::ios::binary);
  std::string gz((std::istreambuf_iterator<char>(raw)), std::istreambuf_iterator<char>());
  ASSERT_GT(gz.size(), 40u);
  const std::string cut = dir.file("cut.gz");
  {
    std::ofstream out(cut, std::ios::binary);
    out.write(gz.data(), static_cast<std::streamsize>(gz.size() - 12));  // trailer and some data gone
  }
  ::test::expectFatal(readFatal(cut), 3, "", "^" + escapeRegex(cut) + ":[0-9]+: [^\n]+\n$");
  EXPECT_EQ(bytes, text);
}

TEST(ReaderEngine, HeaderCountsAreOnlyHints) {
  test::TempDir dir;
  Reader r(dir.write("liar.qdimacs", "p cnf 2000000000 2000000000\n1 -2 0\n3 0\n"));
  EXPECT_EQ(dump(r.store), "e1,2,3 u:3 b:1,-2");
  EXPECT_EQ(r.names.nVars, 2000000000);
  EXPECT_EQ(r.names.nClauses, 2000000000);
  // Nothing was reserved for the declared counts.
  for (int k = 0; k < kKinds; ++k) {
    EXPECT_LT(r.store.nOccs[k].capacity(), 1u << 20);
    EXPECT_LT(r.store.bOccs[k].capacity(), 1u << 20);
  }
  EXPECT_LT(r.store.prefLines->capacity(), 1u << 20);
  EXPECT_LT(r.store.units.capacity(), 1u << 20);
}

// A random formula as QDIMACS text, with comments and preference lines.
std::string randomText(uint64_t seed) {
  test::GenParams p;
  p.numVars = 40;
  p.numClauses = 400;
  p.minClauseLen = 1;
  p.maxClauseLen = 6;
  p.alternations = 3;
  p.freeVarProb = 0.1;
  p.nameRange = 90;
  p.repeatLitProb = 0.1;
  p.tautologyProb = 0.05;
  std::string text = test::generate(p, seed).toQdimacs();
  return "c a comment\nc f 3 -5 0\n" + text;
}

TEST(ReaderEngine, GzipReadsLikePlainText) {
  test::TempDir dir;
  for (uint64_t seed : {1u, 2u}) {
    const std::string text = randomText(seed);
    const std::string plain = readText(dir, text, false);
    EXPECT_EQ(readText(dir, text, true), plain);
    EXPECT_NE(plain.find(" r:"), std::string::npos);
  }
}

// Puts `item` so that it starts `before` bytes ahead of the 1 MiB refill
// point, behind a comment line, after `head`.
std::string straddling(const std::string& head, const std::string& item, std::size_t before) {
  const std::size_t block = std::size_t(1) << 20;
  const std::size_t start = block - before;
  EXPECT_GT(start, head.size() + 3);
  std::string text = head + "c" + std::string(start - head.size() - 2, 'x') + "\n";
  EXPECT_EQ(text.size(), start);
  return text + item;
}

TEST(ReaderEngine, ItemsAcrossTheRefillPoint) {
  struct Case {
    const char* name;
    std::string head, item;
    std::size_t before;
    const char* stored;
  };
  const Case cases[] = {
      {"p cnf split after p", "", "p cnf 3 2\n1 -2 0\n123456 0\n", 1, "e1,2,3 u:3 b:1,-2"},
      {"p cnf split inside cnf", "", "p cnf 3 2\n1 -2 0\n123456 0\n", 4, "e1,2,3 u:3 b:1,-2"},
      {"number split", "p cnf 3 2\n1 -2 0\n", "123456 0\n", 3, "e1,2,3 u:3 b:1,-2"},
      {"sign split from its digits", "p cnf 3 2\n1 2 0\n", "-77 0\n", 1, "e1,2,3 u:-3 b:1,2"},
      {"c f split after c", "p cnf 2 1\n", "c f 2 -1 0\n1 2 0\n", 1, "e1,2 b:1,2 pref:(2,-1)"},
      {"c f split after the blank", "p cnf 2 1\n", "c f 2 -1 0\n1 2 0\n", 2, "e1,2 b:1,2 pref:(2,-1)"},
      {"preference line ending across", "p cnf 2 1\n", "c f 2 -1 0\n1 2 0\n", 8, "e1,2 b:1,2 pref:(2,-1)"},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = straddling(c.head, c.item, c.before);
    EXPECT_EQ(readText(dir, text, false), c.stored);
    EXPECT_EQ(readText(dir, text, true), c.stored);
  }
}

// Rebuilds the stored formula in the file's numbers.
test::QbfFormula rebuild(const Reader& r) {
  const auto ext = [&](uint32_t lit) {
    const int number = static_cast<int>(r.names.intToExt[litVar(lit)]);
    return litNegative(lit) ? -number : number;
  };
  test::QbfFormula q;
  for (std::size_t b = 0; b < r.store.prefix.blocks.size(); ++b) {
    test::QBlock block;
    block.exists = Prefix::blockQuantifier(b) == Exists;
    for (uint32_t w : r.store.prefix.blocks[b]) block.vars.push_back(ext(w));
    q.prefix.push_back(block);
  }
  for (uint32_t u : r.store.units) q.clauses.push_back({ext(u)});
  for (const auto& p : binaries(r.store, OrigClause)) q.clauses.push_back({ext(p.first), ext(p.second)});
  for (std::size_t id = 1; id < r.store.watchedOccs[OrigClause].size(); ++id) {
    std::vector<int> c;
    for (const uint32_t* p = r.store.watchedOccs[OrigClause][id].begin + kRecordHeader; *p; ++p) c.push_back(ext(*p));
    q.clauses.push_back(c);
  }
  if (r.store.emptyClause) q.clauses.push_back({});
  for (const test::QBlock& b : q.prefix)
    for (int v : b.vars) q.numVars = std::max(q.numVars, v);
  return q;
}

TEST(ReaderEngine, StoredFormulaIsEquivalentOnRandomFormulas) {
  test::TempDir dir;
  int stored = 0;
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    test::GenParams p;
    p.numVars = 9;
    p.numClauses = static_cast<int>(6 + seed % 14);
    p.minClauseLen = 1;
    p.maxClauseLen = 5;
    p.alternations = static_cast<int>(seed % 4);
    p.freeVarProb = 0.15;
    p.emptyBlockProb = 0.1;
    p.redeclareProb = 0.1;
    p.repeatLitProb = 0.15;
    p.tautologyProb = 0.1;
    p.emptyClauseProb = seed % 25 == 0 ? 0.05 : 0.0;
    p.nameRange = seed % 2 ? 30 : 0;
    const test::QbfFormula original = test::generate(p, seed);
    SCOPED_TRACE(test::describe(original));
    Reader r(dir.write("rand.qdimacs", original.toQdimacs(), seed % 3 == 0));
    const test::QbfFormula back = rebuild(r);
    EXPECT_EQ(test::evaluate(back), test::evaluate(original)) << back.toQdimacs();
    // Every variable of the file has a place, and every index up to
    // maxAtom is placed.
    for (uint32_t v = 1; v <= r.store.prefix.maxAtom; ++v) EXPECT_TRUE(r.store.prefix.isPlaced(v)) << v;
    EXPECT_EQ(r.store.prefix.maxAtom, r.names.intToExt.size() - 1);
    stored += static_cast<int>(r.store.watchedOccs[OrigClause].size() - 1);
  }
  EXPECT_GT(stored, 300) << "the formulas must exercise records";
}

}  // namespace
}  // namespace vorn
