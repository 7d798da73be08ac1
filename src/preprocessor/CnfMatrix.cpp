#include "preprocessor/CnfMatrix.h"

#include <algorithm>

namespace vorn {

CnfMatrix::CnfMatrix() {
  clauses.reserve(clauseCapacity);
  clauses.emplace_back();  // slot 0 is never a clause
}

void CnfMatrix::coverAtom(CnfLiteral atom) {
  if (static_cast<std::size_t>(atom) < posOccs.size()) return;
  std::size_t n = static_cast<std::size_t>(atom) + 1;
  posOccs.resize(n);
  negOccs.resize(n);
  posBinaries.resize(n);
  negBinaries.resize(n);
}

ClauseId CnfMatrix::addClause(const std::vector<CnfLiteral>& lits) {
  assert(!lits.empty());
  ClauseId id;
  if (!freeIds.empty()) {
    id = freeIds.back();
    freeIds.pop_back();
  } else {
    id = slotCount();
    clauses.emplace_back();
    if (slotCount() == clauseCapacity) {
      // Geometric growth: a fixed step would move every slot once per step.
      clauseCapacity = std::max(clauseCapacity + 10000, 2 * clauseCapacity);
      clauses.reserve(clauseCapacity);
    }
  }
  std::vector<CnfLiteral>& slot = clauses[id];
  assert(slot.empty());
  slot.assign(lits.begin(), lits.end());
  for (CnfLiteral l : lits) {
    coverMark(atomOf(l));
    coverAtom(atomOf(l));
    occs(l).push_back(id);
  }
  if (lits.size() == 2) {
    partners(lits[0]).push_back(lits[1]);
    partners(lits[1]).push_back(lits[0]);
  }
  return id;
}

void CnfMatrix::removeClause(ClauseId id) {
  if (!isStored(id)) return;
  freeIds.push_back(id);
  std::vector<CnfLiteral>& slot = clauses[id];
  if (slot.size() == 2) {
    eraseFirst(partners(slot[0]), slot[1]);
    eraseFirst(partners(slot[1]), slot[0]);
  }
  for (CnfLiteral l : slot) eraseFirst(occs(l), id);
  slot.clear();  // the slot keeps its room for the next clause
}

bool CnfMatrix::removeFromClause(ClauseId id, CnfLiteral atom) {
  if (!isStored(id)) return true;
  std::vector<CnfLiteral>& c = clauses[id];
  std::size_t i = 0;
  while (i < c.size() && atomOf(c[i]) != atomOf(atom)) ++i;
  if (i == c.size()) return true;
  if (c.size() == 1) return false;  // a stored clause is never empty
  CnfLiteral gone = c[i];
  if (c.size() == 2) {
    eraseFirst(partners(c[0]), c[1]);
    eraseFirst(partners(c[1]), c[0]);
  }
  c.erase(c.begin() + static_cast<std::ptrdiff_t>(i));
  if (c.size() == 2) {
    partners(c[0]).push_back(c[1]);
    partners(c[1]).push_back(c[0]);
  }
  eraseFirst(occs(gone), id);
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
