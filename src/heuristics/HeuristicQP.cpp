#include "heuristics/HeuristicQP.h"

#include <algorithm>
#include <climits>
#include <iostream>

#include "input/FatalError.h"
#include "strategies/VariableOrder.h"

namespace vorn {

HeuristicQP::HeuristicQP(DynFormula& f, CommandLine& o, Instance<long>&)
    : formula(f),
      options(o),
      hFreq(resortPeriod(o)),
      progressSaving_(o.getPar(kOptionNoProgressSaving) != nullptr),
      searchStats_(o.getPar(kOptionSearchStats) != nullptr) {}

void HeuristicQP::init() {
  const std::size_t n = static_cast<std::size_t>(formula.prefix.maxAtom) + 1;
  score.assign(n, 0);
  trueScore.assign(n, 0);
  falseScore.assign(n, 0);
  posCount.assign(n, 0);
  negCount.assign(n, 0);
  order.assign(n, 0);
  savedPhase.assign(n, false);
  prefPos.assign(n, 0);
  loadPreferenceLine_();
  sortHeur_();
}

void HeuristicQP::loadPreferenceLine_() {
  // Only the first line counts; a store the reader did not fill has none.
  if (!formula.prefLines || formula.prefLines->empty()) return;
  const std::vector<long>& line = formula.prefLines->front();
  const long maxAtom = static_cast<long>(formula.prefix.maxAtom);
  for (std::size_t i = 0; i < line.size() && i < static_cast<std::size_t>(INT32_MAX); ++i) {
    const long l = line[i];
    const long v = l < 0 ? -l : l;
    if (v > maxAtom) {
      // A variable met only in preference lines has no place to be decided.
      const char* file = options.getPar(kKeyFileName);
      const std::vector<long>& external = formula.names.intToExt;
      // Standard output is not flushed first here, as it never was.
      throw FatalError(1, "",
                       std::string(file ? file : "") + ": preference line names variable " +
                           std::to_string(static_cast<std::size_t>(v) < external.size() ? external[v] : v) +
                           ", which stands in no quantifier line and no clause\n",
                       false);
    }
    const int32_t position = static_cast<int32_t>(i + 1);
    prefPos[v] = l > 0 ? position : -position;
    std::cout << "pref " << l << " pos " << prefPos[v] << std::endl;
  }
}

void HeuristicQP::sortHeur_() {
  refreshOccurrenceScores(formula, score, trueScore, falseScore, posCount, negCount, order);
  std::stable_sort(order.begin(), order.end(), CompareScore2<int32_t, int32_t>(formula, score, prefPos));
}

void HeuristicQP::assign(const uint32_t& lit, const reasonItem_&) {
  if (formula.hasEmpty()) {
    if (progressSaving_) recordPhases(formula, savedPhase);
    return;
  }
  if (lit == 0) decide_();
}

void HeuristicQP::decide_() {
  ++branches;
  const bool resorted = resortDue(formula, lastEmptyCount, hFreq);
  if (resorted) sortHeur_();
  const uint32_t v = cursor_.scan(formula, order, resorted).var;
  if (v != 0) {
    Literal decision;
    if (prefPos[v] != 0)
      decision = valueLiteral(formula, v, prefPos[v] > 0);
    else
      decision = decisionLiteral(formula, v, progressSaving_ && savedPhase[v]);
    pushDecision(formula, decision);
  }
  cursor_.settle(formula);
}

void HeuristicQP::printStats() {
  if (searchStats_) std::cout << "BRANCHES " << branches << std::endl;
}

}  // namespace vorn
