// The preprocessor-road reader and the default road, run in-process: what
// reaches the formula, the size cut, the four endings, the huge-input road
// and the "-stat" lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "driver/PreproRoad.h"
#include "input/QDimacs.h"
#include "preprocessor/CnfFormula.h"
#include "preprocessor/QDimacsCnf.h"
#include "support/FatalCheck.h"
#include "support/Process.h"

namespace vorn {
namespace {

using test::TempDir;

// A CommandLine naming file, with the given flags set; "--heur=occs"
// gives an option its value.
struct Options {
  std::string file;
  std::vector<std::string> values;
  CommandLine cl{optionTable()};
  Options(std::string path, const std::vector<std::string>& flags) : file(std::move(path)) {
    cl["FILENAME"] = file.c_str();
    values.reserve(flags.size());
    for (const std::string& f : flags) {
      std::size_t eq = f.find('=');
      values.push_back(eq == std::string::npos ? "true" : f.substr(eq + 1));
      cl[f.substr(0, eq).c_str()] = values.back().c_str();
    }
  }
};

struct Read {
  bool done;
  std::string written;
  long nVars, nClauses;
  bool isFalse;
};

Read readFile(const std::string& path, const std::vector<std::string>& flags) {
  Options o(path, flags);
  CnfFormula f(o.cl);
  Instance<long> names;
  CnfTarget target(f, names, o.cl);
  QDimacs reader(target, o.cl);
  Read r{reader.done(), "", names.nVars, names.nClauses, f.formulaFalse};
  if (r.done) {
    testing::internal::CaptureStdout();
    f.printFormula(stdout);
    r.written = testing::internal::GetCapturedStdout();
  }
  return r;
}

TEST(PreproReader, WhatReachesTheFormula) {
  TempDir dir;
  struct Case {
    const char* name;
    const char* input;
    const char* written;
  } cases[] = {
      // Atoms numbered by first appearance: 9 -> 1, 5 -> 2, 7 -> 3 (free).
      {"renumbered", "p cnf 9 2\ne 9 0\na 5 0\n5 9 0\n-9 7 0\n", "p cnf 3 2\ne 1 3 0\na 2 0\n 1 0\n 3 -1 0\n"},
      {"c f is a comment here", "c f 1 0\np cnf 2 1\nc f 2 -1 0\n1 -2 0\n", "p cnf 2 1\n -2 1 0\n"},
      // Met free first: the quantifier lines change nothing.
      {"clause before the prefix", "p cnf 2 2\n1 2 0\ne 2 0\na 1 0\n-1 -2 0\n", "p cnf 2 2\n 2 1 0\n -2 -1 0\n"},
      {"quantified twice keeps the first place", "p cnf 2 2\na 1 0\ne 2 0\na 2 0\n1 2 0\n-1 -2 0\n",
       "p cnf 2 2\na 1 0\ne 2 0\n 2 1 0\n -2 -1 0\n"},
      {"items span lines", "p cnf 3 2 e 1\n2 0 1 -2\n3 0 2 0", "p cnf 3 2\n 3 -2 1 0\n 2 0\n"},
  };
  for (const Case& c : cases) {
    Read r = readFile(dir.write("in.qdimacs", c.input), {});
    EXPECT_TRUE(r.done) << c.name;
    EXPECT_EQ(r.written, c.written) << c.name;
  }
  Read r = readFile(dir.write("counts.qdimacs", "p cnf 7 3\n1 2 0\n"), {});
  EXPECT_EQ(r.nVars, 7);
  EXPECT_EQ(r.nClauses, 3);
  EXPECT_TRUE(readFile(dir.write("empty.qdimacs", "p cnf 2 2\n1 2 0\n0\n"), {}).isFalse);
  // gzip data reads like the plain text.
  EXPECT_EQ(readFile(dir.write("in.qdimacs.gz", cases[0].input, true), {}).written, cases[0].written);
}

TEST(PreproReader, SizeCut) {
  TempDir dir;
  struct Case {
    long declared;
    std::vector<std::string> flags;
    bool done;
  } cases[] = {
      {500000, {"-solve"}, true},
      {500001, {"-solve"}, false},
      {500001, {}, true},
      {500001, {"-solve", "-forceprepro"}, true},
      {2000000000, {"-solve"}, false},
      {2000000000, {}, true},  // a huge count is a hint only
  };
  for (const Case& c : cases) {
    std::string path = dir.write("big.qdimacs", "p cnf 2 " + std::to_string(c.declared) + "\n1 -2 0\n");
    Read r = readFile(path, c.flags);
    EXPECT_EQ(r.done, c.done) << c.declared << " " << c.flags.size();
    if (c.done) {
      EXPECT_EQ(r.written, "p cnf 2 1\n -2 1 0\n");
    } else {
      EXPECT_EQ(r.nClauses, 0) << "the size cut leaves the name table's counts";
    }
  }
}

TEST(PreproReader, InputErrorsAreFatal) {
  TempDir dir;
  const struct {
    std::string path;
    int code;
    const char* stdoutText;
    std::string stderrPattern;
  } cases[] = {
      {dir.write("neg.qdimacs", "p cnf 2 -1\n1 0\n"), 99, "", "neg\\.qdimacs:1: negative count in the header\n$"},
      {dir.write("open.qdimacs", "p cnf 2 1\n1 2"), 3, "", "open\\.qdimacs:2: end of file inside a clause"},
      {dir.file("missing.qdimacs"), 1, "ERROR: file not found!\n", "^[^\n]*missing\\.qdimacs: cannot be opened\n$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ::test::expectFatal(::test::fatalOf([&] { readFile(c.path, {}); }), c.code, c.stdoutText, c.stderrPattern);
  }
}

struct RoadRun {
  int code;
  std::string out;
};

RoadRun runRoad(const std::string& path, const std::vector<std::string>& flags, int budget = 6000) {
  instance = Instance<long>();  // the road numbers atoms through the global table
  Options o(path, flags);
  Timer timer;
  timer.start();
  testing::internal::CaptureStdout();
  int code = runPreprocessingRoad(o.cl, budget, timer);
  std::fflush(stdout);
  return {code, testing::internal::GetCapturedStdout()};
}

// Times vary from run to run: "c Parse time: 0.00123 s" -> "c Parse time: T s".
std::string withoutTimes(std::string text) {
  for (const char* label : {"Parse time: ", "Tamrix time: ", "QRES Time: "}) {
    std::size_t at = text.find(label);
    if (at == std::string::npos) continue;
    std::size_t from = at + std::string(label).size();
    std::size_t to = text.find(" s", from);
    if (to != std::string::npos) text.replace(from, to - from, "T");
  }
  return text;
}

// "by 3 checks" -> "by N checks"; count receives 3.
std::string withoutCheckCount(std::string text, long& count) {
  count = -1;
  std::size_t at = text.find("s by ");
  if (at == std::string::npos) return text;
  std::size_t from = at + 5, to = text.find(" checks", from);
  if (to == std::string::npos) return text;
  count = std::stol(text.substr(from, to - from));
  return text.replace(from, to - from, "N");
}

TEST(PreproRoad, Endings) {
  TempDir dir;
  struct Case {
    const char* name;
    const char* input;
    std::vector<std::string> flags;
    int code;
    const char* out;
  } cases[] = {
      {"written", "p cnf 4 3\ne 1 2 0\na 3 0\ne 4 0\n1 3 4 0\n2 -3 0\n2 1 2 0\n", {}, 100,
       "p cnf 4 2\ne 1 2 0\na 3 0\ne 4 0\n 4 3 1 0\n 2 0\n"},
      {"written with -qr and -ss", "p cnf 3 2\ne 1 2 3 0\n1 2 0\n-1 2 0\n", {"-qr", "-ss"}, 100,
       "p cnf 3 1\n 2 0\n"},
      {"only tautologies: true", "p cnf 2 2\n1 -1 0\n2 -2 1 0\n", {}, 10, "s cnf 1\n"},
      {"empty clause: false", "p cnf 1 2\n1 0\n0\n", {"-qr"}, 20, "s cnf 0\n"},
      {"universal clause: false", "p cnf 2 1\na 1 0\n1 0\n", {}, 20, "s cnf 0\n"},
      {"no clause at all: true", "p cnf 3 0\n", {"-solve"}, 10, "s cnf 1\n"},
      {"equivalence options accepted", "p cnf 2 1\n1 2 0\n", {"-es", "-3e", "-er", "-all"}, 100,
       "p cnf 2 1\n 2 1 0\n"},
  };
  for (const Case& c : cases) {
    RoadRun r = runRoad(dir.write("in.qdimacs", c.input), c.flags);
    EXPECT_EQ(r.code, c.code) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
  }
}

TEST(PreproRoad, FixtureGoldenOutputs) {
  const std::string dir = std::string(VORN_FIXTURES) + "/prepro/";
  struct Case {
    std::vector<std::string> flags;
    const char* expected;
  } cases[] = {{{}, "three_blocks.out"}, {{"-qr"}, "three_blocks.out"}, {{"-ss"}, "three_blocks_ss.out"}};
  for (const Case& c : cases) {
    RoadRun r = runRoad(dir + "three_blocks.qdimacs", c.flags);
    EXPECT_EQ(r.code, 100) << c.expected;
    EXPECT_EQ(r.out, test::readFileOrFail(dir + c.expected)) << c.expected;
  }
}

TEST(PreproRoad, StatisticsLines) {
  TempDir dir;
  std::string path = dir.write("in.qdimacs", "p cnf 4 3\ne 1 2 0\na 3 0\ne 4 0\n1 3 4 0\n2 -3 0\n2 1 2 0\n");
  RoadRun plain = runRoad(path, {"-stat"}, 120);
  EXPECT_EQ(plain.code, 100);
  EXPECT_EQ(withoutTimes(plain.out),
            "c Tamrix\n"
            "c Parse time: T s\n"
            "c Time Limit 120 s\n"
            "c EQ Statistics: MIN 0.00 AVG 0.00 MAX 0.00\n"
            "c EQ Substituted 0.00 0.00\n"
            "c Variables Checked by QRES: 0\n"
            "c Variables Eliminated by PrePro: 0 / 4\n"
            "c Clauses   Eliminated by PrePro: 0 / 2\n"
            "c Tamrix time: T s\n"
            "p cnf 4 2\ne 1 2 0\na 3 0\ne 4 0\n 4 3 1 0\n 2 0\n");

  RoadRun qr = runRoad(path, {"-stat", "-qr"});
  long checks = 0;
  std::string text = withoutCheckCount(withoutTimes(qr.out), checks);
  // The loop runs until an iteration takes measurable time: two or more.
  EXPECT_GE(checks, 2);
  EXPECT_EQ(text,
            "c Tamrix\n"
            "c Parse time: T s\n"
            "c Time Limit 6000 s\n"
            "c EQ Statistics: MIN 0.00 AVG 0.00 MAX 0.00\n"
            "c EQ Substituted 0.00 0.00\n"
            "c QRES Time: T s by N checks\n"
            "c Variables Eliminated by QRES: 0\n"
            "c Variables Checked by QRES: 0\n"
            "c Variables Eliminated by PrePro: 0 / 4\n"
            "c Clauses   Eliminated by PrePro: 0 / 2\n"
            "c Tamrix time: T s\n"
            "p cnf 4 2\ne 1 2 0\na 3 0\ne 4 0\n 4 3 1 0\n 2 0\n");

  // A false formula: the block, then the answer; no "c Time Limit", no "c Tamrix time".
  RoadRun no = runRoad(dir.write("false.qdimacs", "p cnf 2 2\n1 0\n-1 2 0\n0\n"), {"-stat"});
  EXPECT_EQ(no.code, 20);
  EXPECT_EQ(withoutTimes(no.out),
            "c Tamrix\n"
            "c Parse time: T s\n"
            "c EQ Statistics: MIN 0.00 AVG 0.00 MAX 0.00\n"
            "c EQ Substituted 0.00 0.00\n"
            "c Variables Checked by QRES: 0\n"
            "c Variables Eliminated by PrePro: 0 / 2\n"
            "c Clauses   Eliminated by PrePro: 0 / 2\n"
            "s cnf 0\n");
}

// The roads that end in the engine: the simplified formula handed over
// (-solve), or the whole file read by the engine (more than 500000 clauses
// declared). The engine's own lines are its business; its result line and
// the exit code are checked here, with the lines the road prints itself.
TEST(PreproRoad, RoadsToTheEngine) {
  TempDir dir;
  // forall 1 exists 2 3: (2 1)(-2 -1)(3 -2)(-3 2) is true, and stays for the engine.
  const std::string trueText = "2 1 0\n-2 -1 0\n3 -2 0\n-3 2 0\n";
  const std::string falseText = "2 1 0\n-2 1 0\n3 -2 0\n-3 2 0\n";
  auto input = [&](const char* name, long declared, const std::string& clauses) {
    return dir.write(name, "p cnf 3 " + std::to_string(declared) + "\na 1 0\ne 2 3 0\n" + clauses);
  };
  const std::string small = input("small.qdimacs", 4, trueText);
  const std::string smallFalse = input("false.qdimacs", 4, falseText);
  const std::string huge = input("huge.qdimacs", 500001, trueText);
  const std::string hugeFalse = input("hugefalse.qdimacs", 500001, falseText);
  const std::string edge = input("edge.qdimacs", 500000, trueText);
  const std::string more =
      "c More than 500000 clauses: Tamrix is now disabled. Re-run with \"-forceprepro\" to override.\n";
  enum Road { Handed, Read, Written };
  struct Case {
    std::string path;
    std::vector<std::string> flags;
    int code;
    Road road;
  } cases[] = {
      {small, {"-solve"}, 10, Handed},
      {smallFalse, {"-solve", "-ss"}, 20, Handed},
      {small, {"-solve", "-stat", "-qr"}, 10, Handed},
      {huge, {"-solve"}, 10, Read},
      {hugeFalse, {"-solve", "-stat"}, 20, Read},
      {huge, {"-solve", "-forceprepro"}, 10, Handed},
      {huge, {"-solve", "-forceprepro", "-stat"}, 10, Handed},
      {edge, {"-solve", "-stat"}, 10, Handed},
      {huge, {}, 100, Written},
      {huge, {"-stat"}, 100, Written},
  };
  for (Case& c : cases) {
    c.flags.push_back("--heur=occs");
    RoadRun r = runRoad(c.path, c.flags);
    const bool stat = std::find(c.flags.begin(), c.flags.end(), "-stat") != c.flags.end();
    std::string trace = c.path + " " + std::to_string(c.flags.size()) + "\n" + r.out;
    EXPECT_EQ(r.code, c.code) << trace;
    const bool moreLine = r.out.find("c More than") != std::string::npos;
    EXPECT_EQ(moreLine, stat && c.road == Read) << trace;
    if (stat) {
      // The road's own lines come first: the size cut's line, or the statistics of a full read.
      EXPECT_EQ(r.out.rfind(c.road == Read ? more : "c Tamrix\n", 0), 0u) << trace;
    } else {
      EXPECT_FALSE(r.out.rfind("c ", 0) == 0 || r.out.find("\nc ") != std::string::npos) << trace;
    }
    EXPECT_EQ(r.out.find("p cnf") != std::string::npos, c.road == Written) << trace;
    if (c.road == Written) {
      EXPECT_NE(r.out.find("p cnf 3 4\na 1 0\ne 2 3 0\n"), std::string::npos) << trace;
    } else {
      const std::string result = c.code == 10 ? "s cnf 1\n" : "s cnf 0\n";
      ASSERT_GE(r.out.size(), result.size()) << trace;
      EXPECT_EQ(r.out.substr(r.out.size() - result.size()), result) << trace;
    }
  }
}

}  // namespace
}  // namespace vorn
