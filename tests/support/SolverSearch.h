// The engine's own search (Solver, its strategy list and its loop) on a
// formula from the test generator, with two things the real loop cannot
// give a test, in the places the loop offers for them:
//  - in the heuristic's slot, the simplest decision rule there is: the
//    first unassigned variable in prefix order, on a phase drawn from a
//    seed, so that one formula is searched along many paths;
//  - around Backtrack, observers that record every constraint it learns
//    (in external numbers, for the brute-force evaluator), call the test's
//    hooks, and stop a search that runs too long.
// Fixtures that step by hand use the pieces: start, propagate, decide,
// nextEvent, and Backtrack itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Solver.h"
#include "strategies/BCP.h"
#include "strategies/Backtrack.h"
#include "strategies/MLF.h"
#include "support/Formula.h"
#include "support/Generator.h"

namespace vorn {
namespace test {

struct SolverSearchConfig {
  // 0: every decision takes the default value (existential true, universal
  // false); otherwise the phases are drawn from this seed.
  uint64_t phaseSeed = 0;
  // Iterations before the loop gives up (answer 99, `exhausted` set).
  uint64_t maxIterations = 2000000;
  int16_t stampLimit = Backtrack::kStampLimit;
  // Off only for hand-built fixtures that must control every value: MLF
  // is then neither started nor called, and solve() is not available.
  bool pureLiterals = true;
  // "-sstat": the strategies read it once, when they are built.
  bool searchStats = false;
};

struct LearnedConstraint {
  bool clause = true;
  std::vector<int> lits;  // signed external variable numbers
  // The literals true at the top level when the analysis began: the
  // constraint is implied by the input under them (the analysis leaves
  // top-level literals out).
  std::vector<int> topLevel;
};

class SolverSearch {
 public:
  explicit SolverSearch(const QbfFormula& f, const SolverSearchConfig& config = {});

  // Runs the engine's loop once: 10 true, 20 false, 99 no answer.
  int solve();

  // start() runs the start-up of the formula and the strategies; false
  // when it already answers (earlyResult).
  bool start();
  // The engine's propagation; BCP alone without pure literals.
  void propagate();
  // A decision on a signed external literal.
  void decide(int external);
  // The next event of the loop (the null event once all are announced).
  void nextEvent(Literal& lit, reasonItem_& reason);
  int pendingResult() const;
  int earlyResult = ResultUnknown;

  // Called before Backtrack sees a complete, propagated assignment with
  // nothing pending (the state of its initial solution term).
  std::function<void(SolverSearch&)> onCompleteAssignment;
  // Called after every event Backtrack has seen.
  std::function<void(SolverSearch&)> afterAnalysis;

  // Internal literal of a signed external number (0 when the number is not
  // in the engine).
  Literal internalLiteral(int external) const;
  int externalLiteral(Literal l) const;

  const QbfFormula& input;
  SolverSearchConfig config;
  Instance<long> names;
  CommandLine options;
  DynFormula formula;
  std::unique_ptr<Solver> solver;
  BCP* bcp = nullptr;
  MLF* mlf = nullptr;
  Backtrack* backtrack = nullptr;

  std::vector<LearnedConstraint> learned;
  uint64_t decisions = 0;
  uint64_t iterations = 0;
  bool exhausted = false;

 private:
  void decideNext_();
  void recordLearned_(const std::vector<int>& topLevel);

  SplitMix64 rng_;
  std::vector<int> topLevel_;  // taken before each analysis
  // Snapshot of the learned tables, to find what an analysis added.
  std::size_t learnedIds_[2] = {1, 1};
  std::vector<std::size_t> partnerSizes_[2];
  std::size_t unitCount_ = 0;
  std::size_t learnedSeen_ = 0;
};

}  // namespace test
}  // namespace vorn
