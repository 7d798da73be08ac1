// The engine formula shared by every strategy: the constraint store and
// the trail, plus watch lists, the pending empty constraints and scores.
// Strategies read and write these members directly.
//
// Layout: watchLists[kind][litCode] hold 32-bit constraint ids. An entry of
// `nEmpties` is a pointer to at least three 32-bit words: a stored record
// (word 2 nonzero), or one of the static marks below, or the unit-conflict
// list at scratch + 1 (words 2 and 3 of scratch are 0). Its first literal
// is word 2 when that is nonzero, else word 0; the term bit of that literal
// tells a solution (term) from a conflict (clause). The list does not own
// what it points to.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/Assignment.h"
#include "engine/NffEx.h"

namespace vorn {

class DynFormula : public NffEx, public Assignment {
 public:
  struct Bempty {
    Literal lit1;
    Literal lit2;
  };

  // Three-word entries for nEmpties that are not records.
  static const uint32_t emptyClauseMark[3];   // an empty input clause
  static const uint32_t emptyTermMark[3];     // an empty input term
  static const uint32_t decidedFalseMark[3];  // analysis reached level 1 on a conflict
  static const uint32_t decidedTrueMark[3];   // ... on a solution

  static Literal firstLiteral(const uint32_t* entry) { return entry[2] != 0 ? entry[2] : entry[0]; }
  static bool isTermEntry(const uint32_t* entry) { return litTerm(firstLiteral(entry)); }

  DynFormula(CommandLine& options, Instance<long>& names, std::size_t chunkWords = Matrix::roadChunkWords,
             std::size_t chunkLimit = Matrix::roadChunkLimit);

  // Start-up: marks for empty input constraints, watch lists, initial
  // watches of the input records (none when an input constraint is
  // empty), table sizes, and the input units at level 1. Called once
  // before any strategy's init.
  void init();
  // Sizes the store for a formula that addAtom/addClause will fill.
  void init(const long& nVars, const long& nClauses) { NffEx::init(nVars, nClauses); }

  // A binary constraint that became empty; always true.
  bool pushBEmpty(const Literal& l1, const Literal& l2) {
    ++emptyCount;
    bEmpties.push_back(Bempty{l1, l2});
    if (levelOf(l1) >= levelOf(conflictLit)) conflictLit = litComplement(l1);
    return true;
  }
  bool hasEmpty() const { return !bEmpties.empty() || !nEmpties.empty(); }
  // conflictLit = the trail literal assigned last among the variables of
  // the 0-terminated word list (trail[0] when none is assigned).
  void setConflictLitFromList(const uint32_t* words);

  std::vector<double>& getVarScores() { return varScores; }
  void initVarScore(const unsigned long& lit, const int& s) { varScores[litVar(static_cast<uint32_t>(lit))] = s * scoreInc; }
  void incVarScore(const unsigned long& lit);
  void printStats();

  using NffEx::names;
  CommandLine& options;
  WordLists watchLists[kKinds];  // by litCode: ids
  unsigned long emptyCount = 0;  // empty constraints met; never reset
  std::vector<const uint32_t*> nEmpties;
  std::vector<Bempty> bEmpties;
  std::vector<double> varScores;  // by variable
  double scoreInc = 1.0;
};

}  // namespace vorn
