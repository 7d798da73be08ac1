// The prefix normaliser: when it leaves the file alone, the exact copy it
// writes otherwise (in the temporary folder, never beside the input), that
// the copy is the same formula (checked with the evaluator on random
// formulas), input that can be read only once, and its failures.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "input/PrefixNormaliser.h"
#include "input/PrivateCopy.h"
#include "support/Evaluator.h"
#include "support/FatalCheck.h"
#include "support/Formula.h"
#include "support/Generator.h"
#include "support/Process.h"

namespace vorn {
namespace {

// Lists the folder's entries (without . and ..).
std::vector<std::string> entries(const std::string& path) {
  std::vector<std::string> names;
  DIR* d = opendir(path.c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  if (d) closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// The file's bytes, not decompressed.
std::string rawBytes(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  EXPECT_NE(f, nullptr) << path;
  if (!f) return bytes;
  char buf[4096];
  for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, got);
  std::fclose(f);
  return bytes;
}

// Points TMPDIR at a folder of the test's own while it lives.
class ScopedTmpdir {
 public:
  explicit ScopedTmpdir(const std::string& folder) {
    const char* before = std::getenv("TMPDIR");
    had_ = before != nullptr;
    if (had_) before_ = before;
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~ScopedTmpdir() {
    if (had_)
      setenv("TMPDIR", before_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }

 private:
  bool had_ = false;
  std::string before_;
};

struct Case {
  const char* name;
  const char* input;
  const char* copy;  // null: no copy is made
};

TEST(Normaliser, CopyOrNot) {
  const Case cases[] = {
      {"the worked example", "p cnf 6 2\ne 4 5 0\na 6 0\n4 -6 0\n-5 6 4 0\n",
       "p cnf 3 2\ne 1 2 0\na 3 0\n1 -3 0\n-2 3 1 0\n"},
      {"1..N in any order over blocks", "p cnf 4 1\na 3 0\ne 1 4 0\na 2 0\n1 2 3 4 0\n", nullptr},
      {"N entries, smallest 1, largest N", "p cnf 3 1\ne 1 1 3 0\n1 2 3 0\n", nullptr},
      {"plain cnf", "p cnf 7 2\n7 0\n-3 0\n", nullptr},
      {"entries missing", "p cnf 3 2\ne 2 3 0\n2 -3 0\n3 0\n", "p cnf 2 2\ne 1 2 0\n1 -2 0\n2 0\n"},
      {"repeated entry keeps its first place", "p cnf 6 1\ne 5 6 5 0\n5 -6 0\n", "p cnf 2 1\ne 1 2 0\n1 -2 0\n"},
      {"requantified in a later block", "p cnf 3 1\na 3 0\ne 2 3 0\n3 2 0\n", "p cnf 2 1\na 1 0\ne 2 0\n1 2 0\n"},
      {"empty block and empty clause", "p cnf 3 2\na 0\ne 2 3 0\n2 3 0\n0\n", "p cnf 2 2\na 0\ne 1 2 0\n1 2 0\n0\n"},
      {"only empty blocks", "p cnf 2 1\ne 0\n1 2 0\n", "p cnf 2 1\ne 0\n1 2 0\n"},
      {"free variables after the prefix, in the header", "p cnf 10 2\na 10 0\n7 10 0\n-3 -7 0\n",
       "p cnf 3 2\na 1 0\n2 1 0\n-3 -2 0\n"},
      {"met in a clause before its block: free", "p cnf 4 2\n4 3 0\ne 3 0\na 4 0\n-3 -4 0\n",
       "p cnf 2 2\ne 0\na 0\n1 2 0\n-2 -1 0\n"},
      {"clauses before the header count; nothing after the last", "e 4 0\n4 0\np cnf 4 2\n-4 0\n4 -4 0\nc x\ne 9 0\n",
       "p cnf 1 2\ne 1 0\n1 0\n-1 0\n"},
      {"fewer clauses than declared", "p cnf 5 4\ne 5 0\n5 0\n", "p cnf 1 1\ne 1 0\n1 0\n"},
      {"no clause count to stop at", "p cnf 5 0\ne 5 0\n5 0\n-5 0\n", "p cnf 1 2\ne 1 0\n1 0\n-1 0\n"},
      {"any white space, leading blanks, CRLF", "c x\r\np cnf 5 1\r\ne\t5 0\r\n   5\t-5\f0\r\n",
       "p cnf 1 1\ne 1 0\n1 -1 0\n"},
      {"lists continue over lines", "p cnf 9 2\ne 9\n8 0\n9 -8\n0 8\n0\n", "p cnf 2 2\ne 1 2 0\n1 -2 0\n2 0\n"},
      {"comments are not copied", "c head\np cnf 3 1\nc mid\ne 3 0\nc f 3 0\n3 0\n", "p cnf 1 1\ne 1 0\n1 0\n"},
      // Input the readers reject is left for them to report.
      {"malformed entry", "p cnf 3 1\ne 2 x 0\n2 0\n", nullptr},
      {"negative entry", "p cnf 3 1\ne -2 0\n2 0\n", nullptr},
      {"header not p cnf", "p qbf 3 1\ne 2 0\n2 0\n", nullptr},
      {"negative count", "p cnf 3 -1\ne 2 0\n2 0\n", nullptr},
      {"no header", "e 2 0\n2 0\n", nullptr},
      {"second header", "p cnf 3 1\np cnf 3 1\ne 2 0\n2 0\n", nullptr},
      {"number past 32 bits", "p cnf 3 1\ne 2 0\n4294967298 0\n", nullptr},
      {"last clause not closed", "p cnf 3 2\ne 2 0\n2 0\n2", nullptr},
      {"byte 255 at an item", "p cnf 3 1\ne 2 0\n\xff", nullptr},
      {"empty file", "", nullptr},
  };
  test::TempDir tmp;
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string in = dir.write("in.qdimacs", c.input);
    NormaliseResult r;
    {
      ScopedTmpdir inTmp(tmp.path());
      r = normalisePrefix(in);
    }
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"in.qdimacs"}) << c.name;
    EXPECT_EQ(test::readFileOrFail(in), c.input) << "the input is not touched";
    if (!c.copy) {
      EXPECT_EQ(r.outcome, NormaliseOutcome::Unchanged) << c.name;
      EXPECT_TRUE(entries(tmp.path()).empty()) << c.name;
      continue;
    }
    ASSERT_EQ(r.outcome, NormaliseOutcome::Converted) << c.name;
    EXPECT_EQ(r.copyName, privateCopyPath());
    EXPECT_EQ(r.copyName.rfind(tmp.path() + "/", 0), 0u) << r.copyName;
    EXPECT_EQ(test::readFileOrFail(r.copyName), c.copy) << c.name;
    removeCopyNow();
    EXPECT_TRUE(entries(tmp.path()).empty()) << c.name;
  }
}

TEST(Normaliser, FixtureCopy) {
  NormaliseResult r = normalisePrefix(VORN_FIXTURES "/e2e/convert.qdimacs");
  ASSERT_EQ(r.outcome, NormaliseOutcome::Converted);
  EXPECT_EQ(test::readFileOrFail(r.copyName), test::readFileOrFail(VORN_FIXTURES "/e2e/convert.expected"));
  removeCopyNow();
}

TEST(Normaliser, ReadsThroughZlib) {
  test::TempDir dir;
  const char* text = "p cnf 6 2\ne 4 5 0\na 6 0\n4 -6 0\n-5 6 4 0\n";
  const std::string gz = dir.write("in.qdimacs.gz", text, /*gzip=*/true);
  NormaliseResult r = normalisePrefix(gz);
  ASSERT_EQ(r.outcome, NormaliseOutcome::Converted);
  EXPECT_EQ(test::readFileOrFail(r.copyName), "p cnf 3 2\ne 1 2 0\na 3 0\n1 -3 0\n-2 3 1 0\n");
  removeCopyNow();

  // A truncated gzip stream is a read error: no copy of part of a formula.
  std::string whole;
  ASSERT_TRUE(test::readFile(gz, whole));
  std::string packed;
  {
    FILE* f = std::fopen(gz.c_str(), "rb");
    char buf[4096];
    std::size_t got = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    packed.assign(buf, got);
  }
  const std::string cut = dir.write("cut.qdimacs.gz", packed.substr(0, packed.size() - 12));
  EXPECT_EQ(normalisePrefix(cut).outcome, NormaliseOutcome::Unchanged);
  EXPECT_STREQ(privateCopyPath(), "");
}

TEST(Normaliser, MissingFileIsLeftToTheReaders) {
  test::TempDir dir;
  std::string name = dir.file("absent.qdimacs");
  EXPECT_EQ(normalisePrefix(name).outcome, NormaliseOutcome::Unchanged);
  testing::internal::CaptureStderr();
  EXPECT_EQ(mycheck_qbf(name), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(name, dir.file("absent.qdimacs"));
  // A directory is not an instance either.
  std::string folder = dir.path();
  EXPECT_EQ(mycheck_qbf(folder), 0);
}

TEST(Normaliser, RenamesAndReports) {
  test::TempDir dir;
  std::string name = dir.write("in.qdimacs", "p cnf 3 1\ne 3 0\n3 0\n");
  // A file of the user's under the name the copy once had stays as it is.
  test::writeFile(name + ".tmp", "the user's own notes\n");
  const std::string original = name;
  testing::internal::CaptureStderr();
  EXPECT_EQ(mycheck_qbf(name), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "convert from " + original + " to " + name + "\n");
  EXPECT_EQ(name, privateCopyPath());
  EXPECT_EQ(name.rfind(temporaryFolder() + "/", 0), 0u) << name;
  EXPECT_EQ(test::readFileOrFail(name), "p cnf 1 1\ne 1 0\n1 0\n");
  EXPECT_EQ(test::readFileOrFail(original + ".tmp"), "the user's own notes\n");
  removeCopyNow();
  EXPECT_FALSE(test::fileExists(name));
}

TEST(Normaliser, CopyThatCannotBeWritten) {
  test::TempDir dir;
  std::string name = dir.write("in.qdimacs", "p cnf 3 1\ne 3 0\n3 0\n");
  ScopedTmpdir missing(dir.file("no-such-folder"));
  NormaliseResult r = normalisePrefix(name);
  EXPECT_EQ(r.outcome, NormaliseOutcome::WriteFailed);
  EXPECT_EQ(r.copyName, dir.file("no-such-folder"));
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"in.qdimacs"});
  ::test::expectFatal(::test::fatalOf([&] { mycheck_qbf(name); }), 1, "",
                      "no-such-folder: cannot write the renumbered copy of [^\n]*in\\.qdimacs: [^\n]+\n$");
}

// A pipe gives its bytes once: they are kept in the copy, renumbered when
// the prefix needs it, and the readers read that.
TEST(Normaliser, PipeIsReadOnce) {
  struct PipeCase {
    const char* input;
    NormaliseOutcome outcome;
    const char* copy;
    bool gzip;
  };
  const PipeCase cases[] = {
      {"c kept\np cnf 2 1\ne 1 2 0\n1 -2 0\n", NormaliseOutcome::Copied, "c kept\np cnf 2 1\ne 1 2 0\n1 -2 0\n", false},
      {"p cnf 2 1\ne 1 2 0\n1 -2 0\n", NormaliseOutcome::Copied, "p cnf 2 1\ne 1 2 0\n1 -2 0\n", true},
      {"p cnf 9 1\ne 9 4 0\n4 -9 0\n", NormaliseOutcome::Converted, "p cnf 2 1\ne 1 2 0\n2 -1 0\n", false},
      {"p cnf 9 1\ne 9 4 0\n4 -9 0\n", NormaliseOutcome::Converted, "p cnf 2 1\ne 1 2 0\n2 -1 0\n", true},
      // Rejected input is kept as it is, for the readers to report.
      {"p cnf 9 1\ne 9 4 0\n4 x 0\n", NormaliseOutcome::Copied, "p cnf 9 1\ne 9 4 0\n4 x 0\n", false},
      {"", NormaliseOutcome::Copied, "", false},
  };
  test::TempDir tmp;
  for (const PipeCase& c : cases) {
    test::TempDir dir;
    const std::string raw = rawBytes(dir.write("in", c.input, c.gzip));
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
      FILE* f = std::fopen(fifo.c_str(), "wb");
      if (!f) return;
      std::fwrite(raw.data(), 1, raw.size(), f);
      std::fclose(f);
    });
    NormaliseResult r;
    {
      ScopedTmpdir inTmp(tmp.path());
      r = normalisePrefix(fifo);
    }
    writer.join();
    ASSERT_EQ(r.outcome, c.outcome) << c.input;
    EXPECT_EQ(r.copyName, privateCopyPath());
    EXPECT_EQ(r.copyName.rfind(tmp.path() + "/", 0), 0u) << r.copyName;
    EXPECT_EQ(entries(tmp.path()).size(), 1u) << "the bytes' copy goes once the renumbered one is written";
    if (c.outcome == NormaliseOutcome::Copied) {
      EXPECT_EQ(rawBytes(r.copyName), raw) << "the bytes as they came, gzip or not";
    }
    EXPECT_EQ(test::readFileOrFail(r.copyName), c.copy);
    removeCopyNow();
  }
  EXPECT_TRUE(entries(tmp.path()).empty());
}

// The copy is the formula the readers would have read: same answer, its
// prefix numbered 1..K in prefix order, its free variables above K, and
// normalising it again gives the same text.
TEST(Normaliser, CopyIsTheSameFormula) {
  test::GenParams p;
  p.numVars = 9, p.numClauses = 10, p.minClauseLen = 1, p.maxClauseLen = 4, p.alternations = 4;
  p.freeVarProb = 0.2, p.emptyBlockProb = 0.2, p.redeclareProb = 0.2, p.repeatLitProb = 0.2;
  p.tautologyProb = 0.1, p.emptyClauseProb = 0.02, p.nameRange = 25, p.headerSlack = 2;
  int converted = 0;
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    test::QbfFormula f = test::generate(p, seed);
    test::TempDir dir;
    const std::string in = dir.write("in.qdimacs", f.toQdimacs(), /*gzip=*/seed % 3 == 0);
    NormaliseResult r = normalisePrefix(in);
    if (r.outcome == NormaliseOutcome::Unchanged) continue;
    ASSERT_EQ(r.outcome, NormaliseOutcome::Converted);
    ++converted;
    const std::string text = test::readFileOrFail(r.copyName);
    test::QbfFormula g = test::parseQdimacsOrFail(text);
    ASSERT_EQ(test::evaluate(g), test::evaluate(f)) << "seed " << seed << ": " << test::describe(f);
    int expected = 0;
    for (const auto& b : g.prefix)
      for (int v : b.vars) ASSERT_EQ(v, ++expected) << text;
    for (const auto& c : g.clauses)
      for (int l : c) ASSERT_LE(std::abs(l), g.numVars) << text;
    EXPECT_EQ(g.clauses.size(), f.clauses.size());
    NormaliseResult again = normalisePrefix(r.copyName);
    if (again.outcome == NormaliseOutcome::Converted) {
      EXPECT_EQ(test::readFileOrFail(again.copyName), text) << "seed " << seed;
    }
    removeCopyNow();
  }
  EXPECT_GT(converted, 250);
}

}  // namespace
}  // namespace vorn
