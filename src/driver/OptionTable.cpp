#include "driver/CommandLine.h"

namespace vorn {

// The descriptions are printed by the usage text as they stand, the
// trailing blank of --timelimit included.
const std::vector<OptionRow>& optionTable() {
  static const std::vector<OptionRow> table = {
      {"--heur", "Solver: Branching heuristic {bp|bpd|occs}, default is bp"},
      {"--bperr", "BP: convergece criterion of Belief Propagation"},
      {"--bpseed", "BP: seed of random number generator"},
      {"--bptime", "BP: maximum iteration time"},
      {"--bpvflag", "BP: verbose flag {0|1|2}"},
      {"-ss", "enable Selfsubsumption resolution"},
      {"-qr", "enable Variable Elimination by Q-Resolution"},
      {"-es", "enable Variable Elimination by Equivalence Checking"},
      {"-3e", "enable Variable Elimination by Three-Equivalence Checking"},
      {"-er", "enable Equivalences Rewriting"},
      {"-all", "enable all the above simplification algorithms"},
      {"-stat", "print Simplification Statistics"},
      {"-noprepro", "disable the preprocessing phase (implies -solve, overrides prepro opts)"},
      {"-forceprepro", "force the preprocessing phase of huge problems (conflicting with -noprepro)"},
      {"-solve", "solve with Vorn after preprocessing"},
      {"--timelimit", "Solver: timelimit "},
      {"-ps", "Solver: disable Progress Saving"},
      {"-sstat", "Solver: print search statistics"},
  };
  return table;
}

}  // namespace vorn
