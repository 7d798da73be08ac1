// Engine formulas filled by hand the way the engine's reader fills them,
// the strategies built on them, and the engine's own Solver for its
// propagation loop.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Solver.h"

namespace vorn {

class BCP;
class MLF;

namespace test {

struct Block {
  Quantifier q;
  std::vector<unsigned long> vars;
};
using Prefix = std::vector<Block>;
using Clauses = std::vector<std::vector<long>>;

// The QDIMACS text of a prefix and its clauses (what the BP module reads).
std::string qdimacsText(const Prefix& prefix, const Clauses& clauses);

// A DynFormula filled as the reader fills it (preference lines included
// when given) and initialised, with the option store and name table the
// strategies read. The flags are set to "true" before anything is read.
struct Bench {
  Bench(const Prefix& prefix, Clauses clauses, const std::vector<const char*>& flags = {},
        const Clauses* prefLines = nullptr);
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  Literal positive(uint32_t v) const { return formula.prefix.atomWord[v]; }
  Literal negative(uint32_t v) const { return formula.prefix.atomWord[v] | kSignBit; }

  CommandLine options;
  Instance<long> names;
  DynFormula formula{options, names, 1u << 14, 4};
};

// A Bench with heuristic H on it. build() constructs and initialises it
// (the arguments after formula, options and names go to H's constructor)
// and keeps what init printed.
template <class H>
struct HeuristicBench : Bench {
  using Bench::Bench;

  template <class... Extra>
  void build(Extra... extra) {
    heuristic = std::make_unique<H>(formula, options, names, extra...);
    testing::internal::CaptureStdout();
    try {
      heuristic->init();
    } catch (...) {
      // A fatal error of init: give standard output back before the test sees it.
      testing::internal::GetCapturedStdout();
      throw;
    }
    initOutput = testing::internal::GetCapturedStdout();
  }
  // Sends the null event; answers the decision literal pushed, or 0.
  Literal requestDecision() {
    const uint32_t before = formula.trailSize;
    heuristic->assign(0, reasonItem_{0, NoReason});
    return formula.trailSize == before ? 0 : formula.trail[before];
  }
  // Decisions until none is left, with what they printed.
  std::vector<Literal> decideAll(std::string* printed = nullptr) {
    testing::internal::CaptureStdout();
    std::vector<Literal> out;
    for (Literal l; (l = requestDecision()) != 0;) out.push_back(l);
    const std::string text = testing::internal::GetCapturedStdout();
    if (printed) *printed = text;
    return out;
  }
  // The order up to its first entry 0.
  std::vector<uint32_t> order() const {
    std::vector<uint32_t> out;
    for (uint32_t v : heuristic->order) {
      if (v == 0) break;
      out.push_back(v);
    }
    return out;
  }
  // A conflict with the given literals assigned, announced to the heuristic.
  void conflictWith(std::initializer_list<Literal> lits) {
    for (Literal l : lits) formula.push2Assign(l, reasonItem_{0, Branch});
    formula.pushBEmpty(*lits.begin(), *(lits.end() - 1));
    heuristic->assign(0, reasonItem_{0, NoReason});
    formula.bEmpties.clear();
  }

  std::unique_ptr<H> heuristic;
  std::string initOutput;
};

// The engine's Solver on a formula a test filled, for its strategy list
// and its propagation loop. It is built with "--heur qp", the heuristic
// that prints nothing when built; the option is unset again afterwards.
std::unique_ptr<Solver> makeSolver(DynFormula& formula, CommandLine& options, Instance<long>& names);
// The first two entries of the strategy list.
BCP& bcpOf(Solver& solver);
MLF& mlfOf(Solver& solver);

}  // namespace test
}  // namespace vorn
