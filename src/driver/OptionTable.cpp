#include "driver/CommandLine.h"

namespace vorn {

// The descriptions are printed by the usage text as they stand, the
// trailing blank of --timelimit included.
const std::vector<OptionRow>& optionTable() {
  static const std::vector<OptionRow> table = {
      {kOptionHeuristic, "Solver: Branching heuristic {bp|bpd|occs}, default is bp"},
      {kOptionBpError, "BP: convergece criterion of Belief Propagation"},
      {kOptionBpSeed, "BP: seed of random number generator"},
      {kOptionBpTime, "BP: maximum iteration time"},
      {kOptionBpVerbosity, "BP: verbose flag {0|1|2}"},
      {kOptionSelfSubsumption, "enable Selfsubsumption resolution"},
      {kOptionQResolution, "enable Variable Elimination by Q-Resolution"},
      {kOptionEquivalenceSubstitution, "enable Variable Elimination by Equivalence Checking"},
      {kOptionThreeEquivalence, "enable Variable Elimination by Three-Equivalence Checking"},
      {kOptionEquivalenceRewriting, "enable Equivalences Rewriting"},
      {kOptionAllSimplifications, "enable all the above simplification algorithms"},
      {kOptionPreproStats, "print Simplification Statistics"},
      {kOptionNoPrepro, "disable the preprocessing phase (implies -solve, overrides prepro opts)"},
      {kOptionForcePrepro, "force the preprocessing phase of huge problems (conflicting with -noprepro)"},
      {kOptionSolve, "solve with Vorn after preprocessing"},
      {kOptionTimeLimit, "Solver: timelimit "},
      {kOptionNoProgressSaving, "Solver: disable Progress Saving"},
      {kOptionSearchStats, "Solver: print search statistics"},
  };
  return table;
}

}  // namespace vorn
