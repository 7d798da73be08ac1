#include "strategies/Heuristic.h"

#include "heuristics/VariableOrder.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace vorn {

uint32_t occurrenceCount(const DynFormula& formula, uint32_t code) {
  uint32_t count = 0;
  for (int k = 0; k < kKinds; ++k) {
    count += static_cast<uint32_t>(formula.occurrences(static_cast<ConstraintKind>(k), code));
    // Element 0 of a partner list is the literal itself.
    if (code < formula.bOccs[k].size() && !formula.bOccs[k][code].empty())
      count += static_cast<uint32_t>(formula.bOccs[k][code].size() - 1);
  }
  return count;
}

Heuristic::Heuristic(DynFormula& f, CommandLine& o, Instance<long>&)
    : formula(f), options(o), searchStats_(o.getPar(kOptionSearchStats) != nullptr) {
  hFreq = resortPeriod(options);
}

void Heuristic::init() {
  noSaving_ = options.getPar(kOptionNoProgressSaving) != nullptr;
  const std::size_t n = static_cast<std::size_t>(formula.prefix.maxAtom) + 1;
  score.assign(n, 0);
  trueScore.assign(n, 0);
  falseScore.assign(n, 0);
  posCount.assign(n, 0);
  negCount.assign(n, 0);
  order.assign(n, 0);
  savedPhase.assign(n, false);
  sortHeur_();
}

void Heuristic::sortHeur_() {
  refreshOccurrenceScores(formula, score, trueScore, falseScore, posCount, negCount, order);
  std::stable_sort(order.begin(), order.end(), CompareScore<int32_t>(formula, score));
}

void Heuristic::assign(const uint32_t& lit, const reasonItem_&) {
  if (formula.hasEmpty()) {
    // A conflict or solution is about to be undone: remember the values.
    savePhases_();
    return;
  }
  if (lit != 0) return;
  decide_();
}

void Heuristic::savePhases_() {
  if (!noSaving_) recordPhases(formula, savedPhase);
}

void Heuristic::decide_() {
  ++branches;
  bool resorted = false;
  if (formula.emptyCount != lastEmptyCount) {
    lastEmptyCount = formula.emptyCount;
    if (hFreq != 0 && formula.emptyCount % hFreq == 0) {
      sortHeur_();
      resorted = true;
    }
  }
  // The entries before scanFrom_ were assigned at the previous request.
  // Only the analysis unassigns, and it always leaves the level below the
  // one the previous decision opened; so while the level is unchanged and
  // the order too, the scan can go on where it stopped.
  if (resorted || formula.decisionLevel != levelAtScan_) scanFrom_ = 0;
  // The last entry is always 0 (the order has one entry per index, 0
  // included); an entry 0 names no variable and ends the scan.
  const std::size_t n = order.size();
  std::size_t i = scanFrom_;
  for (; i + 1 < n; ++i) {
    const uint32_t v = order[i];
    if (v == 0) break;
    // The order holds prefix variables only, so v is its atomWord's variable.
    if (formula.value[v] != 0) continue;
    const bool progressSaving = !noSaving_;
    const Literal decision = decisionLiteral(formula, v, progressSaving && savedPhase[v]);
    if (!progressSaving) {
      const long shown = litNegative(decision) ? -static_cast<long>(v) : static_cast<long>(v);
      std::cout << shown << ' ' << std::flush;
    }
    formula.push2Assign(decision, reasonItem_{0, Branch});
    ++i;
    break;
  }
  scanFrom_ = i;
  levelAtScan_ = formula.decisionLevel;
}

void Heuristic::printStats() {
  if (searchStats_) std::cout << "BRANCHES " << branches << std::endl;
}

}  // namespace vorn
