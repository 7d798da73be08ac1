// The activity-order heuristic ("--heur vsids"): the prefix variables by
// level, then by the formula's per-variable activity (DynFormula::
// getVarScores), then by index. Nothing in the engine raises activities,
// so in effect the order is by level and index. Decisions take the saved
// phase and are printed when "-ps" is not given; with "-ps" every decision
// is FALSE and nothing is printed.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Strategy.h"
#include "engine/Types.h"
#include "strategies/VariableOrder.h"

namespace vorn {

class HeuristicVSIDS : public Strategy {
 public:
  HeuristicVSIDS(DynFormula& formula, CommandLine& options, Instance<long>& names);

  void init() override;
  void assign(const uint32_t& lit, const reasonItem_& reason) override;
  void printStats() override;

  // Copies the activities and stable-sorts the order by them.
  void sortHeur_();

  DynFormula& formula;
  CommandLine& options;
  uint32_t branches = 0;
  unsigned long lastEmptyCount = 0;
  // One entry per variable index: the formula's scores as copied at the
  // last sort, 0.0 where its score vector has no entry.
  std::vector<double> activity;
  std::vector<uint32_t> order;
  std::vector<bool> savedPhase;
  uint32_t hFreq;

 private:
  OrderCursor cursor_;
  // The option store does not change during a run: read at construction.
  bool noSaving_;     // -ps
  bool searchStats_;  // -sstat

  void decide_();
};

}  // namespace vorn
