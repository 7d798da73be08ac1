// Monotone (pure) literals of the input clauses.
//
// Pure literals in QBF: Cadoli, Giovanardi, Schaerf, "An Algorithm to
// Evaluate Quantified Boolean Formulae", AAAI 1998; kept sound next to
// learning: Giunchiglia, Narizzano, Tacchella, "Monotone Literals and
// Learning in QBF Reasoning", CP 2004.
//
// A literal is pure when every input clause containing it is satisfied; the
// existential player then makes its complement true, the universal player
// the literal itself. Only input clauses count (binary ones through the
// partner lists, longer ones through the two watch words of their entry),
// so learned constraints never keep a literal from being pure.
//
// Detection is lazy: a literal found not pure is registered under one
// witness, the first open clause met (a binary partner literal, or a
// longer clause id), and is queued for a new test only when that witness
// may have become satisfied. Nothing here is undone on a backjump.
//
// An existential pure literal on which no input clause depends is marked
// DontCare, which lets the solution term flip it.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/CommandLine.h"
#include "driver/Instance.h"
#include "engine/DynFormula.h"
#include "engine/Propagation.h"
#include "engine/Strategy.h"
#include "engine/Types.h"

namespace vorn {

class MLF : public Strategy, public PureLiterals {
 public:
  MLF(DynFormula& formula, CommandLine& options, Instance<long>& names);

  // Sizes the tables and fixes the literals that are pure at level 1.
  void init() override;
  void assign(const uint32_t&, const reasonItem_&) override {}

  // Walks the trail literals from pureHead on. Does nothing while an empty
  // constraint is pending.
  void subsume() override;
  // Fixes at most one queued candidate that has become pure.
  void search4pure() override;
  // The purity test of an unassigned literal; a literal found not pure is
  // registered under its first open clause. False for an assigned literal.
  bool search4pure_(const Literal& lit);
  // The work for one literal that has become true: queue the literals
  // waiting on it, refresh watch words, mark DontCare.
  void subsume_(const Literal& lit);
  void printDS_() {}

  DynFormula& formula;
  CommandLine& options;

  WordLists litWitnesses;                    // by litCode of the witness partner
  WordLists clauseWitnesses;                 // by input clause id
  WordLists& partners;                      // bOccs[OrigClause]
  WordLists& occurrences;                   // nOccs[OrigClause]
  std::vector<watchedOccs_>& entries;                 // watchedOccs[OrigClause]
  std::vector<Literal> candidates;
  // 0: not queued; p > 0: queued from litWitnesses[p]; -c: from clauseWitnesses[c].
  std::vector<int32_t> queuedFrom;
  uint32_t queueHead = 0;

 private:
  // Assigns the value that makes the pure literal lit harmless.
  void fixPure_(Literal lit);
  // Drops lit's registration in the list it was queued from.
  void retire_(Literal lit);
  void queue_(Literal lit, int32_t from);
  void prefetchAhead_(const Literal* lits, std::size_t at, std::size_t n) const;
  std::size_t occurrenceCount_(uint32_t code) const;

  // The option "-nopure" cannot change during a run; read once.
  bool noPure_ = false;
};

}  // namespace vorn
