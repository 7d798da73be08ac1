#include "strategies/Heuristic.h"

#include <algorithm>
#include <iostream>

namespace vorn {

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
  const bool resorted = resortDue(formula, lastEmptyCount, hFreq);
  if (resorted) sortHeur_();
  const uint32_t v = cursor_.scan(formula, order, resorted).var;
  if (v != 0) {
    const Literal decision = decisionLiteral(formula, v, !noSaving_ && savedPhase[v]);
    if (noSaving_) printDecision(decision);
    pushDecision(formula, decision);
  }
  cursor_.settle(formula);
}

void Heuristic::printStats() {
  if (searchStats_) std::cout << "BRANCHES " << branches << std::endl;
}

}  // namespace vorn
