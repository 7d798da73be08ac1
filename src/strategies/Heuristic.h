// The occurrence heuristic ("--heur occs"): the variable order by prefix
// level, decayed occurrence score and index, with saved phases. The pieces
// every branching heuristic shares are in VariableOrder.h.
//
// The heuristic answers the null event (every trail literal announced,
// nothing pending) with one decision on the first unassigned variable of
// its order. The order is sorted once at init and again only when the
// count of empty constraints reaches a new multiple of hFreq, so a
// decision is one linear scan.
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

class Heuristic : public Strategy {
 public:
  Heuristic(DynFormula& formula, CommandLine& options, Instance<long>& names);

  void init() override;
  // The event handler: records phases while an empty constraint is
  // pending, answers the null event (lit 0) with at most one decision.
  void assign(const uint32_t& lit, const reasonItem_& reason) override;
  void printStats() override;

  // Recomputes the decayed scores and stable-sorts the order.
  void sortHeur_();

  DynFormula& formula;
  CommandLine& options;
  uint32_t branches = 0;              // decision requests answered
  unsigned long lastEmptyCount = 0;   // emptyCount at the previous request
  std::vector<int32_t> score;         // by variable: max(trueScore, falseScore)
  std::vector<int32_t> trueScore;     // literal the default value makes true
  std::vector<int32_t> falseScore;    // its complement
  std::vector<uint32_t> posCount;     // counts at the previous sort
  std::vector<uint32_t> negCount;
  std::vector<uint32_t> order;        // variable indices; 0 names none
  std::vector<bool> savedPhase;       // set: last recorded value opposes the default
  uint32_t hFreq = 255;               // re-sort period in empty constraints

 private:
  void savePhases_();
  void decide_();

  // "-ps" (Progress Saving off, decisions traced); the option store does
  // not change during a run, so init reads it once.
  bool noSaving_ = false;
  bool searchStats_;  // -sstat, read at construction
  OrderCursor cursor_;
};

}  // namespace vorn
