#include "heuristics/HeuristicVSIDS.h"

#include <algorithm>
#include <iostream>

#include "strategies/VariableOrder.h"

namespace vorn {

HeuristicVSIDS::HeuristicVSIDS(DynFormula& f, CommandLine& o, Instance<long>&)
    : formula(f),
      options(o),
      hFreq(resortPeriod(o)),
      noSaving_(o.getPar(kOptionNoProgressSaving) != nullptr),
      searchStats_(o.getPar(kOptionSearchStats) != nullptr) {}

void HeuristicVSIDS::init() {
  const std::size_t n = static_cast<std::size_t>(formula.prefix.maxAtom) + 1;
  activity.assign(n, 0.0);
  order.assign(n, 0);
  savedPhase.assign(n, false);
  sortHeur_();
}

void HeuristicVSIDS::sortHeur_() {
  listPrefixVariables(formula, order);
  // The comparator reads activity only, which covers every index.
  const std::vector<double>& scores = formula.getVarScores();
  const std::size_t covered = std::min(scores.size(), activity.size());
  std::copy(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(covered), activity.begin());
  std::fill(activity.begin() + static_cast<std::ptrdiff_t>(covered), activity.end(), 0.0);
  std::stable_sort(order.begin(), order.end(), CompareScore<double>(formula, activity));
}

void HeuristicVSIDS::assign(const uint32_t& lit, const reasonItem_&) {
  if (formula.hasEmpty()) {
    if (!noSaving_) recordPhases(formula, savedPhase);
    return;
  }
  if (lit == 0) decide_();
}

void HeuristicVSIDS::decide_() {
  ++branches;
  const bool resorted = resortDue(formula, lastEmptyCount, hFreq);
  if (resorted) sortHeur_();
  const uint32_t v = cursor_.scan(formula, order, resorted).var;
  if (v != 0) {
    if (noSaving_) {
      pushDecision(formula, valueLiteral(formula, v, false));
    } else {
      const Literal decision = decisionLiteral(formula, v, savedPhase[v]);
      pushDecision(formula, decision);
      printDecision(decision);
    }
  }
  cursor_.settle(formula);
}

void HeuristicVSIDS::printStats() {
  if (searchStats_) std::cout << "BRANCHES " << branches << std::endl;
}

}  // namespace vorn
