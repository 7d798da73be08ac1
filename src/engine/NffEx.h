// The engine's constraint store: clauses and terms of the input and
// learned ones, kept apart per ConstraintKind (index 0..3 of every table).
//
// Shapes after reduction: an empty constraint sets emptyClause/emptyTerm; a
// unit goes to `units`; two literals live only in the binary partner lists
// `bOccs`; three or more become an NConstraint record in chunk memory with
// an id, a watchedOccs_ entry and one `nOccs` entry per literal.
//
// Layout: per-literal tables are WordLists indexed by litCode, reserved
// for 2 x (variables + 1) lists and only ever growing; ids are 32-bit; records
// are addressed by pointers into chunk memory (see Matrix.h). A storing
// operation returns the record, or the address of one of the outcome tags
// of `matrix` (emptyTag, tautologyTag, binaryTag, unitTag).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Constraint.h"
#include "engine/NFF.h"
#include "engine/WordLists.h"
#include "engine/Types.h"

namespace vorn {

using PrefLines = std::vector<std::vector<long>>;

class NffEx : public NFF {
 public:
  // Caps of what a declared count reserves up front (the per-literal
  // tables and the lists sized by variables; the input id table). A
  // process that reads many small files under a sanitizer lowers them: the
  // shadow of a large reserve is written on allocation and on free.
  static inline std::size_t hintCap = std::size_t{1} << 16;
  static inline std::size_t firstReserveSize = std::size_t{1} << 22;

  NffEx(CommandLine& options, Instance<long>& names, std::size_t chunkWords = Matrix::kDefaultChunkWords,
        std::size_t chunkLimit = Matrix::kDefaultChunkLimit);

  // Sizes the per-literal tables for nVars variables and reserves the id
  // table of the input clauses for nClauses (both only hints, capped);
  // never shrinks anything.
  void init(const long& nVars, const long& nClauses);

  // An input constraint as signed internal indices in any order; sorts the
  // list in place. A variable without a place joins the outermost block as
  // a free (existential) variable. id is written only for a record.
  uint32_t* learnConstraint(std::vector<long>& lits, uint32_t& id, bool input, bool clause);
  // A learned constraint: encoded Literals in ascending prefix order. The
  // list is shortened in place by the reduction.
  uint32_t* learnConstraint(std::vector<uint32_t>& lits, uint32_t& id, bool clause);
  // An encoded, reduced constraint of two or more literals.
  uint32_t* learnConstraint_(std::vector<uint32_t>& lits, uint32_t& id, bool input, bool clause);
  // Deletes an N-ary constraint; a deleted id is left alone.
  void unLearnNConstraint(uint32_t id, bool input, bool clause);
  void printStats() {}

  // Number of N-ary constraints of kind k that contain the literal with
  // this code: the length of its occurrence list, or its count where the
  // list is not kept.
  std::size_t occurrences(ConstraintKind k, uint32_t code) const {
    if (k >= LearnedClause && !learnedLists_) {
      const std::vector<uint32_t>& counted = learnedCounts_[k - LearnedClause];
      return code < counted.size() ? counted[code] : 0;
    }
    return code < nOccs[k].size() ? nOccs[k][code].size() : 0;
  }
  // Whether the learned kinds keep occurrence lists. During a search they
  // are only ever counted (by the heuristics) and shortened (by
  // forgetting), while learned terms can hold most of the variables each,
  // so the search road keeps counts alone and nOccs[LearnedClause] and
  // nOccs[LearnedTerm] stay empty lists. Set before anything is learned.
  void keepLearnedOccurrenceLists(bool keep);
  bool learnedOccurrenceListsKept() const { return learnedLists_; }

  // Bulk loading of input clauses: from here on their records are stored
  // without occurrence lists, which layOutInputOccurrences then builds in
  // one pass, in id order (the order they would have had), each list taking
  // its final block at once. Growing a million lists per literal costs a
  // chain of cache misses and copies per entry. Nothing may read
  // nOccs[OrigClause] in between.
  void deferInputOccurrences();
  void layOutInputOccurrences();

  bool isRecord(const uint32_t* outcome) const {
    return outcome != &matrix.emptyTag && outcome != &matrix.tautologyTag && outcome != &matrix.binaryTag &&
           outcome != &matrix.unitTag;
  }
  // The Literal of signed internal index s in a clause (or a term).
  uint32_t encode(long s, bool clause) const {
    const uint32_t v = static_cast<uint32_t>(s < 0 ? -s : s);
    return 2 * v + (s < 0 ? 1u : 0u) + (prefix.isExistential(v) ? kExistBit : 0u) + (clause ? 0u : kTermBit);
  }

  // Printers and maintenance operations (engine/StoreMaintenance.cpp).
  void printFormula(bool external);
  void printMatrix(bool external);
  void unLearnBConstraint(uint32_t& lit1, uint32_t& lit2);
  void removeLitFromBConstraint(uint32_t& lit1, uint32_t& lit2, bool, bool);
  void removeLitFromNConstraint(const uint32_t& lit, uint32_t id, bool input, bool clause);
  void defrag(long a, long b);
  void defrag_(std::vector<watchedOccs_>* entries, std::vector<uint32_t>* newToOldMap,
               std::vector<uint32_t>* oldToNewMap, WordLists* occs);
  void sortBinary(const uint32_t& lit);

  std::vector<watchedOccs_> watchedOccs[kKinds];          // by id; entry 0 unused
  WordLists nOccs[kKinds];                                // by litCode: ids
  WordLists bOccs[kKinds];                                // by litCode: [self, partners...]
  std::vector<uint32_t> newToOld[kKinds], oldToNew[kKinds];  // id maps of defrag
  std::vector<Literal> units;                             // pending units, storing order
  bool emptyClause = false;
  bool emptyTerm = false;
  // Small list area: the unit-conflict list starts at word 1; the
  // analysis and the printers use it too. Stable address (nEmpties points
  // into it).
  uint32_t scratch[4] = {0, 0, 0, 0};
  // Cap of the id-table reserve made from a declared count: reserved words
  // cost nothing until used, but a lying header must not reserve gigabytes.
  std::size_t reserveSize = firstReserveSize;
  std::size_t counts[kKinds] = {0, 0, 0, 0};  // constraints of >= 2 literals
  std::size_t printId = 1, printList = 0, printPartner = 1;
  // Preference lines ("c f" groups of signed internal indices) installed
  // by the reader; null for a store the reader did not fill.
  std::unique_ptr<PrefLines> prefLines;

 private:
  // Makes nOccs[k] and bOccs[k] cover both literals of code's variable.
  void ensureLitTables_(ConstraintKind k, uint32_t code) {
    const std::size_t need = static_cast<std::size_t>(code | 1u) + 1;
    // Editing the last one first: the heads do not move for the others.
    if (nOccs[k].size() < need) nOccs[k].edit(need - 1);
    if (bOccs[k].size() < need) bOccs[k].edit(need - 1);
    if (k >= LearnedClause && !learnedLists_ && learnedCounts_[k - LearnedClause].size() < need)
      learnedCounts_[k - LearnedClause].resize(need, 0);
  }
  bool learnedLists_ = true;
  bool deferred_ = false;
  uint32_t deferredFrom_ = 0;  // first input clause id without occurrences
  std::vector<uint32_t> learnedCounts_[2];  // by litCode, while learnedLists_ is false
  std::vector<uint32_t> encoded_;  // reused by every input constraint
};

}  // namespace vorn
