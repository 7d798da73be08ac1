// The strategy list of a search, in this order: BCP, MLF, the heuristic
// chosen by --heur, Backtrack, Unlearn. Built here, above every strategy
// and heuristic, so that the engine's loop knows none of them.
#pragma once

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Solver.h"

namespace vorn {

// Parameters of the belief-propagation heuristics, read from the options.
struct BpParams {
  int mode = 0;  // 0 "bp", 1 "bpd"
  long seed = kDefaultBpSeed;
  long bptime = kDefaultBpTime;
  long vflag = kDefaultBpVerbosity;
  double bperr = kDefaultBpError;
};

// Builds the list and prints the heuristic choice (and the BP parameters
// under --bpvflag).
SearchStrategies makeStrategies(DynFormula& formula, CommandLine& options, Instance<long>& names);

}  // namespace vorn
