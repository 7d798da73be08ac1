// The preference-line heuristic ("--heur qp"). The first "c f" line of the
// input lists variables with signs: inside its block a listed variable
// goes before every unlisted one, listed ones in line order, and each is
// decided with the sign the line gives it. Unlisted variables are ordered
// and decided as by the occurrence heuristic, except that here "-ps"
// switches Progress Saving on. No decision is printed.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Strategy.h"
#include "engine/Types.h"
#include "strategies/VariableOrder.h"

namespace vorn {

// a goes before b: the smaller level first (unsigned, as CompareScore);
// within a level a listed variable (position nonzero) first, listed ones
// by ascending |position|; then the larger score, then the smaller index.
template <class Score, class Position>
struct CompareScore2 {
  const DynFormula& formula;
  const std::vector<Score>& score;
  const std::vector<Position>& prefPos;

  CompareScore2(const DynFormula& f, const std::vector<Score>& s, const std::vector<Position>& p)
      : formula(f), score(s), prefPos(p) {}

  bool operator()(uint32_t a, uint32_t b) const {
    const uint32_t la = formula.prefix.level(a);
    const uint32_t lb = formula.prefix.level(b);
    if (la != lb) return la < lb;
    const Position pa = prefPos[a];
    const Position pb = prefPos[b];
    if ((pa != 0) != (pb != 0)) return pa != 0;
    if (pa != 0) {
      const auto ma = std::llabs(static_cast<long long>(pa));
      const auto mb = std::llabs(static_cast<long long>(pb));
      if (ma != mb) return ma < mb;
    }
    if (score[a] != score[b]) return score[a] > score[b];
    return a < b;
  }
};

class HeuristicQP : public Strategy {
 public:
  HeuristicQP(DynFormula& formula, CommandLine& options, Instance<long>& names);

  // Sizes the tables, loads the first preference line (printing a "pref"
  // line per entry), sorts. A listed variable beyond maxAtom ends the
  // process with exit code 1.
  void init() override;
  void assign(const uint32_t& lit, const reasonItem_& reason) override;
  void printStats() override;

  // Recomputes the occurrence scores and stable-sorts with CompareScore2.
  void sortHeur_();

  DynFormula& formula;
  CommandLine& options;
  // By variable: +k / -k for the k-th entry (from 1) of the first
  // preference line with its sign, 0 when not listed. 32 bits, so a line
  // of any length keeps its positions.
  std::vector<int32_t> prefPos;
  uint32_t branches = 0;
  unsigned long lastEmptyCount = 0;
  std::vector<int32_t> score;
  std::vector<int32_t> trueScore;
  std::vector<int32_t> falseScore;
  std::vector<uint32_t> posCount;
  std::vector<uint32_t> negCount;
  std::vector<uint32_t> order;
  std::vector<bool> savedPhase;
  uint32_t hFreq;

 private:
  OrderCursor cursor_;
  // The option store does not change during a run: read at construction.
  bool progressSaving_;  // -ps, which here switches Progress Saving on
  bool searchStats_;     // -sstat

  void loadPreferenceLine_();
  void decide_();
};

}  // namespace vorn
