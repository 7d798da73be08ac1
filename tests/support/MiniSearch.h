// A test-only search loop over the engine formula: the same event order as
// the solver's own loop (propagate to a fixpoint: binary, pure-literal
// walk, N-ary, then monotone literals; then one event per iteration to the
// decision step and to Backtrack), with the simplest heuristic there is:
// the first unassigned variable in prefix order, on a seeded phase.
//
// It records every constraint Backtrack learns, in external numbers, so
// tests can check each one against the brute-force evaluator.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "strategies/BCP.h"
#include "strategies/Backtrack.h"
#include "strategies/MLF.h"
#include "support/Formula.h"
#include "support/Generator.h"

namespace vorn {
namespace test {

struct MiniSearchConfig {
  // 0: every decision takes the default value (existential true, universal
  // false); otherwise the phases are drawn from this seed.
  uint64_t phaseSeed = 0;
  // Iterations before the loop gives up (answer 99, `exhausted` set).
  uint64_t maxIterations = 2000000;
  int16_t stampLimit = Backtrack::kStampLimit;
  // Off only for hand-built fixtures that must control every value.
  bool pureLiterals = true;
};

struct LearnedConstraint {
  bool clause = true;
  std::vector<int> lits;  // signed external variable numbers
  // The literals true at the top level when the analysis began: the
  // constraint is implied by the input under them (the analysis leaves
  // top-level literals out).
  std::vector<int> topLevel;
};

class MiniSearch {
 public:
  explicit MiniSearch(const QbfFormula& f, const MiniSearchConfig& config = {});

  // Runs the loop once: 10 true, 20 false, 99 no answer.
  int solve();

  // The pieces of solve, for fixtures that step by hand. start() runs the
  // start-up of the formula and the strategies; false when it already
  // answers (earlyResult).
  bool start();
  // Propagation to a fixpoint, as the loop does before every event.
  void propagate();
  // A decision on a signed external literal.
  void decide(int external);
  // The next event of the loop (the null event once all are announced).
  void nextEvent(Literal& lit, reasonItem_& reason);
  int pendingResult() const;
  int earlyResult = ResultUnknown;

  // Called before Backtrack sees a complete, propagated assignment with
  // nothing pending (the state of its initial solution term).
  std::function<void(MiniSearch&)> onCompleteAssignment;
  // Called after every event Backtrack has seen.
  std::function<void(MiniSearch&)> afterAnalysis;

  // Internal literal of a signed external number (0 when the number is not
  // in the engine).
  Literal internalLiteral(int external) const;
  int externalLiteral(Literal l) const;

  const QbfFormula& input;
  MiniSearchConfig config;
  Instance<long> names;
  CommandLine options;
  DynFormula formula;
  std::unique_ptr<BCP> bcp;
  std::unique_ptr<MLF> mlf;
  std::unique_ptr<Backtrack> backtrack;

  std::vector<LearnedConstraint> learned;
  uint64_t decisions = 0;
  uint64_t iterations = 0;
  bool exhausted = false;

 private:
  void decideNext_();
  void recordLearned_(const std::vector<int>& topLevel);

  SplitMix64 rng_;
  // Snapshot of the learned tables, to find what an analysis added.
  std::size_t learnedIds_[2] = {1, 1};
  std::vector<std::size_t> partnerSizes_[2];
  std::size_t unitCount_ = 0;
  std::size_t learnedSeen_ = 0;
};

}  // namespace test
}  // namespace vorn
