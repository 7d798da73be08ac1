#include "heuristics/StrategyList.h"

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "heuristics/HeuristicBPD.h"
#include "heuristics/HeuristicQP.h"
#include "heuristics/HeuristicVSIDS.h"
#include "strategies/BCP.h"
#include "strategies/Backtrack.h"
#include "strategies/Heuristic.h"
#include "strategies/MLF.h"
#include "strategies/Unlearn.h"

namespace vorn {

namespace {

long optionLong(CommandLine& options, const char* name, long fallback) {
  const char* value = options.getPar(name);
  return value ? std::strtol(value, nullptr, 10) : fallback;
}

void say(const char* line) { std::cout << line << std::endl; }

// The one place that maps "--heur" to a heuristic. Every other value
// (and no value) means "bp".
std::unique_ptr<Strategy> makeHeuristic(DynFormula& formula, CommandLine& options, Instance<long>& names,
                                        const BpParams& bp) {
  const char* value = options.getPar(kOptionHeuristic);
  const std::string heur = value ? value : "";
  if (heur == "occs") {
    say("Heuristic choice : occs");
    return std::make_unique<Heuristic>(formula, options, names);
  }
  if (heur == "bpd") {
    say("Heuristic choice : Belief Propagation Decimation");
    return std::make_unique<HeuristicBPD>(formula, options, names, 1, bp.seed, bp.bptime, bp.vflag, bp.bperr);
  }
  if (heur == "vsids") {
    say("Heuristic choice : vsids");
    return std::make_unique<HeuristicVSIDS>(formula, options, names);
  }
  if (heur == "qp") return std::make_unique<HeuristicQP>(formula, options, names);  // no choice line
  say("Heuristic choice : Belief Propagation");
  return std::make_unique<HeuristicBPD>(formula, options, names, 0, bp.seed, bp.bptime, bp.vflag, bp.bperr);
}

}  // namespace

SearchStrategies makeStrategies(DynFormula& formula, CommandLine& options, Instance<long>& names) {
  SearchStrategies s;
  auto bcp = std::make_unique<BCP>(formula, options, names);
  auto mlf = std::make_unique<MLF>(formula, options, names);
  s.units = bcp.get();
  s.pures = mlf.get();
  s.list.push_back(std::move(bcp));
  s.list.push_back(std::move(mlf));

  BpParams bp;
  bp.seed = optionLong(options, kOptionBpSeed, bp.seed);
  bp.vflag = optionLong(options, kOptionBpVerbosity, bp.vflag);
  if (const char* err = options.getPar(kOptionBpError)) bp.bperr = std::strtod(err, nullptr);
  bp.bptime = optionLong(options, kOptionBpTime, bp.bptime);
  if (bp.vflag > 0)
    std::cout << "In BP: random_seed=" << bp.seed << " bptime=" << bp.bptime << " bperr=" << bp.bperr << std::endl;

  s.list.push_back(makeHeuristic(formula, options, names, bp));
  s.list.push_back(std::make_unique<Backtrack>(formula, options, names));
  s.list.push_back(std::make_unique<Unlearn>(formula, options, names));
  return s;
}

}  // namespace vorn
