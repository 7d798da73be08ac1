// The clause store of the preprocessor's formula: clauses under stable ids
// (freed ids reused last in, first out), an occurrence list per literal,
// a two-literal partner list per literal, and the scratch lists of the
// subsumption check and the resolvent builder.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "preprocessor/CnfPrefix.h"

namespace vorn {

using ClauseId = int32_t;

class CnfMatrix {
 public:
  CnfMatrix();

  // Stores a non-empty list of literals of distinct atoms; answers its id.
  ClauseId addClause(const std::vector<CnfLiteral>& lits);
  // No-op on id 0, an id beyond the slots or a free slot.
  void removeClause(ClauseId id);
  // Takes the literal of atom out of the clause in place. True, also for a
  // free or out-of-range id or an atom the clause lacks; false, with nothing
  // changed, when it is the clause's only literal.
  bool removeFromClause(ClauseId id, CnfLiteral atom);

  bool isStored(ClauseId id) const {
    return id > 0 && id < static_cast<ClauseId>(clauses.size()) && !clauses[id].empty();
  }
  long liveClauseCount() const {
    return static_cast<long>(clauses.size()) - 1 - static_cast<long>(freeIds.size());
  }
  ClauseId slotCount() const { return static_cast<ClauseId>(clauses.size()); }

  // Clause walk in increasing id order; it continues from the cursor id, so
  // removing the clause under the cursor is safe.
  ClauseId getBeginClause();
  ClauseId getNextClause();
  ClauseId getEndClause() const { return slotCount(); }
  ClauseId rgetBeginClause();
  ClauseId rgetNextClause();
  ClauseId rgetEndClause() const;
  ClauseId currentClause_(ClauseId i) const;
  ClauseId rcurrentClause_(ClauseId i) const;

  // Clause ids holding lit / the partners y of the stored clauses (lit y).
  std::vector<ClauseId>& occs(CnfLiteral lit) { return lit > 0 ? posOccs[lit] : negOccs[-lit]; }
  std::vector<CnfLiteral>& partners(CnfLiteral lit) { return lit > 0 ? posBinaries[lit] : negBinaries[-lit]; }
  const std::vector<CnfLiteral>& partners(CnfLiteral lit) const {
    return lit > 0 ? posBinaries[lit] : negBinaries[-lit];
  }
  // Stored one-literal clauses (lit).
  int32_t storedUnits(CnfLiteral lit) const {
    const std::size_t code = unitCode(lit);
    return code < unitCount.size() ? unitCount[code] : 0;
  }
  // True when the per-atom lists cover the atom.
  bool covers(CnfLiteral lit) const { return static_cast<std::size_t>(atomOf(lit)) < posOccs.size(); }
  // Grows the four per-atom lists to cover atom (new lists empty).
  void coverAtom(CnfLiteral atom);

  // The clause lines of the simplified formula (" 3 -2 0"), in id order.
  void printClause(ClauseId id, std::FILE* out) const;
  void print(std::FILE* out) const;

  // Slot id -> literals in stored order; a free slot is an empty list
  // (slot 0 stays free). Stored clauses follow the Compareliteral order.
  std::vector<std::vector<CnfLiteral>> clauses;
  std::vector<std::vector<ClauseId>> posOccs;
  std::vector<std::vector<ClauseId>> negOccs;
  std::vector<std::vector<CnfLiteral>> posBinaries;
  std::vector<std::vector<CnfLiteral>> negBinaries;
  std::vector<ClauseId> freeIds;
  // Slots reserved when the store is made; a fuzz target lowers it, as the
  // sanitizer writes the shadow of a large reserve on allocation and free.
  static inline int32_t firstClauseCapacity = 10000;
  int32_t clauseCapacity = firstClauseCapacity;
  // Slot id -> per literal of the clause, where the id stands in that
  // literal's occurrence list, so removing a clause does not search lists
  // that a common literal makes as long as the formula. Built on the first
  // use (keepPlaces): a formula that is only read and written never needs
  // it, and it would cost an allocation per clause.
  mutable std::vector<std::vector<int32_t>> occPlace;
  void keepPlaces() const {
    if (!placesKept_) buildPlaces_();
  }
  // Where clause id stands in the occurrence list of its k-th literal.
  int32_t placeOf(ClauseId id, std::size_t k) const {
    keepPlaces();
    return occPlace[id][k];
  }
  // Room for this many slots (slot 0 included) at once.
  void reserveSlots(std::size_t slots);
  // Per literal (unitCode) the number of stored one-literal clauses.
  std::vector<int32_t> unitCount;

  // Scratch of the subsumption check: per clause id the number of literals
  // it shares with the last list checked, and the ids with a nonzero count.
  std::vector<int32_t> sharedCount;
  std::vector<ClauseId> touchedIds;
  // The literals whose occurrence lists the last check left out (0: none);
  // a clause that no other list reached still counts 0 there.
  CnfLiteral skippedLiterals[2] = {0, 0};
  // Per atom 0, or 1 + the index of its literal in the list being checked.
  std::vector<int32_t> listPosition;
  // Per atom 0 or a literal; scratch of the resolvent builder, 0 between uses.
  std::vector<CnfLiteral> literalMark;

 private:
  static std::size_t unitCode(CnfLiteral lit) {
    return 2 * static_cast<std::size_t>(atomOf(lit)) + (lit < 0 ? 1 : 0);
  }
  void coverMark(CnfLiteral atom) {
    if (static_cast<std::size_t>(atom) >= literalMark.size()) literalMark.resize(atom + 1, 0);
  }
  // Takes id out of the occurrence list of its k-th literal, the list's
  // last entry taking its place (the order eraseFirst gives).
  void eraseOccurrence_(ClauseId id, std::size_t k);

  void buildPlaces_() const;

  ClauseId cursor_ = 0;
  mutable bool placesKept_ = false;
};

// Overwrites the first entry equal to value by the last entry and shrinks
// the list: constant work after the search, order not kept.
template <class T>
inline void eraseFirst(std::vector<T>& list, T value) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == value) {
      list[i] = list.back();
      list.pop_back();
      return;
    }
  assert(!"entry missing from an occurrence or partner list");
}

}  // namespace vorn
