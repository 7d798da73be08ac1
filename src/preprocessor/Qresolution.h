// The Q-resolution pass of the preprocessing road. The pass itself decides
// nothing and leaves the formula unchanged; the class also offers the
// elimination of an existential atom of the innermost block by its
// Q-resolvents (qresolution_ builds them, eliminateVar_ swaps them in).
//
// Q-resolution: Kleine Buening, Karpinski, Floegel, "Resolution for
// Quantified Boolean Formulas", Information and Computation 117(1), 1995.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "preprocessor/CnfFormula.h"

namespace vorn {

class CommandLine;

class Qresolution {
 public:
  explicit Qresolution(CommandLine& options);
  // Whether the pass runs at all is the caller's choice; only the
  // self-subsumption check of the resolvents is the pass's own.
  explicit Qresolution(bool selfSubsumption);

  // Answers PassUndecided; the formula is not touched.
  PassResult operator()(CnfFormula& formula);

  // Builds the Q-resolvent of the stored clauses c1 and c2 on the atom of
  // pivot, which must be an existential atom of the innermost block that c1
  // and c2 hold with opposite signs. A tautology or a resolvent that a
  // stored clause subsumes is dropped; any other stays pending, and score
  // changes by the literals it would add less those of the clauses it
  // subsumes. False, with nothing pending, when the pair does not qualify.
  bool qresolution_(ClauseId c1, ClauseId c2, CnfLiteral pivot, CnfFormula& formula, long& score);

  // Replaces the clauses of atom by the pending resolvents. Checked before
  // anything is removed: atom is an existential atom of the innermost
  // block, every pending resolvent was built on it, every pair of its
  // clauses was resolved, and no resolvent is empty. False when a check
  // fails (formula unchanged; an empty resolvent also marks the formula
  // false) or when a self-subsumption resolvent comes out empty (formula
  // marked false). The pending list and the scratch lists end empty.
  bool eliminateVar_(CnfLiteral atom, CnfFormula& formula);

  std::size_t pendingCount() const { return pending_.size(); }
  int32_t score(CnfLiteral atom) const {
    return static_cast<std::size_t>(atom) < score_.size() ? score_[atom] : 0;
  }

  // Read by the driver's progress test and statistics; no operation
  // changes them.
  int32_t eliminatedVars = 0;
  int32_t checkedVars = 0;

 private:
  void coverAtoms_(const CnfFormula& formula);
  void dropPending_();
  void changeScores_(const std::vector<CnfLiteral>& clause, int32_t sign);
  bool innermostExistential_(CnfFormula& formula, CnfLiteral atom) const;

  std::vector<std::vector<CnfLiteral>> pending_;
  std::vector<CnfLiteral> pendingPivot_;                    // atom each resolvent was built on
  std::vector<std::pair<ClauseId, ClauseId>> resolvedPairs_;  // (clause with +a, clause with -a)
  std::vector<CnfLiteral> seen_;                            // per atom, 0 between calls
  std::vector<ClauseId> subsumed_;
  std::vector<int32_t> score_;                              // per atom
  bool useSelfSubsumption_ = false;
  float factor_ = 1.0f;
  long number_ = 0;
};

}  // namespace vorn
