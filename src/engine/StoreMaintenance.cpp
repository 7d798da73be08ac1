// Maintenance of the constraint store while it is being built: deleting
// and shortening stored constraints, compacting the id tables, ordering
// the binary partner lists. None of it keeps watch lists up to date, so
// it must run before the formula's start-up sets the watches.
#include <algorithm>
#include <cassert>

#include "engine/LiteralOrder.h"
#include "engine/NffEx.h"

namespace vorn {

namespace {

// Start-up watches every input record on two nonzero literals, and the
// analysis watches every learned record as it stores it; the watch words
// of a deleted entry stay. So a store in which no entry carries a watch
// word and no learned record exists has not been started.
[[maybe_unused]] bool watchesSet(const NffEx& store) {
  if (store.watchedOccs[LearnedClause].size() > 1 || store.watchedOccs[LearnedTerm].size() > 1) return true;
  for (ConstraintKind k : {OrigClause, OrigTerm}) {
    const std::vector<watchedOccs_>& entries = store.watchedOccs[k];
    for (std::size_t id = 1; id < entries.size(); ++id) {
      const watchedOccs_& e = entries[id];
      if (e.watch1 || e.watch2) return true;
      if (e.begin && (e.begin[0] || e.begin[1])) return true;
    }
  }
  return false;
}

// Position of the first partner equal to lit (element 0 is the owner), or
// list.size().
std::size_t findPartner(const WordList& list, uint32_t lit) {
  for (std::size_t i = 1; i < list.size(); ++i)
    if (list[i] == lit) return i;
  return list.size();
}

void dropAt(WordList& list, std::size_t i) {
  list[i] = list.back();
  list.pop_back();
}

void dropOccurrence(WordList& occs, uint32_t id) {
  auto it = std::find(occs.begin(), occs.end(), id);
  assert(it != occs.end() && "every literal of a live record lists its id");
  if (it == occs.end()) return;
  *it = occs.back();
  occs.pop_back();
}

}  // namespace

void NffEx::unLearnBConstraint(uint32_t& lit1, uint32_t& lit2) {
  const ConstraintKind k = litTerm(lit1) ? OrigTerm : OrigClause;
  WordLists& lists = bOccs[k];
  const uint32_t c1 = litCode(lit1), c2 = litCode(lit2);
  // A stored binary never pairs a literal with itself.
  if (c1 == c2 || c1 >= lists.size() || c2 >= lists.size()) return;
  WordList& partnersOf1 = lists.edit(c1);
  WordList& partnersOf2 = lists.edit(c2);
  const std::size_t at1 = findPartner(partnersOf1, lit2);
  const std::size_t at2 = findPartner(partnersOf2, lit1);
  // A pair that is not stored must not cost another pair its count.
  if (at1 == partnersOf1.size() || at2 == partnersOf2.size()) return;
  assert(counts[k] > 0);
  --counts[k];
  dropAt(partnersOf1, at1);
  dropAt(partnersOf2, at2);
}

void NffEx::removeLitFromBConstraint(uint32_t& lit1, uint32_t& lit2, bool, bool) {
  assert(!watchesSet(*this) && "the store is already watched");
  const ConstraintKind k = litTerm(lit1) ? OrigTerm : OrigClause;
  const std::size_t before = counts[k];
  unLearnBConstraint(lit1, lit2);
  if (counts[k] == before) return;  // not stored
  // What is left is reduced like any one-literal constraint: an opponent
  // literal alone goes as well.
  if (litOwn(lit2))
    units.push_back(lit2);
  else
    (k == OrigClause ? emptyClause : emptyTerm) = true;
}

void NffEx::removeLitFromNConstraint(const uint32_t& lit, uint32_t id, bool input, bool clause) {
  const ConstraintKind k = kindOf(input, clause);
  if (id == 0 || id >= watchedOccs[k].size()) return;
  watchedOccs_& entry = watchedOccs[k][id];
  if (!entry.begin) return;
  assert(!watchesSet(*this) && "the store is already watched");

  uint32_t* lits = NConstraint::literals(entry.begin);
  std::size_t n = 0, at = 0;
  bool found = false;
  for (; lits[n]; ++n)
    if (!found && lits[n] == lit) {
      at = n;
      found = true;
    }
  assert(found && "the literal stands in the record");
  if (!found) return;

  // The record lists its literals innermost first, so the opponent
  // literals that lit leaves behind every own literal now lead it.
  std::size_t first = 0;
  while (first < n && (first == at || !litOwn(lits[first]))) ++first;
  std::vector<uint32_t> rest;
  rest.reserve(n);
  for (std::size_t i = first; i < n; ++i)
    if (i != at) rest.push_back(lits[i]);

  if (rest.size() >= 3) {
    for (std::size_t i = 0; i < first; ++i) dropOccurrence(nOccs[k].edit(litCode(lits[i])), id);
    if (at >= first) dropOccurrence(nOccs[k].edit(litCode(lit)), id);
    std::copy(rest.begin(), rest.end(), lits);
    lits[rest.size()] = 0;
    return;
  }

  // Too short for a record: file it in the shape of its new length.
  unLearnNConstraint(id, input, clause);
  if (rest.size() == 2) {
    uint32_t unusedId = 0;
    learnConstraint_(rest, unusedId, input, clause);
  } else if (rest.size() == 1) {
    units.push_back(rest[0]);
  } else {
    (clause ? emptyClause : emptyTerm) = true;
  }
}

void NffEx::defrag(long a, long b) {
  assert(!watchesSet(*this) && "the watch lists hold ids that defrag would change");
  NFF::defrag(a, b);
  for (ConstraintKind k : {OrigClause, OrigTerm}) defrag_(&watchedOccs[k], &newToOld[k], &oldToNew[k], &nOccs[k]);
}

void NffEx::defrag_(std::vector<watchedOccs_>* entries, std::vector<uint32_t>* newToOldMap,
                    std::vector<uint32_t>* oldToNewMap, WordLists* occs) {
  std::vector<watchedOccs_>& table = *entries;
  const std::size_t oldSize = table.size();
  // Deleted old ids map to 0; entry 0 stays where it is.
  newToOldMap->assign(oldSize, 0);
  oldToNewMap->assign(oldSize, 0);
  std::size_t next = 1;
  for (std::size_t old = 1; old < oldSize; ++old) {
    if (!table[old].begin) continue;
    table[next] = table[old];  // the whole entry, watch words included
    (*newToOldMap)[next] = static_cast<uint32_t>(old);
    (*oldToNewMap)[old] = static_cast<uint32_t>(next);
    ++next;
  }
  table.resize(next);
  newToOldMap->resize(next);

  for (WordList& list : *occs)
    for (uint32_t& id : list) {
      assert(id < oldSize && (*oldToNewMap)[id] != 0 && "occurrence lists hold live ids only");
      id = (*oldToNewMap)[id];
    }
}

void NffEx::sortBinary(const uint32_t& lit) {
  WordLists& lists = bOccs[OrigClause];
  const CompareLiterals<NffEx> deepestFirst(*this);
  // The owner stays in front; fewer than two partners need no order.
  auto sortPartners = [&](WordList& list) {
    if (list.size() < 3) return;
    std::sort(list.begin() + 1, list.end(), deepestFirst);
  };
  if (lit != 0) {
    if (litCode(lit) < lists.size()) sortPartners(lists.edit(litCode(lit)));
    return;
  }
  for (WordList& list : lists) sortPartners(list);
}

}  // namespace vorn
