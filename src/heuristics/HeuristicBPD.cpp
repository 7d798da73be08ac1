#include "heuristics/HeuristicBPD.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "bp/BpFormula.h"
#include "bp/Random.h"
#include "input/FatalError.h"
#include "strategies/VariableOrder.h"

namespace vorn {

namespace {

// Option values arrive as long; the module counts in int.
int clampToInt(long x) { return static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, x))); }

// Decimation runs with fixed limits; the options bound the fixed-point run only.
constexpr double kDecimationThreshold = 0.01;
constexpr int kDecimationSweeps = 1000;

}  // namespace

HeuristicBPD::HeuristicBPD(DynFormula& f, CommandLine& o, Instance<long>&, int mode, long seed, long sweeps,
                           long verbosity, double threshold)
    : formula(f),
      options(o),
      bpMode(mode),
      bpVerbose(clampToInt(verbosity)),
      bpTime(clampToInt(sweeps)),
      bpSeed(seed),
      bpErr(threshold),
      hFreq(resortPeriod(o)),
      noSaving_(o.getPar(kOptionNoProgressSaving) != nullptr),
      searchStats_(o.getPar(kOptionSearchStats) != nullptr) {
  const char* file = options.getPar(kKeyFileName);
  instanceFile = file ? file : "";
}

HeuristicBPD::HeuristicBPD(DynFormula& f, CommandLine& o, Instance<long>& names, int mode)
    : HeuristicBPD(f, o, names, mode, kDefaultBpSeed, kDefaultBpTime, kDefaultBpVerbosity, kDefaultBpError) {}

void HeuristicBPD::init() {
  const std::size_t n = static_cast<std::size_t>(formula.prefix.maxAtom) + 1;
  score.assign(n, 0);
  trueScore.assign(n, 0);
  falseScore.assign(n, 0);
  posCount.assign(n, 0);
  negCount.assign(n, 0);
  order.assign(n, 0);
  savedPhase.assign(n, false);
  sortHeur_();
  rankByBeliefPropagation_();
}

void HeuristicBPD::rankByBeliefPropagation_() {
  const long seed = bpSeed != 0 ? bpSeed : static_cast<long>(std::time(nullptr));
  // Both live only for this run; the ranking is all that is kept.
  XTQRANDOMv3 rng(seed);
  zsat bp(&rng, 0);
  bp.verbose = bpVerbose;
  // Only decimation reads the per-edge messages (for its entropy), and the
  // literals after the sweeps.
  bp.keep_edge_messages = bpMode != 0;
  bp.release_literals = bpMode == 0;
  bp.formula_read_qbf_file(instanceFile);
  bp.bp_init_structure();
  if (bpMode == 0) {
    bp.des_vars.clear();
    bp.des_vals.clear();
    bp.bp_init_random();
    bp.bp_converge(bpErr, bpTime, 0);
    // The ranking reads the marginals only; its tables need not come on top.
    bp.bp_release_messages();
    bp.des_allmag(bp.N);
  } else {
    bp.des_bp_mix(kDecimationThreshold, kDecimationSweeps);
  }

  const bool show = bpVerbose == 2;
  if (show) std::cout << bp.des_vars.size() << " variables are loaded from BP." << std::endl;
  std::vector<int32_t> vars(bp.des_vars.size());
  for (std::size_t i = 0; i < vars.size(); ++i) {
    // The module numbers from 0; its variable x - 1 is the file's x.
    vars[i] = bp.des_vars[i] + 1;
    if (show) std::cout << (bp.des_vals[i] == 1 ? "+" : "-") << vars[i] << ' ' << std::flush;
  }
  if (show) std::cout << std::endl;
  setRanking(vars, bp.des_vals);
}

void HeuristicBPD::setRanking(const std::vector<int32_t>& vars, const std::vector<int32_t>& signs) {
  assert(vars.size() == signs.size());
  const Prefix& prefix = formula.prefix;
  bpOrder.clear();
  bpSign.clear();
  for (std::size_t i = 0; i < vars.size(); ++i) {
    const int32_t v = vars[i];
    // Only prefix variables of the engine can be decided.
    if (v < 1 || static_cast<uint32_t>(v) > prefix.maxAtom || !prefix.isPlaced(static_cast<uint32_t>(v))) continue;
    bpOrder.push_back(v);
    bpSign.push_back(signs[i]);
  }
  // Group by level, keeping the ranking order inside a group.
  const std::size_t levels = prefix.blocks.size();
  rankLevelBegin_.assign(levels + 1, 0);
  for (int32_t v : bpOrder) ++rankLevelBegin_[prefix.atomLevel[v] + 1];
  for (std::size_t l = 1; l <= levels; ++l) rankLevelBegin_[l] += rankLevelBegin_[l - 1];
  rankByLevel_.assign(bpOrder.size(), 0);
  std::vector<uint32_t> fill(rankLevelBegin_.begin(), rankLevelBegin_.end() - 1);
  for (std::size_t i = 0; i < bpOrder.size(); ++i) rankByLevel_[fill[prefix.atomLevel[bpOrder[i]]]++] = static_cast<uint32_t>(i);
  rankCursor_.assign(levels, 0);
  rankEpoch_.assign(levels, 0);
  epoch_ = 1;
}

void HeuristicBPD::sortHeur_() {
  refreshOccurrenceScores(formula, score, trueScore, falseScore, posCount, negCount, order);
  std::stable_sort(order.begin(), order.end(), CompareScore<int32_t>(formula, score));
}

void HeuristicBPD::assign(const uint32_t& lit, const reasonItem_&) {
  if (formula.hasEmpty()) {
    if (!noSaving_) recordPhases(formula, savedPhase);
    return;
  }
  if (lit == 0) decide_();
}

void HeuristicBPD::decide_() {
  ++branches;
  const bool resorted = resortDue(formula, lastEmptyCount, hFreq);
  if (resorted) sortHeur_();
  if (cursor_.unassignedSince(formula) && ++epoch_ == 0) {
    // After 2^32 epochs an old stamp could match again.
    std::fill(rankEpoch_.begin(), rankEpoch_.end(), 0);
    epoch_ = 1;
  }
  const OrderScan scan = cursor_.scan(formula, order, resorted);
  if (scan.reachedZero) {
    throw FatalError(1, "error in HEURISTIC\n", "");
  }
  const uint32_t v = scan.var;
  if (v != 0) {
    if (noSaving_) {
      // The ranking is not consulted: the occurrence order with default values.
      const Literal decision = decisionLiteral(formula, v, false);
      printDecision(decision);
      pushDecision(formula, decision);
    } else {
      const Literal decision = rankedDecision_(v);
      assert(decision == rankedDecisionByWalk_(v));
      pushDecision(formula, decision);
    }
  }
  cursor_.settle(formula);
}

// The BP candidate is the best-ranked unassigned ranking variable of the
// outermost level among them, and it wins only when that level is v's.
// Every prefix variable of a level before v's is assigned (the order is
// sorted by level and v is its first unassigned entry), so the candidate
// is the first unassigned ranking entry of v's level, and when there is
// none v decides, with its saved phase.
Literal HeuristicBPD::rankedDecision_(uint32_t v) {
  const uint32_t level = formula.prefix.atomLevel[v];
  if (level < rankCursor_.size()) {
    uint32_t pos = rankEpoch_[level] == epoch_ ? rankCursor_[level] : rankLevelBegin_[level];
    const uint32_t end = rankLevelBegin_[level + 1];
    while (pos < end && formula.value[bpOrder[rankByLevel_[pos]]] != 0) ++pos;
    rankCursor_[level] = pos;
    rankEpoch_[level] = epoch_;
    if (pos < end) {
      const uint32_t i = rankByLevel_[pos];
      return valueLiteral(formula, static_cast<uint32_t>(bpOrder[i]), bpSign[i] != -1);
    }
  }
  return decisionLiteral(formula, v, savedPhase[v]);
}

Literal HeuristicBPD::rankedDecisionByWalk_(uint32_t v) const {
  const Prefix& prefix = formula.prefix;
  std::size_t best = bpOrder.size();
  for (std::size_t i = 0; i < bpOrder.size(); ++i) {
    const uint32_t b = static_cast<uint32_t>(bpOrder[i]);
    if (formula.value[litVar(prefix.atomWord[b])] != 0) continue;
    if (best == bpOrder.size() || prefix.atomLevel[b] < prefix.atomLevel[bpOrder[best]]) best = i;
  }
  if (best != bpOrder.size() && prefix.atomLevel[v] >= prefix.atomLevel[bpOrder[best]])
    return valueLiteral(formula, static_cast<uint32_t>(bpOrder[best]), bpSign[best] != -1);
  return decisionLiteral(formula, v, savedPhase[v]);
}

void HeuristicBPD::printStats() {
  if (searchStats_) std::cout << "BRANCHES " << branches << std::endl;
}

}  // namespace vorn
