// The occurrence heuristic ("--heur occs") and the pieces of it that every
// branching heuristic repeats: the variable order by prefix level, decayed
// occurrence score and index (CompareScore), the saved phases, and the
// decision push.
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
  // Where the previous scan stopped, and the decision level it left.
  std::size_t scanFrom_ = 0;
  uint32_t levelAtScan_ = 0;
};

}  // namespace vorn
