// Answers of the built binary on the engine-only road against known ones:
// thousands of small random formulas checked by the brute-force evaluator,
// and, when the shared benchmark folder is there, the peer instances with
// their known answers. Runs go eight at a time.
#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "support/Evaluator.h"
#include "support/Families.h"
#include "support/Formula.h"
#include "support/Generator.h"
#include "support/Parallel.h"
#include "support/PeerSet.h"
#include "support/Process.h"

namespace vorn {
namespace test {
namespace {

// Most families give true and false answers in roughly equal numbers
// (more universal blocks need fewer clauses for that).
std::vector<Family> families() {
  std::vector<Family> out;
  // Plain prefixes from propositional up to six alternations.
  out.push_back({"alt0", params(8, 14, 2, 4, 0), 150});
  out.push_back({"alt1", params(8, 12, 3, 4, 1), 150});
  out.push_back({"alt2", params(8, 10, 3, 4, 2), 150});
  out.push_back({"alt3", params(8, 9, 3, 4, 3), 150});
  out.push_back({"alt4", params(8, 8, 3, 4, 4), 150});
  out.push_back({"alt5", params(8, 8, 3, 5, 5), 150});
  out.push_back({"alt6", params(10, 10, 3, 5, 6), 150});
  {
    GenParams p = params(9, 12, 3, 4, 3);
    p.freeVarProb = 0.3;  // free variables join the outermost block
    out.push_back({"free", p, 250});
  }
  {
    GenParams p = params(8, 9, 3, 4, 4);
    p.emptyBlockProb = 0.4;
    p.firstExists = 0;
    out.push_back({"empty-blocks", p, 250});
  }
  {
    GenParams p = params(10, 12, 2, 5, 6);
    p.freeVarProb = 0.15;
    p.emptyBlockProb = 0.2;
    p.redeclareProb = 0.1;
    p.repeatLitProb = 0.1;
    p.tautologyProb = 0.05;
    p.nameRange = 30;  // unordered, gappy numbers
    out.push_back({"mixed", p, 250});
  }
  {
    // Longer clauses over more variables: fewer answers by propagation alone.
    GenParams p = params(12, 14, 3, 5, 5);
    p.freeVarProb = 0.1;
    out.push_back({"long", p, 200});
  }
  {
    // Short clauses: many binary constraints, units and early answers.
    GenParams p = params(6, 6, 1, 3, 3);
    p.emptyClauseProb = 0.02;
    out.push_back({"short", p, 200});
  }
  // Dense short clauses under alternations: mostly false, many conflicts.
  out.push_back({"dense", params(8, 14, 2, 4, 3), 150});
  return out;
}

TEST(Differential, RandomFormulasAgreeWithTheEvaluator) {
  struct Item {
    std::string family;
    uint64_t seed;
    QbfFormula formula;
    int expected;
  };
  std::vector<Item> items;
  uint64_t seed = 1;
  for (const Family& fam : families())
    for (int i = 0; i < fam.count; ++i, ++seed) {
      if (!drawnInThisBuild(i)) continue;
      QbfFormula f = generate(fam.params, seed);
      const int expected = expectedExitCode(f);
      items.push_back({fam.name, seed, std::move(f), expected});
    }
  ASSERT_GE(items.size(), drawnAtLeast(2000));

  TempDir dir;
  std::vector<std::string> files(items.size());
  for (std::size_t i = 0; i < items.size(); ++i)
    files[i] = dir.write("f" + std::to_string(i) + ".qdimacs", items[i].formula.toQdimacs());

  std::vector<ProcessResult> results(items.size());
  parallelFor(items.size(), [&](std::size_t i) {
    results[i] = runVorn({files[i], "-noprepro", "--heur", "occs"}, 120);
  });

  int wrong = 0, trues = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    trues += it.expected == 10;
    if (results[i].exitCode == it.expected) continue;
    if (++wrong <= 5)
      ADD_FAILURE() << it.family << " seed " << it.seed << ": exit " << results[i].exitCode << ", expected "
                    << it.expected << "\n"
                    << describe(it.formula) << "\n"
                    << it.formula.toQdimacs() << "stdout:\n"
                    << results[i].out << "stderr:\n"
                    << results[i].err;
  }
  EXPECT_EQ(wrong, 0) << "of " << items.size();
  // Both answers must be well represented, or the test says little.
  EXPECT_GT(trues, static_cast<int>(items.size()) / 5);
  EXPECT_LT(trues, static_cast<int>(items.size()) * 4 / 5);
}

TEST(Differential, PeerInstancesNeverGetAWrongAnswer) {
  TempDir dir;
  const std::vector<PeerInstance> instances = copyPeerInstances(dir);
  if (instances.empty()) {
    ASSERT_FALSE(fileExists(peerFolder() + "/answers.tsv")) << "answers.tsv lists no instance";
    GTEST_SKIP() << "no " << peerFolder() << "/answers.tsv";
  }

  std::vector<ProcessResult> results(instances.size());
  parallelFor(instances.size(), [&](std::size_t i) {
    // The solver stops itself after 10 CPU seconds; the wall limit only
    // catches a hang, with room for a loaded machine.
    results[i] = runVorn({instances[i].path, "-noprepro", "--heur", "occs", "--timelimit", "10"}, 300);
  });

  int solved = 0;
  for (std::size_t i = 0; i < instances.size(); ++i) {
    const int code = results[i].exitCode;
    if (code == instances[i].known) {
      ++solved;
      continue;
    }
    EXPECT_EQ(code, 99) << instances[i].name << ": known " << instances[i].known << "\nstdout tail:\n"
                        << tail(results[i].out)
                        << "\nstderr:\n"
                        << results[i].err;
  }
  std::cout << "peer instances solved within 10 s: " << solved << " of " << instances.size() << std::endl;
  RecordProperty("solved", solved);
}

}  // namespace
}  // namespace test
}  // namespace vorn
