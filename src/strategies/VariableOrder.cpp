#include "strategies/VariableOrder.h"

#include <algorithm>
#include <cassert>
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

uint32_t resortPeriod(const CommandLine& options) {
  const char* freq = options.getPar(kOptionResortPeriod);
  return freq ? static_cast<uint32_t>(std::strtol(freq, nullptr, 10)) : 255u;
}

void refreshOccurrenceScores(DynFormula& formula, std::vector<int32_t>& score, std::vector<int32_t>& trueScore,
                             std::vector<int32_t>& falseScore, std::vector<uint32_t>& posCount,
                             std::vector<uint32_t>& negCount, std::vector<uint32_t>& order) {
  Prefix& prefix = formula.prefix;
  assert(order.size() == static_cast<std::size_t>(prefix.maxAtom) + 1);
  for (uint32_t word = prefix.getBegin(); word != NULL_ATOM; word = prefix.getNext()) {
    const uint32_t v = litVar(word);
    const uint32_t p = occurrenceCount(formula, 2 * v);
    const uint32_t q = occurrenceCount(formula, 2 * v + 1);
    // Growth since the previous sort, seen from the default value.
    int64_t dT = static_cast<int64_t>(p) - posCount[v];
    int64_t dF = static_cast<int64_t>(q) - negCount[v];
    if (!litExistential(word)) std::swap(dT, dF);
    trueScore[v] = static_cast<int32_t>(trueScore[v] / 2 + dT);
    falseScore[v] = static_cast<int32_t>(falseScore[v] / 2 + dF);
    score[v] = std::max(trueScore[v], falseScore[v]);
    posCount[v] = p;
    negCount[v] = q;
    order[v] = v;
  }
  order[0] = 0;
}

void listPrefixVariables(DynFormula& formula, std::vector<uint32_t>& order) {
  Prefix& prefix = formula.prefix;
  assert(order.size() == static_cast<std::size_t>(prefix.maxAtom) + 1);
  for (uint32_t word = prefix.getBegin(); word != NULL_ATOM; word = prefix.getNext()) order[litVar(word)] = litVar(word);
  order[0] = 0;
}

void recordPhases(const DynFormula& formula, std::vector<bool>& savedPhase) {
  const std::size_t limit = std::min<std::size_t>(formula.trailSize, formula.trail.size() - 1);
  for (std::size_t i = 0; i < limit; ++i) {
    const Literal l = formula.trail[i];
    if (l == 0) break;
    // Existential assigned FALSE, or universal assigned TRUE.
    savedPhase[litVar(l)] = (((l >> 30) ^ l) & 1u) == 0;
  }
}

void printDecision(Literal decision) {
  const long v = static_cast<long>(litVar(decision));
  std::cout << (litNegative(decision) ? -v : v) << ' ' << std::flush;
}

}  // namespace vorn
