#include "preprocessor/CnfMatrix.h"

#include <algorithm>

namespace vorn {

CnfMatrix::CnfMatrix() {
  clauses.reserve(clauseCapacity);
  clauses.emplace_back();  // slot 0 is never a clause
}

void CnfMatrix::reserveSlots(std::size_t slots) {
  if (slots <= static_cast<std::size_t>(clauseCapacity)) return;
  clauseCapacity = static_cast<int32_t>(slots);
  clauses.reserve(slots);
  if (placesKept_) occPlace.reserve(slots);
}

void CnfMatrix::buildPlaces_() const {
  placesKept_ = true;
  occPlace.reserve(clauses.capacity());
  occPlace.assign(clauses.size(), {});
  for (std::size_t id = 1; id < clauses.size(); ++id) occPlace[id].resize(clauses[id].size());
  // A short clause finds the literal by a scan; a long one would make that
  // quadratic in its length, so its entries are matched afterwards, clause
  // by clause, through a literal-to-index table.
  constexpr std::size_t kScanned = 32;
  struct Entry {
    ClauseId id;
    CnfLiteral lit;
    int32_t at;
  };
  std::vector<Entry> inLong;
  auto place = [&](const std::vector<ClauseId>& list, CnfLiteral lit) {
    for (std::size_t at = 0; at < list.size(); ++at) {
      const std::vector<CnfLiteral>& c = clauses[list[at]];
      if (c.size() > kScanned) {
        inLong.push_back(Entry{list[at], lit, static_cast<int32_t>(at)});
        continue;
      }
      std::size_t k = 0;
      while (c[k] != lit) ++k;
      occPlace[list[at]][k] = static_cast<int32_t>(at);
    }
  };
  for (std::size_t a = 1; a < posOccs.size(); ++a) {
    place(posOccs[a], static_cast<CnfLiteral>(a));
    place(negOccs[a], -static_cast<CnfLiteral>(a));
  }
  if (inLong.empty()) return;
  std::sort(inLong.begin(), inLong.end(), [](const Entry& x, const Entry& y) { return x.id < y.id; });
  std::vector<int32_t> indexOf(2 * posOccs.size(), -1);
  for (std::size_t from = 0; from < inLong.size();) {
    const std::vector<CnfLiteral>& c = clauses[inLong[from].id];
    for (std::size_t k = 0; k < c.size(); ++k) indexOf[unitCode(c[k])] = static_cast<int32_t>(k);
    std::size_t to = from;
    for (; to < inLong.size() && inLong[to].id == inLong[from].id; ++to) {
      const int32_t k = indexOf[unitCode(inLong[to].lit)];
      assert(k >= 0 && c[static_cast<std::size_t>(k)] == inLong[to].lit);
      occPlace[inLong[to].id][static_cast<std::size_t>(k)] = inLong[to].at;
    }
    for (CnfLiteral l : c) indexOf[unitCode(l)] = -1;
    from = to;
  }
}

void CnfMatrix::coverAtom(CnfLiteral atom) {
  if (static_cast<std::size_t>(atom) < posOccs.size()) return;
  std::size_t n = static_cast<std::size_t>(atom) + 1;
  posOccs.resize(n);
  negOccs.resize(n);
  posBinaries.resize(n);
  negBinaries.resize(n);
  unitCount.resize(2 * n, 0);
}

ClauseId CnfMatrix::addClause(const std::vector<CnfLiteral>& lits) {
  assert(!lits.empty());
  ClauseId id;
  if (!freeIds.empty()) {
    id = freeIds.back();
    freeIds.pop_back();
  } else {
    id = slotCount();
    // Grown only when full, so a store reserved for its input never moves.
    if (slotCount() == clauseCapacity) {
      // Geometric growth: a fixed step would move every slot once per step.
      clauseCapacity = std::max(clauseCapacity + 10000, 2 * clauseCapacity);
      clauses.reserve(clauseCapacity);
      if (placesKept_) occPlace.reserve(clauseCapacity);
    }
    clauses.emplace_back();
    if (placesKept_) occPlace.emplace_back();
  }
  std::vector<CnfLiteral>& slot = clauses[id];
  assert(slot.empty());
  slot.assign(lits.begin(), lits.end());
  for (CnfLiteral l : lits) {
    coverMark(atomOf(l));
    coverAtom(atomOf(l));
    std::vector<ClauseId>& list = occs(l);
    if (placesKept_) occPlace[id].push_back(static_cast<int32_t>(list.size()));
    list.push_back(id);
  }
  if (lits.size() == 2) {
    partners(lits[0]).push_back(lits[1]);
    partners(lits[1]).push_back(lits[0]);
  }
  if (lits.size() == 1) ++unitCount[unitCode(lits[0])];
  return id;
}

void CnfMatrix::removeClause(ClauseId id) {
  if (!isStored(id)) return;
  keepPlaces();
  freeIds.push_back(id);
  std::vector<CnfLiteral>& slot = clauses[id];
  if (slot.size() == 1) --unitCount[unitCode(slot[0])];
  if (slot.size() == 2) {
    eraseFirst(partners(slot[0]), slot[1]);
    eraseFirst(partners(slot[1]), slot[0]);
  }
  for (std::size_t k = 0; k < slot.size(); ++k) eraseOccurrence_(id, k);
  slot.clear();  // the slot keeps its room for the next clause
  occPlace[id].clear();
}

void CnfMatrix::eraseOccurrence_(ClauseId id, std::size_t k) {
  const CnfLiteral lit = clauses[id][k];
  std::vector<ClauseId>& list = occs(lit);
  const int32_t at = occPlace[id][k];
  assert(at >= 0 && static_cast<std::size_t>(at) < list.size() && list[at] == id);
  const ClauseId moved = list.back();
  list[at] = moved;
  list.pop_back();
  if (moved == id) return;
  const std::vector<CnfLiteral>& other = clauses[moved];
  std::size_t j = 0;
  while (other[j] != lit) ++j;
  assert(j < other.size());
  occPlace[moved][j] = at;
}

bool CnfMatrix::removeFromClause(ClauseId id, CnfLiteral atom) {
  if (!isStored(id)) return true;
  std::vector<CnfLiteral>& c = clauses[id];
  std::size_t i = 0;
  while (i < c.size() && atomOf(c[i]) != atomOf(atom)) ++i;
  if (i == c.size()) return true;
  if (c.size() == 1) return false;  // a stored clause is never empty
  keepPlaces();
  if (c.size() == 2) {
    eraseFirst(partners(c[0]), c[1]);
    eraseFirst(partners(c[1]), c[0]);
  }
  eraseOccurrence_(id, i);
  c.erase(c.begin() + static_cast<std::ptrdiff_t>(i));
  occPlace[id].erase(occPlace[id].begin() + static_cast<std::ptrdiff_t>(i));
  if (c.size() == 2) {
    partners(c[0]).push_back(c[1]);
    partners(c[1]).push_back(c[0]);
  }
  if (c.size() == 1) ++unitCount[unitCode(c[0])];
  return true;
}

ClauseId CnfMatrix::currentClause_(ClauseId i) const {
  if (i < 1) i = 1;
  while (i < slotCount() && clauses[i].empty()) ++i;
  return i < slotCount() ? i : slotCount();
}

ClauseId CnfMatrix::rcurrentClause_(ClauseId i) const {
  if (i >= slotCount()) i = slotCount() - 1;
  while (i > 0 && clauses[i].empty()) --i;
  return i > 0 ? i : 0;
}

ClauseId CnfMatrix::getBeginClause() { return cursor_ = currentClause_(1); }

ClauseId CnfMatrix::getNextClause() { return cursor_ = currentClause_(cursor_ + 1); }

ClauseId CnfMatrix::rgetBeginClause() { return cursor_ = rcurrentClause_(slotCount() - 1); }

ClauseId CnfMatrix::rgetNextClause() { return cursor_ = cursor_ <= 1 ? 0 : rcurrentClause_(cursor_ - 1); }

ClauseId CnfMatrix::rgetEndClause() const { return currentClause_(1); }

}  // namespace vorn
