// The search: the loop that propagates to a fixpoint and then sends one
// event to the strategies from list index 2 on, the CPU-time limit, and
// the result line.
//
// The strategy list is built outside the engine (heuristics/StrategyList);
// its first two entries, unit propagation and the pure-literal rule, are
// driven by direct calls; only the others receive events. The Solver owns
// its strategies.
#pragma once

#include <sys/resource.h>

#include <memory>
#include <vector>

#include "engine/DynFormula.h"
#include "engine/Propagation.h"
#include "engine/Strategy.h"

namespace vorn {

// What a search runs: the strategy list in the order of its events, and
// the first two entries again under the interfaces of their direct calls.
struct SearchStrategies {
  std::vector<std::unique_ptr<Strategy>> list;
  UnitPropagation* units = nullptr;  // list[0]
  PureLiterals* pures = nullptr;     // list[1]
};

class Solver {
 public:
  Solver(DynFormula& formula, SearchStrategies strategies);
  ~Solver();
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  // DynFormula::init, then every strategy's init unless an empty
  // constraint is already pending; prints the time taken.
  void init();
  // Runs the search; limit is CPU seconds of the whole process. A soft
  // CPU-time limit of the process lowers it (searchStopSeconds).
  void Solve(int limit);
  // Prints the result line; returns the result code.
  int& getResult();
  // Unit propagation and pure literals to a fixpoint: binary constraints
  // first, then pure-literal bookkeeping, then N-ary ones, until nothing
  // is pending; then one pure literal at a time, each followed by
  // propagation again. Stops at the first empty constraint.
  void propagate();
  // 10 or 20 from the newest pending empty constraint; 99 when none.
  int pendingResult() const { return pendingResult_(); }

  DynFormula& formula;
  std::vector<std::unique_ptr<Strategy>> strategies;
  int result = ResultUnknown;

 private:
  // 10 or 20 from the newest pending empty constraint; 99 when none.
  int pendingResult_() const;

  UnitPropagation* bcp_ = nullptr;
  PureLiterals* mlf_ = nullptr;
};

// User plus system CPU seconds of the process so far.
float processCpuSeconds();

// The process CPU seconds at which the search stops: timeLimit after the
// search clock's origin, or less under a soft CPU-time limit
// (RLIM_INFINITY: none), so that the search ends and prints its
// statistics and answer line before SIGXCPU comes.
float searchStopSeconds(int timeLimit, rlim_t softCpuLimit);

// The process CPU seconds --timelimit counts from: 0, the start of the
// process, for the binary. A caller that runs one road after another in a
// long-lived process (the whole-run fuzz target) moves it to each start.
void setSearchClockOrigin(float processSeconds);

}  // namespace vorn
