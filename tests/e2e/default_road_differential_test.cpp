// The default road of the built binary against known answers: thousands of
// small random formulas with planted structure, simplified and written
// (the text read back must be well-formed and have the input's value) and
// decided with -solve (the evaluator's answer); and, when the shared
// benchmark folder is there, the peer instances with their known answers.
// Runs go eight at a time. The in-process tests of the preprocessor check
// the passes in depth; this one checks what the process prints and returns.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "support/Evaluator.h"
#include "support/Families.h"
#include "support/Formula.h"
#include "support/Generator.h"
#include "support/Parallel.h"
#include "support/PeerSet.h"
#include "support/Process.h"
#include "support/WrittenFormulaCheck.h"

namespace vorn {
namespace test {
namespace {

// What loading acts on (repeats, tautologies, universal literals to
// reduce, re-declared atoms, free atoms, gappy numbers the normaliser
// renumbers) and what the equivalence options find (gates, equivalences).
std::vector<Family> families() {
  std::vector<Family> out;
  {
    GenParams p = params(8, 12, 3, 4, 2);
    p.repeatLitProb = 0.2;
    p.tautologyProb = 0.1;
    out.push_back({"loading", p, 400});
  }
  {
    GenParams p = params(9, 10, 2, 4, 4);
    p.freeVarProb = 0.2;
    p.emptyBlockProb = 0.3;
    p.redeclareProb = 0.3;
    p.nameRange = 25;
    out.push_back({"prefix", p, 400});
  }
  {
    GenParams p = params(7, 9, 1, 3, 3);
    p.emptyClauseProb = 0.03;
    p.tautologyProb = 0.3;
    out.push_back({"short", p, 200});
  }
  {
    GenParams p = params(10, 3, 3, 4, 2);
    p.firstExists = 1;
    p.andGates = 2;
    p.equivalences = 1;
    p.xorTriples = 1;
    out.push_back({"gates", p, 400});
  }
  {
    GenParams p = params(12, 14, 3, 5, 5);
    p.freeVarProb = 0.1;
    p.repeatLitProb = 0.1;
    out.push_back({"long", p, 400});
  }
  {
    GenParams p = params(6, 5, 2, 3, 1);
    p.tautologyProb = 0.6;  // many lose every clause: "s cnf 1" from preprocessing
    out.push_back({"vanishing", p, 200});
  }
  return out;
}

// The preprocessing options cycle over the formulas; "-all" brings the
// equivalence pass and its fresh atoms into the written text and the hand-over.
const std::vector<std::vector<std::string>> kOptions = {{}, {"-ss"}, {"-qr"}, {"-all"}, {"-es", "-3e"}};

std::string joined(const std::vector<std::string>& args) {
  std::string s;
  for (const std::string& a : args) s += " " + a;
  return s;
}

TEST(DefaultRoadDifferential, RandomFormulasKeepTheirValue) {
  struct Item {
    std::string label;
    QbfFormula formula;
    std::string path;
    bool value;
  };
  std::vector<Item> items;
  TempDir dir;
  uint64_t seed = 70000;
  for (const Family& fam : families())
    for (int i = 0; i < fam.count; ++i, ++seed) {
      if (!drawnInThisBuild(i)) continue;
      Item it;
      it.label = std::string(fam.name) + " seed " + std::to_string(seed);
      it.formula = generate(fam.params, seed);
      it.value = evaluate(it.formula);
      it.path = dir.write("f" + std::to_string(items.size()) + ".qdimacs", it.formula.toQdimacs());
      items.push_back(std::move(it));
    }
  ASSERT_GE(items.size(), drawnAtLeast(2000));

  // Two runs per formula: written (even index), decided (odd index).
  std::vector<std::vector<std::string>> runs;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::vector<std::string>& options = kOptions[i % kOptions.size()];
    std::vector<std::string> write{items[i].path}, solve{items[i].path, "-solve", "--heur", "occs"};
    write.insert(write.end(), options.begin(), options.end());
    solve.insert(solve.end(), options.begin(), options.end());
    runs.push_back(write);
    runs.push_back(solve);
  }
  std::vector<ProcessResult> results(runs.size());
  parallelFor(runs.size(), [&](std::size_t r) { results[r] = runVorn(runs[r], 120); });

  int failures = 0, written = 0, trues = 0, decidedByPrepro = 0;
  for (std::size_t r = 0; r < runs.size() && failures < 5; ++r) {
    const Item& it = items[r / 2];
    const ProcessResult& res = results[r];
    const int expected = it.value ? 10 : 20;
    const std::string result = it.value ? "s cnf 1\n" : "s cnf 0\n";
    const std::string context = it.label + ":" + joined(runs[r]) + "\n" + it.formula.toQdimacs() +
                                "-- stdout:\n" + res.out + "-- stderr:\n" + res.err;
    bool ok = true;
    if (r % 2 == 1) {
      trues += it.value;
      // The engine's lines, then its result line; never the written formula.
      ok = res.exitCode == expected && res.out.size() >= result.size() &&
           res.out.compare(res.out.size() - result.size(), result.size(), result) == 0 &&
           res.out.find("p cnf") == std::string::npos;
      if (!ok) ADD_FAILURE() << "exit " << res.exitCode << ", expected " << expected << "\n" << context;
    } else if (res.exitCode == 100) {
      ++written;
      const testing::AssertionResult form = wellFormedSimplified(res.out);
      QbfFormula back;
      std::string error;
      ok = form && parseQdimacs(res.out, back, &error) && evaluate(back) == it.value;
      if (!ok) ADD_FAILURE() << (form ? "written formula has the other value " + error : form.message()) << "\n"
                             << context;
    } else {
      ++decidedByPrepro;
      // Preprocessing alone answers with the result line only.
      ok = res.exitCode == expected && res.out == result;
      if (!ok) ADD_FAILURE() << "exit " << res.exitCode << ", expected 100 or " << expected << "\n" << context;
    }
    failures += !ok;
  }
  EXPECT_EQ(failures, 0);
  // Every ending is well represented, or the test says little.
  const int n = static_cast<int>(items.size());
  EXPECT_GT(written, n / 2);
  EXPECT_GT(decidedByPrepro, n / 20);
  EXPECT_GT(trues, n / 5);
  EXPECT_LT(trues, n * 4 / 5);
}

// The peer instances on the default road: simplified and written (an
// answer from preprocessing alone must be the known one, a written text
// well-formed), and decided with -solve under the default heuristic. A run
// may end without an answer ("s cnf -1"), never with a wrong one.
TEST(DefaultRoadDifferential, PeerInstancesNeverGetAWrongAnswer) {
  TempDir dir;
  const std::vector<PeerInstance> peers = copyPeerInstances(dir);
  if (peers.empty()) GTEST_SKIP() << "no " << peerFolder() << "/answers.tsv";
  const std::string limit = "10";
  std::vector<ProcessResult> written(peers.size()), solved(peers.size());
  parallelFor(2 * peers.size(), [&](std::size_t r) {
    const PeerInstance& in = peers[r / 2];
    // The solver stops itself; the wall limit only catches a hang.
    if (r % 2 == 0)
      written[r / 2] = runVorn({in.path}, 300);
    else
      solved[r / 2] = runVorn({in.path, "-solve", "--timelimit", limit}, 300);
  });

  int decided = 0, answered = 0;
  for (std::size_t i = 0; i < peers.size(); ++i) {
    const PeerInstance& in = peers[i];
    const ProcessResult& w = written[i];
    if (w.exitCode == 100) {
      EXPECT_TRUE(wellFormedSimplified(w.out)) << in.name;
    } else {
      ++decided;
      EXPECT_EQ(w.exitCode, in.known) << in.name << " (written): stdout tail:\n"
                                      << tail(w.out) << "\nstderr:\n"
                                      << w.err;
    }
    const ProcessResult& s = solved[i];
    if (s.exitCode == in.known) {
      ++answered;
      continue;
    }
    EXPECT_EQ(s.exitCode, 99) << in.name << " (-solve): known " << in.known << "\nstdout tail:\n"
                              << tail(s.out) << "\nstderr:\n"
                              << s.err;
  }
  std::cout << "peer instances on the default road: " << decided << " of " << peers.size()
            << " decided by preprocessing alone, " << answered << " solved with -solve within " << limit << " s"
            << std::endl;
  // Far below what any build solves within the limit: catches a road that never answers.
  EXPECT_GT(answered, static_cast<int>(peers.size()) / 2);
  RecordProperty("solved", answered);
}

}  // namespace
}  // namespace test
}  // namespace vorn
