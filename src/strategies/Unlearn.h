// Forgetting of learned clauses and terms that have many open literals.
// A pass runs when the count of empty constraints reaches a new multiple
// of 255, and deletes only when the option "-unlearn" is set; the command
// line has no such option, so in a normal run nothing is ever forgotten.
#pragma once

#include <cstdint>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Strategy.h"

namespace vorn {

class Unlearn : public Strategy {
 public:
  Unlearn(DynFormula& formula, CommandLine& options, Instance<long>& names);

  // The trigger: lit and reason are not used.
  void assign(const uint32_t& lit, const reasonItem_& reason) override;
  void Nlearn(const NC2learn&) override;
  void printStats() override;

  // The forgetting pass.
  void unLearn_();
  void resize_() {}

  DynFormula& formula;
  CommandLine& options;
  unsigned long unlearnedClauses = 0;
  unsigned long unlearnedTerms = 0;
  unsigned long lastEmptyCount = 0;
  unsigned long unlearnLimit = 0;  // input constraints of >= 2 literals at construction

 private:
  // True when a literal of the record is assigned with this constraint
  // as its reason: such a constraint is kept.
  bool isReason_(const uint32_t* record, uint32_t id, ConstraintKind kind) const;
  void forget_(uint32_t id, ConstraintKind kind);

  // The option store does not change during a run: read at construction.
  bool unlearn_;      // -unlearn
  bool searchStats_;  // -sstat
};

}  // namespace vorn
