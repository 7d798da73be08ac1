// The pieces of a branching heuristic that are the same in every one of
// them: the decayed occurrence scores, the re-sort rule, the saved phases,
// the decision scan over a variable order and the decision push. Each
// heuristic keeps its own tables and its own comparator and calls these on
// them, so one fix here reaches all of them.
//
// An order is a vector of variable indices with one entry per index
// (maxAtom + 1), sorted by prefix level first; entries 0 name no variable
// and sort behind every prefix variable. The last entry is always 0 and is
// never examined.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

#include "driver/CommandLine.h"
#include "engine/DynFormula.h"
#include "engine/Types.h"

namespace vorn {

// a goes before b: outer block first (levels as unsigned numbers, so 0
// and indices without a place sort behind every block), then the larger
// score, then the smaller index. Strict and total on distinct indices;
// used with stable sorts only, so equal entries keep their order.
template <class Score>
struct CompareScore {
  const DynFormula& formula;
  const std::vector<Score>& score;

  CompareScore(const DynFormula& f, const std::vector<Score>& s) : formula(f), score(s) {}

  bool operator()(uint32_t a, uint32_t b) const {
    const uint32_t la = formula.prefix.level(a);
    const uint32_t lb = formula.prefix.level(b);
    if (la != lb) return la < lb;
    if (score[a] != score[b]) return score[a] > score[b];
    return a < b;
  }
};

// Occurrences of the literal with the given code in all four kinds: its
// N-ary constraints plus its binary partners.
uint32_t occurrenceCount(const DynFormula& formula, uint32_t code);

// The decision Literal of variable v for a value: its atomWord for TRUE,
// with the sign bit for FALSE. The default value is TRUE for an
// existential variable and FALSE for a universal one.
inline Literal decisionLiteral(const DynFormula& formula, uint32_t v, bool opposeDefault) {
  const Literal word = formula.prefix.atomWord[v];
  const bool negative = !litExistential(word) != opposeDefault;
  return negative ? (word | kSignBit) : word;
}

// The re-sort period: 255, or "--h-freq" when the store has a value for it.
uint32_t resortPeriod(const CommandLine& options);

// For every prefix variable v (forward walk, outermost block first): the
// decayed occurrence scores of v and order[v] = v; then order[0] = 0. The
// old score halves (truncating) and the growth of the counts since the
// previous call is added, seen from v's default value. Every vector has
// maxAtom + 1 entries.
void refreshOccurrenceScores(DynFormula& formula, std::vector<int32_t>& score, std::vector<int32_t>& trueScore,
                             std::vector<int32_t>& falseScore, std::vector<uint32_t>& posCount,
                             std::vector<uint32_t>& negCount, std::vector<uint32_t>& order);

// order[v] = v for every prefix variable, order[0] = 0; other entries are
// left as they are.
void listPrefixVariables(DynFormula& formula, std::vector<uint32_t>& order);

// The re-sort test of a decision request: true when emptyCount has moved
// since the previous request (which lastEmptyCount remembers) and is now
// a multiple of the period. A multiple passed between two requests does
// not count.
inline bool resortDue(const DynFormula& formula, unsigned long& lastEmptyCount, uint32_t period) {
  if (formula.emptyCount == lastEmptyCount) return false;
  lastEmptyCount = formula.emptyCount;
  return period != 0 && formula.emptyCount % period == 0;
}

// Progress Saving: for every trail literal (up to the first 0), the bit is
// set when the value opposes the variable's default (existential FALSE,
// universal TRUE) and cleared otherwise.
void recordPhases(const DynFormula& formula, std::vector<bool>& savedPhase);

struct OrderScan {
  uint32_t var = 0;          // the first unassigned variable; 0 when none
  bool reachedZero = false;  // the scan stopped at an entry 0
};

// The first unassigned variable of the order, scanning from its start.
inline OrderScan firstUnassigned(const DynFormula& formula, const std::vector<uint32_t>& order) {
  OrderScan scan;
  const std::size_t n = order.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const uint32_t v = order[i];
    if (v == 0) {
      scan.reachedZero = true;
      return scan;
    }
    if (formula.value[litVar(formula.prefix.atomWord[v])] != 0) continue;
    scan.var = v;
    return scan;
  }
  return scan;
}

// A scan of an order that resumes where the previous request's scan
// stopped. Only the analysis unassigns variables, and it always leaves a
// decision level below the one the previous request left; so while the
// level is that one and the order has not been re-sorted, every entry
// before the stopping point is still assigned.
class OrderCursor {
 public:
  // Whether anything may have been unassigned since the previous request.
  bool unassignedSince(const DynFormula& formula) const { return formula.decisionLevel != level_; }
  // The first unassigned variable, as firstUnassigned. resorted: the order
  // changed since the previous request.
  OrderScan scan(const DynFormula& formula, const std::vector<uint32_t>& order, bool resorted) {
    if (resorted || unassignedSince(formula)) from_ = 0;
    OrderScan result;
    const std::size_t n = order.size();
    std::size_t i = from_;
    for (; i + 1 < n; ++i) {
      const uint32_t v = order[i];
      if (v == 0) {
        result.reachedZero = true;
        break;
      }
      if (formula.value[litVar(formula.prefix.atomWord[v])] != 0) continue;
      result.var = v;
      break;
    }
    from_ = i;
#ifndef NDEBUG
    const OrderScan fromStart = firstUnassigned(formula, order);
    assert(result.var == fromStart.var && result.reachedZero == fromStart.reachedZero);
#endif
    return result;
  }
  // At the end of every request, after its decision (if any) is pushed.
  void settle(const DynFormula& formula) { level_ = formula.decisionLevel; }

 private:
  std::size_t from_ = 0;
  uint32_t level_ = 0;  // decision level the previous request left
};

// The decision Literal of v for an explicit value, whatever v's quantifier.
inline Literal valueLiteral(const DynFormula& formula, uint32_t v, bool value) {
  const Literal word = formula.prefix.atomWord[v];
  return value ? word : (word | kSignBit);
}

// Opens a new decision level with the literal.
inline void pushDecision(DynFormula& formula, Literal decision) {
  formula.push2Assign(decision, reasonItem_{0, Branch});
}

// The decision trace: the index, negative for FALSE, and a blank; flushed.
void printDecision(Literal decision);

}  // namespace vorn
