// The search: the strategy list, the loop that propagates to a fixpoint
// and then sends one event to the strategies from list index 2 on, the
// CPU-time limit, and the result line.
//
// Strategy list, in this order: BCP, MLF, the heuristic chosen by --heur,
// Backtrack, Unlearn. BCP and MLF are driven by direct calls; only the
// others receive events. The Solver owns its strategies.
#pragma once

#include <sys/resource.h>

#include <memory>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Strategy.h"

namespace vorn {

class BCP;
class MLF;

// Parameters of the belief-propagation heuristics, read from the options.
struct BpParams {
  int mode = 0;  // 0 "bp", 1 "bpd"
  long seed = kDefaultBpSeed;
  long bptime = kDefaultBpTime;
  long vflag = kDefaultBpVerbosity;
  double bperr = kDefaultBpError;
};

class Solver {
 public:
  // Builds the strategy list and prints the heuristic choice.
  Solver(DynFormula& formula, CommandLine& options, Instance<long>& names);
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
  std::unique_ptr<Strategy> makeHeuristic_(CommandLine& options, Instance<long>& names, const BpParams& bp);
  // 10 or 20 from the newest pending empty constraint; 99 when none.
  int pendingResult_() const;

  BCP* bcp_ = nullptr;
  MLF* mlf_ = nullptr;
};

// User plus system CPU seconds of the process so far.
float processCpuSeconds();

// The process CPU seconds at which the search stops: timeLimit, or less
// under a soft CPU-time limit (RLIM_INFINITY: none), so that the search
// ends and prints its statistics and answer line before SIGXCPU comes.
float searchStopSeconds(int timeLimit, rlim_t softCpuLimit);

}  // namespace vorn
