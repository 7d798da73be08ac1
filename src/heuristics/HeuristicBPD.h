// The default branching heuristic ("--heur bp", and "bpd" for the
// decimation variant). Before the search it runs belief propagation once
// over the instance file and keeps the result, the BP ranking: variables
// in the order the module fixed them, each with a value. A decision takes
// the best-ranked unassigned variable of the outermost block that still
// has one, with its BP value; when the ranking has none there, it decides
// like the occurrence heuristic (occurrence order, saved phase). With
// "-ps" the ranking is computed but never consulted.
//
// Ranking entries are the file's own variable numbers, used as engine
// indices; entries that name no prefix variable of the engine (removed by
// preprocessing, declared but unused) are dropped when the ranking is
// taken over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Strategy.h"
#include "engine/Types.h"
#include "strategies/VariableOrder.h"

namespace vorn {

class HeuristicBPD : public Strategy {
 public:
  // mode 0 ranks one BP fixed point by polarisation, any other value runs
  // decimation; seed 0 means the current time; sweeps and threshold bound
  // the fixed-point run (mode 0 only); verbosity 2 also prints the ranking.
  HeuristicBPD(DynFormula& formula, CommandLine& options, Instance<long>& names, int mode, long seed, long sweeps,
               long verbosity, double threshold);
  // The same with the defaults of the command line for the rest.
  HeuristicBPD(DynFormula& formula, CommandLine& options, Instance<long>& names, int mode);

  // Sizes the tables, sorts, runs belief propagation over the instance file.
  void init() override;
  void assign(const uint32_t& lit, const reasonItem_& reason) override;
  void printStats() override;

  // Recomputes the occurrence scores and stable-sorts the order.
  void sortHeur_();
  // Takes over a ranking of engine variables (best first) with their
  // values: entries that are no prefix variable are dropped.
  void setRanking(const std::vector<int32_t>& vars, const std::vector<int32_t>& signs);

  DynFormula& formula;
  CommandLine& options;
  std::string instanceFile;  // the file the BP module reads
  int bpMode;
  int bpVerbose;
  int bpTime;                // sweep limit of the fixed-point run
  long bpSeed;               // 0: the current time
  double bpErr;              // convergence threshold of the fixed-point run
  uint32_t branches = 0;
  unsigned long lastEmptyCount = 0;
  std::vector<int32_t> bpOrder;  // ranked engine variables, best first
  std::vector<int32_t> bpSign;   // per bpOrder entry: -1 decides FALSE, else TRUE
  std::vector<int32_t> score;
  std::vector<int32_t> trueScore;
  std::vector<int32_t> falseScore;
  std::vector<uint32_t> posCount;
  std::vector<uint32_t> negCount;
  std::vector<uint32_t> order;
  std::vector<bool> savedPhase;
  uint32_t hFreq;

 private:
  void rankByBeliefPropagation_();
  void decide_();
  // The decision of a request without "-ps", for the first unassigned
  // variable v of the order.
  Literal rankedDecision_(uint32_t v);
  // The same by the rule as stated, a walk over the whole ranking; checks
  // the fast one in builds with assertions.
  Literal rankedDecisionByWalk_(uint32_t v) const;

  OrderCursor cursor_;
  // The option store does not change during a run: read at construction.
  bool noSaving_;     // -ps
  bool searchStats_;  // -sstat
  // The ranking grouped by level, each group in ranking order: positions
  // in bpOrder; group L spans rankLevelBegin_[L] .. rankLevelBegin_[L + 1].
  // Per level, a resumable position that stays valid while rankEpoch_[L]
  // equals epoch_ (a new epoch starts whenever something may have been
  // unassigned).
  std::vector<uint32_t> rankByLevel_;
  std::vector<uint32_t> rankLevelBegin_;
  std::vector<uint32_t> rankCursor_;
  std::vector<uint32_t> rankEpoch_;
  uint32_t epoch_ = 1;
};

}  // namespace vorn
